#include "ui/single_instance.h"

#include <QApplication>
#include <QWidget>

#include <string>

#include "platform/standard_error.h"
#include "serial/debug_output.h"
#include "serial/visible_text.h"
#include "ui/instance_raise.h"
#include "widgets/message_box.h"

namespace ui {
namespace {

// A copy that holds the lock answers at once; this much covers one that has just taken it and
// not yet begun to listen.
constexpr int kRaiseTimeoutMs = 1000;

// What ClaimSingleInstance does once the lock has answered.
bool Settle(platform::InstanceLock::Result result, const platform::InstanceLock& lock,
            bool showBox) {
  switch (result) {
    case platform::InstanceLock::Result::kAcquired: return true;
    case platform::InstanceLock::Result::kHeldElsewhere:
      // The refusal itself, not a debug text: it is said also where those are off (--report).
      platform::WriteStandardError(std::string(widgets::ApplicationName()) + ": " +
                                   kAlreadyRunning + " (" + serial::VisibleText(lock.Path()) +
                                   " is locked)\n");
      if (showBox) {
        widgets::MessageBox(nullptr, kAlreadyRunning, nullptr, widgets::BoxButtons::kOk,
                            widgets::BoxIcon::kWarning);
      }
      return false;
    case platform::InstanceLock::Result::kUnavailable:
      // A runtime directory we cannot write to must not keep the user from their modem; the
      // port's own exclusive open still keeps two copies off one port.
      serial::DebugOutputF("%s: %s; not checking for another running copy\n",
                           widgets::ApplicationName().c_str(), lock.Error().c_str());
      return true;
  }
  return true;
}

}  // namespace

bool ClaimSingleInstance(platform::InstanceLock& lock, bool showBox) {
  return Settle(lock.Acquire(), lock, showBox);
}

DialogsClaim ClaimForDialogs(platform::InstanceLock& lock) {
  const platform::InstanceLock::Result result = lock.Acquire();
  if (result == platform::InstanceLock::Result::kHeldElsewhere &&
      AskRunningCopyToRaise(kRaiseTimeoutMs)) {
    serial::DebugOutputF("%s: %s Its window is brought to the front.\n",
                         widgets::ApplicationName().c_str(), kAlreadyRunning);
    return DialogsClaim::kRaised;
  }
  return Settle(result, lock, true) ? DialogsClaim::kClaimed : DialogsClaim::kRefused;
}

void RaiseWindows() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (!window->isVisible()) continue;
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
  }
  QWidget* front = QApplication::activeModalWidget();
  if (front == nullptr) front = QApplication::activeWindow();
  if (front != nullptr) {
    front->raise();
    front->activateWindow();
  }
}

}  // namespace ui
