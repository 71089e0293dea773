#pragma once
// TemplateDialog: the base of every dialog of the tool. It builds its controls from a
// DialogTemplate in dialog units, addresses them by ID, owns timers by ID, and dispatches
// clicks, timer ticks and the close request through one static message map per dialog class.
//
// Closing follows the classic dialog rules the tool was written for:
//  - the close box, Alt+F4 and SendClose()/PostClose() are the close request: the map's
//    close handler runs, then the dialog ends with kIdCancel;
//  - Escape ends it with kIdCancel without the close handler; F1 does nothing;
//  - a click on kIdOk / kIdCancel with no map entry ends it with that ID.
// All of it runs on the UI thread.

#include <QDialog>
#include <QHash>

#include "platform/dialog_template.h"

class QBasicTimer;
class QWidget;

namespace platform {

class TemplateDialog;

struct MessageMap {
  struct Click {
    int id;
    void (TemplateDialog::*handler)();
  };
  const Click* clicks;
  int clickCount;
  void (TemplateDialog::*onTimer)(int timerId);  // null: ticks are ignored
  void (TemplateDialog::*onClose)();             // null: only the default close
};

// Casts a derived class's handler for a MessageMap entry.
template <class Derived>
constexpr auto MapHandler(void (Derived::*handler)()) {
  return static_cast<void (TemplateDialog::*)()>(handler);
}
template <class Derived>
constexpr auto MapTimerHandler(void (Derived::*handler)(int)) {
  return static_cast<void (TemplateDialog::*)(int)>(handler);
}

class TemplateDialog : public QDialog {
  Q_OBJECT

 public:
  TemplateDialog(const DialogTemplate& dialogTemplate, QWidget* parent);
  ~TemplateDialog() override;

  // Runs OnInitDialog, then the modal loop unless the initialisation already ended the dialog.
  // Returns the result given to EndDialog (or kIdOk/kIdCancel from the defaults). All of the
  // dialog's timers are killed when it returns.
  int RunModal();

  // Ends the modal run with result; before the run has started it makes RunModal return at once.
  void EndDialog(int result);

  // Control access by template ID. Unknown IDs are ignored (getters return empty / false).
  void SetItemText(int id, const char* text);
  [[nodiscard]] QString ItemText(int id) const;
  void EnableItem(int id, bool enabled);
  [[nodiscard]] bool IsItemEnabled(int id) const;
  void SetProgressPos(int id, int position);  // clamped to 0..100
  [[nodiscard]] QWidget* Item(int id) const;

  // Timers by the dialog's own ID: arming an ID again replaces its timer; 0 ms repeats until
  // killed, its first tick only after the dialog has been shown and painted.
  void SetTimer(int id, int milliseconds);
  void KillTimer(int id);

  void PostClose();  // queues the close request (like posting WM_CLOSE)
  void SendClose();  // handles the close request now

  [[nodiscard]] const DialogTemplate& Template() const { return dialogTemplate_; }
  // Dialog units to pixels with this dialog's base units, rounded as the classic dialog manager.
  [[nodiscard]] QRect DialogUnitsToPixels(int x, int y, int w, int h) const;

 protected:
  virtual bool OnInitDialog() { return true; }
  [[nodiscard]] virtual const MessageMap& GetMessageMap() const;

  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void reject() override;
  bool event(QEvent* event) override;

 private:
  void BuildControls();
  void OnControlClicked(int id);

  const DialogTemplate& dialogTemplate_;
  QHash<int, QWidget*> items_;
  QHash<int, QBasicTimer*> timers_;
  int baseX_ = 0;
  int baseY_ = 0;
  bool ended_ = false;
  int endResult_ = 0;
  bool running_ = false;
};

}  // namespace platform
