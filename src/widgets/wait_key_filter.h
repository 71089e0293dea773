#pragma once
// The keys of a window while the UI thread waits on the modem.
//
// A wait is not a dialog's own loop, so while one dispatches, key presses do nothing except Space,
// which still clicks the focused button: Tab, Enter, Escape and mnemonics are no dialog commands
// then. Mouse clicks and the close box work. A modal dialog opened from inside a wait runs one
// loop level deeper and has its keys back.

#include <QObject>

namespace platform {
class UiWaits;
}

namespace widgets {

class WaitKeyFilter final : public QObject {
 public:
  // Filters the running application's keys during waits of waits, which must outlive it. UI
  // thread, with a QApplication.
  explicit WaitKeyFilter(const platform::UiWaits& waits);
  ~WaitKeyFilter() override;
  WaitKeyFilter(const WaitKeyFilter&) = delete;
  WaitKeyFilter& operator=(const WaitKeyFilter&) = delete;

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  const platform::UiWaits& waits_;
};

}  // namespace widgets
