#include "modem/port_probe.h"

#include <cctype>
#include <cstring>
#include <string_view>
#include <system_error>

#include "modem/port_verdict.h"
#include "platform/clock.h"
#include "platform/serial_device.h"
#include "platform/serial_ports.h"
#include "serial/line_assembler.h"
#include "serial/open_words.h"
#include "serial/port_names.h"
#include "serial/response_capture.h"
#include "serial/visible_text.h"

namespace modem {
namespace {

// An endless answer is cut by the deadline; lines beyond these are not kept.
constexpr size_t kMaxLinesKept = 32;
constexpr size_t kReadChunk = 80;

std::string ComName(int number) { return "COM" + std::to_string(number); }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// Neither the echo of the command nor an unsolicited code is an answer to it.
bool IsAnswer(const std::string& line, const char* command) {
  return !line.empty() && !SameIgnoringCase(line, command) && !SameIgnoringCase(line, "RING");
}

// The device's lines, through the same assembler as the port's (its line limit holds).
class LineReader {
 public:
  LineReader(platform::SerialDevice& device, const ProbeStop& stop)
      : device_(device), stop_(stop), assembler_(capture_, [this](std::string_view line, bool) {
          if (lines_.size() < kMaxLinesKept) lines_.emplace_back(line);
        }) {}

  // Sends command (CR-terminated) and collects lines until done(lines) or the time-out; false
  // when the device hung up, a stop came or the write failed.
  template <class Done>
  bool Ask(const char* command, int timeoutMs, Done done) {
    lines_.clear();
    if (stop_.Requested()) {
      stopped_ = true;
      return false;
    }
    const std::string text = std::string(command) + "\r";
    const platform::WriteResult written = device_.Write(text.data(), text.size(), 1000);
    if (written.failedAtOnce || written.total != static_cast<long>(text.size())) return false;
    const int64_t deadline = platform::NowMs() + timeoutMs;
    while (!done(lines_)) {
      const int64_t left = deadline - platform::NowMs();
      if (left <= 0) return true;
      const platform::WaitResult event = device_.WaitReadable(static_cast<int>(left), stop_.fd);
      if (event == platform::WaitResult::kLost) return false;
      // Only the stop ends a wait before its time-out without bytes.
      if (event == platform::WaitResult::kNoEvent && platform::NowMs() < deadline) {
        stopped_ = true;
        return false;
      }
      char chunk[kReadChunk];
      int error = 0;
      const long got = device_.Read(chunk, sizeof chunk, &error);
      if (got > 0) assembler_.Receive(chunk, static_cast<unsigned>(got));
    }
    return true;
  }

  [[nodiscard]] const std::vector<std::string>& Lines() const { return lines_; }
  [[nodiscard]] bool Stopped() const { return stopped_; }

 private:
  platform::SerialDevice& device_;
  const ProbeStop& stop_;
  bool stopped_ = false;
  serial::ResponseCapture capture_;
  serial::LineAssembler assembler_;
  std::vector<std::string> lines_;
};

const std::string* FirstAnswer(const std::vector<std::string>& lines, const char* command) {
  for (const std::string& line : lines) {
    if (IsAnswer(line, command)) return &line;
  }
  return nullptr;
}

bool HasFinalCode(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (line == "OK" || line == "ERROR") return true;
  }
  return false;
}

// As detection matches: a list text anywhere in a line, the line read as a C string.
bool ListKnows(const IdentificationList& list, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    for (int i = 0; i < list.count; ++i) {
      if (std::strstr(line.c_str(), list.lines[i]) != nullptr) return true;
    }
  }
  return false;
}

ProbeVerdict FromOpenCheck(platform::OpenVerdict verdict) {
  switch (verdict) {
    case platform::OpenVerdict::kNoSuchDevice: return ProbeVerdict::kNoSuchDevice;
    case platform::OpenVerdict::kPermissionDenied: return ProbeVerdict::kPermissionDenied;
    case platform::OpenVerdict::kBusy: return ProbeVerdict::kBusy;
    case platform::OpenVerdict::kOpenable:
    case platform::OpenVerdict::kFailed: break;
  }
  return ProbeVerdict::kOpenFailed;
}

