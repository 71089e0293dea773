#pragma once
// What the test-run tests share: a Qt application for the real dialogs, the simulated modem on
// COM3 found by the real detection (so the port is open and the register snapshot taken), the
// transcript from the start of the run on, and a sampler that notes what a dialog shows while a
// run pumps messages.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "../../sim/modem_sim.h"
#include "diagnostics/main_view.h"
#include "modem/detection.h"
#include "modem/detection_support.h"
#include "modem/recording_view.h"
#include "modem/register_snapshot.h"
#include "modem/session.h"
#include "modem/sim_ports.h"
#include "modem/transaction.h"
#include "platform/clock.h"
#include "resources/control_ids.h"
#include "serial/tty_port.h"
#include "support/modem_as_found.h"
#include "support/qt_app.h"
#include "widgets/template_dialog.h"

namespace field = modem_test::field;

namespace diag_test {

using Lines = std::vector<std::string>;
using modem_test::Concat;
using namespace std::chrono_literals;

inline constexpr int kModemPort = 3;
inline const char* const kPort = "COM3";

// A view that records the test results too, and notes how far the modem's transcript had got
// when the run beeped.
class View : public modem_test::RecordingViewOf<diagnostics::MainView> {
 public:
  sim::ModemSim* sim = nullptr;
  std::size_t eventsAtBeep = 0;
  void Beep() override {
    RecordingViewOf::Beep();
    if (sim) eventsAtBeep = sim->Events().size();
  }
  void ShowRunning(const diagnostics::TestIdentity& test) override {
    SetText(ResultField(test), diagnostics::RunningText(test));
  }
  void ShowResult(const diagnostics::TestIdentity& test,
                  const diagnostics::TestResult& result) override {
    SetText(ResultField(test), diagnostics::ResultText(result));
  }

 private:
  static int ResultField(const diagnostics::TestIdentity& test) {
    if (test == diagnostics::kBasicFunction) return field::kBasicResult;
    if (test == diagnostics::kDigitalLoopback) return field::kDigitalResult;
    if (test == diagnostics::kAnalogLoopback) return field::kAnalogResult;
    if (test == diagnostics::kSpeaker) return field::kSpeakerResult;
    return field::kLineResult;
  }
};

// Faults with one of them set, for a table's rows: Fault(&sim::Faults::noLine, true).
template <class T>
sim::Faults Fault(T sim::Faults::*member, std::type_identity_t<T> value) {
  sim::Faults faults;
  faults.*member = std::move(value);
  return faults;
}

struct SimSetup {
  sim::Faults faults = {};
  bool pacing = true;
  int guardTimeMs = 100;  // the tool's own pause before "+++" is 1 s: any guard up to that works
  int dialTimeMs = 200;
};

class RunTest : public testing::Test {
 protected:
  void TearDown() override {
    if (lostLine.joinable()) lostLine.join();
    session.port.Close();
  }

  // Starts the simulator with the modem on COM3 and runs the detection against it. Call it
  // inside ASSERT_NO_FATAL_FAILURE.
  void StartAndDetect(const SimSetup& setup = {}) {
    ASSERT_NO_FATAL_FAILURE(StartSim(setup));
    modem_test::UseShippedStyleList(view);
    detection = modem::DetectModem(session, view);
    ASSERT_EQ(session.detectedPort, kModemPort) << "the simulated modem was not found";
    ASSERT_TRUE(view.testsAvailable);
    Mark();
  }

  // For a modem the detection cannot find (its "OK" is "ok"): the port opened and the snapshot
  // filled as a detection would have left them.
  void StartAsIfDetected(const SimSetup& setup) {
    ASSERT_NO_FATAL_FAILURE(StartSim(setup));
    ASSERT_TRUE(modem::OpenComPort(session, kModemPort));
    session.detectedPort = kModemPort;
    sim::PortState state = sim.State(kModemPort).value();
    const std::uint8_t values[] = {state.reg18, state.reg29, state.reg2A, state.reg20};
    for (int i = 0; i < modem::kSnapshotRegisters; ++i) {
      std::snprintf(session.snapshot.values[i], modem::kSnapshotSlotSize, "%s",
                    modem_test::Hex2(values[i]).c_str());
      session.snapshot.hasValue[i] = true;
    }
    view.testsAvailable = true;
    Mark();
  }

  void StartSim(const SimSetup& setup) {
    sim::Options options;
    options.ports = {modem_test::Port(kModemPort, sim::PortKind::kModem, setup.faults)};
    options.pacing = setup.pacing;
    options.guardTimeMs = setup.guardTimeMs;
    options.dialTimeMs = setup.dialTimeMs;
    std::string error;
    ASSERT_TRUE(sim.Start(options, &error)) << error;
    modem_test::UseComDir(sim.Directory());
    view.sim = &sim;
  }

