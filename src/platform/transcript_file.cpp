#include "platform/transcript_file.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/clock.h"
#include "platform/outside_file.h"
#include "platform/sys_error.h"

namespace platform {
namespace {

// A write to a pipe whose reader has gone raises SIGPIPE, which would end the program in the
// middle of a run with the modem in its test state. The signal is held off for this thread while
// it writes, and one the write raised is taken back, so the write reports EPIPE instead.
class SigpipeHeld {
 public:
  SigpipeHeld() {
    sigemptyset(&pipeOnly_);
    sigaddset(&pipeOnly_, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipeOnly_, &saved_);
    sigset_t pending;
    sigemptyset(&pending);
    alreadyPending_ = ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
  }
  ~SigpipeHeld() {
    if (raised_ && !alreadyPending_) {
      const timespec now{0, 0};
      (void)RetryOnEintr([&] { return ::sigtimedwait(&pipeOnly_, nullptr, &now); });
    }
    ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
  }
  SigpipeHeld(const SigpipeHeld&) = delete;
  SigpipeHeld& operator=(const SigpipeHeld&) = delete;

  void Raised() { raised_ = true; }

 private:
  sigset_t pipeOnly_{};
  sigset_t saved_{};
  bool alreadyPending_ = false;
  bool raised_ = false;
};

}  // namespace

bool TranscriptFile::Open(const char* path, std::string* error) {
  fd_.Reset();
  FileRule rule;
  rule.access = FileAccess::kWriteTruncate;
  rule.kinds = kAcceptRegular | kAcceptCharacterDevice | kAcceptFifo;
  rule.createMode = 0600;
  rule.heldDescriptors = true;
  OpenedFile opened = OpenOutsideFile(path, rule);
  if (!opened.Opened()) {
    *error = opened.reason;
    return false;
  }
  const FileFacts& facts = opened.facts;
  // An existing file keeps its mode through being emptied; what it will hold is ours alone. A
  // descriptor the user handed over is theirs, and keeps its mode.
  if (facts.kind == FileKind::kRegular && !opened.heldDescriptor && facts.owner == ::geteuid() &&
      facts.mode != 0600) {
    ::fchmod(opened.fd.Get(), 0600);
  }
  fd_ = std::move(opened.fd);
  return true;
}

bool TranscriptFile::Write(const std::string& text, std::string* error) {
  SigpipeHeld sigpipe;
  const int64_t deadline = NowMs() + kStalledWriteMs;
  size_t done = 0;
  while (done < text.size()) {
    // A pipe or terminal may have no room; waiting for it is bounded.
    pollfd pfd{fd_.Get(), POLLOUT, 0};
    const int64_t left = deadline - NowMs();
    const int ready =
        left <= 0 ? 0 : RetryOnEintr([&] { return ::poll(&pfd, 1, static_cast<int>(left)); });
    if (ready == 0) {
      *error = "nothing was taken for " + std::to_string(kStalledWriteMs / 1000) +
               " s: " + DescribeErrno(ETIMEDOUT);
      return false;
    }
    const ssize_t n =
        RetryOnEintr([&] { return ::write(fd_.Get(), text.data() + done, text.size() - done); });
    if (n < 0 && errno == EAGAIN) continue;
    if (n < 0) {
      const int err = errno;
      if (err == EPIPE) sigpipe.Raised();
      *error = DescribeErrno(err);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace platform
