#pragma once
// SIGTERM, SIGINT and SIGHUP (a logout, kill, Ctrl-C) turned into a call on the UI thread.

#include <functional>

namespace platform {

// The exit status of a process ended by signal n, as a shell reports it.
[[nodiscard]] constexpr int ExitForSignal(int signalNumber) { return 128 + signalNumber; }

// From now on each of those signals calls onSignal(signal number) on the UI thread, from its
// event loop or any wait that pumps it. The signal handler itself only writes the number into
// a pipe. A signal that finds an earlier one unread for 3 s ends the process at once with
// ExitForSignal(its number), for a UI thread that no longer listens; one that listens hears
// every signal, however many come and however fast. UI thread, with a Qt application; a later call
// replaces onSignal. False (signals left as they were) when the pipe cannot be made.
bool WatchTerminationSignals(std::function<void(int signalNumber)> onSignal);

// A write to a pipe or socket whose reader has gone fails with EPIPE instead of ending the
// process: standard output or error closed under the tool must not stop it in the middle of
// putting the modem back. Call once at start-up, before any thread.
void IgnoreBrokenPipes();

}  // namespace platform