  // The run starts here: the view's records and the transcript are read from this point on.
  void Mark() {
    before = sim.State(kModemPort).value();
    view.events.clear();
    view.textHistory.clear();
    view.beeps = 0;
    mark = sim.Events().size();
  }

  // Hangs the modem up, from another thread, as soon as it has received a line holding text.
  void HangUpWhenReceived(const std::string& text, bool comeBack = false) {
    lostLine = std::thread([this, text, comeBack] {
      if (!sim.WaitForEvent(kPort, "rx", text, 60s, mark)) return;
      sim.HangUp(kModemPort);
      if (comeBack) sim.Restore(kModemPort);
    });
  }

  // Lines the modem received since the run started: commands and loopback data alike.
  [[nodiscard]] Lines Received() const {
    Lines lines;
    for (const sim::Event& event : sim.Events(mark)) {
      if (event.port == kPort && (event.kind == "rx" || event.kind == "data-rx")) {
        lines.push_back(event.text);
      }
    }
    return lines;
  }

  // The transcript time of the first received line equal to text at or after index from, or -1.
  [[nodiscard]] long long ReceivedAt(const std::string& text, std::size_t from = 0) const {
    std::vector<sim::Event> events = sim.Events();
    for (std::size_t i = std::max(from, mark); i < events.size(); ++i) {
      if (events[i].port == kPort && events[i].kind == "rx" && events[i].text == text) {
        return events[i].ms;
      }
    }
    return -1;
  }

  // The restore writes with the values the detection read, as the modem receives them: all four,
  // or the first `count` when only those test values were written.
  [[nodiscard]] Lines RestoreWrites(std::size_t count = 4) const {
    return testsupport::RestoreWrites(before, count);
  }

  // The last four received lines are the restore, and the modem is back as it was found.
  void ExpectRegistersRestored() const {
    Lines received = Received();
    ASSERT_GE(received.size(), 4u);
    EXPECT_EQ(Lines(received.end() - 4, received.end()), RestoreWrites());
    EXPECT_EQ(testsupport::AsFound(sim.State(kModemPort).value()), testsupport::AsFound(before));
  }

  testsupport::QtApp<QApplication> qt{"diag_test"};
  sim::ModemSim sim;
  modem::Session session;
  View view;
  modem::DetectionResult detection;
  sim::PortState before;
  std::size_t mark = 0;
  std::thread lostLine;
};

// Each change of a dialog's texts, progress and OK button while a run pumps messages, sampled
// every millisecond (every wait of the run dispatches timers). Runs until the application ends.
class Sampler : public QObject {
 public:
  explicit Sampler(std::function<widgets::TemplateDialog*()> find) : find_(std::move(find)) {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Sample(); });
    timer_.start(1);
  }

  void Track(int id) { histories_.push_back({id, {}}); }
  [[nodiscard]] Lines History(int id) const {
    for (const auto& [trackedId, lines] : histories_) {
      if (trackedId == id) return lines;
    }
    return {};
  }
  // Called at each change of the tracked items, once the dialog is there.
  std::function<void(widgets::TemplateDialog&)> onChange;
  // Called at every sample while the dialog is there.
  std::function<void(widgets::TemplateDialog&)> onSample;

  bool seenDialog = false;
  std::vector<int> progress;  // positions of a progress bar tracked with TrackProgress
  int progressId = 0;

 private:
  void Sample() {
    widgets::TemplateDialog* dialog = find_();
    if (!dialog) return;
    seenDialog = true;
    bool changed = false;
    for (auto& [id, lines] : histories_) {
      std::string text = dialog->ItemText(id).toStdString();
      if (lines.empty() || lines.back() != text) {
        lines.push_back(text);
        changed = true;
      }
    }
    if (progressId != 0) {
      int pos = dialog->ProgressPos(progressId);
      if (progress.empty() || progress.back() != pos) {
        progress.push_back(pos);
        changed = true;
      }
    }
    if (changed && onChange) onChange(*dialog);
    if (onSample) onSample(*dialog);
  }

  std::function<widgets::TemplateDialog*()> find_;
  std::vector<std::pair<int, Lines>> histories_;
  QTimer timer_;
};

// The first visible dialog of type T among the top-level widgets, or null.
template <class T>
T* Visible() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* dialog = qobject_cast<T*>(widget); dialog && dialog->isVisible()) return dialog;
  }
  return nullptr;
}

// CPU seconds of this process, all threads.
inline double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

}  // namespace diag_test
