#pragma once
// DiagApp: the application object. It owns the QApplication and runs the main dialog modally;
// that run is the program's event loop (QApplication::exec() is never called), and the program
// ends when it ends.

#include <QApplication>

#include <cstdint>
#include <string>
#include <utility>

#include "diagnostics/port_setup.h"
#include "diagnostics/program_run.h"

namespace ui {

class DiagApp {
 public:
  // Needs a usable display (see DisplayProblem). argc and argv must outlive the object.
  DiagApp(int& argc, char** argv);
  DiagApp(const DiagApp&) = delete;
  DiagApp& operator=(const DiagApp&) = delete;

  // Start-up: refuses silently when a top-level window titled kRefusingWindowTitle exists
  // (before any window, file or port is touched); refuses with a message box and status 1 while
  // another copy runs (ClaimSingleInstance); otherwise builds the main dialog and runs it.
  // Returns the process exit status: 0 on every other end (a missing ati3.dat exits the process
  // itself with 0), ExitForSignal(n) after signal n (SIGTERM, SIGINT, SIGHUP), which closes the
  // dialog as "Quit" does: a running detection or test stops and the modem is put back first; a
  // second signal cuts the put-back short. UI thread. With a transcript path set, it is opened once
  // this copy is the only one (so a second start never empties the first one's file), before any
  // window: on failure one line on standard error and status 1.
  int InitInstance();

  // The program run with the modem: its port, ledger and stop token.
  [[nodiscard]] diagnostics::Session& Session() { return session_; }

  // Where the COM names lead in this run, as the command line says: the session's map, set
  // before InitInstance, which adds ports.conf to it.
  void SetPorts(const serial::PortMap& ports) { session_.ports = ports; }

  // The --transcript FILE of this run; its times count from startMs (platform::NowMs()).
  void SetTranscript(std::string path, int64_t startMs) {
    transcriptPath_ = std::move(path);
    transcriptStartMs_ = startMs;
  }

 private:
  QApplication app_;
  diagnostics::Session session_;
  std::string transcriptPath_;
  int64_t transcriptStartMs_ = 0;
};

// Empty when Qt can open its platform; otherwise the one-line reason (without a newline), for
// a start without any display that would otherwise end in a Qt abort. Reads argv for
// -platform, then QT_QPA_PLATFORM.
[[nodiscard]] QByteArray DisplayProblem(int argc, char** argv);

// The whole program: reads the command line (--help, --version and usage errors end here, with
// no display needed), checks the display, then DiagApp. Returns the exit status (64 for a usage
// error, 1 with a message on standard error when no display can be used).
int RunDiagApp(int argc, char** argv);

}  // namespace ui
