#include "ui/diag_app.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/debug_output.h"
#include "platform/device_name.h"
#include "platform/window_lookup.h"
#include "ui/command_line.h"
#include "ui/main_dialog.h"
#include "ui/port_listing.h"

namespace ui {

DiagApp::DiagApp(int& argc, char** argv) : app_(argc, argv) {
  // The welcome dialog is the only window shown for a while; closing it must not end the
  // main dialog's loop.
  app_.setQuitOnLastWindowClosed(false);
  QCoreApplication::setApplicationVersion(QStringLiteral(KALVEX_VERSION));
}

int DiagApp::InitInstance() {
  if (platform::TopLevelWindowExists(kRefusingWindowTitle)) {
    platform::DebugOutput("\nA window titled \"Built-In Modem Diagnostics\" exists: not starting");
    return 0;
  }
  MainDialog dialog(nullptr);
  QApplication::setWindowIcon(dialog.AppIcon());
  dialog.RunModal();
  return 0;
}

QByteArray DisplayProblem(int argc, char** argv) {
  QByteArray platform;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
      platform = argv[i + 1];
  }
  if (platform.isEmpty()) platform = qgetenv("QT_QPA_PLATFORM");
  // "name:options" or a list "a;b": Qt tries the first entry first.
  platform = platform.split(';').first().split(':').first().trimmed();
  if (!platform.isEmpty() && platform != "xcb") return {};
  if (platform.isEmpty() && !qgetenv("WAYLAND_DISPLAY").isEmpty()) return {};
  if (platform::XDisplayAvailable()) return {};
  const QByteArray display = qgetenv("DISPLAY");
  QByteArray reason = display.isEmpty() ? QByteArray("cannot open the display: DISPLAY is not set")
                                        : "cannot open the display \"" + display + "\"";
  return reason + "; set DISPLAY, or use --report to run without a display";
}

int RunDiagApp(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  if (arguments.isEmpty()) arguments << QStringLiteral("kalvex-modem-diag");
  const ParsedCommandLine parsed = ParseCommandLine(arguments);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "%s\n", parsed.error.c_str());
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
  platform::SetPortOverrides(parsed.line.portMappings);
  for (const std::string& problem : platform::LoadPortsConfig())
    std::fprintf(stderr, "kalvex-modem-diag: %s\n", problem.c_str());
  if (parsed.line.mode == RunMode::kListPorts) {
    std::fputs(PortListingText().c_str(), stdout);
    return kExitOk;
  }
  if (parsed.line.mode == RunMode::kReport) {
    std::fputs("kalvex-modem-diag: --report is not available in this build yet\n", stderr);
    return kExitTestFailed;
  }
  const QByteArray problem = DisplayProblem(argc, argv);
  if (!problem.isEmpty()) {
    const QByteArray name =
        argc > 0 && argv[0] ? QFileInfo(QString::fromLocal8Bit(argv[0])).fileName().toLocal8Bit()
                            : QByteArray("kalvex-modem-diag");
    std::fprintf(stderr, "%s: %s\n", name.constData(), problem.constData());
    return 1;
  }
  DiagApp app(argc, argv);
  return app.InitInstance();
}

}  // namespace ui
