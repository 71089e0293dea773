#include "modem_engine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>
#include <vector>

namespace sim {
namespace {

struct Country {
  int code;
  std::string_view name;
};

// Codes as the vendor command set numbers them; the tool relies on 1 and 19.
constexpr Country kCountries[] = {
    {1, "Australia"},      {4, "Belgium"}, {7, "Denmark"}, {9, "France"},
    {10, "Germany"},       {12, "Italy"},  {13, "Japan"},  {16, "Netherlands"},
    {19, "North America"}, {21, "Spain"},  {23, "Sweden"}, {25, "United Kingdom"},
};

// Vendor registers the diagnostics change and restore; distinct non-zero power-on values
// (and none equal to the test values) so that a restore is visible.
constexpr std::pair<int, std::uint8_t> kVendorDefaults[] = {
    {0x18, 0x5A}, {0x29, 0x0C}, {0x2A, 0x33}, {0x20, 0x87}};

// S0..S12 as a freshly powered modem has them; S12 (the escape's guard time, in fiftieths of a
// second) follows the simulator's guard time instead.
constexpr std::uint8_t kSDefaults[] = {0, 0, 43, 13, 10, 8, 2, 50, 2, 6, 14, 95, 50};
static_assert(std::size(kSDefaults) == ModemEngine::kSRegisterCount);
constexpr std::chrono::milliseconds kS12Unit(20);
// Input that arrives while a late answer is held back, kept to be run after it.
constexpr std::size_t kMaxHeldInput = 4096;

// Result codes: the text (V1) and the number (V0).
struct ResultCode {
  std::string_view text;
  int number;
};
constexpr ResultCode kResultCodes[] = {{"OK", 0},         {"CONNECT", 1},  {"RING", 2},
                                       {"NO CARRIER", 3}, {"ERROR", 4},    {"NO DIALTONE", 6},
                                       {"BUSY", 7},       {"NO ANSWER", 8}};

// What "In", "+GMI", "+GMM" and "+GMR" answer, per kind. An empty "In" gives no line; "I9" is
// the current country, filled in when asked.
struct Identity {
  std::string_view info[10];
  std::string_view manufacturer, model, revision;
};
constexpr Identity kModemIdentity{
    {"56000", "C4A1", "", kModemIdentification, "Zelto Communications ZW-56",
     "3.41.07,ZW,2005-11-08", "DSP ZW5600 rev 2.1",
     "V.92 V.90 V.34 V.32bis V.22bis V.42 V.42bis V.44", "2005-11-08", ""},
    "Zelto",
    "Win Modem V.92 KX-56ZW",
    "3.41.07"};
constexpr Identity kForeignIdentity{
    {"33600", "9D02", "", kForeignIdentification, "Orrin Systems OD-336", "1.02.5,OD,2003-06-30",
     "DSP OD336 rev 1.0", "V.34 V.32bis V.22bis V.42 V.42bis", "2003-06-30", ""},
    "Orrin",
    "DataLink 33.6 OD-336",
    "1.02.5"};

constexpr std::string_view kNoiseChars = "!#$&*-=?@^_~";

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

std::string UpperNoSpaces(std::string_view s) {
  std::string out;
  for (char c : s)
    if (c != ' ') out += Upper(c);
  return out;
}

// Parses 1..maxDigits digits in `base` that make up the whole of `s`.
std::optional<int> ParseNumber(std::string_view s, int base, std::size_t maxDigits) {
  if (s.empty() || s.size() > maxDigits) return std::nullopt;
  int value = 0;
  for (char c : s) {
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else
      return std::nullopt;
    value = value * base + d;
  }
  return value;
}

std::vector<std::string_view> SplitCommas(std::string_view s) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = s.find(',', start);
    parts.push_back(s.substr(start, comma == std::string_view::npos ? s.npos : comma - start));
    if (comma == std::string_view::npos) return parts;
    start = comma + 1;
  }
}

std::string Hex2(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
  return buf;
}

bool HasAt(std::string_view line) {
  for (std::size_t i = 0; i + 1 < line.size(); ++i)
    if (Upper(line[i]) == 'A' && Upper(line[i + 1]) == 'T') return true;
  return false;
}

}  // namespace

struct ModemEngine::Command {
  std::string_view name;
  LineAnswer (ModemEngine::*run)(const Command&, Cursor&, Info&, TimePoint);
  int Settings::*setting = nullptr;  // what a plain setting command changes; null: accepted only
  int highest = 0;                   // its highest value
};

