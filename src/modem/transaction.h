#pragma once
// Command transactions: write one command, then wait until a response line holds an expected
// text or the time-out passes. The UI keeps running during every wait; the thread sleeps in the
// event loop until an event, the reader's match or the deadline. All of it on the UI thread, on
// the single serial::ttyPort. A stop request (modem/safe_state.h) ends a wait at once, and a
// transaction asked for while one is in force sends nothing and returns kTimedOut.

#include <cstdint>
#include <string>

#include <cstdint>
#include <string>
#include <vector>

namespace modem {

inline constexpr int kSeen = 0;
inline constexpr int kTimedOut = 1;
inline constexpr int kOpened = 0;
inline constexpr int kOpenFailed = 1;
inline constexpr int kReadValueSize = 3;        // two characters and a NUL
inline constexpr int kCommandBufferSize = 256;  // a command as sent, with "at" and CR LF, and a NUL

// Opens "COM<portNumber>". kOpened (0) or kOpenFailed (1).
[[nodiscard]] int OpenComPort(int portNumber);

// Closes the port: the reader stops, DTR drops, the device is released. Nothing when none is
// open. Pumps messages while the reader ends.
void ClosePort();

// Sends length bytes as they are, outside any transaction. The port write's result: 1 accepted,
// 0 failed or no port open.
[[nodiscard]] int SendRaw(const char* data, int length);

// While one exists the reader keeps the first two lines of every answer (the echo and the line
// after it), for ReadHexValue and the detection's information fields.
class CaptureScope {
 public:
  CaptureScope();
  ~CaptureScope();
  CaptureScope(const CaptureScope&) = delete;
  CaptureScope& operator=(const CaptureScope&) = delete;
};

// With addPrefix: "at", text, CR, LF; without: text alone, byte for byte. Returns the port
// write's result (1 accepted, 0 failed). A command that would not fit the 255-character buffer
// is refused (0, nothing sent, a debug text) rather than cut, so a modem never gets half of one.
[[nodiscard]] int SendModemCommand(const char* text, int addPrefix);

// kSeen (0) when a line holding expected ended before the time-out, kTimedOut (1) otherwise;
// either way it returns 100 ms after that moment. The deadline counts from the end of the write.
[[nodiscard]] int Transact(const char* command, const char* expected, int timeoutSeconds,
                           int addPrefix);

// A transaction that timed out: when, the command, and the last line that came back meanwhile
// (empty when none did).
struct TimeOut {
  int64_t ms = 0;  // platform::NowMs() at the time-out
  std::string command;
  std::string lastLine;
};

// The time-outs since ClearTimeOuts, oldest first; at most the first 64 are kept. A wait cut
// short by a stop request is not one. UI thread.
[[nodiscard]] const std::vector<TimeOut>& TimeOuts();
void ClearTimeOuts();

// Sends "I3" and waits up to 4 s for a line holding any of the first count lines of list.
// An empty list matches nothing: kTimedOut at once, nothing sent.
[[nodiscard]] int IdentifyModem(const char (*list)[80], int count);

// Reads a value the modem gives as one line of hexadecimal digits: sends the command with the
// capture on and waits up to 3 s for "OK". True, with the digits in value, only when the first
// line of the answer is this command's own echo, the second is minDigits to 2 hexadecimal
// digits and a later line brought the "OK"; otherwise false and value is empty. The capture is
// off afterwards. UI thread.
[[nodiscard]] bool ReadHexValue(const char* command, int minDigits, char (&value)[kReadValueSize]);

// The transcript of every port event (--transcript FILE): creates path (mode 0600, never through
// a symbolic link), its times counted from startMs (platform::NowMs() at the program's start).
// false with the reason in *error, nothing open. UI thread, before any port is opened.
[[nodiscard]] bool OpenTranscript(const char* path, int64_t startMs, std::string* error);
// Writes out what is left and closes the transcript; nothing when none is open. UI thread, after
// the last port has closed.
void CloseTranscript();

}  // namespace modem
