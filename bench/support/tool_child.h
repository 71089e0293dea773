#pragma once
// A fresh process of the tool for benchmarks that time it whole: the benchmark executes itself
// again in a child mode that runs the tool (ui::RunDiagApp) with an observer of its own, which
// reports over a pipe.

#include <QString>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace benchsupport {

inline constexpr char kModeVariable[] = "KALVEX_BENCH_MODE";  // set in a child: its mode
inline constexpr char kPipeVariable[] = "KALVEX_BENCH_FD";    // the child's report descriptor

// Forks and executes self in child mode `mode`, on the offscreen platform, with the ports of
// comDir, working in workDir (also its runtime directory), its standard error silenced. Returns the
// child's PID with the read end of its report pipe in *reportFd, or -1 when the pipe or the fork
// failed.
inline pid_t StartToolChild(const char* self, const char* mode, const QString& workDir,
                            const std::string& comDir, int* reportFd) {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    ::setenv(kModeVariable, mode, 1);
    ::setenv(kPipeVariable, std::to_string(fds[1]).c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("KALVEX_COM_DIR", comDir.c_str(), 1);
    for (int n = 1; n <= 9; ++n) ::unsetenv(("KALVEX_COM" + std::to_string(n)).c_str());
    // Its own instance lock, so a copy of the tool running beside the benchmark is no obstacle.
    ::setenv("XDG_RUNTIME_DIR", workDir.toLocal8Bit().constData(), 1);
    if (::chdir(workDir.toLocal8Bit().constData()) != 0) ::_exit(126);
    const int devNull = ::open("/dev/null", O_WRONLY);
    if (devNull >= 0) ::dup2(devNull, 2);
    ::execl(self, self, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  if (pid < 0) {
    ::close(fds[0]);
    return -1;
  }
  *reportFd = fds[0];
  return pid;
}

}  // namespace benchsupport