// The command set. A name is matched at the position in the line; basic commands take a number
// after it, extended ones ("+...") a parameter up to ";".
const ModemEngine::Command ModemEngine::kCommands[] = {
    {"E", &ModemEngine::RunSetting, &Settings::echo, 1},
    {"Q", &ModemEngine::RunSetting, &Settings::quiet, 1},
    {"V", &ModemEngine::RunSetting, &Settings::verbose, 1},
    {"X", &ModemEngine::RunSetting, &Settings::resultSet, 4},
    {"&C", &ModemEngine::RunSetting, &Settings::dcd, 1},
    {"&D", &ModemEngine::RunSetting, &Settings::dtr, 3},
    {"L", &ModemEngine::RunSetting, nullptr, 3},
    {"M", &ModemEngine::RunSetting, nullptr, 3},
    {"H", &ModemEngine::RunHook},
    {"O", &ModemEngine::RunOnline},
    {"Z", &ModemEngine::RunReset},
    {"I", &ModemEngine::RunInformation},
    {"S", &ModemEngine::RunSRegister},
    {"D", &ModemEngine::RunDial},
    {"&F", &ModemEngine::RunFactory},
    {"&T", &ModemEngine::RunTest},
    {"&V", &ModemEngine::RunView},
    {"&W", &ModemEngine::RunStore},
    {"%T", &ModemEngine::RunVendor},
    {"+FCLASS", &ModemEngine::RunServiceClass},
    {"+GMI", &ModemEngine::RunIdentity},
    {"+GMM", &ModemEngine::RunIdentity},
    {"+GMR", &ModemEngine::RunIdentity},
    {"+GCAP", &ModemEngine::RunIdentity},
};

bool ModemEngine::ApplyProfile(std::string_view text, Settings& settings) {
  Settings changed = settings;
  std::string upper = UpperNoSpaces(text);
  Cursor cursor{upper};
  while (!cursor.AtEnd()) {
    const Command* found = nullptr;
    for (const Command& c : kCommands)
      if (c.setting && cursor.Rest().starts_with(c.name)) found = &c;
    if (!found) return false;
    cursor.position += found->name.size();
    std::optional<int> value = cursor.Digits(1);
    if (!value || *value > found->highest) return false;
    changed.*found->setting = *value;
  }
  settings = changed;
  return true;
}

bool ValidProfile(std::string_view settings) {
  ModemEngine::Settings scratch;
  return ModemEngine::ApplyProfile(settings, scratch);
}

std::optional<std::string_view> CountryName(int code) {
  for (const Country& c : kCountries)
    if (c.code == code) return c.name;
  return std::nullopt;
}

ModemEngine::ModemEngine(PortKind kind, const Faults& faults, Timing timing, std::uint32_t seed,
                         Host& host)
    : kind_(kind),
      faults_(faults),
      timing_(timing),
      rng_(seed),
      host_(host),
      country_(kDefaultCountry) {
  for (auto [reg, value] : kVendorDefaults) vendorRegisters_[reg] = value;
  std::copy(std::begin(kSDefaults), std::end(kSDefaults), factory_.s.begin());
  factory_.s[12] = static_cast<std::uint8_t>(
      std::clamp<long long>((timing_.guardTime + kS12Unit / 2) / kS12Unit, 1, 255));
  stored_ = factory_;
  if (!faults_.profile.empty()) {
    if (ApplyProfile(faults_.profile, stored_))
      host_.Note("fault", "profile " + faults_.profile);
    else
      host_.Note("note", "profile " + faults_.profile + " is not one: ignored");
  }
  settings_ = stored_;
  if (faults_.online) {
    SetMode(Mode::kData, "online at power-on");
    host_.Note("fault", "online");
  }
}

void ModemEngine::Receive(std::string_view bytes, TimePoint now) {
  if (bytes.empty()) return;
  std::chrono::nanoseconds silence = lastRx_ ? now - *lastRx_ : std::chrono::hours(1);
  lastRx_ = now;

  if (kind_ == PortKind::kSilent) {
    for (char b : bytes) {
      if (b == '\r' || b == '\n') {
        if (!line_.empty()) host_.Note("rx", line_);
        line_.clear();
      } else if (line_.size() < kMaxLine) {
        line_ += b;
      }
    }
    return;
  }
  if (kind_ == PortKind::kEcho) {
    ReceiveEchoKind(bytes, now);
    return;
  }

  std::string out;
  bool first = true;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (lateAnswerAt_) {
      // A modem busy with a command takes the next one after it.
      std::string_view rest = bytes.substr(i);
      heldInput_.append(rest.substr(0, kMaxHeldInput - std::min(kMaxHeldInput, heldInput_.size())));
      break;
    }
    const char b = bytes[i];
    if (skipLf_ && b == '\n') {
      skipLf_ = false;
      first = false;
      continue;
    }
    skipLf_ = false;
    switch (mode_) {
      case Mode::kCommand: ReceiveCommandByte(b, out, now); break;
      case Mode::kData:
        ReceiveDataByte(b, first ? silence : std::chrono::nanoseconds(0), out, now);
        break;
      case Mode::kDialling: ReceiveDiallingByte(b, now); break;
    }
    first = false;
  }
  if (!out.empty()) host_.Send(std::move(out), now);
}

