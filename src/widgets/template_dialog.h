#pragma once
// TemplateDialog: the base of every dialog of the tool. It builds its controls from a
// DialogTemplate in dialog units, addresses them by ID, owns timers by ID, and dispatches
// clicks, timer ticks and the close request through one static message map per dialog class.
//
// Closing rules:
//  - the close box, Alt+F4 and SendClose()/PostClose() are the close request: the map's
//    close handler runs, then the dialog ends with kIdCancel (as a click on kIdCancel would;
//    a dialog whose kIdCancel button is disabled stays open);
//  - Escape ends it with kIdCancel (through a kIdCancel map entry if there is one) without the
//    close handler; F1 does nothing;
//  - a click on kIdOk / kIdCancel with no map entry ends it with that ID.
// Handlers may pump messages; a dialog ended from inside one leaves its modal run once that
// handler has returned. All of it runs on the UI thread.
//
// A derived dialog declares its map in GetMessageMap(), defined near the top of its .cpp:
//   const widgets::MessageMap& MyDialog::GetMessageMap() const {
//     static const widgets::MessageMap::Click kClicks[] = {
//         {ids::kSomething, widgets::MapHandler(&MyDialog::OnSomething)}};
//     static const widgets::MessageMap kMap{kClicks, 1, widgets::MapTimerHandler(
//         &MyDialog::OnTick), widgets::MapHandler(&MyDialog::OnCloseRequest)};
//     return kMap;
//   }

#include <QDialog>
#include <QFont>
#include <QHash>
#include <QList>
#include <QRect>
#include <QString>

#include "widgets/dialog_template.h"

class QWidget;

namespace widgets {

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

// The font every template names: "MS Sans Serif" 8 pt where installed, else the default
// sans-serif at 8 pt.
[[nodiscard]] QFont DialogFont();

class TemplateDialog : public QDialog {
  Q_OBJECT

 public:
  // Builds every control of dialogTemplate (which must outlive the dialog) as a hidden child;
  // parent null makes a top-level window.
  TemplateDialog(const DialogTemplate& dialogTemplate, QWidget* parent);
  ~TemplateDialog() override;

  // Runs OnInitDialog, then the modal loop unless the initialisation already ended the dialog.
  // Returns the result given to EndDialog (kIdOk/kIdCancel from the defaults, 0 when the run
  // ended some other way). All of the dialog's timers are killed when it returns. A dialog not
  // moved by its initialisation is centred: over a visible parent window, else on the screen.
  int RunModal();

  // Ends the modal run with result once the running handler returns; before the run has
  // started (inside OnInitDialog) it makes RunModal return result without showing the dialog.
  void EndDialog(int result);
  // True once EndDialog (or a default ending) has been called in the current run.
  [[nodiscard]] bool IsEnded() const { return ended_; }

  // Control access by template ID. Unknown IDs are ignored (getters return empty / false /
  // null). Text is 8-bit: each byte shows as the Latin-1 character of that code, never markup.
  // A value field offers its text to assistive technology and announces each change of it as a
  // text update.
  void SetItemText(int id, const char* text);
  [[nodiscard]] QString ItemText(int id) const;
  void EnableItem(int id, bool enabled);
  [[nodiscard]] bool IsItemEnabled(int id) const;
  void SetProgressPos(int id, int position);    // clamped to 0..100
  [[nodiscard]] int ProgressPos(int id) const;  // -1 for an ID that is not a progress bar
  [[nodiscard]] QWidget* Item(int id) const;
  // The widget built for the template's row `index` (in template order), also for rows without
  // an ID; null outside the table.
  [[nodiscard]] QWidget* ControlForRow(int index) const;

  // Timers by the dialog's own ID: arming an ID again replaces its timer (milliseconds below 0
  // count as 0); 0 ms repeats until killed. Only the ticks that fall between the dialog's showing
  // (each RunModal) and its first paint wait for that paint (a tick ranks below painting); later
  // ticks come whether the dialog is visible, minimised or hidden, and a dialog the window system
  // hides before its first paint gets its held ticks then. Precise: never early.
  void SetTimer(int id, int milliseconds);
  void KillTimer(int id);  // unknown IDs are ignored
  [[nodiscard]] bool HasTimer(int id) const;

  void PostClose();  // queues the close request; it is handled when the event loop next runs
  void SendClose();  // handles the close request now

  [[nodiscard]] const DialogTemplate& Template() const { return dialogTemplate_; }
  // Base units of the dialog font: average letter width (rounded) and font height, pixels.
  [[nodiscard]] int BaseUnitX() const { return baseX_; }
  [[nodiscard]] int BaseUnitY() const { return baseY_; }
  // Dialog units to pixels with this dialog's base units, each rounded to the nearest pixel.
  [[nodiscard]] QRect DialogUnitsToPixels(int x, int y, int w, int h) const;

 protected:
  // Runs before the modal loop, with the dialog built but hidden. May call EndDialog. Returns
  // true; the result is not used, and the first focusable control gets the focus either way.
  virtual bool OnInitDialog() { return true; }
  [[nodiscard]] virtual const MessageMap& GetMessageMap() const;

  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void reject() override;
  void done(int result) override;
  bool event(QEvent* event) override;

 private:
  struct Timer {
    int qtTimerId = 0;  // 0 while its start waits for the first paint
    int milliseconds = 0;
    bool heldTick = false;
  };

  void BuildControls();
  void NameControls();
  void OnControlClicked(int id);
  void StartQtTimer(Timer& timer);
  void ReleaseHeldTimers();
  void KillAllTimers();
  void CentreForShow();

  const DialogTemplate& dialogTemplate_;
  QHash<int, QWidget*> items_;
  QList<QWidget*> rowWidgets_;
  QHash<int, Timer> timers_;
  int baseX_ = 0;
  int baseY_ = 0;
  bool ended_ = false;
  int endResult_ = 0;
  bool running_ = false;
  // From the start of a modal run (or construction) until the first paint or the first hide.
  bool awaitingFirstPaint_ = true;
};

}  // namespace widgets
