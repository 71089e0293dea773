// The modem lost in the middle of detection and of each test run, then back: the run ends within
// its time-outs with "Failure" where steps time out, sleeps while it waits (under 5 % of a core,
// measured as this process's CPU time over the run's wall time), and a later detection finds the
// freshly powered modem again and leaves the tool usable.
//
// The prompts are answered from an event filter rather than a poller, so that nothing but the
// tool itself runs while the CPU time is measured.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <cstdio>
#include <string>

#include "diagnostics/diagnostic_run.h"
#include "diagnostics/program_run.h"
#include "diagnostics/run_support.h"
#include "platform/clock.h"
#include "ui/line_test_dialog.h"
#include "ui/voice_prompt_dialog.h"

namespace {

using diag_test::Lines;
using diag_test::RunTest;
using diag_test::SimSetup;
using namespace std::chrono_literals;

constexpr double kCpuShareBound = 0.05;

// Answers what the runs show as soon as it is shown: the voice prompt and the "Connect ?"
// question with the answers set here, the line test dialog's OK once it is enabled.
class Answerer : public QObject {
 public:
  Answerer() { qApp->installEventFilter(this); }
  ~Answerer() override { qApp->removeEventFilter(this); }

  bool voiceYes = true;
  bool lineYes = true;
  int prompts = 0;
  std::vector<std::string> boxes;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      if (auto* prompt = qobject_cast<ui::VoicePromptDialog*>(watched)) {
        ++prompts;
        ClickLater(prompt->Item(voiceYes ? ids::kVoiceYes : ids::kVoiceNo));
      } else if (auto* box = qobject_cast<QMessageBox*>(watched)) {
        boxes.push_back(box->text().toStdString());
        ClickLater(box->button(lineYes ? QMessageBox::Yes : QMessageBox::No));
      }
    } else if (event->type() == QEvent::EnabledChange) {
      auto* button = qobject_cast<QPushButton*>(watched);
      auto* line = button ? qobject_cast<ui::LineTestDialog*>(button->window()) : nullptr;
      if (line && button == line->Item(ids::kLineOk) && button->isEnabled()) ClickLater(button);
    }
    return false;
  }

 private:
  // From the event loop, once the window's modal run has started.
  static void ClickLater(QWidget* widget) {
    QPointer<QAbstractButton> button = qobject_cast<QAbstractButton*>(widget);
    QMetaObject::invokeMethod(
        qApp,
        [button] {
          if (button) button->click();
        },
        Qt::QueuedConnection);
  }
};

// Wall time and this process's CPU time (every thread, the simulator's included) over a run.
class CpuMeter {
 public:
  CpuMeter() : startMs_(platform::NowMs()), startCpu_(diag_test::CpuSeconds()) {}
  void Stop() {
    wallMs = platform::NowMs() - startMs_;
    cpuMs = (diag_test::CpuSeconds() - startCpu_) * 1000.0;
    std::printf("cpu %.0f ms over %lld ms of wall time: %.2f %% of a core\n", cpuMs,
                static_cast<long long>(wallMs), Share() * 100.0);
  }
  [[nodiscard]] double Share() const { return cpuMs / static_cast<double>(wallMs); }

  int64_t wallMs = 0;
  double cpuMs = 0;

 private:
  int64_t startMs_;
  double startCpu_;
};

class LostDevice : public RunTest {
 protected:
  // The hang-up thread has done its work; the modem comes back freshly powered.
  void BringTheModemBack() {
    if (lostLine.joinable()) lostLine.join();
    ASSERT_FALSE(sim.State(diag_test::kModemPort)->up) << "the modem was never hung up";
    ASSERT_TRUE(sim.Restore(diag_test::kModemPort));
  }