void ModemEngine::ReceiveEchoKind(std::string_view bytes, TimePoint now) {
  std::string out;
  for (char b : bytes) {
    bool echoIt = true;
    TrackDataLine(b, echoIt);
    if (echoIt) out += b;
  }
  if (!out.empty()) host_.Send(std::move(out), now);
}

void ModemEngine::ReceiveCommandByte(char b, std::string& out, TimePoint now) {
  const char terminator = static_cast<char>(settings_.s[3]);
  if (b == '\n' && terminator != '\n') return;  // a modem ignores LF in command mode
  if (settings_.echo) out += b;
  if (b == terminator) {
    std::string answer = ExecuteLine(line_, lineLength_, settings_.echo == 1, now);
    out += answer;
    // The echo and the whole answer go out in one write, so that a command sent in one piece
    // comes back in one piece.
    host_.Send(std::move(out), now);
    out.clear();
    line_.clear();
    lineLength_ = 0;
    skipLf_ = true;
    return;
  }
  if (b == static_cast<char>(settings_.s[5]) || b == 0x7F) {
    if (!line_.empty()) line_.pop_back();
    if (lineLength_ > 0) --lineLength_;
    return;
  }
  if (b == '/' && !line_.empty() && Upper(line_.back()) == 'A' && !HasAt(line_)) {
    // "A/": the last line again, at once and without a terminator.
    host_.Note("note", "A/ repeats the last command line");
    std::string answer = ExecuteLine(lastLine_, lastLine_.size(), false, now);
    out += answer;
    host_.Send(std::move(out), now);
    out.clear();
    line_.clear();
    lineLength_ = 0;
    return;
  }
  ++lineLength_;
  if (line_.size() < kMaxLine) line_ += b;
}

void ModemEngine::ReceiveDataByte(char b, std::chrono::nanoseconds sinceLast, std::string& out,
                                  TimePoint now) {
  // Any byte after a complete escape sequence breaks the guard time that must follow it.
  if (escapeAt_) {
    escapeAt_.reset();
    plusCount_ = 0;
    host_.Note("note", "+++ cancelled: data within the guard time");
  }
  const std::chrono::milliseconds guard = GuardTime();
  const auto tolerance =
      std::min<std::chrono::milliseconds>(std::chrono::milliseconds(50), guard / 5);
  // S2 above 127 turns the escape off, as on modems that follow the convention.
  const int escape = settings_.s[2];
  if (escape <= 127 && b == static_cast<char>(escape)) {
    if (plusCount_ == 0) {
      if (sinceLast >= guard - tolerance) {
        plusCount_ = 1;
        firstPlus_ = now;
      }
    } else if (now - firstPlus_ <= guard) {
      ++plusCount_;
    } else {
      plusCount_ = 0;
    }
    if (plusCount_ == 3) escapeAt_ = now + guard;
  } else {
    plusCount_ = 0;
  }

  bool echoIt = true;
  TrackDataLine(b, echoIt);
  if (echoIt) out += b;
}

// Loopback lines end at CR or LF (CR LF is one end) and are numbered over the port's life,
// so that the drop fault can name one.
void ModemEngine::TrackDataLine(char b, bool& echoIt) {
  if (b == '\n' && dataLastCr_) {
    dataLastCr_ = false;
    echoIt = !dataLineDropped_;
    return;
  }
  dataLastCr_ = (b == '\r');
  echoIt = dataLineNumber_ != faults_.dropEchoLine;
  if (b == '\r' || b == '\n') {
    EndDataLine();
    dataLineDropped_ = !echoIt;
    return;
  }
  ++dataLineLength_;
  if (dataLine_.size() < kMaxLine) dataLine_ += b;
}

void ModemEngine::EndDataLine() {
  host_.Note("data-rx", dataLine_);
  if (dataLineNumber_ == faults_.dropEchoLine)
    host_.Note("fault", "drop-echo line " + std::to_string(dataLineNumber_));
  else
    host_.Note("data-tx", dataLine_);
  ++dataLineNumber_;
  dataLine_.clear();
  dataLineLength_ = 0;
}

