#pragma once
// A main view without widgets that records what detection and the test runs tell the main
// dialog, in order, each field's text as the dialog would show it, so a test can check the
// texts, the boxes and whether the tests were made available.

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "modem/main_view.h"
#include "resources/product.h"

namespace modem_test {

// The main dialog's fields, as the recording view keeps them.
namespace field {
enum : int {
  kLocation,
  kModemName,
  kFirmware,
  kCountry,
  kBasicResult,
  kDigitalResult,
  kAnalogResult,
  kSpeakerResult,
  kLineResult,
};
inline std::string Name(int id) {
  static const char* const kNames[] = {"location",        "modem-name",     "firmware",
                                       "country",         "basic-function", "digital-loopback",
                                       "analog-loopback", "speaker",        "line"};
  return kNames[id];
}
}  // namespace field

template <class Base>
class RecordingViewOf : public Base {
 public:
  enum class BoxKind { kNotFound, kListMissing };
  struct Box {
    BoxKind kind;  // which box the view was asked for
    std::string details;
  };

  void ShowDetecting() override {
    for (int id : {field::kModemName, field::kFirmware, field::kCountry})
      SetText(id, product::kWaitText);
  }
  void ShowProbe(int comNumber, modem::ProbeStep step) override {
    SetText(field::kLocation, modem::ProbeStatusText(comNumber, step));
  }
  void ShowFound(int comNumber) override {
    SetText(field::kLocation, modem::FoundStatusText(comNumber));
  }
  void ShowFirmware(const std::string& firmware) override { SetText(field::kFirmware, firmware); }
  void ShowCountry(const std::string& country) override { SetText(field::kCountry, country); }
  void ShowModemName() override { SetText(field::kModemName, product::kModemName); }
  void ShowTestsAvailable() override {
    testsAvailable = true;
    events.push_back("tests available");
  }
  void ShowNotFound(const char* details) override {
    Show(BoxKind::kNotFound, product::kNotFoundText, details);
  }
  void ShowListMissing(const char* details) override {
    Show(BoxKind::kListMissing, product::kListMissingText, details);
  }
  void Beep() override {
    ++beeps;
    events.push_back("beep");
  }

  void SetText(int id, const std::string& text) {
    texts[id] = text;
    textHistory[id].push_back(text);
    events.push_back(field::Name(id) + " " + text);
  }
  [[nodiscard]] std::string Text(int id) const {
    auto it = texts.find(id);
    return it == texts.end() ? std::string() : it->second;
  }
  [[nodiscard]] std::vector<std::string> History(int id) const {
    auto it = textHistory.find(id);
    return it == textHistory.end() ? std::vector<std::string>() : it->second;
  }

  std::map<int, std::string> texts;
  std::map<int, std::vector<std::string>> textHistory;
  bool testsAvailable = false;
  std::vector<Box> boxes;
  std::vector<std::string> events;
  int beeps = 0;

 private:
  void Show(BoxKind kind, const char* text, const char* details) {
    boxes.push_back({kind, details});
    events.push_back(std::string("box ") + text);
    // A death test sees only the child's standard error: say what was shown there.
    std::fprintf(stderr, "box [%s]\ndetails [%s]\n", text, details);
  }
};

using RecordingView = RecordingViewOf<modem::MainView>;

}  // namespace modem_test
