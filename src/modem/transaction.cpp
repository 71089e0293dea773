#include "modem/transaction.h"

#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/message_pump.h"
#include "serial/response_capture.h"
#include "serial/tty_port.h"

namespace modem {
namespace {

constexpr int kCommandBufferSize = 256;
constexpr int kIdentifyTimeoutMs = 4000;
constexpr int kSettleMs = 100;  // after every transaction, seen or not

// Waits for the reader's match until deadline, then the settle pause. kSeen or kTimedOut.
int AwaitMatch(int64_t deadline) {
  bool seen = platform::PumpUntil([] { return serial::ttyPort.IsMatched() != 0; }, deadline);
  platform::DelayPumping(kSettleMs);
  return seen ? kSeen : kTimedOut;
}

}  // namespace

int OpenComPort(int portNumber) {
  char name[16];
  std::snprintf(name, sizeof name, "COM%d", portNumber);
  return serial::ttyPort.Open(name) ? kOpened : kOpenFailed;
}

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
  serial::ttyPort.ClearExpected();
  serial::ttyPort.AddExpected(expected);
  serial::responseCapture.captureLineCount.store(0);
  SendModemCommand(command, addPrefix);
  return AwaitMatch(platform::NowMs() + int64_t{timeoutSeconds} * 1000);
}

int IdentifyModem(const char (*list)[80], int count) {
  serial::ttyPort.ClearExpected();
  for (int i = 0; i < count; ++i) serial::ttyPort.AddExpected(list[i]);
  serial::responseCapture.captureLineCount.store(0);
  SendModemCommand("I3", 1);
  return AwaitMatch(platform::NowMs() + kIdentifyTimeoutMs);
}

}  // namespace modem