// An unterminated line at the end of a connection is recorded but not counted.
void ModemEngine::FlushPartialDataLine() {
  if (dataLineLength_ > 0) {
    host_.Note("data-rx", dataLine_);
    host_.Note("data-tx", dataLine_);
  }
  dataLine_.clear();
  dataLineLength_ = 0;
  dataLastCr_ = false;
  plusCount_ = 0;
  escapeAt_.reset();
}

void ModemEngine::ReceiveDiallingByte(char b, TimePoint now) {
  if (b == '\n') return;
  // Any key aborts dialling; the key itself is discarded.
  dialAt_.reset();
  host_.Note("note", "dialling aborted by received data");
  SetHook(false);
  SetMode(Mode::kCommand);
  host_.Send(Result("NO CARRIER"), now);
  AfterAnswer(now);
}

const std::string* ModemEngine::Matching(const std::vector<std::string>& commands,
                                         std::string_view body) {
  for (const std::string& command : commands)
    if (!command.empty() && body.starts_with(UpperNoSpaces(command))) return &command;
  return nullptr;
}

std::string ModemEngine::ExecuteLine(const std::string& line, std::size_t length, bool echoed,
                                     TimePoint now) {
  host_.Note("rx", line);
  if (echoed && length > 0) host_.Note("echo", line);
  std::size_t at = std::string::npos;
  for (std::size_t i = 0; i + 1 < line.size(); ++i) {
    if (Upper(line[i]) == 'A' && Upper(line[i + 1]) == 'T') {
      at = i;
      break;
    }
  }
  if (at == std::string::npos) {
    if (length > 0) host_.Note("note", "not a command (no AT): ignored");
    return {};
  }
  if (length > kMaxLine) {
    host_.Note("note", "command line of " + std::to_string(length) + " bytes is too long");
    AfterAnswer(now);
    return Result("ERROR");
  }
  lastLine_ = line.substr(at);
  std::string body = UpperNoSpaces(std::string_view(line).substr(at + 2));
  std::string ring;
  if (const std::string* matched = Matching(faults_.ringCommands, body)) {
    host_.Note("fault", "ring " + *matched);
    ring = Result("RING");
  }
  if (const std::string* matched = Matching(faults_.muteCommands, body)) {
    host_.Note("fault", "mute " + *matched);
    return ring;
  }
  std::string answer;
  if (const std::string* matched = Matching(faults_.errorCommands, body)) {
    host_.Note("fault", "error " + *matched);
    answer = Result("ERROR");
  } else {
    answer = ExecuteBody(body, now);
  }
  if (answer.empty()) return ring;
  for (const Faults::Late& late : faults_.lateCommands) {
    if (late.command.empty() || !body.starts_with(UpperNoSpaces(late.command))) continue;
    host_.Note("fault", "late " + late.command + ": answer in " + std::to_string(late.ms) + " ms");
    lateAnswer_ = std::move(answer);
    lateAnswerAt_ = now + std::chrono::milliseconds(late.ms);
    return ring;
  }
  AfterAnswer(now);
  return ring + answer;
}

std::optional<int> ModemEngine::Cursor::Digits(std::size_t maxDigits) {
  std::size_t start = position;
  while (position < body.size() && position - start < maxDigits &&
         std::isdigit(static_cast<unsigned char>(body[position])))
    ++position;
  if (position == start) return std::nullopt;
  return ParseNumber(body.substr(start, position - start), 10, maxDigits);
}

std::optional<int> ModemEngine::Cursor::Number(int highest) {
  int value = Digits(3).value_or(0);
  if (value > highest) return std::nullopt;
  return value;
}

std::string_view ModemEngine::Cursor::Parameter() {
  std::string_view rest = Rest();
  std::size_t end = std::min(rest.find(';'), rest.size());
  position += std::min(end + 1, rest.size());
  return rest.substr(0, end);
}

// Runs the commands of one line in order; the first bad one stops the line and makes the answer
// "ERROR" (what ran before it stays done). Loopback, "O" and dial end the line.
std::string ModemEngine::ExecuteBody(std::string_view body, TimePoint now) {
  Info info;
  Cursor cursor{body};
  while (!cursor.AtEnd()) {
    if (body[cursor.position] == ';') {
      ++cursor.position;
      continue;
    }
    const Command* found = nullptr;
    for (const Command& c : kCommands)
      if (cursor.Rest().starts_with(c.name)) found = &c;
    if (!found) return *ErrorAnswer();
    cursor.position += found->name.size();
    // "+GMIX" is not "+GMI" followed by "X".
    if (found->name[0] == '+' && !cursor.AtEnd() &&
        std::string_view("=?;").find(body[cursor.position]) == std::string_view::npos)
      return *ErrorAnswer();
    LineAnswer answer = (this->*found->run)(*found, cursor, info, now);
    if (answer) return *answer;
  }
  std::string answer = Lines(info);
  return answer + Result("OK");
}

