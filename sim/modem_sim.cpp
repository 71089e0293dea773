#include "modem_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <random>
#include <thread>
#include <utility>

#include "modem_engine.h"
#include "refusal.h"

namespace sim {
namespace {

// One character on a 19200-baud 8N1 line: ten bits.
constexpr std::chrono::nanoseconds kByteTime(1'000'000'000LL * 10 / 19200);
// Output a client has not read yet, per port; beyond it, new output is dropped.
constexpr std::size_t kMaxQueuedBytes = 64 * 1024;
// Reads per port per wake-up, so one flooding client cannot starve the others.
constexpr int kMaxReadsPerWake = 16;
// The split fault holds a piece back at most this long for a client that has not read.
constexpr std::chrono::milliseconds kSplitPatience(200);
constexpr std::chrono::milliseconds kSplitRecheck(2);
// Extra pause after a piece that ends in CR, so that a busy machine still delivers its LF apart.
constexpr int kSplitCrGap = 20;

std::string ErrnoText(const char* what, int err) {
  return std::string(what) + ": " + std::strerror(err);
}

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
  Fd& operator=(Fd&& o) noexcept {
    if (this != &o) Reset(std::exchange(o.fd_, -1));
    return *this;
  }
  [[nodiscard]] int Get() const { return fd_; }
  [[nodiscard]] bool Valid() const { return fd_ >= 0; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

struct Terminal {
  Fd master;
  Fd keptSlave;
  std::string slavePath;
};

// A raw 19200 8N1 pseudo-terminal in packet mode (so the master learns when the client
// purges the line). One slave descriptor stays open here, so the master never sees a hang-up
// when the client closes its side.
bool MakeTerminal(Terminal& t, std::string& error) {
  Fd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!master.Valid()) return Fail(error, ErrnoText("posix_openpt", errno));
  if (::grantpt(master.Get()) != 0) return Fail(error, ErrnoText("grantpt", errno));
  if (::unlockpt(master.Get()) != 0) return Fail(error, ErrnoText("unlockpt", errno));
  char name[128];
  if (::ptsname_r(master.Get(), name, sizeof name) != 0)
    return Fail(error, ErrnoText("ptsname", errno));
  int one = 1;
  if (::ioctl(master.Get(), TIOCPKT, &one) != 0) return Fail(error, ErrnoText("TIOCPKT", errno));
  int flags = ::fcntl(master.Get(), F_GETFL);
  if (flags < 0 || ::fcntl(master.Get(), F_SETFL, flags | O_NONBLOCK) != 0)
    return Fail(error, ErrnoText("fcntl", errno));
  Fd slave(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!slave.Valid()) return Fail(error, ErrnoText(name, errno));
  termios tio{};
  if (::tcgetattr(slave.Get(), &tio) != 0) return Fail(error, ErrnoText("tcgetattr", errno));
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CREAD | CLOCAL;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, B19200);
  ::cfsetospeed(&tio, B19200);
  if (::tcsetattr(slave.Get(), TCSANOW, &tio) != 0)
    return Fail(error, ErrnoText("tcsetattr", errno));
  t.master = std::move(master);
  t.keptSlave = std::move(slave);
  t.slavePath = name;
  return true;
}

// Replaces a stale link from an earlier run; refuses to replace anything that is not a link.
bool MakeLink(const std::string& target, const std::string& link, std::string& error) {
  struct stat st {};
  if (::lstat(link.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) return Fail(error, link + " exists and is not a symbolic link");
    ::unlink(link.c_str());
  }
  if (::symlink(target.c_str(), link.c_str()) != 0)
    return Fail(error, ErrnoText(link.c_str(), errno));
  return true;
}

std::string FaultList(const Faults& f) {
  std::string s;
  auto add = [&](const std::string& x) { s += (s.empty() ? "" : ",") + x; };
  for (const std::string& m : f.muteCommands) add("mute=" + m);
  if (f.ignoreFirstEscape) add("ignore-first-escape");
  if (f.lateEscapeMs > 0) add("late-escape=" + std::to_string(f.lateEscapeMs));
  if (f.dropEchoLine > 0) add("drop-echo=" + std::to_string(f.dropEchoLine));
  if (f.noConnect) add("no-connect");
  if (f.wrongCountry) add("wrong-country");
  if (f.splitOutput) add("split");
  if (f.lowerCaseResults) add("lowercase");
  if (f.noise) add("noise");
  if (f.hangUpAfterMs >= 0) add("hangup=" + std::to_string(f.hangUpAfterMs));
  if (f.noLine) add("no-line");
  for (const std::string& r : f.ringCommands) add("ring=" + r);
  for (const Faults::Late& l : f.lateCommands)
    add("late=" + l.command + ":" + std::to_string(l.ms));
  if (f.online) add("online");
  if (f.ignoreDtr) add("ignore-dtr");
  if (!f.profile.empty()) add("profile=" + f.profile);
  return s;
}

bool ModemLike(PortKind k) { return k == PortKind::kModem || k == PortKind::kForeign; }

}  // namespace

std::string_view KindName(PortKind kind) {
  switch (kind) {
    case PortKind::kModem: return "modem";
    case PortKind::kSilent: return "silent";
    case PortKind::kEcho: return "echo";
    case PortKind::kForeign: return "foreign";
  }
  return "?";
}

std::optional<PortKind> ParseKind(std::string_view text) {
  for (PortKind k : {PortKind::kModem, PortKind::kSilent, PortKind::kEcho, PortKind::kForeign})
    if (text == KindName(k)) return k;
  return std::nullopt;
}

std::string Event::Line() const {
  char head[64];
  std::snprintf(head, sizeof head, "%06lld %s %s", ms, port.c_str(), kind.c_str());
  std::string line = head;
  if (text.empty()) return line;
  line += ' ';
  for (unsigned char c : text) {
    if (c == '\\')
      line += "\\\\";
    else if (c == '\r')
      line += "\\r";
    else if (c == '\n')
      line += "\\n";
    else if (c == '\t')
      line += "\\t";
    else if (c >= 0x20 && c < 0x7F)
      line += static_cast<char>(c);
    else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      line += hex;
    }
  }
  return line;
}