  // "Detect Again..." finds the modem that came back, with its information and its registers.
  void ExpectDetectedAgain() {
    view.boxes.clear();
    view.testsAvailable = false;
    modem::DetectModem(session, view);
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_EQ(session.detectedPort, diag_test::kModemPort);
    EXPECT_EQ(view.Text(field::kLocation), "COM3");
    EXPECT_EQ(view.Text(field::kFirmware), "3.41.07");
    EXPECT_EQ(view.Text(field::kCountry), "United Kingdom");
    EXPECT_TRUE(view.testsAvailable);
    const char* const powerOn[] = {"5A", "0C", "33", "87"};
    for (int i = 0; i < modem::kSnapshotRegisters; ++i) {
      EXPECT_STREQ(session.snapshot.values[i], powerOn[i]) << "slot " << i;
    }
  }

  Answerer answerer;
};

// The modem goes at the first command on its port: "&FZ" (or "I3", should its "OK" still have
// come) times out, no port is left, and the run says so. Once the modem is back, the next
// detection finds it.
TEST_F(LostDevice, DetectionLosingTheModemFindsNoneThenFindsItOnceBack) {
  ASSERT_NO_FATAL_FAILURE(StartSim({}));
  modem_test::UseShippedStyleList(view);
  HangUpWhenReceived("at&FZ");
  CpuMeter meter;

  modem::DetectModem(session, view);

  meter.Stop();
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].kind, diag_test::View::BoxKind::kNotFound);
  EXPECT_FALSE(session.port.connected.load());
  EXPECT_FALSE(view.testsAvailable);
  // "&FZ" waits 3 s, or "I3" 4 s after an "OK" that got out first; the other ports are absent.
  EXPECT_GE(meter.wallMs, 3000);
  EXPECT_LT(meter.wallMs, 100 + 3100 + 4100 + 1500);
  EXPECT_LT(meter.Share(), kCpuShareBound);

  ASSERT_NO_FATAL_FAILURE(BringTheModemBack());
  ExpectDetectedAgain();
}

// The modem goes while its registers are read: the reads after it time out, the detection still
// ends (the modem had answered "I3") with whatever the capture held in the snapshot, and a
// detection after the modem is back reads the real values.
TEST_F(LostDevice, DetectionLosingTheModemDuringTheRegisterReadsEndsAndDetectingAgainRereadsThem) {
  ASSERT_NO_FATAL_FAILURE(StartSim({}));
  modem_test::UseShippedStyleList(view);
  HangUpWhenReceived("at%T22,29");
  CpuMeter meter;

  modem::DetectModem(session, view);

  meter.Stop();
  EXPECT_TRUE(view.boxes.empty());
  EXPECT_EQ(session.detectedPort, diag_test::kModemPort);
  EXPECT_EQ(view.Text(field::kLocation), "COM3");
  EXPECT_EQ(view.beeps, 1);
  EXPECT_STREQ(session.snapshot.values[0], "5A");
  // At least the reads of 2A and 20 wait out their 3 s each.
  EXPECT_GE(meter.wallMs, 2 * 3000);
  EXPECT_LT(meter.wallMs, 1500 + 3 * 3100 + 1500);
  EXPECT_LT(meter.Share(), kCpuShareBound);

  ASSERT_NO_FATAL_FAILURE(BringTheModemBack());
  ExpectDetectedAgain();
}