ModemEngine::LineAnswer ModemEngine::ErrorAnswer() { return Result("ERROR"); }

// "E", "Q", "V", "X", "&C", "&D", and "L", "M" (accepted, no effect on the simulation).
ModemEngine::LineAnswer ModemEngine::RunSetting(const Command& command, Cursor& cursor, Info&,
                                                TimePoint) {
  std::optional<int> value = cursor.Number(command.highest);
  if (!value) return ErrorAnswer();
  if (!command.setting || settings_.*command.setting == *value) return std::nullopt;
  settings_.*command.setting = *value;
  if (command.setting == &Settings::echo)
    host_.Note("state", *value ? "echo=on" : "echo=off");
  else
    host_.Note("state", std::string(command.name) + std::to_string(*value));
  return std::nullopt;
}

// "H0" hangs up, ends a held connection and stops the buzz; "H1" goes off-hook.
ModemEngine::LineAnswer ModemEngine::RunHook(const Command&, Cursor& cursor, Info&, TimePoint) {
  std::optional<int> value = cursor.Number(1);
  if (!value) return ErrorAnswer();
  if (*value == 0) {
    SetBuzz(false);
    DropConnection();
  }
  SetHook(*value == 1);
  return std::nullopt;
}

// "O": back to the connection a "+++" left; "NO CARRIER" when there is none.
ModemEngine::LineAnswer ModemEngine::RunOnline(const Command&, Cursor& cursor, Info& info,
                                               TimePoint) {
  if (!cursor.Number(1)) return ErrorAnswer();
  if (!connectionHeld_) return Lines(info) + Result("NO CARRIER");
  connectionHeld_ = false;
  SetMode(Mode::kData, "back on line");
  return Lines(info) + Result("CONNECT");
}

// "Z": hangs up and loads the stored profile.
ModemEngine::LineAnswer ModemEngine::RunReset(const Command&, Cursor& cursor, Info&, TimePoint) {
  if (!cursor.Number(0)) return ErrorAnswer();
  Load(stored_, "defaults (stored profile)");
  return std::nullopt;
}

// "&F": the factory settings.
ModemEngine::LineAnswer ModemEngine::RunFactory(const Command&, Cursor& cursor, Info&, TimePoint) {
  if (!cursor.Number(0)) return ErrorAnswer();
  Load(factory_, "defaults");
  return std::nullopt;
}

// "&W": the active settings become the stored profile.
ModemEngine::LineAnswer ModemEngine::RunStore(const Command&, Cursor& cursor, Info&, TimePoint) {
  if (!cursor.Number(0)) return ErrorAnswer();
  stored_ = settings_;
  host_.Note("state", "profile stored");
  return std::nullopt;
}

// "I0".."I9".
ModemEngine::LineAnswer ModemEngine::RunInformation(const Command&, Cursor& cursor, Info& info,
                                                    TimePoint) {
  std::optional<int> value = cursor.Number(9);
  if (!value) return ErrorAnswer();
  const Identity& identity = kind_ == PortKind::kModem ? kModemIdentity : kForeignIdentity;
  if (*value == 9)
    info.emplace_back(ReportedCountryName());
  else if (!identity.info[*value].empty())
    info.emplace_back(identity.info[*value]);
  return std::nullopt;
}

// "+GMI", "+GMM", "+GMR", "+GCAP"; "=?" after one is accepted.
ModemEngine::LineAnswer ModemEngine::RunIdentity(const Command& command, Cursor& cursor, Info& info,
                                                 TimePoint) {
  std::string_view parameter = cursor.Parameter();
  if (parameter == "=?") return std::nullopt;
  if (!parameter.empty()) return ErrorAnswer();
  const Identity& identity = kind_ == PortKind::kModem ? kModemIdentity : kForeignIdentity;
  if (command.name == "+GMI")
    info.emplace_back(identity.manufacturer);
  else if (command.name == "+GMM")
    info.emplace_back(identity.model);
  else if (command.name == "+GMR")
    info.emplace_back(identity.revision);
  else
    info.emplace_back("+GCAP: +FCLASS");
  return std::nullopt;
}

std::string ModemEngine::ReportedCountryName() {
  int shown = country_;
  if (faults_.wrongCountry) {
    // The next entry of the country table: a name that disagrees with the code.
    std::size_t count = std::size(kCountries);
    for (std::size_t k = 0; k < count; ++k)
      if (kCountries[k].code == country_) shown = kCountries[(k + 1) % count].code;
    host_.Note("fault",
               "wrong-country: reporting " + std::string(CountryName(shown).value_or("?")));
  }
  return std::string(CountryName(shown).value_or("Unknown"));
}

