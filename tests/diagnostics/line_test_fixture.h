#pragma once
// The fixture of the line/DAA test tests: the real dialog followed by a sampler, with what it
// showed, when its OK button came on, and the question box answered as the test says.

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "diagnostics/program_run.h"
#include "diagnostics/run_support.h"
#include "support/modem_as_found.h"
#include "ui/line_test_dialog.h"

namespace diag_test {

inline constexpr char kInProgress[] = "Line/DAA test in progress";
inline constexpr char kPassing[] = " 50 % Passing... Please Wait...";
inline constexpr char kDetecting[] = "Detecting line connection...Please Wait...";
inline constexpr char kHangingUp[] = "Hang Up line...Please wait...";
inline constexpr char kNotConnectedStatus[] = "Not Connected. Please connect line and try again.";
inline constexpr char kQuestion[] =
    "Line connection is not detected in your system. Did you have line connected ?";

struct SeenQuestion {
  int shown = 0;
  std::string text;
  std::string caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  bool ownedByTheDialog = false;
};

class LineTest : public RunTest {
 protected:
  void SetUp() override {
    sampler.Track(ids::kLineStatus);
    sampler.Track(ids::kLinePercent);
    sampler.progressId = ids::kLineProgress;
    sampler.onSample = [this](widgets::TemplateDialog& dialog) { Sample(dialog); };
  }

  // Answers the question box, if one comes, with answer.
  void AnswerQuestionWith(QMessageBox::StandardButton answer) {
    auto* poll = new QTimer(&qt.app);
    QObject::connect(poll, &QTimer::timeout, [this, answer] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      ++question.shown;
      question.text = box->text().toStdString();
      question.caption = box->windowTitle().toStdString();
      question.icon = box->icon();
      question.buttons = box->standardButtons();
      question.ownedByTheDialog = qobject_cast<ui::LineTestDialog*>(box->parentWidget());
      box->button(answer)->click();
    });
    poll->start(5);
  }

  [[nodiscard]] Lines Status() const { return sampler.History(ids::kLineStatus); }
  [[nodiscard]] Lines Percent() const { return sampler.History(ids::kLinePercent); }

  // The commands up to and including the dial.
  static Lines Commands() {
    return {"at%T21,18,0", "at%T21,29,1", "at%T21,2A,41", "at%T21,20,0", "atX4", "atS7=1", "atDT1"};
  }
  static Lines CommandsUpTo(std::size_t count) {
    Lines commands = Commands();
    commands.resize(count);
    return commands;
  }

  Sampler sampler{[] { return Visible<ui::LineTestDialog>(); }};
  SeenQuestion question;
  std::size_t restoreWritesSent = 4;  // the last of them ends the run
  bool closeWithOk = true;            // press OK as soon as it is enabled
  bool okEnabledEarly = false;        // OK came on before the last restore write was answered
  bool okEverEnabled = false;
  bool sequenceStarted = false;
  int64_t firstSeenMs = -1;
  int64_t firstCommandMs = -1;

 private:
  void Sample(widgets::TemplateDialog& dialog) {
    if (firstSeenMs < 0) firstSeenMs = platform::NowMs();
    if (firstCommandMs < 0 && ReceivedAt("at%T21,18,0") >= 0) firstCommandMs = platform::NowMs();
    auto& lineDialog = static_cast<ui::LineTestDialog&>(dialog);
    sequenceStarted = sequenceStarted || lineDialog.IsSequenceRunning();
    if (!dialog.IsItemEnabled(ids::kLineOk)) return;
    if (!okEverEnabled) {
      okEverEnabled = true;
      // Once the last restore write has been answered and its 100 ms have passed.
      okEnabledEarly = LastRestoreAnswered() < 0;
    }
    if (closeWithOk) qobject_cast<QPushButton*>(dialog.Item(ids::kLineOk))->click();
  }