class ModemSim::Impl {
 public:
  ~Impl() { Stop(); }
  bool Start(const Options& options, std::string& error);
  void Stop();
  // The steps of Start; each puts its reason into `error` on failure.
  bool CheckOptions(std::string& error);
  bool OpenTranscript(std::string& error);
  bool MakeDirectory(std::string& error);
  bool StartPorts(std::string& error);

  struct Port final : ModemEngine::Host {
    Impl* sim = nullptr;
    PortConfig config;
    std::string name;
    std::string linkPath;
    Terminal term;
    bool up = false;
    std::unique_ptr<ModemEngine> engine;
    struct Chunk {
      std::string bytes;
      TimePoint due;
      bool separate = false;  // a split piece: not before the client has read the one before
    };
    std::deque<Chunk> out;
    std::size_t outBytes = 0;
    TimePoint lineFreeAt{};
    bool blocked = false;  // the last write could not finish: wait for POLLOUT
    std::optional<TimePoint> hangUpAt;
    std::mt19937 rng;

    // A run of writes dropped for a client that does not read, recorded as one event when it
    // ends: one event per write would grow the transcript as fast as the client writes.
    std::uint64_t droppedBytes = 0;
    std::uint64_t droppedWrites = 0;

    void Send(std::string bytes, TimePoint now) override;
    void Note(std::string_view kind, std::string_view text) override {
      EndDropRun();
      sim->Note(name, kind, text);
    }
    void EndDropRun() {
      if (droppedWrites == 0) return;
      const std::string text =
          std::to_string(droppedBytes) + " bytes in " + std::to_string(droppedWrites) +
          (droppedWrites == 1 ? " write" : " writes") + ": the client is not reading";
      droppedBytes = 0;
      droppedWrites = 0;
      sim->Note(name, "drop", text);
    }
  };

