#include "ui/port_probe_run.h"

#include <QByteArray>
#include <QCoreApplication>

#include <cstdio>
#include <optional>
#include <string>

#include "diagnostics/exit_status.h"
#include "diagnostics/port_probe_document.h"
#include "diagnostics/program_run.h"
#include "platform/data_files.h"
#include "platform/termination_signals.h"
#include "platform/ui_waits.h"

namespace ui {

int RunPortProbe(int argc, char** argv, bool json, const serial::PortMap& ports) {
  QCoreApplication app(argc, argv);
  platform::UiWaits waits;
  waits.Attach();
  diagnostics::ProbeReport report;
  diagnostics::IdentificationList list;
  std::string details;
  report.listFound = diagnostics::FindIdentificationList(list, &details);
  if (report.listFound) report.listPath = platform::AbsoluteDataFilePath(list.path);
  // Watched before the probe starts asking: a signal that came between the two would end the
  // program with the devices still open.
  std::optional<diagnostics::PortProbe> probe;
  platform::TerminationSignalWatch signalWatch([&report, &probe](int signalNumber) {
    if (report.stoppedBy == 0) report.stoppedBy = signalNumber;
    if (probe) probe->Stop();
  });
  diagnostics::SayWhetherSignalsWatched(signalWatch);
  probe.emplace(diagnostics::ProbeTargets(ports), report.listFound ? &list : nullptr,
                waits.Waker());
  waits.Until([&probe] { return probe->Done(); });
  report.results = probe->Results();
  // From here a signal has nothing left to stop.
  signalWatch.Hear([](int) {});
  probe.reset();
  diagnostics::AddPortsConfLines(report, ports);
  const QByteArray output = json ? diagnostics::ProbeReportJson(report)
                                 : QByteArray::fromStdString(diagnostics::ProbeReportText(report));
  std::fwrite(output.constData(), 1, size_t(output.size()), stdout);
  std::fflush(stdout);
  return report.stoppedBy == 0 ? 0 : platform::ExitForSignal(report.stoppedBy);
}

}  // namespace ui
