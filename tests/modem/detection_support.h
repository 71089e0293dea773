#pragma once
// What the detection tests share: identification lists and the status texts a probe leaves.

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "../../sim/modem_sim.h"
#include "modem/recording_view.h"

namespace modem_test {

using Lines = std::vector<std::string>;

inline void UseList(modem::MainView& view, const Lines& lines) {
  view.identificationList = {};
  for (const std::string& line : lines) {
    std::snprintf(view.identificationList.lines[view.identificationList.count++],
                  modem::kIdentificationLineSize, "%s", line.c_str());
  }
}

// A list as shipped: some other modem and the simulated one.
inline void UseShippedStyleList(modem::MainView& view) {
  UseList(view, {"Kalvex 56K Internal KX-56IN", std::string(sim::kModemIdentification)});
}

enum class Outcome { kOpenFailed, kNoOk, kNoMatch, kFound };

// The status texts of 1009 for one port.
inline Lines StatusTexts(int port, Outcome outcome) {
  auto text = [port](const char* format) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, port);
    return std::string(buffer);
  };
  Lines lines = {text("Detect COM%d... "), text("Close COM%d... ")};
  if (outcome == Outcome::kOpenFailed) return lines;
  lines.push_back(text("Open COM%d... "));
  if (outcome == Outcome::kNoOk) {
    lines.push_back(text("Close2 COM%d... "));
    lines.push_back(text("Close3 COM%d... "));
  } else if (outcome == Outcome::kFound) {
    lines.push_back(text("COM%d"));
  }
  return lines;
}

inline Lines Concat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace modem_test
