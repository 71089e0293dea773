#include "ui/single_instance.h"

#include "platform/debug_output.h"
#include "platform/message_box.h"

namespace ui {

bool ClaimSingleInstance(platform::InstanceLock& lock, bool showBox) {
  switch (lock.Acquire()) {
    case platform::InstanceLock::Result::kAcquired: return true;
    case platform::InstanceLock::Result::kHeldElsewhere:
      platform::DebugOutputF("%s: %s (%s is locked)\n", platform::ApplicationName(),
                             kAlreadyRunning, lock.Path().c_str());
      if (showBox) {
        platform::MessageBox(nullptr, kAlreadyRunning, nullptr,
                             platform::kMbOk | platform::kMbIconExclamation);
      }
      return false;
    case platform::InstanceLock::Result::kUnavailable:
      // A runtime directory we cannot write to must not keep the user from their modem; the
      // port's own exclusive open still keeps two copies off one port.
      platform::DebugOutputF("%s: %s; not checking for another running copy\n",
                             platform::ApplicationName(), lock.Error().c_str());
      return true;
  }
  return true;
}

}  // namespace ui