  void Note(std::string_view port, std::string_view kind, std::string_view text);
  bool HangUp(int number);
  bool Restore(int number);
  Port* Find(int number);
  void Wake();
  void Run();
  void Flush(Port& p, TimePoint now);
  void ReadFrom(Port& p, TimePoint now);
  void DoHangUp(Port& p, std::string_view why);
  std::unique_ptr<ModemEngine> NewEngine(Port& p);

  Options options_;
  TimePoint start_{};
  std::string directory_;
  bool createdDirectory_ = false;
  bool started_ = false;
  std::atomic<bool> stopped_{false};

  mutable std::mutex mu_;  // ports and their engines
  std::vector<std::unique_ptr<Port>> ports_;
  bool stopping_ = false;
  Fd wake_;
  std::thread thread_;

  mutable std::mutex eventsMu_;
  mutable std::condition_variable eventsCv_;
  std::vector<Event> events_;
  Fd transcript_;
  bool transcriptToStderr_ = false;
};

void ModemSim::Impl::Note(std::string_view port, std::string_view kind, std::string_view text) {
  Event e;
  e.ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
  e.port = port;
  e.kind = kind;
  e.text = text;
  std::string line = e.Line() + "\n";
  std::lock_guard lock(eventsMu_);
  int fd = transcriptToStderr_ ? STDERR_FILENO : transcript_.Get();
  if (fd >= 0) {
    // One write per event, so events of concurrent writers to the same stream never interleave.
    ssize_t n;
    do n = ::write(fd, line.data(), line.size());
    while (n < 0 && errno == EINTR);
  }
  if (options_.keepEvents) events_.push_back(std::move(e));
  eventsCv_.notify_all();
}

std::unique_ptr<ModemEngine> ModemSim::Impl::NewEngine(Port& p) {
  ModemEngine::Timing timing;
  timing.guardTime = std::chrono::milliseconds(options_.guardTimeMs);
  timing.dialTime = std::chrono::milliseconds(options_.dialTimeMs);
  return std::make_unique<ModemEngine>(
      p.config.kind, p.config.faults, timing,
      options_.seed * 31u + static_cast<std::uint32_t>(p.config.number), p);
}

// The options' ranges, port numbers and faults that need a modem.
bool ModemSim::Impl::CheckOptions(std::string& error) {
  if (options_.guardTimeMs < 10 || options_.guardTimeMs > 60000)
    return Fail(error, "guard time must be 10 to 60000 ms");
  if (options_.dialTimeMs < 0 || options_.dialTimeMs > 60000)
    return Fail(error, "dial time must be 0 to 60000 ms");
  bool seen[10] = {};
  for (const PortConfig& config : options_.ports) {
    if (config.number < 1 || config.number > 9) return Fail(error, "port numbers are 1 to 9");
    if (seen[config.number])
      return Fail(error, "COM" + std::to_string(config.number) + " given twice");
    seen[config.number] = true;
    const Faults& faults = config.faults;
    bool modemOnly = !faults.muteCommands.empty() || faults.ignoreFirstEscape ||
                     faults.lateEscapeMs > 0 || faults.noConnect || faults.wrongCountry ||
                     faults.lowerCaseResults || faults.noise || faults.noLine ||
                     !faults.ringCommands.empty() || !faults.lateCommands.empty() ||
                     faults.online || faults.ignoreDtr || !faults.profile.empty();
    if (modemOnly && !ModemLike(config.kind))
      return Fail(error, "COM" + std::to_string(config.number) +
                             ": that fault needs a modem or foreign port");
    if (faults.dropEchoLine < 0) return Fail(error, "drop-echo line numbers start at 1");
    for (const Faults::Late& late : faults.lateCommands)
      if (late.ms < 1 || late.ms > 60000)
        return Fail(error, "late answers come 1 to 60000 ms late");
    if (!ValidProfile(faults.profile))
      return Fail(error, "profile '" + faults.profile + "' is not one (E0V0, Q1, ...)");
  }
  return true;
}

