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
  // S0..S12; any other register number is refused.
  static constexpr std::size_t kSRegisterCount = 13;

  // The settings a profile holds: what "&F" sets, "&W" stores and "Z" loads.
  struct Settings {
    int echo = 1;       // E
    int quiet = 0;      // Q
    int verbose = 1;    // V
    int resultSet = 4;  // X
    int dcd = 1;        // &C
    int dtr = 2;        // &D
    std::array<std::uint8_t, kSRegisterCount> s{};
  };

  // A command of the table: its name (upper case) and what runs it. The cursor stands after the
  // name; the command takes its parameters from it.
  struct Command;

  // Applies a stored profile's text (see ValidProfile) to `settings`; false, leaving it
  // unchanged, when the text is not one.
  static bool ApplyProfile(std::string_view text, Settings& settings);

 private:
  enum class Mode { kCommand, kData, kDialling };
  static const Command kCommands[];

  // The command line being run, and where its next command starts.
  struct Cursor {
    std::string_view body;
    std::size_t position = 0;
    [[nodiscard]] bool AtEnd() const { return position >= body.size(); }
    [[nodiscard]] std::string_view Rest() const { return body.substr(position); }
    // 1 to maxDigits decimal digits at the position, taken; nullopt (nothing taken) for none.
    std::optional<int> Digits(std::size_t maxDigits);
    // A basic command's number: missing is 0; nullopt (an error) when above `highest`.
    std::optional<int> Number(int highest);
    // An extended command's parameter: the text up to ";" or the end, taken with the ";".
    std::string_view Parameter();
  };
  // A command's outcome: nullopt to go on with the line's next command, else the line's whole
  // answer ("ERROR", a connection, a dial under way).
  using LineAnswer = std::optional<std::string>;
  using Info = std::vector<std::string>;

  void ReceiveCommandByte(char b, std::string& echoOut, TimePoint now);
  void ReceiveDataByte(char b, std::chrono::nanoseconds sinceLast, std::string& echoOut,
                       TimePoint now);
  void ReceiveDiallingByte(char b, TimePoint now);
  void ReceiveEchoKind(std::string_view bytes, TimePoint now);
  void TrackDataLine(char b, bool& echoIt);
  void EndDataLine();
  void FlushPartialDataLine();

  // Runs a complete command line (as typed, bytes before "AT" included); the answer bytes, ""
  // for none. `length` counts the bytes received for it, kept or not; `echoed`: it was echoed.
  std::string ExecuteLine(const std::string& line, std::size_t length, bool echoed, TimePoint now);
  std::string ExecuteBody(std::string_view body, TimePoint now);
  [[nodiscard]] static const std::string* Matching(const std::vector<std::string>& commands,
                                                   std::string_view body);

  LineAnswer ErrorAnswer();
  // The commands of the table. Each takes its parameters from the cursor; `command` is its own
  // entry (for the setting a plain setting command changes).
  LineAnswer RunSetting(const Command& command, Cursor& cursor, Info& info, TimePoint now);
  LineAnswer RunHook(const Command& command, Cursor& cursor, Info& info, TimePoint now);
  LineAnswer RunOnline(const Command& command, Cursor& cursor, Info& info, TimePoint now);
  LineAnswer RunReset(const Command& command, Cursor& cursor, Info& info, TimePoint now);
  LineAnswer RunInformation(const Command& command, Cursor& cursor, Info& info, TimePoint now);
  LineAnswer RunSRegister(const Command& command, Cursor& cursor, Info& info, TimePoint now);
  LineAnswer RunDial(const Command& command, Cursor& cursor, Info& info, TimePoint now);
  LineAnswer RunFactory(const Command& command, Cursor& cursor, Info& info, TimePoint now);
  LineAnswer RunTest(const Command& command, Cursor& cursor, Info& info, TimePoint now);
  LineAnswer RunView(const Command& command, Cursor& cursor, Info& info, TimePoint now);
  LineAnswer RunStore(const Command& command, Cursor& cursor, Info& info, TimePoint now);
  LineAnswer RunVendor(const Command& command, Cursor& cursor, Info& info, TimePoint now);
  LineAnswer RunServiceClass(const Command& command, Cursor& cursor, Info& info, TimePoint now);
  LineAnswer RunIdentity(const Command& command, Cursor& cursor, Info& info, TimePoint now);

  // The "I9" answer, and the wrong-country fault's event when it acts.
  std::string ReportedCountryName();
  bool Vendor(std::string_view command, Info& info);  // "%T..."
  std::string Lines(const Info& info);                // information lines, framed
  std::string Result(std::string_view text);          // a result code, framed as V and Q say
  void AfterAnswer(TimePoint now);
  [[nodiscard]] std::chrono::milliseconds GuardTime() const;
  void DropConnection();

  void SetMode(Mode mode, std::string_view why = {});
  void SetBuzz(bool on);
  void SetHook(bool offHook);
  void Load(const Settings& settings, std::string_view why);

  PortKind kind_;
  Faults faults_;
  Timing timing_;
  std::mt19937 rng_;
  Host& host_;

  Mode mode_ = Mode::kCommand;
  Settings factory_;
  Settings stored_;
  Settings settings_;
  bool buzz_ = false;
  bool offHook_ = false;
  bool connectionHeld_ = false;  // a "+++" left a connection that "O" resumes
  int country_;
  std::array<std::uint8_t, 256> vendorRegisters_{};

  std::string line_;
  std::size_t lineLength_ = 0;  // bytes received for the line, kept or not
  bool skipLf_ = false;         // the LF that completes a CR LF terminator
  std::string lastLine_;        // what "A/" repeats
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

  // The late fault: an answer held back, and what arrives meanwhile, run after it.
  std::optional<TimePoint> lateAnswerAt_;
  std::string lateAnswer_;
  std::string heldInput_;

  std::optional<TimePoint> dialAt_;
  std::optional<TimePoint> noiseAt_;
};

// "%02d" code and name of the built-in country table; nullopt for an unknown code.
[[nodiscard]] std::optional<std::string_view> CountryName(int code);
inline constexpr int kDefaultCountry = 25;

}  // namespace sim
