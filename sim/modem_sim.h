#pragma once
// The simulated modem: pseudo-terminals that behave like the laptop's internal modem, for the
// demo and for tests. One event thread serves every port; this header is its whole interface.
//
// Thread contract: every public operation of ModemSim may be called from any thread except the
// simulator's own event thread (callbacks do not exist, so that cannot happen by accident).
// State, events and requests are handed over under the simulator's locks; nothing else is shared.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// What answers at the far end of a port.
//   kModem:   the full modem; its "I3" line is listed in data/ati3.dat.
//   kSilent:  opens, reads and discards everything, never answers.
//   kEcho:    sends every byte back, like a loopback plug.
//   kForeign: the full modem, but its "I3" line is in no identification list.
enum class PortKind { kModem, kSilent, kEcho, kForeign };

// Faults injected into one port. Defaults: a healthy port.
struct Faults {
  std::vector<std::string> muteCommands;   // command texts (after "AT", any case) never answered
  std::vector<std::string> errorCommands;  // command texts answered "ERROR", changing nothing
  bool ignoreFirstEscape = false;          // the first valid "+++" is ignored, later ones work
  int lateEscapeMs = 0;                    // > 0: a valid "+++" is answered this much later
  int dropEchoLine = 0;                    // 0: none; k > 0: the k-th loopback line is not echoed
  bool noConnect = false;                  // "&T1"/"&T3" answer "ERROR" instead of "CONNECT"
  bool wrongCountry = false;               // "I9" names the wrong country
  bool splitOutput = false;                // output in random 1..4 byte pieces at random moments
  bool lowerCaseResults = false;           // "ok", "error", "connect", "no carrier", ...
  bool noise = false;                      // a line of junk after every answer
  int hangUpAfterMs = -1;  // < 0: never; else the port hangs up this long after start
  bool noLine = false;     // dialling finds no line: "NO DIALTONE"
  std::vector<std::string> ringCommands;  // matched as muteCommands: "RING" between echo and answer
  struct Late {
    std::string command;  // matched as muteCommands
    int ms = 0;           // 1..60000: the answer comes this much after the echo
  };
  std::vector<Late> lateCommands;
  bool online = false;     // starts in data mode, as a client that died in a loopback leaves it
  bool ignoreDtr = false;  // a purge (the DTR drop) ends neither data mode nor a dial (&D0)
  std::string profile;     // the stored profile ("E0V0"): loaded at power-on and by "Z"
};

// Whether `settings` is a stored profile the modem accepts: E, Q, V (0 or 1), X (0..4), &C (0 or
// 1) and &D (0..3), each with one digit, in any order and case ("E0V0", "q1"); empty is none.
[[nodiscard]] bool ValidProfile(std::string_view settings);

struct PortConfig {
  int number = 3;  // COM1 .. COM9
  PortKind kind = PortKind::kModem;
  Faults faults;
};

struct Options {
  std::vector<PortConfig> ports;  // empty: COM1 silent and COM3 modem
  std::string directory;          // empty: a fresh temporary directory, removed by Stop;
                                  // a relative one is taken from the current directory
  std::string transcriptPath;     // empty: none; "-": standard error; else a file (truncated)
  bool keepEvents = true;         // keep every event in memory for Events() and WaitForEvent()
  bool pacing = true;             // delay each write as a 19200-baud line would
  int guardTimeMs = 1000;         // silence required before and after "+++"
  int dialTimeMs = 2500;          // from "DT..." to its result
  std::uint32_t seed = 1;         // for the split and noise faults
};

// One transcript event. Its line form (Line()) is "<ms> <port> <kind> <text>", see
// docs/simulator.md; text is escaped so that an event is always exactly one line.
struct Event {
  long long ms = 0;  // since Start
  std::string port;  // "COM1".."COM9", or "SIM" for the simulator as a whole
  std::string kind;  // rx, echo, tx, data-rx, data-tx, state, fault, drop, purge, info, final, note
  std::string text;
  [[nodiscard]] std::string Line() const;
};

// The modem state of one port, as the event thread last left it.
struct PortState {
  PortKind kind = PortKind::kModem;
  bool up = false;       // the terminal exists (not hung up)
  std::string linkPath;  // <directory>/COMn
  std::string ttyPath;   // the slave terminal the link points to ("" while hung up)
  bool echo = true;
  bool dataMode = false;  // in a loopback connection
  bool buzz = false;
  bool offHook = false;
  int countryCode = 0;
  std::string countryName;
  std::uint8_t reg18 = 0, reg29 = 0, reg2A = 0, reg20 = 0;
};

class ModemSim {
 public:
  ModemSim();
  ~ModemSim();  // Stop()
  ModemSim(const ModemSim&) = delete;
  ModemSim& operator=(const ModemSim&) = delete;

  // Creates the directory, one raw terminal and one COMn link per port, and starts the event
  // thread. True on success; on failure nothing is left behind and *error (if given) says why.
  // Only once per object.
  [[nodiscard]] bool Start(const Options& options, std::string* error = nullptr);

  // Ends the event thread, writes the final state events, closes the terminals, removes the
  // links, and the directory when Start created it. Safe to call twice or without Start.
  void Stop();

  // The directory holding the COMn links; "" before Start.
  [[nodiscard]] std::string Directory() const;

  // Events from index `from` on (all so far with 0). Empty when Options::keepEvents is false.
  [[nodiscard]] std::vector<Event> Events(std::size_t from = 0) const;

  // Waits until an event at index >= from has the given port and kind (empty: any) and its text
  // contains `contains`. Returns its index, or nullopt after the time-out (or after Stop).
  [[nodiscard]] std::optional<std::size_t> WaitForEvent(std::string_view port,
                                                        std::string_view kind,
                                                        std::string_view contains,
                                                        std::chrono::milliseconds timeout,
                                                        std::size_t from = 0) const;

  // The state of port `number`; nullopt when there is no such port.
  [[nodiscard]] std::optional<PortState> State(int number) const;

  // Hangs up port `number` as a lost device does: closes its terminal (the client sees HUP/EIO)
  // and removes its link. False when there is no such port or it is already down.
  bool HangUp(int number);

  // Brings a hung-up port back: a new terminal, the link again, a freshly powered modem.
  // False when there is no such port, it is up, or the terminal cannot be made.
  bool Restore(int number);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

[[nodiscard]] std::string_view KindName(PortKind kind);
[[nodiscard]] std::optional<PortKind> ParseKind(std::string_view text);

// The identification line the kModem kind answers to "I3" (listed in data/ati3.dat).
inline constexpr std::string_view kModemIdentification = "Zelto Win Modem V.92 KX-56ZW";
// The kForeign kind's "I3" line, which no identification list holds.
inline constexpr std::string_view kForeignIdentification = "Orrin DataLink 33.6 OD-336 Rev B";

}  // namespace sim
