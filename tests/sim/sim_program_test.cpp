// The kalvex-modem-sim program: options, --run, signals and clean-up.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Ms = std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    args.insert(args.begin(), KALVEX_SIM_PROGRAM);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, err[1], 2);
    if (::posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~SimProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
    if (err_ >= 0) ::close(err_);
  }
  [[nodiscard]] pid_t Pid() const { return pid_; }

  // Reads standard output (or error) until it holds `lines` lines, or the time-out.
  bool WaitForLines(int lines, Ms timeout, bool fromError = false) {
    auto deadline = SteadyClock::now() + timeout;
    const std::string& text = fromError ? err : out;
    while (std::count(text.begin(), text.end(), '\n') < lines)
      if (!Pump(deadline)) return false;
    return true;
  }
  // Reads both streams to their end and reaps the process; its exit status, -1 on time-out.
  int Finish(Ms timeout = Ms(10000)) {
    auto deadline = SteadyClock::now() + timeout;
    while (out_ >= 0 || err_ >= 0)
      if (!Pump(deadline)) return -1;
    int ws = 0;
    ::waitpid(pid_, &ws, 0);
    pid_ = -1;
    return WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
  }
  std::string FirstLine() const { return out.substr(0, out.find('\n')); }
  // With --run the directory is on standard error, in the simulator's one line of its own.
  std::string RunDirectory() const {
    const std::string key = "kalvex-modem-sim: KALVEX_COM_DIR=";
    const std::size_t at = err.find(key);
    if (at == std::string::npos) return {};
    const std::size_t start = at + key.size();
    return err.substr(start, err.find('\n', start) - start);
  }

  std::string out, err;

 private:
  bool Pump(SteadyClock::time_point deadline) {
    pollfd p[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    auto left = std::chrono::duration_cast<Ms>(deadline - SteadyClock::now()).count();
    if (left < 0 || ::poll(p, 2, static_cast<int>(left) + 1) <= 0) return false;
    for (int i = 0; i < 2; ++i) {
      int& fd = i == 0 ? out_ : err_;
      if (fd < 0 || !p[i].revents) continue;
      char buf[4096];
      ssize_t n = ::read(fd, buf, sizeof buf);
      if (n > 0)
        (i == 0 ? out : err).append(buf, static_cast<std::size_t>(n));
      else {
        ::close(fd);
        fd = -1;
      }
    }
    return true;
  }

  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
};

TEST(SimProgram, BadOptionsExitWithTheUsageStatusAndSayWhy) {
  const std::vector<std::vector<std::string>> cases = {
      {"--guard-time", "5"},
      {"--guard-time", "abc"},
      {"--guard-time"},
      {"--dial-time", "70000"},
      {"--seed", "-1"},
      {"--seed", "99999999999"},
      {"--port", "COM0=modem"},
      {"--port", "COM3=toaster"},
      {"--port", "LPT1=modem"},
      {"--port", "COM3=modem", "--port", "com3=echo"},
      {"--fault", "COM3:bogus"},
      {"--fault", "COM2:split"},
      {"--fault", "COM1:noise"},
      {"--fault", "COM3:hangup=-5"},
      {"--fault", "COM3:drop-echo=0"},
      {"--fault", "COM3:mute"},
      {"--fault", "COM3:split=3"},
      {"--fault", "COM3:late=I3"},
      {"--fault", "COM3:late=I3:0"},
      {"--fault", "COM3:late=:50"},
      {"--fault", "COM3:profile=V2"},
      {"--fault", "COM3:profile=E0K1"},
      {"--fault", "COM3:online=1"},
      {"--run"},
      {"--frobnicate"},
      {"--no-pacing=yes"},
      {"--run=sh"},
      {"stray"},
  };
  for (const auto& args : cases) {
    SimProcess p(args);
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_EQ(p.Finish(), 64) << joined;
    EXPECT_EQ(p.err.rfind("kalvex-modem-sim: ", 0), 0u) << joined << ": " << p.err;
    EXPECT_NE(p.err.find("--help"), std::string::npos) << joined;
    EXPECT_EQ(p.out, "") << joined << ": nothing may be created";
  }
}