// "S<r>?" reads an S-register as three digits, "S<r>=<v>" sets it.
ModemEngine::LineAnswer ModemEngine::RunSRegister(const Command&, Cursor& cursor, Info& info,
                                                  TimePoint) {
  std::string_view body = cursor.body;
  std::optional<int> reg = cursor.Digits(3);
  if (!reg || *reg >= static_cast<int>(kSRegisterCount) || cursor.AtEnd()) return ErrorAnswer();
  if (body[cursor.position] == '?') {
    ++cursor.position;
    char text[8];
    std::snprintf(text, sizeof text, "%03d", settings_.s[*reg]);
    info.emplace_back(text);
  } else if (body[cursor.position] == '=') {
    ++cursor.position;
    int value = cursor.Digits(3).value_or(0);
    if (value > 255) return ErrorAnswer();
    settings_.s[*reg] = static_cast<std::uint8_t>(value);
    host_.Note("state", "S" + std::to_string(*reg) + "=" + std::to_string(value));
  } else {
    return ErrorAnswer();
  }
  return std::nullopt;
}

// "&T0" ends a test (and a loopback a "+++" left), "&T1" and "&T3" start a loopback connection.
ModemEngine::LineAnswer ModemEngine::RunTest(const Command&, Cursor& cursor, Info& info,
                                             TimePoint) {
  int value = cursor.Digits(1).value_or(0);
  if (value == 0) {
    DropConnection();
  } else if (value == 1 || value == 3) {
    if (faults_.noConnect) {
      host_.Note("fault", "no-connect");
      return ErrorAnswer();
    }
    DropConnection();
    SetMode(Mode::kData, value == 1 ? "analog loopback" : "digital loopback");
    std::string answer = Lines(info);
    return answer + Result("CONNECT");
  } else {
    return ErrorAnswer();
  }
  return std::nullopt;
}

// "&V": the active settings and the stored profile, each with its S-registers.
ModemEngine::LineAnswer ModemEngine::RunView(const Command&, Cursor& cursor, Info& info,
                                             TimePoint) {
  if (!cursor.Number(0)) return ErrorAnswer();
  for (const auto& [title, settings] :
       {std::pair{"ACTIVE PROFILE:", &settings_}, std::pair{"STORED PROFILE:", &stored_}}) {
    info.emplace_back(title);
    std::string line;
    for (const Command& c : kCommands)
      if (c.setting)
        line +=
            (line.empty() ? "" : " ") + std::string(c.name) + std::to_string(settings->*c.setting);
    info.push_back(line);
    // Seven registers a line keeps each line short of 80 columns.
    line.clear();
    for (std::size_t r = 0; r < kSRegisterCount; ++r) {
      char text[16];
      std::snprintf(text, sizeof text, "%sS%02zu:%03d", line.empty() ? "" : " ", r, settings->s[r]);
      line += text;
      if (r % 7 == 6 || r + 1 == kSRegisterCount) {
        info.push_back(line);
        line.clear();
      }
    }
  }
  return std::nullopt;
}

// "%T...": the rest of the line is one vendor command.
ModemEngine::LineAnswer ModemEngine::RunVendor(const Command&, Cursor& cursor, Info& info,
                                               TimePoint) {
  if (!Vendor(cursor.Rest(), info)) return ErrorAnswer();
  cursor.position = cursor.body.size();
  return std::nullopt;
}

// "+FCLASS?", "+FCLASS=?", "+FCLASS=0": a data-only modem.
ModemEngine::LineAnswer ModemEngine::RunServiceClass(const Command&, Cursor& cursor, Info& info,
                                                     TimePoint) {
  std::string_view parameter = cursor.Parameter();
  if (parameter == "?" || parameter == "=?")
    info.emplace_back("0");
  else if (parameter != "=0")
    return ErrorAnswer();
  return std::nullopt;
}

// "D<number>": off-hook; the result comes when dialling ends.
ModemEngine::LineAnswer ModemEngine::RunDial(const Command&, Cursor& cursor, Info& info,
                                             TimePoint now) {
  std::string_view number = cursor.Rest();
  if (number.find_first_not_of("0123456789*#,WPT!@;ABCD") != std::string_view::npos)
    return ErrorAnswer();
  cursor.position = cursor.body.size();
  host_.Note("state", "dial " + std::string(number));
  DropConnection();
  SetHook(true);
  SetMode(Mode::kDialling);
  dialAt_ = now + timing_.dialTime;
  return Lines(info);
}

