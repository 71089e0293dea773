#pragma once
// A modem whose answers a test writes itself, on a real pseudo-terminal, for answers the
// simulated modem never gives (an "I5" line without commas, a register read answered by "OK"
// alone). It echoes each command line and then sends the scripted answer in one write, as an
// internal modem does; commands without a script get "OK".

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/pty_pair.h"

namespace modem_test {

// "\r\n<line>\r\n" for each line: the framing of a modem's answer lines.
inline std::string Answer(std::initializer_list<std::string> lines) {
  std::string out;
  for (const std::string& line : lines) out += "\r\n" + line + "\r\n";
  return out;
}

class ScriptedModem {
 public:
  // answers: command as the tool sends it after "at" (e.g. "I5", "%T22,18") -> answer bytes.
  explicit ScriptedModem(std::map<std::string, std::string> answers)
      : answers_(std::move(answers)) {
    if (::pipe(stopPipe_) != 0) return;
    thread_ = std::thread([this] { Run(); });
  }
  ~ScriptedModem() {
    if (thread_.joinable()) {
      (void)::write(stopPipe_[1], "x", 1);
      thread_.join();
    }
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
  }
  ScriptedModem(const ScriptedModem&) = delete;
  ScriptedModem& operator=(const ScriptedModem&) = delete;

  [[nodiscard]] bool Valid() const { return pty_.Valid() && thread_.joinable(); }
  // Off: answers come without the echo of their command line, as from a modem set to E0.
  void SetEcho(bool on) { echo_.store(on); }
  // The answer to command comes ms after its echo; the modem reads nothing meanwhile.
  void SetDelay(const std::string& command, int ms) {
    std::lock_guard lock(mutex_);
    delays_[command] = ms;
  }
  [[nodiscard]] const std::string& Path() const { return pty_.SlavePath(); }

  // Every command line received so far, as sent ("atI5").
  [[nodiscard]] std::vector<std::string> Received() const {
    std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  void Run() {
    std::string line;
    for (;;) {
      pollfd fds[2] = {{pty_.Master(), POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) continue;
      if (fds[1].revents != 0) return;
      char buffer[256];
      ssize_t n = ::read(pty_.Master(), buffer, sizeof buffer);
      if (n <= 0) continue;
      for (ssize_t i = 0; i < n; ++i) {
        char c = buffer[i];
        if (c == '\n') continue;
        if (c != '\r') {
          line += c;
          continue;
        }
        Respond(line);
        line.clear();
      }
    }
  }

  void Respond(const std::string& line) {
    std::string command = line.size() >= 2 ? line.substr(2) : std::string();
    int delayMs = 0;
    {
      std::lock_guard lock(mutex_);
      received_.push_back(line);
      if (auto delay = delays_.find(command); delay != delays_.end()) delayMs = delay->second;
    }
    const std::string echo = echo_.load() ? line + "\r" : std::string();
    pty_.Write(delayMs > 0 ? echo : echo + Answered(command));
    if (delayMs == 0) return;
    ::poll(nullptr, 0, delayMs);
    pty_.Write(Answered(command));
  }

  std::string Answered(const std::string& command) const {
    auto it = answers_.find(command);
    return it != answers_.end() ? it->second : Answer({"OK"});
  }

  testsupport::PtyPair pty_;
  std::map<std::string, std::string> answers_;
  int stopPipe_[2] = {-1, -1};
  mutable std::mutex mutex_;
  std::vector<std::string> received_;
  std::map<std::string, int> delays_;
  std::atomic<bool> echo_{true};
  std::thread thread_;
};

}  // namespace modem_test
