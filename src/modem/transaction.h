#pragma once
// Command transactions: write one command, then wait until a response line holds an expected
// text or the time-out passes. The UI keeps running during every wait; the thread sleeps in the
// event loop until an event, the reader's match or the deadline. All of it on the UI thread, on
// the session's port. A stop request (session.stop) ends a wait at once, and a transaction asked
// for while one is in force sends nothing and returns kTimedOut.

#include <cstdint>
#include <string>

#include "modem/ledger.h"
#include "serial/line_assembler.h"

namespace modem {

class Session;

// How a wait for an expected answer ended.
enum class WaitResult {
  kSeen,      // a line holding the expected text ended before the time-out
  kTimedOut,  // it did not: a time-out, a stop, or nothing was sent
};

// How a command goes on the line.
enum class Framing {
  kAtCommand,  // "at", the text, CR, LF
  kAsIs,       // the text alone, byte for byte ("+++", a loopback's data)
};

inline constexpr int kReadValueSize = 3;        // two characters and a NUL
inline constexpr int kCommandBufferSize = 256;  // a command as sent, with "at" and CR LF, and a NUL
inline constexpr int kCommandTimeoutSeconds = 3;  // what most commands are given for their "OK"
inline constexpr int kSettleMs = 100;             // after every transaction, seen or not

// Opens "COM<portNumber>"; true when it is open.
[[nodiscard]] bool OpenComPort(Session& session, int portNumber);

// Closes the port: the reader stops, DTR drops, the device is released. Nothing when none is
// open. Pumps messages while the reader ends.
void ClosePort(Session& session);

// Sends length bytes as they are, outside any transaction. True when the port accepted them;
// false when the write failed or no port is open.
[[nodiscard]] bool SendRaw(Session& session, const char* data, int length);

// While one exists the reader keeps the first two lines of every answer (the echo and the line
// after it), for ReadHexValue and the detection's information fields.
class CaptureScope {
 public:
  explicit CaptureScope(Session& session);
  ~CaptureScope();
  CaptureScope(const CaptureScope&) = delete;
  CaptureScope& operator=(const CaptureScope&) = delete;

 private:
  Session& session_;
};

// Sends text framed as framing says. True when the port accepted it. A command that would not fit
// the 255-character buffer is refused (false, nothing sent, a debug text) rather than cut, so a
// modem never gets half of one.
[[nodiscard]] bool SendModemCommand(Session& session, const char* text,
                                    Framing framing = Framing::kAtCommand);

// kSeen when a line holding expected ended before the time-out, kTimedOut otherwise; either way
// it returns 100 ms after that moment. The deadline counts from the end of the write.
// A time-out sets session.lastTimeOut; a wait cut short by a stop sets session.cutWait instead.
[[nodiscard]] WaitResult Transact(Session& session, const char* command, const char* expected,
                                  int timeoutSeconds, Framing framing = Framing::kAtCommand);

// After a command that timed out, its late answer is never taken for the next one's: when the
// modem echoes, only lines after the next command's own echo count; when it does not, the next
// command waits up to kDrainMs for that answer's result code before it is sent.
inline constexpr int kDrainMs = 1000;

// A transaction that changes the modem: change is entered in the ledger (and its journal) just
// before the command goes out, and only when it does go out. As Transact otherwise.
[[nodiscard]] WaitResult TransactChange(Session& session, const Change& change, const char* command,
                                        const char* expected, int timeoutSeconds,
                                        Framing framing = Framing::kAtCommand);

// How a command that must be answered "OK" was answered.
enum class OkReply {
  kOk,
  kError,        // "ERROR"
  kNoAnswer,     // nothing that ended it within the time-out
  kNotSent,      // a stop or an abandoned put-back kept it from going out
  kDeviceLost,   // the device had gone: nothing could reach it
  kUnconfirmed,  // "OK", but another result code came with it: it may have been an earlier one's
};
// Sends command with the prefix and waits up to 3 s for "OK" or "ERROR", whichever comes first.
[[nodiscard]] OkReply TransactOk(Session& session, const char* command);
// As TransactOk, and an "OK" counts only when it is confirmed by what follows: the modem's next
// answer, to a bare "AT" sent at once, must be that command's own, with no other result code
// since the "OK". For commands whose effect cannot be read back ("H", "Z"). About 0.2 s more.
[[nodiscard]] OkReply TransactOkConfirmed(Session& session, const char* command);
// "ERROR", "no answer", "not sent", "the device was lost", "not confirmed"; empty for kOk.
[[nodiscard]] const char* ReplyReason(OkReply answer);

// Sends "I3" and waits up to 4 s for an answer line holding any of the first count lines of
// list: the echo, result codes and unsolicited codes are never matched. An empty list matches
// nothing: kTimedOut at once, nothing sent.
[[nodiscard]] WaitResult IdentifyModem(Session& session, const char (*list)[serial::kLineSize],
                                       int count);

// Reads a value the modem gives as one line of hexadecimal digits: sends the command with the
// capture on and waits up to 3 s for "OK". True, with the digits in value, only when the answer
// came after this command's own echo, its first line that is not a result code is minDigits to 2
// hexadecimal digits, and the "OK" came after it; otherwise false and value is empty. The capture
// is off afterwards. UI thread.
[[nodiscard]] bool ReadHexValue(Session& session, const char* command, int minDigits,
                                char (&value)[kReadValueSize]);

// True when text is minDigits to 2 hexadecimal digits: the form the modem gives a value in.
[[nodiscard]] bool IsHexValue(const std::string& text, int minDigits);

// Dispatches events for ms milliseconds, like UiWaits::Delay, but returns at once when
// session.stop cuts waits.
void Pause(Session& session, int ms);

// The transcript of every port event (--transcript FILE): creates path (mode 0600, never through
// a symbolic link), its times counted from startMs (platform::NowMs() at the program's start).
// false with the reason in *error, nothing open. UI thread, before any port is opened.
[[nodiscard]] bool OpenTranscript(Session& session, const char* path, int64_t startMs,
                                  std::string* error);
// Writes out what is left and closes the transcript; nothing when none is open. UI thread, after
// the last port has closed.
void CloseTranscript(Session& session);

}  // namespace modem
