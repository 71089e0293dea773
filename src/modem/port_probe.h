#pragma once
// The probe of --list-ports --probe: asks each serial device, once, whether it is a modem and
// what it calls itself: "AT", then, only after "OK", "I3". Nothing that changes a modem is sent.
// Devices are independent, so each is asked on a thread of its own and the probe takes as long
// as the slowest device (about 3.1 s when all are silent). A device is opened as detection opens
// it (UUCP lock, flock, exclusive mode): a busy one is reported, not waited for.

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "modem/identification_list.h"
#include "platform/event_fd.h"
#include "platform/port_check.h"
#include "platform/ui_waits.h"
#include "serial/port_names.h"

namespace modem {

enum class ProbeVerdict {
  kModem,         // "OK" to "AT"; then asked "I3"
  kNumericCodes,  // "0" to "AT": a modem whose stored profile gives numeric result codes (V0)
  kEchoOnly,      // only the echo of "AT": quiet result codes (Q1), or a loopback plug
  kOtherAnswer,   // another line than "OK": not written to again
  kSilent,        // no answer to "AT" within the time-out
  kHungUp,        // the device hung up
  kNotWritten,    // the kernel's console or an unconnected Bluetooth link: left alone
  kNoSuchDevice,
  kPermissionDenied,
  kBusy,
  kOpenFailed,  // not a terminal, or refused for another reason
  kStopped,     // a stop came before the answer
};

struct ProbeTarget {
  std::string devicePath;             // as the user names it: "/dev/ttyACM0"
  std::string nodePath;               // the file opened
  std::string driver;                 // empty when unknown
  std::vector<std::string> comNames;  // the COM names that map to it, COM1 first
  std::string leftAlone;              // non-empty: why it is not opened
};

struct ProbeResult {
  ProbeTarget target;
  ProbeVerdict verdict = ProbeVerdict::kSilent;
  platform::OpenCheck open;  // the four open verdicts: what the check of the device found
  std::string answer;        // kOtherAnswer: the line that came instead of "OK"
  std::string i3Line;        // kModem: the first line of the "I3" answer, exact; may be empty
  bool known = false;        // kModem: a text of the identification list is in that answer
};

inline constexpr int kProbeSettleMs = 100;
inline constexpr int kProbeAtTimeoutMs = 3000;
inline constexpr int kProbeI3TimeoutMs = 4000;

// Every device of platform::ListSerialPorts and every COM name ports maps by --port,
// KALVEX_COMn, ports.conf or KALVEX_COM_DIR, each file once. Opens nothing. Any thread.
[[nodiscard]] std::vector<ProbeTarget> ProbeTargets(const serial::PortMap& ports);

// How a probe is stopped from another thread: requested is set, then fd made readable (it is
// never read, so it ends every later wait too). fd -1 and null: no stop.
struct ProbeStop {
  int fd = -1;
  const std::atomic<bool>* requested = nullptr;
  [[nodiscard]] bool Requested() const { return requested != nullptr && requested->load(); }
};

// Asks one device, on the calling thread; a stop ends its waits at once, and nothing is written
// after it. The device is closed again before it returns. list may be null (no ati3.dat): known
// stays false.
[[nodiscard]] ProbeResult ProbeDevice(const ProbeTarget& target, const IdentificationList* list,
                                      const ProbeStop& stop);

// "modem", "numeric-codes", "echo-only", "other-answer", "silent", "hung-up", "not-written",
// "no-such-device", "permission-denied", "busy", "open-failed", "stopped".
[[nodiscard]] const char* ProbeVerdictName(ProbeVerdict verdict);
// The verdict in words, with what to do where there is something: "busy: held by minicom (PID
// 42)", "answers in numeric result codes: ...". Outside text shown with VisibleText.
[[nodiscard]] std::string ProbeVerdictReason(const ProbeResult& result);

// Runs ProbeDevice for each target on a thread of its own. Each thread wakes the UI thread through
// waker when it ends (none: Results() is all the caller waits on). Done and Stop from the thread
// that made it.
class PortProbe {
 public:
  PortProbe(std::vector<ProbeTarget> targets, const IdentificationList* list,
            const platform::UiWaker& waker = {});
  ~PortProbe();  // stops the probe and waits for every device to be closed
  PortProbe(const PortProbe&) = delete;
  PortProbe& operator=(const PortProbe&) = delete;

  // Ends every wait at once; each device is closed and its result is kStopped unless it had one.
  void Stop();
  [[nodiscard]] bool Done() const { return finished_.load() == results_.size(); }
  // Waits for every thread, then the results in the order of the targets.
  [[nodiscard]] const std::vector<ProbeResult>& Results();

 private:
  void Join();

  platform::EventFd stop_;
  std::atomic<bool> stopRequested_{false};
  std::vector<ProbeResult> results_;
  std::vector<std::thread> threads_;
  std::atomic<size_t> finished_{0};
};

}  // namespace modem
