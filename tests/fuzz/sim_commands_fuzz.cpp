// The simulated modem's command parser on arbitrary bytes, with time moving in random steps so
// that data mode, "+++" guard times, dialling and late answers are reached too. Every port kind
// and fault set is drawn from the first bytes.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "modem_engine.h"

namespace {

class NullHost final : public sim::ModemEngine::Host {
 public:
  void Send(std::string bytes, sim::TimePoint) override { sent += bytes.size(); }
  void Note(std::string_view, std::string_view) override {}
  size_t sent = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  sim::Faults faults;
  faults.ignoreFirstEscape = data[0] & 1;
  faults.noConnect = data[0] & 2;
  faults.wrongCountry = data[0] & 4;
  faults.lowerCaseResults = data[0] & 8;
  faults.noise = data[0] & 16;
  faults.noLine = data[0] & 32;
  faults.dropEchoLine = data[0] >> 6;
  auto kind = static_cast<sim::PortKind>(data[1] % 4);
  faults.online = data[1] & 4;
  if (data[1] & 8) faults.ringCommands = {"I"};
  if (data[1] & 16) faults.lateCommands = {{"I", 30}};
  if (data[1] & 32) faults.profile = "E0V0Q1X0";
  NullHost host;
  sim::ModemEngine::Timing timing{std::chrono::milliseconds(50), std::chrono::milliseconds(20)};
  sim::ModemEngine engine(kind, faults, timing, 1, host);
  sim::TimePoint now{};
  size_t at = 2;
  while (at < size) {
    // A byte with the top bit and 0x40 set is a pause of up to 63 ms; the rest is line data.
    if ((data[at] & 0xC0) == 0xC0) {
      now += std::chrono::milliseconds(data[at] & 0x3F);
      engine.RunTimers(now);
      ++at;
      continue;
    }
    size_t end = at;
    while (end < size && (data[end] & 0xC0) != 0xC0 && end - at < 64) ++end;
    engine.Receive(std::string_view(reinterpret_cast<const char*>(data + at), end - at), now);
    at = end;
  }
  now += std::chrono::seconds(5);
  engine.RunTimers(now);
  sim::PortState state;
  engine.FillState(state);
  return 0;
}
