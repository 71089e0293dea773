#include "modem/transaction.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "modem/safe_state.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/message_pump.h"
#include "serial/response_capture.h"
#include "serial/transcript.h"
#include "serial/tty_port.h"

namespace modem {
namespace {

constexpr int kIdentifyTimeoutMs = 4000;
constexpr int kSettleMs = 100;  // after every transaction, seen or not
constexpr int kReadTimeoutSeconds = 3;

// Waits for the reader's match until deadline, then the settle pause. kSeen or kTimedOut.
// awaited names what was waited for in the transcript's time-out line.
int AwaitMatch(int64_t deadline, int timeoutSeconds, const char* awaited) {
  bool seen = platform::PumpUntil(
      [] { return serial::ttyPort.IsMatched() != 0 || StopCutsWaits(); }, deadline);
  seen = seen && serial::ttyPort.IsMatched() != 0;
  serial::Transcript& transcript = serial::ProgramTranscript();
  if (!seen && transcript.IsOpen()) {
    std::string what =
        std::string(StopCutsWaits() ? "stopped"
                                    : "time-out after " + std::to_string(timeoutSeconds) + " s") +
        " waiting for " + awaited;
    serial::ttyPort.NoteEvent(what);
  }
  Pause(kSettleMs);
  transcript.Drain();
  return seen ? kSeen : kTimedOut;
}

// The guard before "+++" is silence the tool keeps; the transcript shows how long it was.
void NoteEscapeGuard(const char* command, int addPrefix) {
  if (addPrefix || std::strcmp(command, "+++") != 0) return;
  if (!serial::ProgramTranscript().IsOpen()) return;
  int64_t lastWrite = serial::ttyPort.LastWriteMs();
  std::string silence = lastWrite == 0
                            ? std::string("nothing sent before")
                            : std::to_string(platform::NowMs() - lastWrite) + " ms without sending";
  serial::ttyPort.NoteEvent("escape guard: " + silence + " before \"+++\"");
}

bool IsHexDigits(const char* text, int minDigits) {
  int length = static_cast<int>(std::strlen(text));
  if (length < minDigits || length > kReadValueSize - 1) return false;
  for (int i = 0; i < length; ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

// The modem echoes the command as it received it; letter case is its own business.
bool SameIgnoringCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) !=
        std::tolower(static_cast<unsigned char>(*b)))
      return false;
  }
  return *a == *b;
}

constexpr size_t kMaxTimeOuts = 64;
std::vector<TimeOut> timeOuts;

void NoteTimeOut(const char* command) {
  if (timeOuts.size() >= kMaxTimeOuts) return;
  char lastLine[80];
  serial::ttyPort.CopyLastLine(lastLine);
  timeOuts.push_back({platform::NowMs(), command, lastLine});
}

}  // namespace

int OpenComPort(int portNumber) {
  char name[16];
  std::snprintf(name, sizeof name, "COM%d", portNumber);
  return serial::ttyPort.Open(name) ? kOpened : kOpenFailed;
}

void ClosePort() { (void)serial::ttyPort.Close(); }

int SendRaw(const char* data, int length) { return serial::ttyPort.Write(data, length); }

CaptureScope::CaptureScope() { serial::responseCapture.captureEnabled = 1; }
CaptureScope::~CaptureScope() { serial::responseCapture.captureEnabled = 0; }

int SendModemCommand(const char* text, int addPrefix) {
  char buffer[kCommandBufferSize];
  int length = addPrefix ? std::snprintf(buffer, sizeof buffer, "at%s\r\n", text)
                         : std::snprintf(buffer, sizeof buffer, "%s", text);
  if (length < 0 || length >= kCommandBufferSize) {
    platform::DebugOutputF("\nCommand of %d characters refused: at most %d fit", length,
                           kCommandBufferSize - 1);
    return 0;
  }
  return serial::ttyPort.Write(buffer, length);
}

const std::vector<TimeOut>& TimeOuts() { return timeOuts; }

void ClearTimeOuts() { timeOuts.clear(); }

int Transact(const char* command, const char* expected, int timeoutSeconds, int addPrefix) {
  if (StopCutsWaits()) return kTimedOut;
  serial::ttyPort.ClearLastLine();
  serial::ttyPort.ClearExpected();
  serial::ttyPort.AddExpected(expected);
  serial::responseCapture.captureLineCount.store(0);
  NoteEscapeGuard(command, addPrefix);
  // A failed write shows as the time-out that follows: nothing can answer a command never sent.
  (void)SendModemCommand(command, addPrefix);
  std::string awaited;
  if (serial::ProgramTranscript().IsOpen()) awaited = "\"" + std::string(expected) + "\"";
  int result = AwaitMatch(platform::NowMs() + int64_t{timeoutSeconds} * 1000, timeoutSeconds,
                          awaited.c_str());
  if (result == kTimedOut && !StopCutsWaits()) NoteTimeOut(command);
  return result;
}

int IdentifyModem(const char (*list)[80], int count) {
  // With no text to look for, any answer would do, and any device that says "OK" would be
  // taken for the modem and get its registers written.
  if (count <= 0 || StopCutsWaits()) return kTimedOut;
  serial::ttyPort.ClearExpected();
  for (int i = 0; i < count; ++i) serial::ttyPort.AddExpected(list[i]);
  serial::responseCapture.captureLineCount.store(0);
  (void)SendModemCommand("I3", 1);
  return AwaitMatch(platform::NowMs() + kIdentifyTimeoutMs, kIdentifyTimeoutMs / 1000,
                    "a line of the identification list");
}

bool ReadHexValue(const char* command, int minDigits, char (&value)[kReadValueSize]) {
  value[0] = '\0';
  bool seen = false;
  {
    CaptureScope capture;
    seen = Transact(command, "OK", kReadTimeoutSeconds, 1) == kSeen;
  }
  // The line count stops at the matching line: 3 or more means echo, value, then the "OK".
  if (!seen || serial::responseCapture.captureLineCount.load() < 3) return false;
  char echo[serial::kCapturedLineSize] = {};
  serial::responseCapture.CopyFirst(echo);
  char line[serial::kCapturedLineSize] = {};
  serial::responseCapture.CopyLine(line);
  char ownEcho[kCommandBufferSize];
  std::snprintf(ownEcho, sizeof ownEcho, "at%s", command);
  if (!SameIgnoringCase(echo, ownEcho) || !IsHexDigits(line, minDigits)) return false;
  std::memcpy(value, line, std::strlen(line) + 1);
  return true;
}

bool OpenTranscript(const char* path, int64_t startMs, std::string* error) {
  return serial::ProgramTranscript().Open(path, startMs, error);
}

void CloseTranscript() { serial::ProgramTranscript().Close(); }

}  // namespace modem
