#pragma once
// MainView: what detection tells the main dialog as it goes, in typed calls, and the state the
// main dialog holds for it. The real main dialog shows them in its controls; the report and
// tests implement it without widgets.

#include <string>

#include "modem/identification_list.h"

namespace modem {

// Where detection is on one port, in the order it gets there.
enum class ProbeStep {
  kDetect,          // about to try the port
  kClose,           // the port before it closed
  kOpen,            // the port opened and settled
  kCloseNoAnswer,   // no answer to "&FZ": closing it
  kClosedNoAnswer,  // and closed
};

// The status text the location field shows for a step ("Detect COM3... ", "Close2 COM3... ").
[[nodiscard]] std::string ProbeStatusText(int comNumber, ProbeStep step);
// The location field's text once the modem is found there ("COM3").
[[nodiscard]] std::string FoundStatusText(int comNumber);

class MainView {
 public:
  virtual ~MainView() = default;

  // A view that shows nothing may leave the progress calls alone: detection returns what it
  // found. The boxes that say detection could not go on are each view's own to show.

  // Detection starts: the modem information fields wait for it.
  virtual void ShowDetecting() {}
  virtual void ShowProbe(int /*comNumber*/, ProbeStep /*step*/) {}
  // The modem answered on comNumber; its information follows.
  virtual void ShowFound(int /*comNumber*/) {}
  virtual void ShowFirmware(const std::string& /*firmware*/) {}
  virtual void ShowCountry(const std::string& /*country*/) {}
  virtual void ShowModemName() {}  // product::kModemName
  // A modem is there to test: the test buttons may be used.
  virtual void ShowTestsAvailable() {}
  // No port answered as a listed modem (product::kNotFoundText); details says what each port
  // did. Returns once the user has seen it.
  virtual void ShowNotFound(const char* details) = 0;
  // No identification list could be read (product::kListMissingText); details names the places
  // looked in. Returns once the user has seen it.
  virtual void ShowListMissing(const char* details) = 0;
  virtual void Beep() {}  // 1000 Hz for 100 ms
  // Around the opening of a port: true before, false after. A view without a pointer ignores it.
  virtual void ShowBusy(bool) {}

  bool speakerHeard = false;  // the speaker prompt's last Yes (true) or No; starts at No
  IdentificationList identificationList;
};

}  // namespace modem
