#pragma once
// Stopping a detection or a test run early, and giving the modem back as the run found it.
//
// A stop request (Quit, the close box, a termination signal) ends the wait in progress at once;
// from then on every Transact, IdentifyModem and Pause returns at once without sending, so the
// run unwinds to its end without touching the modem. What the run changed is noted as it is
// sent (pendingChanges, and the register snapshot's written test values) and PutModemBack
// undoes it. Writes that put something back run inside a PutBackScope, which a stop request
// does not cut short: only AbandonPutBack (a second termination signal) does. UI thread only.

namespace modem {

// What the run has changed in the modem and not undone yet, besides the vendor registers.
struct PendingChanges {
  bool dataModePossible = false;  // a loopback was started and not ended
  bool dialling = false;          // a dial was sent and has not ended
  bool offHook = false;           // "H1" or the buzz was sent and not hung up
  bool countryChanged = false;    // a country was selected; countryCode is the one read before
  char countryCode[3] = {};
};
extern PendingChanges pendingChanges;

// Asks the running operation to stop. Sticky: the program ends after such a run.
void RequestStop();
// Also cuts short the put-back in progress; what is left is reported as not put back.
void AbandonPutBack();
[[nodiscard]] bool StopRequested();
// True when a wait or a command must not go on now: a stop outside a PutBackScope, or an
// abandoned put-back.
[[nodiscard]] bool StopCutsWaits();

class PutBackScope {
 public:
  PutBackScope();
  ~PutBackScope();
  PutBackScope(const PutBackScope&) = delete;
  PutBackScope& operator=(const PutBackScope&) = delete;
};

// Dispatches events for ms milliseconds, like platform::DelayPumping, but returns at once when
// StopCutsWaits().
void Pause(int ms);

// One write of a put-back: sends command and waits up to 3 s for "OK". True when answered;
// otherwise "<what> could not be put back" and the command go to the debug output. UI thread.
bool WriteBack(const char* command, const char* what);

// Closes COM<portNumber>, which drops DTR and so ends a data connection whatever the modem
// makes of "+++", then opens it again after 500 ms and pauses 500 ms more; the reopen's outcome
// is not examined. UI thread.
void ReopenPort(int portNumber);

// Writes the country read before the run back with "%T19,0,<code>", when a country was
// selected. True when nothing was pending or the modem answered "OK".
bool RestoreCountry();

// Undoes what the run left, in this order: the guarded escape and "&T0" (a DTR drop through
// closing and reopening COM<portNumber> when the escape gets no answer), a dial cut short by a
// CR (which a modem takes as the end of dialling) and "H", the registers
// whose test values were written, the country. Reopens COM<portNumber> first when the port is
// closed. Each write waits up to 3 s for "OK". True when everything pending was answered; each
// thing that was not is named on the debug output. Up to about 30 s against a silent modem.
bool PutModemBack(int portNumber);

}  // namespace modem