bool ModemSim::Impl::OpenTranscript(std::string& error) {
  if (!options_.transcriptPath.empty()) {
    if (options_.transcriptPath == "-") {
      transcriptToStderr_ = true;
    } else {
      transcript_.Reset(::open(options_.transcriptPath.c_str(),
                               O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644));
      if (!transcript_.Valid())
        return Fail(error, ErrnoText(options_.transcriptPath.c_str(), errno));
    }
  }
  return true;
}

// The given directory (made absolute, created when missing) or a fresh temporary one.
bool ModemSim::Impl::MakeDirectory(std::string& error) {
  if (options_.directory.empty()) {
    const char* temporaryRoot = std::getenv("TMPDIR");
    std::string pattern = std::string(temporaryRoot && *temporaryRoot ? temporaryRoot : "/tmp") +
                          "/kalvex-sim-XXXXXX";
    if (!::mkdtemp(pattern.data())) return Fail(error, ErrnoText("mkdtemp", errno));
    directory_ = pattern;
    createdDirectory_ = true;
  } else {
    directory_ = options_.directory;
    if (directory_[0] != '/') {
      // KALVEX_COM_DIR must stay valid for a program that changes its directory.
      char workingDirectory[4096];
      if (!::getcwd(workingDirectory, sizeof workingDirectory))
        return Fail(error, ErrnoText("getcwd", errno));
      directory_ = std::string(workingDirectory) + "/" + directory_;
    }
    if (::mkdir(directory_.c_str(), 0755) == 0) {
      createdDirectory_ = true;
    } else if (errno != EEXIST) {
      return Fail(error, ErrnoText(directory_.c_str(), errno));
    }
    struct stat status {};
    if (::stat(directory_.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
      return Fail(error, directory_ + " is not a directory");
  }
  return true;
}

// The wake-up descriptor, then per port its terminal, link and engine; on failure everything
// made so far is undone.
bool ModemSim::Impl::StartPorts(std::string& error) {
  wake_.Reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  if (!wake_.Valid()) {
    error = ErrnoText("eventfd", errno);
    Stop();
    return false;
  }
  Note("SIM", "info", "dir=" + directory_);
  for (const PortConfig& config : options_.ports) {
    auto port = std::make_unique<Port>();
    port->sim = this;
    port->config = config;
    port->name = "COM" + std::to_string(config.number);
    port->linkPath = directory_ + "/" + port->name;
    port->rng.seed(options_.seed * 7919u + static_cast<std::uint32_t>(config.number));
    if (!MakeTerminal(port->term, error) ||
        !MakeLink(port->term.slavePath, port->linkPath, error)) {
      ports_.push_back(std::move(port));
      Stop();
      return false;
    }
    port->up = true;
    port->engine = NewEngine(*port);
    if (config.faults.hangUpAfterMs >= 0)
      port->hangUpAt = start_ + std::chrono::milliseconds(config.faults.hangUpAfterMs);
    std::string faultList = FaultList(config.faults);
    Note(port->name, "info",
         "kind=" + std::string(KindName(config.kind)) + " tty=" + port->term.slavePath +
             (faultList.empty() ? "" : " faults=" + faultList));
    ports_.push_back(std::move(port));
  }
  return true;
}

bool ModemSim::Impl::Start(const Options& options, std::string& error) {
  if (started_) return Fail(error, "the simulator was already started");
  started_ = true;
  options_ = options;
  if (options_.ports.empty()) {
    options_.ports.push_back({1, PortKind::kSilent, {}});
    options_.ports.push_back({3, PortKind::kModem, {}});
  }
  if (!CheckOptions(error)) return false;
  start_ = Clock::now();
  if (!OpenTranscript(error) || !MakeDirectory(error) || !StartPorts(error)) return false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void ModemSim::Impl::Stop() {
  if (!started_ || stopped_) return;
  stopped_ = true;
  {
    std::lock_guard lock(mu_);
    stopping_ = true;
  }
  Wake();
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mu_);
  for (auto& p : ports_) {
    p->EndDropRun();
    if (p->engine) p->engine->NoteFinal();
    if (p->up) ::unlink(p->linkPath.c_str());
    p->term = Terminal{};
    p->up = false;
  }
  if (createdDirectory_ && !directory_.empty() && ::rmdir(directory_.c_str()) != 0)
    Note("SIM", "note", ErrnoText(("cannot remove " + directory_).c_str(), errno));
  Note("SIM", "info", "stopped");
  eventsCv_.notify_all();
}

void ModemSim::Impl::Wake() {
  if (!wake_.Valid()) return;
  std::uint64_t one = 1;
  ssize_t n = ::write(wake_.Get(), &one, sizeof one);
  (void)n;  // a full counter already means "wake up"
}

ModemSim::Impl::Port* ModemSim::Impl::Find(int number) {
  for (auto& p : ports_)
    if (p->config.number == number) return p.get();
  return nullptr;
}

void ModemSim::Impl::Port::Send(std::string bytes, TimePoint now) {
  if (!up || bytes.empty()) return;
  if (outBytes + bytes.size() > kMaxQueuedBytes) {
    droppedBytes += bytes.size();
    ++droppedWrites;
    return;
  }
  std::vector<std::string> pieces;
  std::vector<std::chrono::milliseconds> gaps;
  if (config.faults.splitOutput) {
    // Small pieces at random moments; a CR and the LF after it always part company.
    std::size_t i = 0;
    while (i < bytes.size()) {
      std::size_t n = std::uniform_int_distribution<std::size_t>(1, 4)(rng);
      n = std::min(n, bytes.size() - i);
      for (std::size_t k = i; k + 1 < i + n; ++k) {
        if (bytes[k] == '\r' && bytes[k + 1] == '\n') {
          n = k + 1 - i;
          break;
        }
      }
      pieces.push_back(bytes.substr(i, n));
      int gap = std::uniform_int_distribution<int>(2, 15)(rng);
      if (pieces.size() == 1)
        gap = 0;
      else if (pieces[pieces.size() - 2].back() == '\r')
        gap += kSplitCrGap;
      gaps.push_back(std::chrono::milliseconds(gap));
      i += n;
    }
    Note("fault", "split into " + std::to_string(pieces.size()) + " pieces");
  } else {
    pieces.push_back(std::move(bytes));
    gaps.push_back(std::chrono::milliseconds(0));
  }
  TimePoint t = now;
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    t = std::max(t + gaps[k], lineFreeAt);
    // The whole write leaves when its last byte would have crossed a 19200-baud line.
    if (sim->options_.pacing) t += kByteTime * static_cast<long>(pieces[k].size());
    lineFreeAt = t;
    outBytes += pieces[k].size();
    out.push_back({std::move(pieces[k]), t, config.faults.splitOutput});
  }
}

void ModemSim::Impl::Flush(Port& p, TimePoint now) {
  while (p.up && !p.blocked && !p.out.empty() && p.out.front().due <= now) {
    Port::Chunk& c = p.out.front();
    if (c.separate && now < c.due + kSplitPatience) {
      // Timing alone cannot keep pieces apart when the client reads late; wait (in short timer
      // steps, only while split output is pending) until it has taken the previous piece.
      int waiting = 0;
      if (::ioctl(p.term.keptSlave.Get(), FIONREAD, &waiting) == 0 && waiting > 0) {
        c.due = std::min(now + kSplitRecheck, c.due + kSplitPatience);
        return;
      }
    }
    ssize_t n = ::write(p.term.master.Get(), c.bytes.data(), c.bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      p.blocked = true;
      return;
    }
    if (n < 0) {
      int err = errno;
      p.Note("note", ErrnoText("write", err));
      p.outBytes = 0;
      p.out.clear();
      return;
    }
    p.outBytes -= static_cast<std::size_t>(n);
    if (static_cast<std::size_t>(n) < c.bytes.size()) {
      c.bytes.erase(0, static_cast<std::size_t>(n));
      p.blocked = true;
      return;
    }
    bool separate = c.separate;
    p.out.pop_front();
    // A late wake-up may find several pieces due; written back to back they would merge.
    if (separate && !p.out.empty())
      p.out.front().due = std::max(p.out.front().due, now + kSplitRecheck);
  }
}

void ModemSim::Impl::ReadFrom(Port& p, TimePoint now) {
  // A client's purge may be reported one read after data the client wrote after purging: the
  // kernel checks for a pending status before it waits for input, and data that arrives during
  // that wait is returned first. So the data of the latest read is held back, and a purge that
  // follows it at once is carried out before it; otherwise the answer to a command written just
  // after opening the port would be thrown away as if it had been purged.
  char buf[4097];
  std::string held;
  auto deliver = [&] {
    if (!held.empty() && p.up) p.engine->Receive(held, now);
    held.clear();
  };
  for (int reads = 0; reads < kMaxReadsPerWake && p.up; ++reads) {
    ssize_t n = ::read(p.term.master.Get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) break;
    if (n <= 0) {
      // The kept slave descriptor makes this impossible short of a kernel surprise; treat it
      // as a lost line instead of spinning on it.
      DoHangUp(p, n < 0 ? ErrnoText("read", errno) : "end of file");
      return;
    }
    if (buf[0] != TIOCPKT_DATA) {
      if (buf[0] & (TIOCPKT_FLUSHREAD | TIOCPKT_FLUSHWRITE)) {
        p.Note("purge",
               p.outBytes ? std::to_string(p.outBytes) + " bytes not yet sent discarded" : "");
        p.out.clear();
        p.outBytes = 0;
        p.lineFreeAt = {};  // what was thrown away no longer holds the line
        p.blocked = false;
        p.engine->Purge(now);
      }
      deliver();
      continue;
    }
    deliver();
    held.assign(buf + 1, static_cast<std::size_t>(n - 1));
  }
  deliver();
}

void ModemSim::Impl::DoHangUp(Port& p, std::string_view why) {
  p.engine->Purge(Clock::now());
  p.term = Terminal{};
  ::unlink(p.linkPath.c_str());
  p.up = false;
  p.out.clear();
  p.outBytes = 0;
  p.blocked = false;
  p.hangUpAt.reset();
  p.Note("state", "line=down (" + std::string(why) + ")");
}

bool ModemSim::Impl::HangUp(int number) {
  std::lock_guard lock(mu_);
  Port* p = Find(number);
  if (!p || !p->up || stopping_) return false;
  DoHangUp(*p, "hang-up requested");
  Wake();
  return true;
}

bool ModemSim::Impl::Restore(int number) {
  std::lock_guard lock(mu_);
  Port* p = Find(number);
  if (!p || p->up || stopping_) return false;
  std::string error;
  Terminal t;
  if (!MakeTerminal(t, error) || !MakeLink(t.slavePath, p->linkPath, error)) {
    p->Note("note", "restore failed: " + error);
    return false;
  }
  p->term = std::move(t);
  p->up = true;
  p->lineFreeAt = {};
  p->engine = NewEngine(*p);
  p->Note("state", "line=up tty=" + p->term.slavePath);
  Wake();
  return true;
}

void ModemSim::Impl::Run() {
  std::unique_lock lock(mu_);
  std::vector<pollfd> fds;
  std::vector<std::pair<Port*, int>> owners;
  while (!stopping_) {
    TimePoint now = Clock::now();
    std::optional<TimePoint> next;
    auto consider = [&](TimePoint t) {
      if (!next || t < *next) next = t;
    };
    for (auto& p : ports_) {
      if (p->hangUpAt && *p->hangUpAt <= now) DoHangUp(*p, "hang-up fault");
      if (!p->up) continue;
      p->engine->RunTimers(now);
      Flush(*p, now);
      if (auto t = p->engine->NextTimer()) consider(*t);
      if (p->hangUpAt) consider(*p->hangUpAt);
      if (!p->blocked && !p->out.empty()) consider(p->out.front().due);
    }

    fds.clear();
    owners.clear();
    fds.push_back({wake_.Get(), POLLIN, 0});
    owners.emplace_back(nullptr, wake_.Get());
    for (auto& p : ports_) {
      if (!p->up) continue;
      short ev = POLLIN;
      if (p->blocked) ev |= POLLOUT;
      fds.push_back({p->term.master.Get(), ev, 0});
      owners.emplace_back(p.get(), p->term.master.Get());
    }
    timespec ts{};
    timespec* timeout = nullptr;
    if (next) {
      auto wait =
          std::max<std::chrono::nanoseconds>(*next - Clock::now(), std::chrono::nanoseconds(0));
      ts.tv_sec = static_cast<time_t>(wait.count() / 1'000'000'000);
      ts.tv_nsec = static_cast<long>(wait.count() % 1'000'000'000);
      timeout = &ts;
    }
    lock.unlock();
    int r = ::ppoll(fds.data(), fds.size(), timeout, nullptr);
    lock.lock();
    if (r <= 0) continue;
    now = Clock::now();
    if (fds[0].revents & POLLIN) {
      std::uint64_t count;
      ssize_t n = ::read(wake_.Get(), &count, sizeof count);
      (void)n;
    }
    for (std::size_t i = 1; i < fds.size(); ++i) {
      Port* p = owners[i].first;
      // A port hung up or restored by a request during the poll has another descriptor now.
      if (!p->up || p->term.master.Get() != owners[i].second || fds[i].revents == 0) continue;
      if (fds[i].revents & POLLOUT) p->blocked = false;
      if (fds[i].revents & (POLLIN | POLLPRI | POLLHUP | POLLERR)) ReadFrom(*p, now);
    }
  }
}

ModemSim::ModemSim() : impl_(std::make_unique<Impl>()) {}
ModemSim::~ModemSim() { Stop(); }

bool ModemSim::Start(const Options& options, std::string* error) {
  std::string e;
  bool ok = impl_->Start(options, e);
  if (!ok && error) *error = e;
  return ok;
}

void ModemSim::Stop() { impl_->Stop(); }

std::string ModemSim::Directory() const { return impl_->directory_; }

std::vector<Event> ModemSim::Events(std::size_t from) const {
  std::lock_guard lock(impl_->eventsMu_);
  if (from >= impl_->events_.size()) return {};
  return {impl_->events_.begin() + static_cast<long>(from), impl_->events_.end()};
}

std::optional<std::size_t> ModemSim::WaitForEvent(std::string_view port, std::string_view kind,
                                                  std::string_view contains,
                                                  std::chrono::milliseconds timeout,
                                                  std::size_t from) const {
  auto deadline = Clock::now() + timeout;
  std::unique_lock lock(impl_->eventsMu_);
  std::size_t next = from;
  auto look = [&]() -> std::optional<std::size_t> {
    for (; next < impl_->events_.size(); ++next) {
      const Event& e = impl_->events_[next];
      if ((port.empty() || e.port == port) && (kind.empty() || e.kind == kind) &&
          e.text.find(contains) != std::string::npos)
        return next;
    }
    return std::nullopt;
  };
  for (;;) {
    if (auto found = look()) return found;
    if (impl_->stopped_) return std::nullopt;
    if (impl_->eventsCv_.wait_until(lock, deadline) == std::cv_status::timeout) return look();
  }
}

std::optional<PortState> ModemSim::State(int number) const {
  std::lock_guard lock(impl_->mu_);
  Impl::Port* p = impl_->Find(number);
  if (!p) return std::nullopt;
  PortState s;
  s.kind = p->config.kind;
  s.up = p->up;
  s.linkPath = p->linkPath;
  s.ttyPath = p->up ? p->term.slavePath : "";
  if (p->engine) p->engine->FillState(s);
  return s;
}

bool ModemSim::HangUp(int number) { return impl_->HangUp(number); }
bool ModemSim::Restore(int number) { return impl_->Restore(number); }

}  // namespace sim