// The modem goes during the analog loopback, in data mode: the pattern's echo never comes, the
// reopen finds no port, the restore writes time out; basic and digital keep their "Passed".
TEST_F(LostDevice, LoopbackLosingTheModemFailsTheRestWithoutSpinningAndDetectAgainFindsIt) {
  ASSERT_NO_FATAL_FAILURE(StartAndDetect());
  lostLine = std::thread([this] {
    std::optional<std::size_t> connect =
        sim.WaitForEvent(diag_test::kPort, "rx", "at&T1", 60s, mark);
    if (!connect) return;
    if (!sim.WaitForEvent(diag_test::kPort, "data-rx", "", 10s, *connect)) return;
    sim.HangUp(diag_test::kModemPort);
  });
  CpuMeter meter;

  diagnostics::RunDiagnosticTests(session, view);

  meter.Stop();
  EXPECT_EQ(view.Text(field::kBasicResult), "Passed");
  EXPECT_EQ(view.Text(field::kDigitalResult), "Passed");
  EXPECT_EQ(view.Text(field::kAnalogResult), "Failure");
  EXPECT_FALSE(session.port.connected.load()) << "the reopen should have found no port";
  EXPECT_EQ(view.events.back(), "beep");
  // A 3 s pattern wait and the reopen's 1 s; with no port the put-back names what it could not
  // put back at once.
  EXPECT_GE(meter.wallMs, 3000 + 1000);
  EXPECT_LT(meter.wallMs, 20000 + 3100 + 1100);
  EXPECT_EQ(diagnostics::NotPutBack(session).size(), 5u) << "data mode and four registers";
  EXPECT_LT(meter.Share(), kCpuShareBound);

  ASSERT_NO_FATAL_FAILURE(BringTheModemBack());
  ExpectDetectedAgain();
}

// The modem goes after "H1": "%T24" times out after the 1.5 s pause, or "H1" itself does; the
// result is "Failure" and the prompt never comes. Back and detected again, the test passes.
TEST_F(LostDevice, SpeakerLosingTheModemBeforeThePromptFailsAndPassesAfterDetectAgain) {
  ASSERT_NO_FATAL_FAILURE(StartAndDetect());
  HangUpWhenReceived("atH1");
  CpuMeter meter;

  ui::RunSpeakerTest(session, view);

  meter.Stop();
  EXPECT_EQ(view.Text(field::kSpeakerResult), "Failure");
  EXPECT_EQ(answerer.prompts, 0);
  EXPECT_GE(meter.wallMs, 3000);
  EXPECT_LT(meter.wallMs, 200 + 1600 + 3100 + 1500);
  EXPECT_LT(meter.Share(), kCpuShareBound);

  ASSERT_NO_FATAL_FAILURE(BringTheModemBack());
  ExpectDetectedAgain();
  answerer.voiceYes = true;
  ui::RunSpeakerTest(session, view);
  EXPECT_EQ(view.Text(field::kSpeakerResult), "Passed");
  EXPECT_EQ(answerer.prompts, 1);
}

// The modem goes while it dials: no "NO CARRIER" within 10 s, so the user is asked (Yes gives
// "Failure"), and the restore writes time out before OK comes on. Back and detected again, the
// line test passes.
TEST_F(LostDevice, LineTestLosingTheModemWhileDiallingAsksAndFailsThenPassesAfterDetectAgain) {
  SimSetup setup;
  setup.dialTimeMs = 1000;  // the hang-up comes long before the modem would report
  ASSERT_NO_FATAL_FAILURE(StartAndDetect(setup));
  HangUpWhenReceived("atDT1");
  answerer.lineYes = true;
  CpuMeter meter;

  ui::RunLineTest(session, view);

  meter.Stop();
  EXPECT_EQ(view.History(field::kLineResult), (Lines{"Failure"}));
  EXPECT_EQ(answerer.boxes,
            (std::vector<std::string>{
                "Line connection is not detected in your system. Did you have line connected ?"}));
  EXPECT_EQ(view.beeps, 1);
  // Half a second and the 10 s dial; the put-back cannot reach the lost line.
  EXPECT_GE(meter.wallMs, 500 + 10000);
  EXPECT_LT(meter.wallMs, 500 + 1500 + 10100 + 2000);
  EXPECT_LT(meter.Share(), kCpuShareBound);

  ASSERT_NO_FATAL_FAILURE(BringTheModemBack());
  ExpectDetectedAgain();
  ui::RunLineTest(session, view);
  EXPECT_EQ(view.Text(field::kLineResult), "Passed");
  EXPECT_EQ(answerer.boxes.size(), 1u);
}

}  // namespace
