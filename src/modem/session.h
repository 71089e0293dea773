#pragma once
// Session: the state of one program run with the modem, made once by the dialogs or by the
// report and passed down to every detection, transaction and test run. It owns the map of COM
// names to devices, the port (with its capture and transcript), the register snapshot, the ledger
// of changes and its journal, the stop token, the current transaction's time-out and the
// detection guard. Tests make their own. UI
// thread only: the port, the ledger and the stop token check it in a debug build.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "modem/ledger.h"
#include "modem/register_snapshot.h"
#include "modem/stop_token.h"
#include "platform/ui_waits.h"
#include "serial/port_names.h"
#include "serial/tty_port.h"

namespace modem {

// A transaction that timed out: the command, and the last line that came back meanwhile (empty
// when none did).
struct TimeOut {
  std::string command;
  std::string lastLine;
};

// A journal found at detection, and what became of it.
struct Recovery {
  enum class Outcome {
    kPutBack,        // every change it held was put back and checked; the file is removed
    kNotAllPutBack,  // some are still pending in this run's ledger; the file stays
    kOtherModem,     // written for another "I3" line: kept, not acted on
    kUnreadable,     // not a private regular file of ours, or it could not be read: not acted on
    kBad,            // it did not parse: renamed to .bad, not acted on
    kNotActedOn,     // another journal of this modem was acted on first: kept as it is
  };
  Outcome outcome = Outcome::kPutBack;
  std::string path;
  std::string detail;           // the other modem's "I3" line, or why it was refused
  std::string mend;             // kUnreadable: the commands that make it ours again, if any
  std::vector<Change> changes;  // kPutBack, kNotAllPutBack: what it held, as it ended
};

// Changes made to a modem the run can no longer reach, because detection found another modem
// (or another "I3" line on that device) since: they stay in that modem's journal.
struct LeftBehind {
  std::string device;
  std::string i3Line;
  std::string journal;  // empty when it could not be written
  std::vector<Change> changes;
};

class Session {
 public:
  Session() = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The UI thread's waits on the modem, and the channel that wakes them; made first and ended
  // last, since the port's reader and the stop token wake it.
  platform::UiWaits waits;
  // Where each COM name leads in this run (--port, ports.conf): set once at start, before the
  // first detection, and read by detection, the port's open and the untried devices.
  serial::PortMap ports;
  serial::TtyPort port{waits};
  RegisterSnapshot snapshot;
  Ledger ledger;
  StopToken stop{waits.Waker()};

  // The modem found by the last detection: its COM number (0 before one is found), device path
  // and "I3" line.
  int detectedPort = 0;
  std::string detectedDevice;
  std::string detectedI3Line;

  // The last transaction that timed out; whoever records a step resets it before the step.
  std::optional<TimeOut> lastTimeOut;
  // The command whose wait a stop cut short, and when its own time-out would have ended; the
  // put-back waits for its answer first.
  struct CutWait {
    int64_t deadlineMs = 0;
  };
  std::optional<CutWait> cutWait;
  // A command that timed out before any result code came: its answer may still arrive and must
  // not be taken for a later command's. Holds the assembler's ResultLines() at the time-out; the
  // answer has come once that count moves on.
  std::optional<unsigned> answerOwed;
  // Whether the modem echoed the last command it answered (nullopt before one was, on this
  // opening of the port): only then can a command's own echo tell its answer from a late one.
  std::optional<bool> modemEchoes;

  bool detectionRunning = false;
  // The journal could not be written once already: said once, not at every change.
  bool journalFailed = false;
  // Where the journal lives; empty: platform::StateDirectory(). Tests give their own.
  std::string stateDirectory;
  // This run's journal of the detected modem: chosen at detection among the device's journal
  // names, never one that holds a journal the run did not act on. Empty: none can be written.
  std::string journalPath;
  // Every journal of the detected device the last detection found, and what became of each.
  std::vector<Recovery> journals;
  // What earlier detections' modems were left holding.
  std::vector<LeftBehind> leftBehind;
};

}  // namespace modem
