#pragma once
// The simulated modem as a test found it: the vendor registers and the country that every put-back
// must leave as they were, as one text to compare (a difference names the item), and the writes
// that put the registers back.

#include <cstdio>
#include <string>
#include <vector>

#include "../../sim/modem_sim.h"

namespace testsupport {

// A register as the modem reads it out: two upper-case hexadecimal digits.
inline std::string Hex2(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
  return text;
}

// "country=01 reg18=5A reg29=0C reg2A=33 reg20=87"
inline std::string AsFound(const sim::PortState& state) {
  return "country=" + std::to_string(state.countryCode) + " reg18=" + Hex2(state.reg18) +
         " reg29=" + Hex2(state.reg29) + " reg2A=" + Hex2(state.reg2A) +
         " reg20=" + Hex2(state.reg20);
}

// The writes that put the registers of state back, as the modem receives them, in order: all
// four, or the first count.
inline std::vector<std::string> RestoreWrites(const sim::PortState& state, std::size_t count = 4) {
  std::vector<std::string> writes = {
      "at%T21,18," + Hex2(state.reg18), "at%T21,29," + Hex2(state.reg29),
      "at%T21,2A," + Hex2(state.reg2A), "at%T21,20," + Hex2(state.reg20)};
  writes.resize(count);
  return writes;
}

}  // namespace testsupport
