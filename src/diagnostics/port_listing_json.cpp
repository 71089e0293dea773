#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <string>
#include <vector>

#include "diagnostics/port_listing.h"
#include "modem/port_verdict.h"
#include "platform/port_check.h"
#include "platform/serial_ports.h"
#include "serial/port_names.h"

namespace diagnostics {
namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

// An absent value is null rather than an empty string, so a reader need not guess.
QJsonValue TextOrNull(const std::string& text) {
  return text.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(Text(text));
}

// The words of the report's port verdicts (docs/report.md), for a device not yet probed.
const char* VerdictName(platform::OpenVerdict verdict) {
  switch (verdict) {
    case platform::OpenVerdict::kOpenable: return "openable";
    case platform::OpenVerdict::kNoSuchDevice: return "no-such-device";
    case platform::OpenVerdict::kPermissionDenied: return "permission-denied";
    case platform::OpenVerdict::kBusy: return "busy";
    case platform::OpenVerdict::kFailed: return "open-failed";
  }
  return "open-failed";
}

void AddOpenCheck(QJsonObject& object, const char* path) {
  const platform::OpenCheck check = platform::CheckPortOpen(path);
  object.insert("verdict", VerdictName(check.verdict));
  object.insert("reason", Text(modem::OpenCheckReason(check)));
}

}  // namespace

QByteArray PortListingJson(const serial::PortMap& ports) {
  QJsonArray portList;
  std::vector<std::string> resolvedCom(serial::kMaxComNumber + 1);
  for (int n = 1; n <= serial::kMaxComNumber; ++n) {
    const std::string com = "COM" + std::to_string(n);
    const serial::ResolvedPort port = ports.Resolve(com.c_str());
    resolvedCom[n] = platform::ResolvedPath(port.path);
    QJsonObject entry{{"port", Text(com)},
                      {"device", Text(port.path)},
                      {"source", Text(serial::PortSourceName(port.source, com.c_str()))}};
    AddOpenCheck(entry, port.path.c_str());
    portList.append(entry);
  }
  QJsonArray devices;
  for (const platform::SerialPortInfo& device : platform::ListSerialPorts()) {
    const std::string resolved = platform::ResolvedPath(device.nodePath);
    QJsonArray comNames;
    for (int n = 1; n <= serial::kMaxComNumber; ++n) {
      if (resolvedCom[n] == resolved) comNames.append("COM" + QString::number(n));
    }
    QJsonObject entry{
        {"device", Text(device.devicePath)},           {"driver", TextOrNull(device.driver)},
        {"usbId", TextOrNull(device.usbId)},           {"byId", TextOrNull(device.byId)},
        {"linkTarget", TextOrNull(device.linkTarget)}, {"console", device.console},
        {"bluetoothIdle", device.bluetoothIdle},       {"comNames", comNames}};
    AddOpenCheck(entry, device.nodePath.c_str());
    devices.append(entry);
  }
  return QJsonDocument(QJsonObject{{"ports", portList}, {"devices", devices}})
      .toJson(QJsonDocument::Indented);
}

}  // namespace diagnostics
