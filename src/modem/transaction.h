#pragma once
// Command transactions: write one command, then wait until a response line holds an expected
// text or the time-out passes. The UI keeps running during every wait; the thread sleeps in the
// event loop until an event, the reader's match or the deadline. All of it on the UI thread, on
// the single serial::ttyPort.

namespace modem {

inline constexpr int kSeen = 0;
inline constexpr int kTimedOut = 1;
inline constexpr int kOpened = 0;
inline constexpr int kOpenFailed = 1;

// Opens "COM<portNumber>". kOpened (0) or kOpenFailed (1).
int OpenComPort(int portNumber);

// With addPrefix: "at", text, CR, LF; without: text alone, byte for byte. Returns the port
// write's result (1 accepted, 0 failed). A command that would not fit the 255-character buffer
// is refused (0, nothing sent, a debug text) rather than cut, so a modem never gets half of one.
int SendModemCommand(const char* text, int addPrefix);

// kSeen (0) when a line holding expected ended before the time-out, kTimedOut (1) otherwise;
// either way it returns 100 ms after that moment. The deadline counts from the end of the write.
int Transact(const char* command, const char* expected, int timeoutSeconds, int addPrefix);

// Sends "I3" and waits up to 4 s for a line holding any of the first count lines of list.
// With count 0 no text is added and the matched flag of the previous transaction decides.
int IdentifyModem(const char (*list)[80], int count);

}  // namespace modem
