#include "diagnostics/port_probe_document.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <string>
#include <vector>

#include "modem/identification_list.h"
#include "modem/untried_device.h"
#include "platform/data_files.h"
#include "serial/visible_text.h"

namespace diagnostics {
namespace {

constexpr char kListName[] = "ati3.dat";

std::string Shown(const std::string& text) { return serial::VisibleText(text); }

QString Text(const std::string& text) { return QString::fromStdString(text); }

std::string Indented(std::string lines) {
  for (size_t at = lines.find('\n'); at != std::string::npos; at = lines.find('\n', at + 3))
    lines.replace(at, 1, "\n  ");
  return lines;
}

bool AnswersAsModem(const modem::ProbeResult& result) {
  return result.verdict == modem::ProbeVerdict::kModem;
}

bool NeedsListLine(const modem::ProbeResult& result) {
  return AnswersAsModem(result) && !result.known && !result.i3Line.empty();
}

}  // namespace

// A modem keeps the COM name it has; one without gets a name of its own.
void AddPortsConfLines(ProbeReport& report, const serial::PortMap& ports) {
  const std::vector<std::string> free = modem::SuggestedComNames(ports);
  size_t next = 0;
  for (const modem::ProbeResult& result : report.results) {
    std::string line;
    if (AnswersAsModem(result)) {
      const std::string com = !result.target.comNames.empty()
                                  ? result.target.comNames.front()
                                  : free[std::min(next++, free.size() - 1)];
      line = modem::PortsConfLineFor(com, result.target.devicePath);
    }
    report.portsConfLines.push_back(line);
  }
}

std::string ProbeReportText(const ProbeReport& report) {
  std::string text =
      "Serial devices asked \"AT\", then \"I3\" where \"OK\" came (nothing that changes a modem "
      "is sent):\n";
  if (report.results.empty()) text += "  none found\n";
  bool listLinesShown = false;
  for (size_t i = 0; i < report.results.size(); ++i) {
    const modem::ProbeResult& result = report.results[i];
    std::string coms;
    for (const std::string& com : result.target.comNames) coms += (coms.empty() ? "" : ",") + com;
    text += "  " + Shown(result.target.devicePath) + "  " +
            (coms.empty() ? std::string("no COM name") : coms) + "  " +
            modem::ProbeVerdictReason(result) + "\n";
    if (!report.portsConfLines[i].empty())
      text += "      ports.conf line: " + Shown(report.portsConfLines[i]) + "\n";
    if (NeedsListLine(result)) {
      text += "      ati3.dat line to add: " + Shown(result.i3Line) + "\n";
      listLinesShown = true;
    }
  }
  const std::string conf = serial::PortsConfigPath();
  if (!conf.empty()) text += "ports.conf is read from " + Shown(conf) + "\n";
  if (report.listFound) text += "Identification list: " + Shown(report.listPath) + "\n";
  if (listLinesShown || !report.listFound)
    text += "ati3.dat is looked for in these places, in this order:\n  " +
            Indented(modem::DescribeDataFileCandidates(kListName)) + "\n";
  if (report.stoppedBy != 0) text += "Stopped by signal " + std::to_string(report.stoppedBy) + "\n";
  return text;
}

QByteArray ProbeReportJson(const ProbeReport& report) {
  QJsonArray devices;
  for (size_t i = 0; i < report.results.size(); ++i) {
    const modem::ProbeResult& result = report.results[i];
    QJsonArray comNames;
    for (const std::string& com : result.target.comNames) comNames.append(Text(com));
    QJsonArray holders;
    for (const platform::PortHolder& holder : result.open.holders)
      holders.append(QJsonObject{{"pid", holder.pid}, {"name", Text(holder.name)}});
    const bool isModem = AnswersAsModem(result);
    const QJsonValue null(QJsonValue::Null);
    devices.append(QJsonObject{
        {"device", Text(result.target.devicePath)},
        {"driver", result.target.driver.empty() ? null : QJsonValue(Text(result.target.driver))},
        {"comNames", comNames},
        {"verdict", modem::ProbeVerdictName(result.verdict)},
        {"reason", Text(modem::ProbeVerdictReason(result))},
        {"holders", holders},
        {"i3", isModem ? QJsonValue(Text(result.i3Line)) : null},
        {"i3Hex",
         isModem ? QJsonValue(QString::fromLatin1(QByteArray::fromStdString(result.i3Line).toHex()))
                 : null},
        {"known", isModem && report.listFound ? QJsonValue(result.known) : null},
        {"portsConfLine", isModem ? QJsonValue(Text(report.portsConfLines[i])) : null},
        {"ati3Line", NeedsListLine(result) ? QJsonValue(Text(result.i3Line)) : null}});
  }
  QJsonArray places;
  for (const std::string& place : platform::DataFileCandidates(kListName))
    places.append(Text(place));
  const std::string conf = serial::PortsConfigPath();
  QJsonObject root{
      {"devices", devices},
      {"identificationListFile",
       report.listFound ? QJsonValue(Text(report.listPath)) : QJsonValue(QJsonValue::Null)},
      {"identificationListPlaces", places},
      {"portsConf", conf.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(Text(conf))},
      {"interruptedBy", report.stoppedBy},
  };
  return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

}  // namespace diagnostics
