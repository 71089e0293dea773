#include "ui/diag_app.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "desktop/window_lookup.h"
#include "diagnostics/exit_status.h"
#include "diagnostics/port_listing.h"
#include "diagnostics/port_setup.h"
#include "diagnostics/program_run.h"
#include "platform/clock.h"
#include "platform/standard_error.h"
#include "platform/termination_signals.h"
#include "resources/product.h"
#include "serial/debug_output.h"
#include "serial/visible_text.h"
#include "ui/command_line.h"
#include "ui/instance_raise.h"
#include "ui/main_dialog.h"
#include "ui/port_probe_run.h"
#include "ui/report_run.h"
#include "ui/single_instance.h"

namespace ui {

DiagApp::DiagApp(int& argc, char** argv) : app_(argc, argv) {
  // The welcome dialog is the only window shown for a while; closing it must not end the
  // main dialog's loop.
  app_.setQuitOnLastWindowClosed(false);
  QCoreApplication::setApplicationVersion(QStringLiteral(KALVEX_VERSION));
}

int DiagApp::InitInstance() {
  if (desktop::TopLevelWindowExists(product::kRefusingWindowTitle)) {
    serial::DebugOutputF("A window titled \"%s\" exists: not starting",
                         product::kRefusingWindowTitle);
    return 0;
  }
  if (QGuiApplication::platformName() == QLatin1String("wayland") &&
      !desktop::XDisplayAvailable()) {
    serial::DebugOutputF("No X display: cannot look for a \"%s\" window; starting",
                         product::kRefusingWindowTitle);
  }
  // Held until the program ends: two copies would take turns on one modem's registers.
  platform::InstanceLock instance;
  switch (ClaimForDialogs(instance)) {
    case DialogsClaim::kClaimed: break;
    case DialogsClaim::kRaised: return 0;
    case DialogsClaim::kRefused: return 1;
  }
  LoadPortsConfigSayingProblems(session_.ports);
  RaiseListener raiseRequests;
  std::string listenError;
  if (instance.Held() && !raiseRequests.Listen(RaiseWindows, &listenError)) {
    // Only a second start's convenience is lost: it will refuse with a box instead.
    serial::DebugOutputF("%s", listenError.c_str());
  }
  diagnostics::Session& session = session_;
  std::string transcriptError;
  if (!transcriptPath_.empty() &&
      !diagnostics::OpenTranscript(session, transcriptPath_.c_str(), transcriptStartMs_,
                                   &transcriptError)) {
    platform::WriteStandardError(
        std::string(product::kProgramName) + ": cannot write the transcript " +
        serial::VisibleText(transcriptPath_) + ": " + transcriptError + "\n");
    return 1;
  }
  MainDialog dialog(session, nullptr);
  QApplication::setWindowIcon(dialog.AppIcon());
  int stoppedBy = 0;
  platform::TerminationSignalWatch signalWatch([&dialog, &stoppedBy, &session](int signalNumber) {
    if (stoppedBy == 0) {
      stoppedBy = signalNumber;
      serial::DebugOutputF("Signal %d: stopping, the modem is put back first", signalNumber);
      dialog.RequestClose();
      return;
    }
    // Asked twice: the user will not wait for the modem to be put back.
    serial::DebugOutputF("Signal %d again: ending without putting the rest back", signalNumber);
    diagnostics::StopRun(session, true);
  });
  diagnostics::SayWhetherSignalsWatched(signalWatch);
  dialog.RunModal();
  // Escape ends the dialog without its close request: the modem is put back all the same.
  dialog.FinishProgramRun();
  signalWatch.Hear([&session](int) { diagnostics::StopRun(session, true); });
  const std::vector<std::string> left = diagnostics::NotPutBack(session);
  for (const std::string& item : left)
    platform::WriteStandardError(std::string(product::kProgramName) + ": not put back: " + item +
                                 "\n");
  if (!left.empty()) return diagnostics::kExitNotPutBack;
  return stoppedBy == 0 ? diagnostics::kExitOk : diagnostics::ExitForSignal(stoppedBy);
}

namespace {

QByteArray PlatformArgument(int argc, char** argv) {
  QByteArray platform;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
      platform = argv[i + 1];
  }
  return platform;
}

// On a Wayland desktop that also runs XWayland, the tool runs as an X client unless the user
// chose a platform: only there can it look for the "Built-In Modem Diagnostics" window, and
// only there are its dialogs placed where it puts them.
void PreferXWayland(int argc, char** argv) {
  if (!PlatformArgument(argc, argv).isEmpty() || !qgetenv("QT_QPA_PLATFORM").isEmpty()) return;
  if (qgetenv("WAYLAND_DISPLAY").isEmpty() || !desktop::XDisplayAvailable()) return;
  qputenv("QT_QPA_PLATFORM", "xcb");
}

}  // namespace

