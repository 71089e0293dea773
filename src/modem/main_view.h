#pragma once
// MainView: what detection and the test runs may do to the main dialog, and the state the main
// dialog holds for them. The real main dialog implements it; tests use a recording fake.

#include "modem/identification_list.h"

class QWidget;

namespace modem {

class MainView {
 public:
  virtual ~MainView() = default;

  virtual void SetItemText(int id, const char* text) = 0;
  virtual void EnableItem(int id, bool enabled) = 0;
  [[nodiscard]] virtual bool IsItemEnabled(int id) const = 0;
  virtual void StopTimer(int id) = 0;
  // Modal message box owned by the main window; returns the button (widgets::kIdOk, ...).
  // details, when given, is the longer explanation behind the box's "Show Details" button.
  virtual int ShowMessageBox(const char* text, const char* caption, unsigned style,
                             const char* details = nullptr) = 0;
  virtual void Beep() = 0;  // 1000 Hz for 100 ms
  // Parent window for the test dialogs; null in a fake without widgets.
  [[nodiscard]] virtual QWidget* Window() = 0;

  int speakerAnswer = 0;  // 1 Yes, 0 No; starts at No
  IdentificationList identificationList;
};

}  // namespace modem