// "%T<n>,<args>": the vendor command set. Register numbers and values are hexadecimal,
// country codes decimal.
bool ModemEngine::Vendor(std::string_view command, std::vector<std::string>& info) {
  std::vector<std::string_view> parts = SplitCommas(command);
  std::string_view op = parts[0];
  if (op == "19" && parts.size() == 3 && parts[1] == "0") {
    auto code = ParseNumber(parts[2], 10, 3);
    if (!code || !CountryName(*code)) return false;
    country_ = *code;
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", country_);
    host_.Note("state", std::string("country=") + buf + " " + std::string(*CountryName(country_)));
    return true;
  }
  if (op == "20" && parts.size() == 3 && parts[1] == "0" && parts[2] == "1") {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", country_);
    info.emplace_back(buf);
    return true;
  }
  if (op == "21" && parts.size() == 3) {
    auto reg = ParseNumber(parts[1], 16, 2);
    auto value = ParseNumber(parts[2], 16, 2);
    if (!reg || !value) return false;
    vendorRegisters_[*reg] = static_cast<std::uint8_t>(*value);
    host_.Note("state", "reg" + Hex2(*reg) + "=" + Hex2(*value));
    return true;
  }
  if (op == "22" && parts.size() == 2) {
    auto reg = ParseNumber(parts[1], 16, 2);
    if (!reg) return false;
    info.emplace_back(Hex2(vendorRegisters_[*reg]));
    return true;
  }
  if (op == "24" && parts.size() == 1) {
    SetBuzz(true);
    return true;
  }
  return false;
}

// V1: CR LF text CR LF; V0: text CR LF (S3 and S4 standing for CR and LF).
std::string ModemEngine::Lines(const Info& info) {
  const char cr = static_cast<char>(settings_.s[3]), lf = static_cast<char>(settings_.s[4]);
  std::string out;
  for (const std::string& text : info) {
    host_.Note("tx", text);
    if (settings_.verbose) out += {cr, lf};
    out += text;
    out += {cr, lf};
  }
  return out;
}