  // Index of the modem's answer to the last restore write, or -1.
  [[nodiscard]] long long LastRestoreAnswered() const {
    std::vector<sim::Event> events = sim.Events(mark);
    bool written = false;
    for (std::size_t i = 0; i < events.size(); ++i) {
      if (events[i].kind == "rx")
        written = events[i].text == RestoreWrites(restoreWritesSent).back();
      else if (written && events[i].kind == "tx")
        return static_cast<long long>(i);
    }
    return -1;
  }
};

// What the dialog shows of a test that dials.
inline const Lines kDialPercent = {"0 %", "50 %", "80 %", "100 %"};
inline const std::vector<int> kDialProgress = {0, 10, 20, 40, 50, 70, 80, 100};

// One modem per case: what the dialog shows on the way to the result, the question if it comes,
// every line the modem receives, and the modem left as it was found.
struct LineCase {
  const char* name = "";
  SimSetup setup = {};
  bool asIfDetected = false;                             // a modem the detection cannot find
  QMessageBox::StandardButton answer = QMessageBox::No;  // to the question, should it come
  bool asked = false;                                    // whether it comes
  Lines status = {};
  Lines percent = {};
  std::vector<int> progress = {};
  const char* result = "";
  std::size_t commands = 7;  // how many of Commands() went out
  std::size_t restoreWrites = 4;
  // Whether the start's upper bound is checked too: once is enough, and a loaded machine may
  // stretch any wait.
  bool startTimed = false;
};

inline void PrintTo(const LineCase& c, std::ostream* out) { *out << c.name; }

class LineRun : public LineTest, public testing::WithParamInterface<LineCase> {};

TEST_P(LineRun, ShowsEachStepToTheResultAndLeavesTheModemAsFound) {
  const LineCase& c = GetParam();
  if (c.asIfDetected)
    ASSERT_NO_FATAL_FAILURE(StartAsIfDetected(c.setup));
  else
    ASSERT_NO_FATAL_FAILURE(StartAndDetect(c.setup));
  view.SetText(field::kLineResult, "Not Connected");  // from an earlier test
  std::string resultWhileDialling;
  sampler.onChange = [&](widgets::TemplateDialog& dialog) {
    if (dialog.ItemText(ids::kLineStatus) == QLatin1String(kDetecting))
      resultWhileDialling = view.Text(field::kLineResult);
  };
  AnswerQuestionWith(c.answer);
  restoreWritesSent = c.restoreWrites;

  ui::RunLineTest(session, view);

  EXPECT_EQ(Status(), c.status);
  EXPECT_EQ(Percent(), c.percent);
  EXPECT_EQ(sampler.progress, c.progress);
  // The earlier result stays until this one is known.
  const bool dialled = std::find(c.status.begin(), c.status.end(), kDetecting) != c.status.end();
  EXPECT_EQ(resultWhileDialling, dialled ? "Not Connected" : "");
  EXPECT_EQ(view.History(field::kLineResult), (Lines{"Not Connected", c.result}));
  EXPECT_EQ(view.beeps, 1);
  EXPECT_EQ(Received(), Concat({CommandsUpTo(c.commands), RestoreWrites(c.restoreWrites)}));
  EXPECT_EQ(testsupport::AsFound(sim.State(kModemPort).value()), testsupport::AsFound(before));
  EXPECT_TRUE(okEverEnabled);
  EXPECT_FALSE(okEnabledEarly);
  // The sequence waits for its 500 ms timer; the dialog is on screen meanwhile.
  EXPECT_GE(firstCommandMs - firstSeenMs, 400);
  if (c.startTimed) EXPECT_LT(firstCommandMs - firstSeenMs, 1000);
  EXPECT_EQ(question.shown, c.asked ? 1 : 0);
  if (!c.asked) return;
  EXPECT_EQ(question.text, kQuestion);
  EXPECT_EQ(question.caption, "Connect ?");
  EXPECT_EQ(question.icon, QMessageBox::Question);
  EXPECT_EQ(question.buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_TRUE(question.ownedByTheDialog);
}

inline std::string LineCaseName(const testing::TestParamInfo<LineCase>& info) {
  return info.param.name;
}

}  // namespace diag_test
