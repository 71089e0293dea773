#include "modem_engine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
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

constexpr std::pair<int, std::uint8_t> kSDefaults[] = {{2, 43}, {3, 13}, {4, 10},  {5, 8},  {6, 2},
                                                       {7, 50}, {8, 2},  {10, 14}, {12, 50}};

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

std::string Framed(std::string_view text) {
  std::string s = "\r\n";
  s += text;
  s += "\r\n";
  return s;
}

}  // namespace

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
  for (auto [reg, value] : kSDefaults) sRegisters_[reg] = value;
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
  for (char b : bytes) {
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
  if (b == '\n') return;  // a modem ignores LF in command mode
  if (echo_) out += b;
  if (b == '\r') {
    std::string answer = ExecuteLine(now);
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
  if (b == '\b' || b == 0x7F) {
    if (!line_.empty()) line_.pop_back();
    if (lineLength_ > 0) --lineLength_;
    return;
  }
  ++lineLength_;
  if (line_.size() < kMaxLine) line_ += b;
}

void ModemEngine::ReceiveDataByte(char b, std::chrono::nanoseconds sinceLast, std::string& out,
                                  TimePoint now) {
  // Any byte after a complete "+++" breaks the guard time that must follow it.
  if (escapeAt_) {
    escapeAt_.reset();
    plusCount_ = 0;
    host_.Note("note", "+++ cancelled: data within the guard time");
  }
  const auto tolerance =
      std::min<std::chrono::milliseconds>(std::chrono::milliseconds(50), timing_.guardTime / 5);
  if (b == '+') {
    if (plusCount_ == 0) {
      if (sinceLast >= timing_.guardTime - tolerance) {
        plusCount_ = 1;
        firstPlus_ = now;
      }
    } else if (now - firstPlus_ <= timing_.guardTime) {
      ++plusCount_;
    } else {
      plusCount_ = 0;
    }
    if (plusCount_ == 3) escapeAt_ = now + timing_.guardTime;
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

std::string ModemEngine::ExecuteLine(TimePoint now) {
  host_.Note("rx", line_);
  if (echo_ && lineLength_ > 0) host_.Note("echo", line_);
  std::size_t at = std::string::npos;
  for (std::size_t i = 0; i + 1 < line_.size(); ++i) {
    if (Upper(line_[i]) == 'A' && Upper(line_[i + 1]) == 'T') {
      at = i;
      break;
    }
  }
  if (at == std::string::npos) {
    if (lineLength_ > 0) host_.Note("note", "not a command (no AT): ignored");
    return {};
  }
  if (lineLength_ > kMaxLine) {
    host_.Note("note", "command line of " + std::to_string(lineLength_) + " bytes is too long");
    AfterAnswer(now);
    return Result("ERROR");
  }
  std::string body = UpperNoSpaces(std::string_view(line_).substr(at + 2));
  for (const std::string& mute : faults_.muteCommands) {
    if (!mute.empty() && body.rfind(UpperNoSpaces(mute), 0) == 0) {
      host_.Note("fault", "mute " + mute);
      return {};
    }
  }
  for (const std::string& refused : faults_.errorCommands) {
    if (!refused.empty() && body.rfind(UpperNoSpaces(refused), 0) == 0) {
      host_.Note("fault", "error " + refused);
      AfterAnswer(now);
      return Result("ERROR");
    }
  }
  std::string answer = ExecuteBody(body, now);
  if (!answer.empty()) AfterAnswer(now);
  return answer;
}

std::optional<int> ModemEngine::Cursor::Digits(std::size_t maxDigits) {
  std::size_t start = position;
  while (position < body.size() && position - start < maxDigits &&
         std::isdigit(static_cast<unsigned char>(body[position])))
    ++position;
  if (position == start) return std::nullopt;
  return ParseNumber(body.substr(start, position - start), 10, maxDigits);
}

// Runs the commands of one line in order; the first bad one makes the answer "ERROR" (what ran
// before it stays done). Loopback and dial end the line.
std::string ModemEngine::ExecuteBody(std::string_view body, TimePoint now) {
  std::vector<std::string> info;
  Cursor cursor{body};
  while (!cursor.AtEnd()) {
    LineAnswer answer = ExecuteCommand(cursor.Next(), cursor, info, now);
    if (answer) return *answer;
  }
  std::string answer = Lines(info);
  return answer + Result("OK");
}

ModemEngine::LineAnswer ModemEngine::ExecuteCommand(char command, Cursor& cursor,
                                                    std::vector<std::string>& info, TimePoint now) {
  switch (command) {
    case 'E': return ExecuteEcho(cursor);
    case 'H': return ExecuteHook(cursor);
    case 'L':
    case 'M': return ExecuteSetting(cursor, 3);
    case 'X': return ExecuteSetting(cursor, 4);
    case 'Z': return ExecuteReset(cursor);
    case 'I': return ExecuteInformation(cursor, info);
    case 'S': return ExecuteSRegister(cursor, info);
    case '&': return ExecuteAmpersand(cursor, info);
    case '%': return ExecuteVendor(cursor, info);
    case '+': return ExecuteServiceClass(cursor, info);
    case 'D': return ExecuteDial(cursor, info, now);
    default: return ErrorAnswer();
  }
}

ModemEngine::LineAnswer ModemEngine::ErrorAnswer() { return Result("ERROR"); }

// "E0", "E1".
ModemEngine::LineAnswer ModemEngine::ExecuteEcho(Cursor& cursor) {
  int value = cursor.Digits(1).value_or(0);
  if (value > 1) return ErrorAnswer();
  SetEcho(value == 1);
  return std::nullopt;
}

// "H0" hangs up and stops the buzz, "H1" goes off-hook.
ModemEngine::LineAnswer ModemEngine::ExecuteHook(Cursor& cursor) {
  int value = cursor.Digits(1).value_or(0);
  if (value > 1) return ErrorAnswer();
  if (value == 0) SetBuzz(false);
  SetHook(value == 1);
  return std::nullopt;
}

// "L", "M", "X": accepted up to `highest`, with no effect on the simulation.
ModemEngine::LineAnswer ModemEngine::ExecuteSetting(Cursor& cursor, int highest) {
  int value = cursor.Digits(1).value_or(0);
  if (value > highest) return ErrorAnswer();
  return std::nullopt;
}

// "Z", "Z0".
ModemEngine::LineAnswer ModemEngine::ExecuteReset(Cursor& cursor) {
  int value = cursor.Digits(1).value_or(0);
  if (value > 0) return ErrorAnswer();
  Defaults();
  return std::nullopt;
}

// "I0", "I2", "I3", "I5", "I9".
ModemEngine::LineAnswer ModemEngine::ExecuteInformation(Cursor& cursor,
                                                        std::vector<std::string>& info) {
  int value = cursor.Digits(1).value_or(0);
  bool modem = kind_ == PortKind::kModem;
  switch (value) {
    case 0: info.emplace_back(modem ? "56000" : "33600"); break;
    case 2: break;
    case 3: info.emplace_back(modem ? kModemIdentification : kForeignIdentification); break;
    case 5: info.emplace_back(modem ? "3.41.07,ZW,2005-11-08" : "1.02.5,OD,2003-06-30"); break;
    case 9: info.emplace_back(ReportedCountryName()); break;
    default: return ErrorAnswer();
  }
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

// "S<r>?" reads an S-register, "S<r>=<v>" sets it.
ModemEngine::LineAnswer ModemEngine::ExecuteSRegister(Cursor& cursor,
                                                      std::vector<std::string>& info) {
  std::string_view body = cursor.body;
  std::optional<int> reg = cursor.Digits(3);
  if (!reg || *reg > 255 || cursor.AtEnd()) return ErrorAnswer();
  if (body[cursor.position] == '?') {
    ++cursor.position;
    char text[8];
    std::snprintf(text, sizeof text, "%03d", sRegisters_[*reg]);
    info.emplace_back(text);
  } else if (body[cursor.position] == '=') {
    ++cursor.position;
    int value = cursor.Digits(3).value_or(0);
    if (value > 255) return ErrorAnswer();
    sRegisters_[*reg] = static_cast<std::uint8_t>(value);
    host_.Note("state", "S" + std::to_string(*reg) + "=" + std::to_string(value));
  } else {
    return ErrorAnswer();
  }
  return std::nullopt;
}

// "&F" defaults, "&T0" ends a test, "&T1" and "&T3" start a loopback connection.
ModemEngine::LineAnswer ModemEngine::ExecuteAmpersand(Cursor& cursor,
                                                      std::vector<std::string>& info) {
  if (cursor.AtEnd()) return ErrorAnswer();
  char sub = cursor.Next();
  int value = cursor.Digits(1).value_or(0);
  if (sub == 'F' && value == 0) {
    Defaults();
  } else if (sub == 'T' && value == 0) {
    // ends a test; nothing is running in command mode
  } else if (sub == 'T' && (value == 1 || value == 3)) {
    if (faults_.noConnect) {
      host_.Note("fault", "no-connect");
      return ErrorAnswer();
    }
    SetMode(Mode::kData, value == 1 ? "analog loopback" : "digital loopback");
    std::string answer = Lines(info);
    return answer + Result("CONNECT");
  } else {
    return ErrorAnswer();
  }
  return std::nullopt;
}

// "%T...": the rest of the line is one vendor command.
ModemEngine::LineAnswer ModemEngine::ExecuteVendor(Cursor& cursor, std::vector<std::string>& info) {
  std::string_view body = cursor.body;
  if (cursor.AtEnd() || body[cursor.position] != 'T') return ErrorAnswer();
  if (!Vendor(body.substr(cursor.position + 1), info)) return ErrorAnswer();
  cursor.position = body.size();
  return std::nullopt;
}

// "+FCLASS?", "+FCLASS=?", "+FCLASS=0": the rest of the line is the command.
ModemEngine::LineAnswer ModemEngine::ExecuteServiceClass(Cursor& cursor,
                                                         std::vector<std::string>& info) {
  std::string_view rest = cursor.body.substr(cursor.position - 1);
  if (rest == "+FCLASS?")
    info.emplace_back("0");
  else if (rest == "+FCLASS=?")
    info.emplace_back("0");
  else if (rest != "+FCLASS=0")
    return ErrorAnswer();
  cursor.position = cursor.body.size();
  return std::nullopt;
}

// "D<number>": off-hook; the result comes when dialling ends.
ModemEngine::LineAnswer ModemEngine::ExecuteDial(Cursor& cursor, std::vector<std::string>& info,
                                                 TimePoint now) {
  std::string_view number = cursor.body.substr(cursor.position);
  if (number.find_first_not_of("0123456789*#,WPT!@;") != std::string_view::npos)
    return ErrorAnswer();
  host_.Note("state", "dial " + std::string(number));
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

std::string ModemEngine::Lines(const std::vector<std::string>& info) {
  std::string out;
  for (const std::string& text : info) {
    host_.Note("tx", text);
    out += Framed(text);
  }
  return out;
}

std::string ModemEngine::Result(std::string_view text) {
  std::string t(text);
  if (faults_.lowerCaseResults) {
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  host_.Note("tx", t);
  return Framed(t);
}

void ModemEngine::AfterAnswer(TimePoint now) {
  if (faults_.noise && !noiseAt_)
    noiseAt_ = now + std::chrono::milliseconds(std::uniform_int_distribution<int>(5, 40)(rng_));
}

void ModemEngine::Purge(TimePoint now) {
  (void)now;
  line_.clear();
  lineLength_ = 0;
  skipLf_ = false;
  if (mode_ == Mode::kData) FlushPartialDataLine();
  if (mode_ != Mode::kCommand) SetMode(Mode::kCommand, "line purged");
  dialAt_.reset();
  lateOkAt_.reset();
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
  if (dialAt_ && *dialAt_ <= now) {
    dialAt_.reset();
    SetHook(false);
    SetMode(Mode::kCommand);
    host_.Send(Result(faults_.noLine ? "NO DIALTONE" : "NO CARRIER"), now);
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
    host_.Send(Framed(junk), now);
  }
}

std::optional<TimePoint> ModemEngine::NextTimer() const {
  std::optional<TimePoint> next;
  for (const auto& t : {escapeAt_, lateOkAt_, dialAt_, noiseAt_})
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

void ModemEngine::SetEcho(bool on) {
  if (on == echo_) return;
  echo_ = on;
  host_.Note("state", on ? "echo=on" : "echo=off");
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

// "&F" and "Z": the command-set defaults. The country and the vendor registers are the modem's
// stored configuration and survive, so the tool's own restore is what puts them back.
void ModemEngine::Defaults() {
  host_.Note("state", "defaults");
  SetEcho(true);
  SetBuzz(false);
  SetHook(false);
  sRegisters_.fill(0);
  for (auto [reg, value] : kSDefaults) sRegisters_[reg] = value;
}

void ModemEngine::FillState(PortState& state) const {
  state.echo = echo_;
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
