#include "modem/transaction.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "modem/safe_state.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/message_pump.h"
#include "serial/response_capture.h"
#include "serial/tty_port.h"

namespace modem {
namespace {

constexpr int kIdentifyTimeoutMs = 4000;
constexpr int kSettleMs = 100;  // after every transaction, seen or not
constexpr int kReadTimeoutSeconds = 3;

// Waits for the reader's match until deadline, then the settle pause. kSeen or kTimedOut.
int AwaitMatch(int64_t deadline) {
  bool seen = platform::PumpUntil(
      [] { return serial::ttyPort.IsMatched() != 0 || StopCutsWaits(); }, deadline);
  seen = seen && serial::ttyPort.IsMatched() != 0;
  Pause(kSettleMs);
  return seen ? kSeen : kTimedOut;
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
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
      return false;
  }
  return *a == *b;
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

int Transact(const char* command, const char* expected, int timeoutSeconds, int addPrefix) {
  if (StopCutsWaits()) return kTimedOut;
  serial::ttyPort.ClearExpected();
  serial::ttyPort.AddExpected(expected);
  serial::responseCapture.captureLineCount.store(0);
  // A failed write shows as the time-out that follows: nothing can answer a command never sent.
  (void)SendModemCommand(command, addPrefix);
  return AwaitMatch(platform::NowMs() + int64_t{timeoutSeconds} * 1000);
}

int IdentifyModem(const char (*list)[80], int count) {
  // With no text to look for, any answer would do, and any device that says "OK" would be
  // taken for the modem and get its registers written.
  if (count <= 0 || StopCutsWaits()) return kTimedOut;
  serial::ttyPort.ClearExpected();
  for (int i = 0; i < count; ++i) serial::ttyPort.AddExpected(list[i]);
  serial::responseCapture.captureLineCount.store(0);
  (void)SendModemCommand("I3", 1);
  return AwaitMatch(platform::NowMs() + kIdentifyTimeoutMs);
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

}  // namespace modem
