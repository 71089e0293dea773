#pragma once
// A MainView without widgets that records what detection and the test runs do to the main
// dialog, in order, so a test can check the texts, the enabling and the boxes.

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "modem/main_view.h"
#include "resources/product.h"

namespace modem_test {

class RecordingView : public modem::MainView {
 public:
  struct Box {
    std::string text;  // the box the view was asked for, by its text
    std::string details;
  };

  void SetItemText(int id, const char* text) override {
    texts[id] = text;
    textHistory[id].push_back(text);
    events.push_back("text " + std::to_string(id) + " " + text);
  }
  void EnableItem(int id, bool enabled) override {
    enabledItems[id] = enabled;
    events.push_back("enable " + std::to_string(id) + (enabled ? " 1" : " 0"));
  }
  [[nodiscard]] bool IsItemEnabled(int id) const override {
    auto it = enabledItems.find(id);
    return it != enabledItems.end() && it->second;
  }
  void StopTimer(int id) override { events.push_back("stop timer " + std::to_string(id)); }
  void ShowNotFound(const char* details) override { Show(product::kNotFoundText, details); }
  void ShowListMissing(const char* details) override { Show(product::kListMissingText, details); }
  void Beep() override {
    ++beeps;
    events.push_back("beep");
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
  std::map<int, bool> enabledItems;  // an item never enabled counts as disabled
  std::vector<Box> boxes;
  std::vector<std::string> events;
  int beeps = 0;

 private:
  void Show(const char* text, const char* details) {
    boxes.push_back({text, details});
    events.push_back(std::string("box ") + text);
    // A death test sees only the child's standard error: say what was shown there.
    std::fprintf(stderr, "box [%s]\ndetails [%s]\n", text, details);
  }
};

}  // namespace modem_test
