// kalvex-modem-sim: the simulated modem as a program. See --help and docs/simulator.md.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "command_line.h"
#include "modem_sim.h"

extern char** environ;

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGCHLD};
// How long a program that was passed SIGINT/SIGTERM may take before it is killed.
constexpr int kGraceSeconds = 5;

int StatusOf(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
  return 1;
}

bool Spawn(const std::vector<std::string>& run, pid_t& pid, std::string& error) {
  std::vector<char*> args;
  for (const std::string& a : run) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int s : kSignals) sigaddset(&defaults, s);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  int rc = ::posix_spawnp(&pid, args[0], nullptr, &attr, args.data(), environ);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) error = run[0] + ": " + std::strerror(rc);
  return rc == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  auto cl = sim::ParseCommandLine(argc, argv, error);
  if (!cl) {
    std::fprintf(stderr, "kalvex-modem-sim: %s\nTry 'kalvex-modem-sim --help'.\n", error.c_str());
    return 2;
  }
  if (cl->help) {
    std::fwrite(sim::UsageText().data(), 1, sim::UsageText().size(), stdout);
    return 0;
  }

  // The signals are taken with sigtimedwait below; blocking them first keeps them away from
  // the simulator's event thread, which inherits this mask.
  sigset_t set;
  sigemptyset(&set);
  for (int s : kSignals) sigaddset(&set, s);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  signal(SIGPIPE, SIG_IGN);

  sim::ModemSim modem;
  if (!modem.Start(cl->options, &error)) {
    std::fprintf(stderr, "kalvex-modem-sim: %s\n", error.c_str());
    return 1;
  }
  if (cl->run.empty()) {
    std::printf("%s\nKALVEX_COM_DIR=%s\n", modem.Directory().c_str(), modem.Directory().c_str());
    std::fflush(stdout);
  } else {
    // Standard output is the program's: what it prints may be a document for another program.
    std::fprintf(stderr, "kalvex-modem-sim: KALVEX_COM_DIR=%s\n", modem.Directory().c_str());
  }

  pid_t child = -1;
  if (!cl->run.empty()) {
    ::setenv("KALVEX_COM_DIR", modem.Directory().c_str(), 1);
    if (!Spawn(cl->run, child, error)) {
      std::fprintf(stderr, "kalvex-modem-sim: cannot run %s\n", error.c_str());
      modem.Stop();
      return 127;
    }
  }

  int status = 0;
  bool passedOn = false;
  for (;;) {
    timespec grace{kGraceSeconds, 0};
    int sig = ::sigtimedwait(&set, nullptr, passedOn ? &grace : nullptr);
    if (sig < 0 && errno == EINTR) continue;
    if (sig < 0 && errno == EAGAIN) {
      std::fprintf(stderr, "kalvex-modem-sim: %s did not end; killing it\n", cl->run[0].c_str());
      ::kill(child, SIGKILL);
      passedOn = false;
      continue;
    }
    if (sig == SIGCHLD) {
      int ws = 0;
      pid_t r = ::waitpid(child, &ws, WNOHANG);
      if (child > 0 && r == child) {
        status = StatusOf(ws);
        break;
      }
      continue;
    }
    if (child < 0) break;
    ::kill(child, sig);
    passedOn = true;
  }
  modem.Stop();
  return status;
}