QByteArray DisplayProblem(int argc, char** argv) {
  QByteArray platform = PlatformArgument(argc, argv);
  if (platform.isEmpty()) platform = qgetenv("QT_QPA_PLATFORM");
  // "name:options" or a list "a;b": Qt tries the first entry first.
  platform = platform.split(';').first().split(':').first().trimmed();
  if (!platform.isEmpty() && platform != "xcb") return {};
  if (platform.isEmpty() && !qgetenv("WAYLAND_DISPLAY").isEmpty()) return {};
  if (desktop::XDisplayAvailable()) return {};
  const QByteArray display = qgetenv("DISPLAY");
  QByteArray reason = display.isEmpty() ? QByteArray("cannot open the display: DISPLAY is not set")
                                        : "cannot open the display \"" + display + "\"";
  return reason + "; set DISPLAY, or use --report to run without a display";
}

int RunDiagApp(int argc, char** argv) {
  const int64_t startMs = platform::NowMs();
  platform::IgnoreBrokenPipes();
  // File names are bytes: a name that is not valid UTF-8 must reach the file system unchanged.
  QStringList arguments = ArgumentsFromBytes(argc, argv);
  if (arguments.isEmpty()) arguments << QString::fromLatin1(product::kProgramName);
  const ParsedCommandLine parsed = ParseCommandLine(arguments);
  if (!parsed.error.empty()) {
    platform::WriteStandardError(parsed.error + "\n");
    // A fleet's run that asked for a document gets one even when its options are wrong.
    if (arguments.contains(QStringLiteral("--report")) &&
        arguments.contains(QStringLiteral("--json")))
      WriteReportError("usage", parsed.error.substr(parsed.error.find(": ") + 2), kExitUsage,
                       startMs);
    return kExitUsage;
  }
  if (parsed.line.mode == RunMode::kHelp) {
    std::fputs(HelpText().c_str(), stdout);
    return kExitOk;
  }
  if (parsed.line.mode == RunMode::kVersion) {
    std::fputs(VersionLine().c_str(), stdout);
    return kExitOk;
  }
  // The report and the listing say in their own lines what the debug texts would.
  if (parsed.line.mode == RunMode::kListPorts || parsed.line.mode == RunMode::kReport)
    serial::ShowDebugOutput(parsed.line.verbose);
  // The one map of COM names this run uses; each mode reads ports.conf into it once it may run.
  serial::PortMap ports = diagnostics::PortMapFromOptions(parsed.line.portMappings);
  if (parsed.line.mode == RunMode::kListPorts) {
    // A listing takes no instance lock: it changes nothing on any port.
    LoadPortsConfigSayingProblems(ports);
    if (parsed.line.probe) return RunPortProbe(argc, argv, parsed.line.json, ports);
    if (parsed.line.json) {
      const QByteArray document = diagnostics::PortListingJson(ports);
      std::fwrite(document.constData(), 1, size_t(document.size()), stdout);
    } else {
      std::fputs(diagnostics::PortListingText(ports).c_str(), stdout);
    }
    return kExitOk;
  }
  if (parsed.line.mode == RunMode::kReport) {
    return RunReport(argc, argv, parsed.line, startMs, ports);
  }
  PreferXWayland(argc, argv);
  const QByteArray problem = DisplayProblem(argc, argv);
  if (!problem.isEmpty()) {
    const QByteArray name =
        argc > 0 && argv[0] ? QFileInfo(QString::fromLocal8Bit(argv[0])).fileName().toLocal8Bit()
                            : QByteArray(product::kProgramName);
    platform::WriteStandardError((name + ": " + problem + "\n").toStdString());
    return 1;
  }
  DiagApp app(argc, argv);
  app.SetPorts(ports);
  app.SetTranscript(parsed.line.transcriptPath, startMs);
  return app.InitInstance();
}

}  // namespace ui