TEST(SimProgram, HelpListsEveryOptionAndFaultAndVersionNamesTheRelease) {
  SimProcess version({"--version"});
  EXPECT_EQ(version.Finish(), 0);
  EXPECT_EQ(version.out, "kalvex-modem-sim " KALVEX_VERSION "\n");
  SimProcess p({"--help"});
  ASSERT_EQ(p.Finish(), 0);
  for (const char* word :
       {"--port",     "--fault",    "--guard-time",  "--dial-time", "--no-pacing",
        "--seed",     "--dir",      "--transcript",  "--run",       "modem",
        "silent",     "echo",       "foreign",       "mute=",       "ignore-first-escape",
        "drop-echo=", "no-connect", "wrong-country", "split",       "lowercase",
        "noise",      "hangup=",    "no-line",       "--verbose",   "--version",
        "ring=",      "late=",      "online",        "ignore-dtr",  "profile="})
    EXPECT_NE(p.out.find(word), std::string::npos) << word;
}

TEST(SimProgram, RunGivesTheProgramTheDirectoryEndsWithItsStatusAndCleansUp) {
  std::string transcript =
      ::testing::TempDir() + "sim_run_transcript_" + std::to_string(::getpid());
  SimProcess p({"--transcript", transcript, "--port", "COM2=echo", "--run", "sh", "-c",
                "test -L \"$KALVEX_COM_DIR/COM2\" && test -c \"$KALVEX_COM_DIR/COM2\" || exit 9; "
                "echo \"child $KALVEX_COM_DIR\"; exit 7"});
  ASSERT_EQ(p.Finish(), 7) << p.err;
  std::string dir = p.RunDirectory();
  ASSERT_FALSE(dir.empty()) << p.err;
  // Standard output is the program's alone, so its output can be piped on as it is.
  EXPECT_EQ(p.out, "child " + dir + "\n");
  EXPECT_FALSE(Exists(dir));
  std::ifstream in(transcript);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(all.find("COM2 info kind=echo"), std::string::npos) << all;
  EXPECT_NE(all.find("SIM info stopped"), std::string::npos) << all;
  ::unlink(transcript.c_str());
}

// With --run and no --transcript the dialogue goes nowhere unless --verbose asks for it on
// standard error; either way standard output stays the program's.
TEST(SimProgram, RunLogsTheDialogueOnStandardErrorOnlyWhenVerbose) {
  for (bool verbose : {false, true}) {
    std::vector<std::string> args = {"--port", "COM2=modem", "--no-pacing"};
    if (verbose) args.emplace_back("--verbose");
    for (const char* a :
         {"--run", "sh", "-c", "printf 'ATI3\\r' >\"$KALVEX_COM_DIR/COM2\"; echo done"})
      args.emplace_back(a);
    SimProcess p(args);
    ASSERT_EQ(p.Finish(), 0) << p.err;
    EXPECT_EQ(p.out, "done\n") << "verbose " << verbose;
    EXPECT_EQ(p.err.find("COM2 final") != std::string::npos, verbose) << p.err;
    if (!verbose) {
      EXPECT_EQ(std::count(p.err.begin(), p.err.end(), '\n'), 1) << p.err;
    }
  }
}

TEST(SimProgram, RunOfAMissingProgramGives127AndCleansUp) {
  SimProcess p({"--run", "/nonexistent/kalvex-no-such-program"});
  EXPECT_EQ(p.Finish(), 127);
  EXPECT_NE(p.err.find("cannot run"), std::string::npos) << p.err;
  EXPECT_TRUE(p.out.empty()) << p.out;
  EXPECT_FALSE(p.RunDirectory().empty()) << p.err;
  EXPECT_FALSE(Exists(p.RunDirectory()));
}

TEST(SimProgram, SigtermEndsTheSimulatorAndRemovesItsDirectory) {
  SimProcess p({});
  ASSERT_TRUE(p.WaitForLines(2, Ms(5000))) << p.err;
  std::string dir = p.FirstLine();
  EXPECT_TRUE(Exists(dir + "/COM1"));
  EXPECT_TRUE(Exists(dir + "/COM3"));
  ::kill(p.Pid(), SIGTERM);
  EXPECT_EQ(p.Finish(), 0) << p.err;
  EXPECT_FALSE(Exists(dir));
  EXPECT_NE(p.err.find("COM3 final country=25"), std::string::npos) << p.err;
}

TEST(SimProgram, SigtermIsPassedToTheRunProgramAndItsStatusReturned) {
  SimProcess p({"--run", "sleep", "30"});
  ASSERT_TRUE(p.WaitForLines(1, Ms(5000), true)) << p.err;
  std::string dir = p.RunDirectory();
  EXPECT_TRUE(Exists(dir + "/COM3"));
  auto start = SteadyClock::now();
  ::kill(p.Pid(), SIGTERM);
  EXPECT_EQ(p.Finish(), 128 + SIGTERM) << p.err;
  EXPECT_LT(SteadyClock::now() - start, Ms(3000));
  EXPECT_FALSE(Exists(dir));
}

}  // namespace
