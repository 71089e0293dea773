#include "modem/journal.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <string>

#include "modem/register_snapshot.h"
#include "modem/transaction.h"
#include "resources/product.h"

namespace modem {
namespace {

constexpr int kFormat = 1;

QString Text(const std::string& text) { return QString::fromStdString(text); }

QJsonObject ChangeJson(const Change& change) {
  QJsonObject object{{"item", ChangeKindName(change.kind)}};
  if (change.kind == ChangeKind::kRegister) object.insert("register", Text(change.reg));
  if (!change.before.empty()) object.insert("before", Text(change.before));
  if (!change.now.empty()) object.insert("now", Text(change.now));
  if (change.dialling) object.insert("dialling", true);
  if (change.lineDropped) object.insert("lineDropped", true);
  return object;
}

bool Fail(std::string* error, const std::string& reason) {
  *error = reason;
  return false;
}

bool IsRegisterName(const std::string& name) { return RegisterSlot(name.c_str()) >= 0; }

bool ParseChange(const QJsonValue& value, Change* change, std::string* error) {
  if (!value.isObject()) return Fail(error, "a change is not an object");
  const QJsonObject object = value.toObject();
  if (!ChangeKindFromName(object.value("item").toString().toStdString(), &change->kind))
    return Fail(error, "unknown change \"" + object.value("item").toString().toStdString() + "\"");
  change->before = object.value("before").toString().toStdString();
  change->now = object.value("now").toString().toStdString();
  change->dialling = object.value("dialling").toBool();
  change->lineDropped = object.value("lineDropped").toBool();
  change->pending = true;
  if (change->kind == ChangeKind::kRegister) {
    change->reg = object.value("register").toString().toStdString();
    if (!IsRegisterName(change->reg))
      return Fail(error, "unknown register \"" + change->reg + "\"");
    if (!IsHexValue(change->before, 1))
      return Fail(error, "register " + change->reg + ": value \"" + change->before +
                             "\" is not 1-2 hexadecimal digits");
  }
  if (change->kind == ChangeKind::kCountry && !IsHexValue(change->before, 2))
    return Fail(error, "country code \"" + change->before + "\" is not 2 hexadecimal digits");
  return true;
}

}  // namespace

std::string JournalPath(const std::string& directory, const std::string& device, int index) {
  std::string name;
  for (unsigned char c : device) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-';
    if (plain) {
      name += char(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "_%02X", c);
      name += escaped;
    }
  }
  if (index > 1) name += "~" + std::to_string(index);
  return directory + "/" + name + ".journal";
}

std::string JournalText(const JournalRecord& record) {
  QJsonObject detected;
  for (const auto& [name, value] : record.detected) detected.insert(Text(name), Text(value));
  QJsonArray changes;
  for (const Change& change : record.changes) changes.append(ChangeJson(change));
  const QJsonObject root{{"tool", product::kProgramName},
                         {"format", kFormat},
                         {"device", Text(record.device)},
                         {"i3", Text(record.i3Line)},
                         {"time", Text(record.time)},
                         {"detected", detected},
                         {"changes", changes}};
  return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

bool ParseJournal(std::string_view text, JournalRecord* record, std::string* error) {
  QJsonParseError parseError{};
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray(text.data(), qsizetype(text.size())), &parseError);
  if (document.isNull()) return Fail(error, "not JSON: " + parseError.errorString().toStdString());
  if (!document.isObject()) return Fail(error, "not a journal object");
  const QJsonObject root = document.object();
  if (root.value("tool").toString() != QLatin1String(product::kProgramName) ||
      root.value("format").toInt() != kFormat)
    return Fail(error, "not a journal of this tool in format 1");
  *record = {};
  record->device = root.value("device").toString().toStdString();
  record->i3Line = root.value("i3").toString().toStdString();
  record->time = root.value("time").toString().toStdString();
  if (record->i3Line.empty()) return Fail(error, "no \"I3\" line");
  const QJsonObject detected = root.value("detected").toObject();
  for (auto it = detected.begin(); it != detected.end(); ++it) {
    const std::string name = it.key().toStdString();
    const std::string value = it.value().toString().toStdString();
    if (!IsRegisterName(name) || !IsHexValue(value, 1))
      return Fail(error, "detected register \"" + name + "\" = \"" + value + "\" is out of form");
    record->detected.emplace_back(name, value);
  }
  if (!root.value("changes").isArray()) return Fail(error, "no list of changes");
  for (const QJsonValue& value : root.value("changes").toArray()) {
    Change change;
    if (!ParseChange(value, &change, error)) return false;
    record->changes.push_back(change);
  }
  return true;
}

}  // namespace modem
