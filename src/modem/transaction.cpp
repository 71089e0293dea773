#include "modem/transaction.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "modem/put_back.h"
#include "modem/session.h"
#include "platform/clock.h"
#include "serial/debug_output.h"

namespace modem {
namespace {

constexpr int kIdentifyTimeoutMs = 4000;

// Waits for the reader's match until deadline, then the settle pause.
// awaited names what was waited for in the transcript's time-out line.
WaitResult AwaitMatch(Session& session, int64_t deadline, int timeoutSeconds, const char* awaited) {
  serial::TtyPort& port = session.port;
  bool seen = session.waits.Until(
      [&] { return port.assembler.IsMatched() || session.stop.CutsWaits(); }, deadline);
  seen = seen && port.assembler.IsMatched();
  const bool cut = !seen && session.stop.CutsWaits();
  if (cut) session.cutWait = Session::CutWait{deadline};
  if (!seen && port.transcript.IsOpen()) {
    std::string what =
        std::string(cut ? "stopped" : "time-out after " + std::to_string(timeoutSeconds) + " s") +
        " waiting for " + awaited;
    port.NoteEvent(what);
  }
  Pause(session, kSettleMs);
  port.transcript.Drain();
  return seen ? WaitResult::kSeen : WaitResult::kTimedOut;
}

// The guard before "+++" is silence the tool keeps; the transcript shows how long it was.
void NoteEscapeGuard(serial::TtyPort& port, const char* command, Framing framing) {
  if (framing != Framing::kAsIs || std::strcmp(command, "+++") != 0) return;
  if (!port.transcript.IsOpen()) return;
  int64_t lastWrite = port.LastWriteMs();
  std::string silence = lastWrite == 0
                            ? std::string("nothing sent before")
                            : std::to_string(platform::NowMs() - lastWrite) + " ms without sending";
  port.NoteEvent("escape guard: " + silence + " before \"+++\"");
}

void NoteTimeOut(Session& session, const char* command) {
  char lastLine[serial::kLineSize];
  session.port.assembler.CopyLastLine(lastLine);
  session.lastTimeOut = TimeOut{command, lastLine};
}

// Readies the port for command's answer, before its expected texts are stored: a wait here must
// not meet them. An earlier command's answer still owed is kept from
// being taken for this one's: by this command's own echo when the modem echoes, else by waiting
// a while for that answer's result code first. Bytes sent as they are (an escape, a loopback's
// data) get no echo and owe no result code.
void BeginCommand(Session& session, const char* command, Framing framing,
                  serial::MatchScope scope) {
  serial::TtyPort& port = session.port;
  serial::LineAssembler& lines = port.assembler;
  std::string echo;
  if (framing == Framing::kAtCommand) echo = std::string("at") + command;
  if (session.answerOwed && lines.ResultLines() != *session.answerOwed) session.answerOwed.reset();
  const bool untilEcho = session.answerOwed && !echo.empty() && session.modemEchoes == true;
  if (session.answerOwed && !echo.empty() && !untilEcho) {
    const unsigned owed = *session.answerOwed;
    port.NoteEvent("waiting for the late answer of an earlier command");
    (void)session.waits.Until(
        [&] { return lines.ResultLines() != owed || session.stop.CutsWaits(); },
        platform::NowMs() + kDrainMs);
    session.answerOwed.reset();
  }
  lines.BeginCommand(echo, untilEcho, scope);
  port.capture.Restart();
}

// What the wait's end says about the modem: a time-out leaves the answer owed, an answer shows
// whether the modem echoes.
void NoteOutcome(Session& session, Framing framing, WaitResult result) {
  if (framing != Framing::kAtCommand) return;
  serial::LineAssembler& lines = session.port.assembler;
  if (result == WaitResult::kTimedOut)
    session.answerOwed = lines.ResultLines();
  else
    session.modemEchoes = lines.EchoSeen();
}

// Sends command, readied by BeginCommand and with the expected texts in the port's table after
// that, and waits.
WaitResult SendAndAwait(Session& session, const char* command, int timeoutSeconds, Framing framing,
                        const char* awaitedText) {
  serial::TtyPort& port = session.port;
  NoteEscapeGuard(port, command, framing);
  // A failed write shows as the time-out that follows: nothing can answer a command never sent.
  (void)SendModemCommand(session, command, framing);
  std::string awaited;
  if (port.transcript.IsOpen()) awaited = "\"" + std::string(awaitedText) + "\"";
  const WaitResult result = AwaitMatch(session, platform::NowMs() + int64_t{timeoutSeconds} * 1000,
                                       timeoutSeconds, awaited.c_str());
  NoteOutcome(session, framing, result);
  if (result == WaitResult::kTimedOut && !session.stop.CutsWaits()) NoteTimeOut(session, command);
  return result;
}

}  // namespace

bool OpenComPort(Session& session, int portNumber) {
  char name[16];
  std::snprintf(name, sizeof name, "COM%d", portNumber);
  // A device opened anew is purged: nothing an earlier command was owed can still come.
  session.answerOwed.reset();
  session.modemEchoes.reset();
  return session.port.Open(name, session.ports) == serial::TtyPort::OpenResult::kOpened;
}

void ClosePort(Session& session) { session.port.Close(); }

bool SendRaw(Session& session, const char* data, int length) {
  return session.port.Write(data, length);
}

CaptureScope::CaptureScope(Session& session) : session_(session) {
  session_.port.capture.captureEnabled = 1;
}
CaptureScope::~CaptureScope() { session_.port.capture.captureEnabled = 0; }

bool SendModemCommand(Session& session, const char* text, Framing framing) {
  char buffer[kCommandBufferSize];
  int length = framing == Framing::kAtCommand
                   ? std::snprintf(buffer, sizeof buffer, "at%s\r\n", text)
                   : std::snprintf(buffer, sizeof buffer, "%s", text);
  if (length < 0 || length >= kCommandBufferSize) {
    serial::DebugOutputF("Command of %d characters refused: at most %d fit", length,
                         kCommandBufferSize - 1);
    return false;
  }
  return session.port.Write(buffer, length);
}

WaitResult Transact(Session& session, const char* command, const char* expected, int timeoutSeconds,
                    Framing framing) {
  if (session.stop.CutsWaits()) return WaitResult::kTimedOut;
  serial::TtyPort& port = session.port;
  BeginCommand(session, command, framing, serial::MatchScope::kAnyLine);
  port.assembler.ClearLastLine();
  port.assembler.ClearExpected();
  port.assembler.AddExpected(expected);
  return SendAndAwait(session, command, timeoutSeconds, framing, expected);
}

WaitResult TransactChange(Session& session, const Change& change, const char* command,
                          const char* expected, int timeoutSeconds, Framing framing) {
  if (session.stop.CutsWaits()) return WaitResult::kTimedOut;
  EnterChange(session, change);
  return Transact(session, command, expected, timeoutSeconds, framing);
}

OkReply TransactOk(Session& session, const char* command) {
  serial::TtyPort& port = session.port;
  if (session.stop.CutsWaits()) return OkReply::kNotSent;
  if (port.DeviceLost() || !port.connected.load()) return OkReply::kDeviceLost;
  BeginCommand(session, command, Framing::kAtCommand, serial::MatchScope::kAnyLine);
  port.assembler.ClearLastLine();
  port.assembler.ClearExpected();
  port.assembler.AddExpected("OK");
  port.assembler.AddExpected("ERROR");
  const bool seen = SendAndAwait(session, command, kCommandTimeoutSeconds, Framing::kAtCommand,
                                 "OK\" or \"ERROR") == WaitResult::kSeen;
  if (seen) return port.assembler.MatchedIndex() == 1 ? OkReply::kError : OkReply::kOk;
  if (session.stop.PutBackAbandoned()) return OkReply::kNotSent;
  return port.DeviceLost() ? OkReply::kDeviceLost : OkReply::kNoAnswer;
}

OkReply TransactOkConfirmed(Session& session, const char* command) {
  serial::LineAssembler& lines = session.port.assembler;
  const OkReply reply = TransactOk(session, command);
  if (reply != OkReply::kOk) return reply;
  // Another result code with the "OK", up to the end of the settle, was one of them an earlier's.
  if (lines.CommandResults() != 1) return OkReply::kUnconfirmed;
  const bool echoes = session.modemEchoes != false;
  // A bare "AT" is answered "OK" by every modem in command mode and changes nothing.
  const OkReply next = TransactOk(session, "");
  if (next == OkReply::kNotSent || next == OkReply::kDeviceLost) return next;
  const bool own =
      next == OkReply::kOk && lines.CommandResults() == 1 && (lines.EchoSeen() || !echoes);
  return own ? OkReply::kOk : OkReply::kUnconfirmed;
}

const char* ReplyReason(OkReply answer) {
  switch (answer) {
    case OkReply::kOk: return "";
    case OkReply::kError: return "ERROR";
    case OkReply::kNoAnswer: return "no answer";
    case OkReply::kNotSent: return "not sent";
    case OkReply::kDeviceLost: return "the device was lost";
    case OkReply::kUnconfirmed: return "not confirmed";
  }
  return "";
}

WaitResult IdentifyModem(Session& session, const char (*list)[serial::kLineSize], int count) {
  // With no text to look for, any answer would do, and any device that says "OK" would be
  // taken for the modem and get its registers written.
  if (count <= 0 || session.stop.CutsWaits()) return WaitResult::kTimedOut;
  serial::TtyPort& port = session.port;
  BeginCommand(session, "I3", Framing::kAtCommand, serial::MatchScope::kAnswerLine);
  port.assembler.ClearExpected();
  for (int i = 0; i < count; ++i) port.assembler.AddExpected(list[i]);
  (void)SendModemCommand(session, "I3");
  const WaitResult result =
      AwaitMatch(session, platform::NowMs() + kIdentifyTimeoutMs, kIdentifyTimeoutMs / 1000,
                 "a line of the identification list");
  NoteOutcome(session, Framing::kAtCommand, result);
  return result;
}

bool IsHexValue(const std::string& text, int minDigits) {
  if (int(text.size()) < minDigits || int(text.size()) > kReadValueSize - 1) return false;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

bool ReadHexValue(Session& session, const char* command, int minDigits,
                  char (&value)[kReadValueSize]) {
  value[0] = '\0';
  bool seen = false;
  {
    CaptureScope capture(session);
    seen = Transact(session, command, "OK", kCommandTimeoutSeconds) == WaitResult::kSeen;
  }
  const serial::ResponseCapture& capture = session.port.capture;
  // The capture stops at the matching line: an answer captured came before the "OK", after the
  // echo, and lines of an answer owed from earlier were kept out of it. Without the echo a value
  // could still be a late answer's that came after the wait for it: it is not taken.
  if (!seen || capture.answerLines.load() < 1 || !session.port.assembler.EchoSeen()) return false;
  char line[serial::kLineSize] = {};
  capture.CopyLine(line);
  if (!IsHexValue(line, minDigits)) return false;
  std::memcpy(value, line, std::strlen(line) + 1);
  return true;
}

void Pause(Session& session, int ms) {
  int64_t deadline = platform::NowMs() + ms;
  session.waits.Pump();
  (void)session.waits.Until([&session] { return session.stop.CutsWaits(); }, deadline);
}

bool OpenTranscript(Session& session, const char* path, int64_t startMs, std::string* error) {
  return session.port.transcript.Open(path, startMs, error);
}

void CloseTranscript(Session& session) { session.port.transcript.Close(); }

}  // namespace modem
