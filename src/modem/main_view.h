#pragma once
// MainView: what detection and the test runs may do to the main dialog, and the state the main
// dialog holds for them. The real main dialog implements it; tests use a recording fake.

#include "modem/identification_list.h"

namespace modem {

class MainView {
 public:
  virtual ~MainView() = default;

  virtual void SetItemText(int id, const char* text) = 0;
  virtual void EnableItem(int id, bool enabled) = 0;
  [[nodiscard]] virtual bool IsItemEnabled(int id) const = 0;
  virtual void StopTimer(int id) = 0;
  // No port answered as a listed modem (product::kNotFoundText); details says what each port
  // did. Returns once the user has seen it.
  virtual void ShowNotFound(const char* details) = 0;
  // No identification list could be read (product::kListMissingText); details names the places
  // looked in. Returns once the user has seen it.
  virtual void ShowListMissing(const char* details) = 0;
  virtual void Beep() = 0;  // 1000 Hz for 100 ms
  // Around the opening of a port: true before, false after. A view without a pointer ignores it.
  virtual void ShowBusy(bool) {}

  bool speakerHeard = false;  // the speaker prompt's last Yes (true) or No; starts at No
  IdentificationList identificationList;
};

}  // namespace modem
