// What a screen reader finds in the real dialogs: names from the labels, buddies, the three
// "Test..." buttons told apart, and changing texts announced.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <vector>

#include "diagnostics/line_test_dialog.h"
#include "diagnostics/voice_prompt_dialog.h"
#include "modem/recording_view.h"
#include "resources/control_ids.h"
#include "support/qt_app.h"
#include "ui/main_dialog.h"

namespace {

struct Announcement {
  QObject* object;
  QAccessible::Event type;
  QVariant value;
};
std::vector<Announcement>* announcements = nullptr;

void Record(QAccessibleEvent* event) {
  if (!announcements) return;
  QVariant value;
  if (event->type() == QAccessible::ValueChanged)
    value = static_cast<QAccessibleValueChangeEvent*>(event)->value();
  announcements->push_back({event->object(), event->type(), value});
}

class Accessibility : public testing::Test {
 protected:
  void SetUp() override {
    QAccessible::installUpdateHandler(Record);
    announcements = &seen;
  }
  void TearDown() override {
    announcements = nullptr;
    QAccessible::installUpdateHandler(nullptr);
  }

  static QString Text(QWidget* widget, QAccessible::Text kind) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    return iface ? iface->text(kind) : QStringLiteral("<no interface>");
  }

  // Qt passes events on only while assistive technology listens, which it learns from the
  // desktop's accessibility bus; a test machine has none.
  static bool Listening() { return QAccessible::isActive(); }

  // The values announced for object, in order.
  std::vector<QVariant> ValuesAnnounced(QObject* object) const {
    std::vector<QVariant> values;
    for (const Announcement& a : seen) {
      if (a.object == object && a.type == QAccessible::ValueChanged) values.push_back(a.value);
    }
    return values;
  }

  testsupport::QtApp<QApplication> qt{"accessibility_test"};
  std::vector<Announcement> seen;
};

TEST_F(Accessibility, MainDialogFieldsAreNamedAfterTheirLabelsWhichAreTheirBuddies) {
  diagnostics::Session session;
  ui::MainDialog dialog(session, nullptr);
  const struct {
    int id;
    const char* name;
  } fields[] = {
      {ids::kLocation, "Location"},
      {ids::kModemName, "Modem"},
      {ids::kFirmware, "F/W Version"},
      {ids::kCountry, "Country"},
      {ids::kBasicResult, "Basic Function Test"},
      {ids::kDigitalResult, "Digital Local Loop Back Test"},
      {ids::kAnalogResult, "Analog Local Loop Back Test"},
      {ids::kSpeakerResult, "Speaker Test"},
      {ids::kLineResult, "Line/DAA Test"},
  };
  const QList<QLabel*> labels = dialog.findChildren<QLabel*>();
  for (const auto& field : fields) {
    QWidget* widget = dialog.Item(field.id);
    ASSERT_NE(widget, nullptr) << field.name;
    EXPECT_EQ(Text(widget, QAccessible::Name), QLatin1String(field.name));
    int buddies = 0;
    for (QLabel* label : labels) buddies += label->buddy() == widget ? 1 : 0;
    EXPECT_EQ(buddies, 1) << field.name << " has no label pointing at it";
  }
  // The field's own text is still there for the reader, as its value.
  EXPECT_EQ(Text(dialog.Item(ids::kModemName), QAccessible::Value), "Zelto Win Modem");
  dialog.SetItemText(ids::kFirmware, "V2.1,01/05");
  EXPECT_EQ(Text(dialog.Item(ids::kFirmware), QAccessible::Value), "V2.1,01/05");
}

TEST_F(Accessibility, TheThreeTestButtonsSayWhatEachRunsWhileShowingTestDotDotDot) {
  diagnostics::Session session;
  ui::MainDialog dialog(session, nullptr);
  const int buttons[] = {ids::kTestDiagnostics, ids::kTestSpeaker, ids::kTestLine};
  QStringList names;
  for (int id : buttons) {
    auto* button = qobject_cast<QPushButton*>(dialog.Item(id));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "Test...");
    names << Text(button, QAccessible::Name);
  }
  EXPECT_EQ(names, (QStringList{"Run the basic function and loopback tests", "Run the speaker test",
                                "Run the line/DAA test"}));
  // Buttons with their own words keep them.
  EXPECT_EQ(Text(dialog.Item(ids::kQuit), QAccessible::Name), "Quit");
  EXPECT_EQ(Text(dialog.Item(ids::kDetectAgain), QAccessible::Name), "Detect Again...");
}

TEST_F(Accessibility, AResultWrittenIntoTheMainDialogIsAnnounced) {
  diagnostics::Session session;
  ui::MainDialog dialog(session, nullptr);
  if (!Listening()) GTEST_SKIP() << "no accessibility bus: Qt drops every event";
  dialog.SetItemText(ids::kBasicResult, "Passed");
  EXPECT_EQ(ValuesAnnounced(dialog.Item(ids::kBasicResult)), std::vector<QVariant>{"Passed"});
}

TEST_F(Accessibility, TheVoicePromptCounterIsNamedAndAnnouncesEachSecond) {
  modem_test::RecordingView view;
  diagnostics::VoicePromptDialog dialog(view);
  QWidget* counter = dialog.Item(ids::kVoiceCounter);
  EXPECT_EQ(Text(counter, QAccessible::Name), "Buzzer");
  if (!Listening()) GTEST_SKIP() << "no accessibility bus: Qt drops every event";
  dialog.SetItemText(ids::kVoiceCounter, "Voice On...1 Sec");
  dialog.SetItemText(ids::kVoiceCounter, "Voice On...2 Sec");
  dialog.SetItemText(ids::kVoiceCounter, "Voice Off");
  EXPECT_EQ(ValuesAnnounced(counter),
            (std::vector<QVariant>{"Voice On...1 Sec", "Voice On...2 Sec", "Voice Off"}));
  EXPECT_EQ(Text(counter, QAccessible::Value), "Voice Off");
}

TEST_F(Accessibility, TheLineTestStatusAndProgressAreNamedAndAnnounceChanges) {
  modem_test::RecordingView view;
  diagnostics::Session session;
  diagnostics::LineTestDialog dialog(session, view);
  QWidget* status = dialog.Item(ids::kLineStatus);
  QWidget* bar = dialog.Item(ids::kLineProgress);
  EXPECT_EQ(Text(status, QAccessible::Name), "Line/DAA test status");
  EXPECT_EQ(Text(status, QAccessible::Value), "Line/DAA test in progress");
  EXPECT_EQ(Text(bar, QAccessible::Name), "Line/DAA test progress");
  EXPECT_EQ(Text(dialog.Item(ids::kLinePercent), QAccessible::Name), "Line/DAA test percent done");
  dialog.show();  // Qt announces a progress bar's moves only while it is visible
  dialog.SetItemText(ids::kLineStatus, "Passed !");
  dialog.SetProgressPos(ids::kLineProgress, 40);
  EXPECT_EQ(Text(status, QAccessible::Value), "Passed !");
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(bar);
  ASSERT_NE(iface->valueInterface(), nullptr);
  EXPECT_EQ(iface->valueInterface()->currentValue().toInt(), 40);
  if (!Listening()) GTEST_SKIP() << "no accessibility bus: Qt drops every event";
  EXPECT_EQ(ValuesAnnounced(status), std::vector<QVariant>{"Passed !"});
  EXPECT_EQ(ValuesAnnounced(bar), std::vector<QVariant>{40});
}

}  // namespace
