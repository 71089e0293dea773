#include "ui/port_probe_run.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/exit_status.h"
#include "diagnostics/program_run.h"
#include "platform/data_files.h"
#include "platform/message_pump.h"
#include "platform/termination_signals.h"
#include "serial/port_names.h"
#include "serial/visible_text.h"

namespace ui {
namespace {

constexpr char kListName[] = "ati3.dat";

struct ProbeReport {
  std::vector<diagnostics::ProbeResult> results;
  std::vector<std::string> portsConfLines;  // per result: for a modem, else empty
  bool listFound = false;
  std::string listPath;
  int stoppedBy = 0;
};

std::string Shown(const std::string& text) { return serial::VisibleText(text); }

QString Text(const std::string& text) { return QString::fromStdString(text); }

std::string Indented(std::string lines) {
  for (size_t at = lines.find('\n'); at != std::string::npos; at = lines.find('\n', at + 3))
    lines.replace(at, 1, "\n  ");
  return lines;
}

bool AnswersAsModem(const diagnostics::ProbeResult& result) {
  return result.verdict == diagnostics::ProbeVerdict::kModem;
}

// A modem keeps the COM name it has; one without gets a name of its own.
void AddPortsConfLines(ProbeReport& report) {
  const std::vector<std::string> free = diagnostics::SuggestedComNames();
  size_t next = 0;
  for (const diagnostics::ProbeResult& result : report.results) {
    std::string line;
    if (AnswersAsModem(result)) {
      const std::string com = !result.target.comNames.empty()
                                  ? result.target.comNames.front()
                                  : free[std::min(next++, free.size() - 1)];
      line = diagnostics::PortsConfLineFor(com, result.target.devicePath);
    }
    report.portsConfLines.push_back(line);
  }
}

bool NeedsListLine(const diagnostics::ProbeResult& result) {
  return AnswersAsModem(result) && !result.known && !result.i3Line.empty();
}

std::string ProbeText(const ProbeReport& report) {
  std::string text =
      "Serial devices asked \"AT\", then \"I3\" where \"OK\" came (nothing that changes a modem "
      "is sent):\n";
  if (report.results.empty()) text += "  none found\n";
  bool listLinesShown = false;
  for (size_t i = 0; i < report.results.size(); ++i) {
    const diagnostics::ProbeResult& result = report.results[i];
    std::string coms;
    for (const std::string& com : result.target.comNames) coms += (coms.empty() ? "" : ",") + com;
    text += "  " + Shown(result.target.devicePath) + "  " +
            (coms.empty() ? std::string("no COM name") : coms) + "  " +
            diagnostics::ProbeVerdictReason(result) + "\n";
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
            Indented(diagnostics::DescribeDataFileCandidates(kListName)) + "\n";
  if (report.stoppedBy != 0) text += "Stopped by signal " + std::to_string(report.stoppedBy) + "\n";
  return text;
}

QByteArray ProbeJson(const ProbeReport& report) {
  QJsonArray devices;
  for (size_t i = 0; i < report.results.size(); ++i) {
    const diagnostics::ProbeResult& result = report.results[i];
    QJsonArray comNames;
    for (const std::string& com : result.target.comNames) comNames.append(Text(com));
    QJsonArray holders;
    for (const platform::PortHolder& holder : result.open.holders)
      holders.append(QJsonObject{{"pid", holder.pid}, {"name", Text(holder.name)}});
    const bool modem = AnswersAsModem(result);
    const QJsonValue null(QJsonValue::Null);
    devices.append(QJsonObject{
        {"device", Text(result.target.devicePath)},
        {"driver", result.target.driver.empty() ? null : QJsonValue(Text(result.target.driver))},
        {"comNames", comNames},
        {"verdict", diagnostics::ProbeVerdictName(result.verdict)},
        {"reason", Text(diagnostics::ProbeVerdictReason(result))},
        {"holders", holders},
        {"i3", modem ? QJsonValue(Text(result.i3Line)) : null},
        {"i3Hex",
         modem ? QJsonValue(QString::fromLatin1(QByteArray::fromStdString(result.i3Line).toHex()))
               : null},
        {"known", modem && report.listFound ? QJsonValue(result.known) : null},
        {"portsConfLine", modem ? QJsonValue(Text(report.portsConfLines[i])) : null},
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

}  // namespace

int RunPortProbe(int argc, char** argv, bool json) {
  QCoreApplication app(argc, argv);
  platform::AttachUiWakeup();
  ProbeReport report;
  diagnostics::IdentificationList list;
  std::string details;
  report.listFound = diagnostics::FindIdentificationList(list, &details);
  if (report.listFound) report.listPath = platform::AbsoluteDataFilePath(list.path);
  // Watched before the probe starts asking: a signal that came between the two would end the
  // program with the devices still open.
  std::optional<diagnostics::PortProbe> probe;
  platform::TerminationSignalWatch signalWatch([&report, &probe](int signalNumber) {
    if (report.stoppedBy == 0) report.stoppedBy = signalNumber;
    if (probe) probe->Stop();
  });
  diagnostics::SayWhetherSignalsWatched(signalWatch);
  probe.emplace(diagnostics::ProbeTargets(), report.listFound ? &list : nullptr);
  platform::PumpUntil([&probe] { return probe->Done(); });
  report.results = probe->Results();
  // From here a signal has nothing left to stop.
  signalWatch.Hear([](int) {});
  probe.reset();
  AddPortsConfLines(report);
  const QByteArray output = json ? ProbeJson(report) : QByteArray::fromStdString(ProbeText(report));
  std::fwrite(output.constData(), 1, size_t(output.size()), stdout);
  std::fflush(stdout);
  return report.stoppedBy == 0 ? 0 : platform::ExitForSignal(report.stoppedBy);
}

}  // namespace ui
