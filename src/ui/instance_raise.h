#pragma once
// A second start of the dialogs shows the running copy's window instead of refusing with a box
// that waits for a click: the copy that holds the instance lock listens on a local socket
// beside it, and a second start that finds the lock held asks it there.

#include <functional>
#include <memory>
#include <string>

class QLocalServer;

namespace ui {

// InstanceLockPath() with ".socket" for ".lock". Any thread.
[[nodiscard]] std::string InstanceSocketPath();

class RaiseListener {
 public:
  RaiseListener();
  ~RaiseListener();
  RaiseListener(const RaiseListener&) = delete;
  RaiseListener& operator=(const RaiseListener&) = delete;

  // Listens at InstanceSocketPath(), for this user only, until destroyed; onRaise runs on the
  // UI thread for each request, which is answered once it has run. Call it only while holding
  // the instance lock: a socket left at the path by a copy that ended is removed first. false,
  // with the reason in *error, when it cannot listen; nothing else changes. UI thread.
  [[nodiscard]] bool Listen(std::function<void()> onRaise, std::string* error);

 private:
  std::unique_ptr<QLocalServer> server_;
  std::function<void()> onRaise_;
};

// Asks the copy listening at InstanceSocketPath() to show its window. true when it answered
// within timeoutMs; false when nothing listens there (the lock's holder is a report) or it did
// not answer. Blocks the calling thread for at most timeoutMs. Any thread.
[[nodiscard]] bool AskRunningCopyToRaise(int timeoutMs);

}  // namespace ui