void AskIdentification(LineReader& reader, const IdentificationList* list, ProbeResult& result) {
  if (!reader.Ask("ATI3", kProbeI3TimeoutMs, HasFinalCode)) return;
  // The echo and the result codes are never the modem's identity, nor matched against the list.
  std::vector<std::string> answers;
  for (const std::string& line : reader.Lines()) {
    if (IsAnswer(line, "ATI3") && !serial::IsResultCode(line)) answers.push_back(line);
  }
  if (!answers.empty()) result.i3Line = answers.front();
  result.known = list != nullptr && ListKnows(*list, answers);
}

void Classify(LineReader& reader, bool answered, ProbeResult& result) {
  const std::vector<std::string>& lines = reader.Lines();
  const std::string* answer = FirstAnswer(lines, "AT");
  if (answer != nullptr && *answer == "OK") {
    result.verdict = ProbeVerdict::kModem;
  } else if (answer != nullptr && *answer == "0") {
    result.verdict = ProbeVerdict::kNumericCodes;
  } else if (answer != nullptr) {
    result.verdict = ProbeVerdict::kOtherAnswer;
    result.answer = *answer;
  } else if (reader.Stopped()) {
    result.verdict = ProbeVerdict::kStopped;
  } else if (!lines.empty()) {
    result.verdict = ProbeVerdict::kEchoOnly;
  } else {
    result.verdict = answered ? ProbeVerdict::kSilent : ProbeVerdict::kHungUp;
  }
}

}  // namespace

std::vector<ProbeTarget> ProbeTargets(const serial::PortMap& ports) {
  std::vector<ProbeTarget> targets;
  std::vector<std::string> resolved;
  auto add = [&](ProbeTarget target) {
    const std::string file = platform::ResolvedPath(target.nodePath);
    for (size_t i = 0; i < resolved.size(); ++i) {
      if (resolved[i] == file) return;
    }
    resolved.push_back(file);
    targets.push_back(std::move(target));
  };
  for (const platform::SerialPortInfo& port : platform::ListSerialPorts()) {
    ProbeTarget target{port.devicePath, port.nodePath, port.driver, {}, {}};
    if (port.console) target.leftAlone = "the kernel's console writes to it";
    if (port.bluetoothIdle)
      target.leftAlone = "a Bluetooth link that is not connected (opening it would connect it)";
    add(std::move(target));
  }
  for (int n = 1; n <= serial::kMaxComNumber; ++n) {
    const serial::ResolvedPort port = ports.Resolve(ComName(n).c_str());
    if (port.source != serial::PortSource::kDefault) add({port.path, port.path, {}, {}, {}});
  }
  // Every COM name of a target, whichever source gave it.
  for (int n = 1; n <= serial::kMaxComNumber; ++n) {
    const std::string file = platform::ResolvedPath(ports.DevicePathFor(ComName(n).c_str()));
    for (size_t i = 0; i < targets.size(); ++i) {
      if (resolved[i] == file) targets[i].comNames.push_back(ComName(n));
    }
  }
  return targets;
}

