// kalvex-modem-sim: the simulated modem as a program. See --help and docs/simulator.md.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
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

// The command line to run with, or nullopt once --help, --version or a usage error has been
// answered and `status` says how the program ends.
std::optional<sim::CommandLine> Parse(int argc, char** argv, int& status) {
  std::string error;
  auto commandLine = sim::ParseCommandLine(argc, argv, error);
  status = sim::kExitOk;
  if (!commandLine) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", sim::kProgramName, error.c_str(),
                 sim::kProgramName);
    status = sim::kExitUsage;
  } else if (commandLine->help || commandLine->version) {
    std::fputs(commandLine->help ? sim::UsageText().c_str() : sim::VersionLine().c_str(), stdout);
  } else {
    return commandLine;
  }
  return std::nullopt;
}

// The signals are taken with sigtimedwait; blocking them first keeps them away from the
// simulator's event thread, which inherits this mask.
sigset_t BlockSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kSignals) sigaddset(&set, s);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  signal(SIGPIPE, SIG_IGN);
  return set;
}

// Makes the terminals and says where their links are; false after saying why not.
bool SetUp(sim::ModemSim& modem, const sim::CommandLine& commandLine) {
  std::string error;
  if (!modem.Start(commandLine.options, &error)) {
    std::fprintf(stderr, "%s: %s\n", sim::kProgramName, error.c_str());
    return false;
  }
  const std::string directory = modem.Directory();
  if (commandLine.run.empty()) {
    std::printf("%s\nKALVEX_COM_DIR=%s\n", directory.c_str(), directory.c_str());
    std::fflush(stdout);
  } else {
    // Standard output is the program's: what it prints may be a document for another program.
    std::fprintf(stderr, "%s: KALVEX_COM_DIR=%s\n", sim::kProgramName, directory.c_str());
  }
  return true;
}

// Waits for the program of --run to end, passing it SIGINT, SIGTERM and SIGHUP and killing it
// when it outlives kGraceSeconds after one; without a program (child < 0) until one of them.
// The program's status, or 0.
int Supervise(pid_t child, const std::string& program, const sigset_t& signals) {
  bool passedOn = false;
  for (;;) {
    timespec grace{kGraceSeconds, 0};
    int sig = ::sigtimedwait(&signals, nullptr, passedOn ? &grace : nullptr);
    if (sig < 0 && errno == EINTR) continue;
    if (sig < 0 && errno == EAGAIN) {
      std::fprintf(stderr, "%s: %s did not end; killing it\n", sim::kProgramName, program.c_str());
      ::kill(child, SIGKILL);
      passedOn = false;
      continue;
    }
    if (sig == SIGCHLD) {
      int ws = 0;
      if (child > 0 && ::waitpid(child, &ws, WNOHANG) == child) return StatusOf(ws);
      continue;
    }
    if (child < 0) return sim::kExitOk;
    ::kill(child, sig);
    passedOn = true;
  }
}

// Starts the program of --run, if any, and waits for the end; the status to exit with.
int Run(const sim::ModemSim& modem, const sim::CommandLine& commandLine, const sigset_t& signals) {
  pid_t child = -1;
  if (!commandLine.run.empty()) {
    std::string error;
    ::setenv("KALVEX_COM_DIR", modem.Directory().c_str(), 1);
    if (!Spawn(commandLine.run, child, error)) {
      std::fprintf(stderr, "%s: cannot run %s\n", sim::kProgramName, error.c_str());
      return sim::kExitCannotRun;
    }
  }
  return Supervise(child, commandLine.run.empty() ? "" : commandLine.run[0], signals);
}

// Removes the terminals and links (and the directory when it was made) before the exit.
int Finish(sim::ModemSim& modem, int status) {
  modem.Stop();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  int status = sim::kExitOk;
  const std::optional<sim::CommandLine> commandLine = Parse(argc, argv, status);
  if (!commandLine) return status;
  const sigset_t signals = BlockSignals();
  sim::ModemSim modem;
  if (!SetUp(modem, *commandLine)) return sim::kExitCannotStart;
  return Finish(modem, Run(modem, *commandLine, signals));
}
