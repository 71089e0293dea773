#include "diagnostics/exit_status.h"

#include "platform/sys_error.h"
#include "serial/debug_output.h"

namespace diagnostics {

std::string ExitMeaning(int status) {
  for (const ExitStatus& row : kExitStatuses) {
    if (row.code == status) return row.meaning;
  }
  if (status > ExitForSignal(0))
    return "interrupted by signal " + std::to_string(status - ExitForSignal(0));
  return "";
}

std::string ExitStatusHelp() {
  std::string reportOnly;
  std::string lines;
  for (const ExitStatus& row : kExitStatuses) {
    const std::string code = std::to_string(row.code);
    if (row.reportOnly) reportOnly += (reportOnly.empty() ? "" : ", ") + code;
    lines += "  " + code + std::string(5 - code.size(), ' ') + row.help + "\n";
  }
  const std::size_t lastComma = reportOnly.rfind(", ");
  if (lastComma != std::string::npos) reportOnly.replace(lastComma, 2, " and ");
  return "Exit status (" + reportOnly + " with --report only):\n" + lines;
}

void SayWhetherSignalsWatched(const platform::TerminationSignalWatch& watch) {
  if (watch.Watching()) return;
  serial::DebugOutputF("Termination signals not watched: %s",
                       platform::DescribeErrno(watch.WatchError()).c_str());
}

}  // namespace diagnostics