ProbeResult ProbeDevice(const ProbeTarget& target, const IdentificationList* list,
                        const ProbeStop& stop) {
  ProbeResult result;
  result.target = target;
  if (!target.leftAlone.empty()) {
    result.verdict = ProbeVerdict::kNotWritten;
    return result;
  }
  platform::SerialDevice device;
  const bool opened = device.Open(target.nodePath.c_str());
  serial::DebugOpenAttempt(target.nodePath.c_str(), device.LastOpen());
  if (!opened) {
    result.open = platform::ExplainOpen(target.nodePath.c_str(), device.LastOpen());
    result.verdict = FromOpenCheck(result.open.verdict);
    return result;
  }
  if (!device.ApplyLineSettings(platform::LineSettings{})) {
    result.verdict = ProbeVerdict::kOpenFailed;
    result.open.verdict = platform::OpenVerdict::kFailed;
    result.open.detail = "the line settings were refused";
    return result;
  }
  device.SetDtr(true);
  // As detection does after an open: a modem may need a moment once DTR is up.
  (void)device.WaitReadable(kProbeSettleMs, stop.fd);
  device.Purge();
  LineReader reader(device, stop);
  const bool answered = reader.Ask("AT", kProbeAtTimeoutMs, [](const auto& lines) {
    return FirstAnswer(lines, "AT") != nullptr;
  });
  Classify(reader, answered, result);
  if (result.verdict == ProbeVerdict::kModem) AskIdentification(reader, list, result);
  return result;
}

const char* ProbeVerdictName(ProbeVerdict verdict) {
  switch (verdict) {
    case ProbeVerdict::kModem: return "modem";
    case ProbeVerdict::kNumericCodes: return "numeric-codes";
    case ProbeVerdict::kEchoOnly: return "echo-only";
    case ProbeVerdict::kOtherAnswer: return "other-answer";
    case ProbeVerdict::kSilent: return "silent";
    case ProbeVerdict::kHungUp: return "hung-up";
    case ProbeVerdict::kNotWritten: return "not-written";
    case ProbeVerdict::kNoSuchDevice: return "no-such-device";
    case ProbeVerdict::kPermissionDenied: return "permission-denied";
    case ProbeVerdict::kBusy: return "busy";
    case ProbeVerdict::kOpenFailed: return "open-failed";
    case ProbeVerdict::kStopped: return "stopped";
  }
  return "";
}

std::string ProbeVerdictReason(const ProbeResult& result) {
  switch (result.verdict) {
    case ProbeVerdict::kModem:
      if (result.i3Line.empty()) return "modem: no line in answer to \"I3\"";
      return "modem: \"" + serial::VisibleText(result.i3Line) + "\", " +
             (result.known ? "known to" : "not in") + " the identification list";
    case ProbeVerdict::kNumericCodes: return NumericCodesReason();
    case ProbeVerdict::kEchoOnly: return QuietReason();
    case ProbeVerdict::kOtherAnswer:
      return "answered \"" + serial::VisibleText(result.answer) + "\" to \"AT\", not \"OK\"";
    case ProbeVerdict::kSilent: return "silent: no answer to \"AT\" within 3 s";
    case ProbeVerdict::kHungUp: return "hung up when asked \"AT\"";
    case ProbeVerdict::kNotWritten: return "not opened: " + result.target.leftAlone;
    case ProbeVerdict::kNoSuchDevice:
    case ProbeVerdict::kPermissionDenied:
    case ProbeVerdict::kBusy:
    case ProbeVerdict::kOpenFailed: return OpenCheckReason(result.open);
    case ProbeVerdict::kStopped: return "stopped before it answered";
  }
  return {};
}

PortProbe::PortProbe(std::vector<ProbeTarget> targets, const IdentificationList* list,
                     const platform::UiWaker& waker) {
  results_.resize(targets.size());
  for (size_t i = 0; i < targets.size(); ++i) {
    auto work = [this, i, target = targets[i], list, waker] {
      const ProbeStop stop{stop_.Valid() ? stop_.Fd() : -1, &stopRequested_};
      results_[i] = ProbeDevice(target, list, stop);
      finished_.fetch_add(1);
      waker.Wake();
    };
    try {
      threads_.emplace_back(work);
    } catch (const std::system_error&) {
      // No thread to be had: this device is asked here, and the probe takes longer.
      work();
    }
  }
}

PortProbe::~PortProbe() {
  Stop();
  Join();
}

void PortProbe::Stop() {
  stopRequested_.store(true);
  if (stop_.Valid()) stop_.Signal();
}

void PortProbe::Join() {
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
}

const std::vector<ProbeResult>& PortProbe::Results() {
  Join();
  return results_;
}

}  // namespace modem