// V1: CR LF text CR LF; V0: the code's number and CR; Q1: nothing.
std::string ModemEngine::Result(std::string_view text) {
  if (settings_.quiet) {
    host_.Note("note", "result " + std::string(text) + " not sent (Q1)");
    return {};
  }
  const char cr = static_cast<char>(settings_.s[3]), lf = static_cast<char>(settings_.s[4]);
  if (!settings_.verbose) {
    int number = 4;
    for (const ResultCode& code : kResultCodes)
      if (code.text == text) number = code.number;
    std::string t = std::to_string(number);
    host_.Note("tx", t);
    return t + cr;
  }
  std::string t(text);
  if (faults_.lowerCaseResults) {
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  host_.Note("tx", t);
  return std::string{cr, lf} + t + std::string{cr, lf};
}

void ModemEngine::AfterAnswer(TimePoint now) {
  if (faults_.noise && !noiseAt_)
    noiseAt_ = now + std::chrono::milliseconds(std::uniform_int_distribution<int>(5, 40)(rng_));
}

// The escape's guard time: the simulator's own while S12 has its power-on value, else S12's.
std::chrono::milliseconds ModemEngine::GuardTime() const {
  if (settings_.s[12] == factory_.s[12]) return timing_.guardTime;
  return kS12Unit * settings_.s[12];
}

void ModemEngine::DropConnection() {
  if (!connectionHeld_) return;
  connectionHeld_ = false;
  host_.Note("state", "connection ended");
}

void ModemEngine::Purge(TimePoint now) {
  (void)now;
  if (faults_.ignoreDtr || settings_.dtr == 0) {
    // A modem set to ignore DTR carries on; only the client's buffers are gone.
    if (faults_.ignoreDtr) host_.Note("fault", "ignore-dtr: purge ignored");
    return;
  }
  line_.clear();
  lineLength_ = 0;
  skipLf_ = false;
  if (mode_ == Mode::kData) FlushPartialDataLine();
  if (mode_ != Mode::kCommand) SetMode(Mode::kCommand, "line purged");
  DropConnection();
  dialAt_.reset();
  lateOkAt_.reset();
  lateAnswerAt_.reset();
  lateAnswer_.clear();
  heldInput_.clear();
  noiseAt_.reset();
  SetBuzz(false);
  SetHook(false);
}

void ModemEngine::RunTimers(TimePoint now) {
  if (escapeAt_ && *escapeAt_ <= now) {
    escapeAt_.reset();
    plusCount_ = 0;
    if (faults_.ignoreFirstEscape && !escapeIgnored_) {
      escapeIgnored_ = true;
      host_.Note("fault", "ignore-first-escape: +++ ignored");
    } else {
      FlushPartialDataLine();
      SetMode(Mode::kCommand, "+++");
      connectionHeld_ = true;
      if (faults_.lateEscapeMs > 0) {
        // Back in command mode at once; only the answer is late.
        lateOkAt_ = now + std::chrono::milliseconds(faults_.lateEscapeMs);
        host_.Note("fault", "late-escape: OK in " + std::to_string(faults_.lateEscapeMs) + " ms");
      } else {
        host_.Send(Result("OK"), now);
        AfterAnswer(now);
      }
    }
  }
  if (lateOkAt_ && *lateOkAt_ <= now) {
    lateOkAt_.reset();
    host_.Send(Result("OK"), now);
    AfterAnswer(now);
  }
  if (lateAnswerAt_ && *lateAnswerAt_ <= now) {
    lateAnswerAt_.reset();
    host_.Send(std::exchange(lateAnswer_, {}), now);
    AfterAnswer(now);
    Receive(std::exchange(heldInput_, {}), now);
  }
  if (dialAt_ && *dialAt_ <= now) {
    dialAt_.reset();
    SetHook(false);
    SetMode(Mode::kCommand);
    // Below X2 a modem does not tell a missing dial tone from a failed call.
    bool toneReported = settings_.resultSet == 2 || settings_.resultSet == 4;
    host_.Send(Result(faults_.noLine && toneReported ? "NO DIALTONE" : "NO CARRIER"), now);
    AfterAnswer(now);
  }
  if (noiseAt_ && *noiseAt_ <= now) {
    noiseAt_.reset();
    std::string junk;
    std::uniform_int_distribution<std::size_t> pick(0, kNoiseChars.size() - 1);
    int n = std::uniform_int_distribution<int>(6, 20)(rng_);
    for (int k = 0; k < n; ++k) junk += kNoiseChars[pick(rng_)];
    host_.Note("fault", "noise");
    host_.Note("tx", junk);
    host_.Send("\r\n" + junk + "\r\n", now);
  }
}

std::optional<TimePoint> ModemEngine::NextTimer() const {
  std::optional<TimePoint> next;
  for (const auto& t : {escapeAt_, lateOkAt_, lateAnswerAt_, dialAt_, noiseAt_})
    if (t && (!next || *t < *next)) next = t;
  return next;
}

void ModemEngine::SetMode(Mode mode, std::string_view why) {
  if (mode == mode_) return;
  if (mode == Mode::kData) {
    dataLine_.clear();
    dataLineLength_ = 0;
    dataLastCr_ = false;
    plusCount_ = 0;
    escapeAt_.reset();
  }
  mode_ = mode;
  std::string text = mode == Mode::kCommand ? "mode=command"
                     : mode == Mode::kData  ? "mode=data"
                                            : "mode=dialling";
  if (!why.empty()) text += " (" + std::string(why) + ")";
  host_.Note("state", text);
}

void ModemEngine::SetBuzz(bool on) {
  if (on == buzz_) return;
  buzz_ = on;
  host_.Note("state", on ? "buzz=on" : "buzz=off");
}

void ModemEngine::SetHook(bool offHook) {
  if (offHook == offHook_) return;
  offHook_ = offHook;
  host_.Note("state", offHook ? "hook=off" : "hook=on");
}

// "&F" and "Z": the settings and S-registers, on-hook, buzz off. The country and the vendor
// registers are the modem's stored configuration and survive, so the tool's own restore is what
// puts them back.
void ModemEngine::Load(const Settings& settings, std::string_view why) {
  host_.Note("state", why);
  const int echoBefore = settings_.echo;
  settings_ = settings;
  if (settings_.echo != echoBefore) host_.Note("state", settings_.echo ? "echo=on" : "echo=off");
  SetBuzz(false);
  SetHook(false);
  DropConnection();
}

void ModemEngine::FillState(PortState& state) const {
  state.echo = settings_.echo == 1;
  state.dataMode = mode_ == Mode::kData;
  state.buzz = buzz_;
  state.offHook = offHook_;
  state.countryCode = country_;
  state.countryName = std::string(CountryName(country_).value_or(""));
  state.reg18 = vendorRegisters_[0x18];
  state.reg29 = vendorRegisters_[0x29];
  state.reg2A = vendorRegisters_[0x2A];
  state.reg20 = vendorRegisters_[0x20];
}

void ModemEngine::NoteFinal() {
  if (kind_ != PortKind::kModem && kind_ != PortKind::kForeign) return;
  char buf[96];
  std::snprintf(buf, sizeof buf, "country=%02d reg18=%02X reg29=%02X reg2A=%02X reg20=%02X",
                country_, vendorRegisters_[0x18], vendorRegisters_[0x29], vendorRegisters_[0x2A],
                vendorRegisters_[0x20]);
  host_.Note("final", buf);
}

}  // namespace sim
