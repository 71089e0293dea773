#pragma once
// ModemEngine: what one simulated port does with the bytes it receives. No I/O of its own: the
// port hands it received bytes and the time, and it answers through its Host. Runs only on the
// simulator's event thread.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "modem_sim.h"

namespace sim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

class ModemEngine {
 public:
  class Host {
   public:
    virtual ~Host() = default;
    // Writes `bytes` to the line as one write (paced and split by the port).
    virtual void Send(std::string bytes, TimePoint now) = 0;
    // Records a transcript event of this port.
    virtual void Note(std::string_view kind, std::string_view text) = 0;
  };

  struct Timing {
    std::chrono::milliseconds guardTime{1000};
    std::chrono::milliseconds dialTime{2500};
  };

  ModemEngine(PortKind kind, const Faults& faults, Timing timing, std::uint32_t seed, Host& host);

  void Receive(std::string_view bytes, TimePoint now);
  // The client purged the line (it does at open and close): a connection or dial ends, as a
  // modem's does when DTR drops, and a half-typed command is forgotten.
  void Purge(TimePoint now);
  // Runs the timers that are due (dial result, "+++" guard, noise).
  void RunTimers(TimePoint now);
  [[nodiscard]] std::optional<TimePoint> NextTimer() const;

  void FillState(PortState& state) const;
  // Records the final register and country values.
  void NoteFinal();

  // Longest command line kept; a longer one is answered "ERROR".
  static constexpr std::size_t kMaxLine = 255;

 private:
  enum class Mode { kCommand, kData, kDialling };

  void ReceiveCommandByte(char b, std::string& echoOut, TimePoint now);
  void ReceiveDataByte(char b, std::chrono::nanoseconds sinceLast, std::string& echoOut,
                       TimePoint now);
  void ReceiveDiallingByte(char b, TimePoint now);
  void ReceiveEchoKind(std::string_view bytes, TimePoint now);
  void TrackDataLine(char b, bool& echoIt);
  void EndDataLine();
  void FlushPartialDataLine();

  std::string ExecuteLine(TimePoint now);  // the answer bytes, "" for none
  std::string ExecuteBody(std::string_view body, TimePoint now);

  // The command line being run, and where its next command starts.
  struct Cursor {
    std::string_view body;
    std::size_t position = 0;
    [[nodiscard]] bool AtEnd() const { return position >= body.size(); }
    char Next() { return body[position++]; }
    // 1 to maxDigits decimal digits at the position, taken; nullopt (nothing taken) for none.
    std::optional<int> Digits(std::size_t maxDigits);
  };
  // A command's outcome: nullopt to go on with the line's next command, else the line's whole
  // answer ("ERROR", a connection, a dial under way).
  using LineAnswer = std::optional<std::string>;
  LineAnswer ExecuteCommand(char command, Cursor& cursor, std::vector<std::string>& info,
                            TimePoint now);
  LineAnswer ErrorAnswer();
  LineAnswer ExecuteEcho(Cursor& cursor);
  LineAnswer ExecuteHook(Cursor& cursor);
  LineAnswer ExecuteSetting(Cursor& cursor, int highest);
  LineAnswer ExecuteReset(Cursor& cursor);
  LineAnswer ExecuteInformation(Cursor& cursor, std::vector<std::string>& info);
  LineAnswer ExecuteSRegister(Cursor& cursor, std::vector<std::string>& info);
  LineAnswer ExecuteAmpersand(Cursor& cursor, std::vector<std::string>& info);
  LineAnswer ExecuteVendor(Cursor& cursor, std::vector<std::string>& info);
  LineAnswer ExecuteServiceClass(Cursor& cursor, std::vector<std::string>& info);
  LineAnswer ExecuteDial(Cursor& cursor, std::vector<std::string>& info, TimePoint now);
  // The "I9" answer, and the wrong-country fault's event when it acts.
  std::string ReportedCountryName();
  bool Vendor(std::string_view command, std::vector<std::string>& info);  // "%T..."
  std::string Lines(const std::vector<std::string>& info);  // information lines, framed
  std::string Result(std::string_view text);                // a result code, framed
  void AfterAnswer(TimePoint now);

  void SetMode(Mode mode, std::string_view why = {});
  void SetEcho(bool on);
  void SetBuzz(bool on);
  void SetHook(bool offHook);
  void Defaults();

  PortKind kind_;
  Faults faults_;
  Timing timing_;
  std::mt19937 rng_;
  Host& host_;

  Mode mode_ = Mode::kCommand;
  bool echo_ = true;
  bool buzz_ = false;
  bool offHook_ = false;
  int country_;
  std::array<std::uint8_t, 256> vendorRegisters_{};
  std::array<std::uint8_t, 256> sRegisters_{};

  std::string line_;
  std::size_t lineLength_ = 0;  // bytes received for the line, kept or not
  bool skipLf_ = false;         // the LF that completes a CR LF terminator
  std::optional<TimePoint> lastRx_;

  // Data mode: loopback line bookkeeping and the "+++" escape.
  std::string dataLine_;
  std::size_t dataLineLength_ = 0;
  long long dataLineNumber_ = 1;  // counted over the port's life
  bool dataLastCr_ = false;
  bool dataLineDropped_ = false;
  int plusCount_ = 0;
  TimePoint firstPlus_{};
  std::optional<TimePoint> escapeAt_;
  std::optional<TimePoint> lateOkAt_;  // the "OK" of an escape answered late
  bool escapeIgnored_ = false;

  std::optional<TimePoint> dialAt_;
  std::optional<TimePoint> noiseAt_;
};

// "%02d" code and name of the built-in country table; nullopt for an unknown code.
[[nodiscard]] std::optional<std::string_view> CountryName(int code);
inline constexpr int kDefaultCountry = 25;

}  // namespace sim
