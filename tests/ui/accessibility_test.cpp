// What a screen reader finds in the real dialogs: names from the labels, buddies, the three
// "Test..." buttons told apart, value fields read as text, and changing texts announced. What the
// desktop bridge makes of it is checked by the AT-SPI client of screen_reader_client.py.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <cstdlib>
#include <vector>

#include "modem/recording_view.h"
#include "resources/control_ids.h"
#include "support/qt_app.h"
#include "ui/line_test_dialog.h"
#include "ui/main_dialog.h"
#include "ui/voice_prompt_dialog.h"
// Xlib's macros (None, Bool, KeyPress, ...) would break Qt's headers: it comes last.
#include "ui/x_test_server.h"

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
  if (event->type() == QAccessible::TextUpdated)
    value = static_cast<QAccessibleTextUpdateEvent*>(event)->textInserted();
  announcements->push_back({event->object(), event->type(), value});
}

class Accessibility : public testing::Test {
 protected:
  void SetUp() override {
    QAccessible::installUpdateHandler(Record);
    announcements = &seen;
    if (desktop.Ready()) {
      // The accessibility bus launcher, which the private bus starts as a desktop session's does;
      // the bridge sees it arrive and switches itself on.
      (void)QDBusConnection::sessionBus().interface()->startService(QStringLiteral("org.a11y.Bus"));
      (void)QTest::qWaitFor([] { return QAccessible::isActive(); }, 5000);
    }
  }
  void TearDown() override {
    announcements = nullptr;
    QAccessible::installUpdateHandler(nullptr);
  }

  static QString Text(QWidget* widget, QAccessible::Text kind) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    return iface ? iface->text(kind) : QStringLiteral("<no interface>");
  }

  // The whole text a screen reader reads through the field's text interface.
  static QString TextRead(QWidget* widget) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    QAccessibleTextInterface* text = iface ? iface->textInterface() : nullptr;
    return text ? text->text(0, text->characterCount()) : QStringLiteral("<no text interface>");
  }

  // What was announced for object as events of type, in order: values, or inserted texts.
  std::vector<QVariant> Announced(QObject* object, QAccessible::Event type) const {
    std::vector<QVariant> values;
    for (const Announcement& a : seen) {
      if (a.object == object && a.type == type) values.push_back(a.value);
    }
    return values;
  }
  std::vector<QVariant> TextsAnnounced(QObject* object) const {
    return Announced(object, QAccessible::TextUpdated);
  }

  // Qt passes events on only while its desktop bridge is connected to an accessibility bus (the
  // offscreen platform has no bridge at all): a private X server and a private session bus give
  // it one. Without either, the names are still checked and the announcements skip.
  struct Desktop {
    Desktop() {
      if (!Ready()) return;
      ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().c_str(), 1);
      ::setenv("QT_QPA_PLATFORM", "xcb", 1);
      // What a running screen reader sets on a desktop's bus, which this private one has not.
      ::setenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1", 1);
      ::unsetenv("AT_SPI_BUS_ADDRESS");
    }
    [[nodiscard]] bool Ready() const { return server.Running() && bus.Running(); }
    ui_test::XTestServer server;
    // Set before the bus starts: what the bus starts meets the private server, never a desktop.
    struct OnServer {
      explicit OnServer(const ui_test::XTestServer& s) {
        if (s.Running()) ::setenv("DISPLAY", s.Display().c_str(), 1);
      }
    } onServer{server};
    ui_test::DBusTestBus bus;
  } desktop;
  testsupport::QtApp<QApplication> qt{"accessibility_test"};
  std::vector<Announcement> seen;

  static bool Listening() { return QAccessible::isActive(); }
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
  // The field's own text is still there for the reader, as its value and as its text.
  EXPECT_EQ(Text(dialog.Item(ids::kModemName), QAccessible::Value), "Zelto Win Modem");
  EXPECT_EQ(TextRead(dialog.Item(ids::kModemName)), "Zelto Win Modem");
  dialog.SetItemText(ids::kFirmware, "V2.1,01/05");
  EXPECT_EQ(Text(dialog.Item(ids::kFirmware), QAccessible::Value), "V2.1,01/05");
  EXPECT_EQ(TextRead(dialog.Item(ids::kFirmware)), "V2.1,01/05");
}

// A screen reader reads a field by character, word or line as the user moves through it.
TEST_F(Accessibility, AValueFieldIsReadPieceByPiece) {
  diagnostics::Session session;
  ui::MainDialog dialog(session, nullptr);
  dialog.SetItemText(ids::kCountry, "United Kingdom");
  QAccessibleTextInterface* text =
      QAccessible::queryAccessibleInterface(dialog.Item(ids::kCountry))->textInterface();
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->characterCount(), 14);
  EXPECT_EQ(text->text(7, 14), "Kingdom");
  const struct {
    const char* how;
    int offset;
    QAccessible::TextBoundaryType boundary;
    QString at, before, after;
  } cases[] = {
      {"char", 0, QAccessible::CharBoundary, "U", "", "n"},
      {"word", 9, QAccessible::WordBoundary, "Kingdom", " ", ""},
      {"word", 2, QAccessible::WordBoundary, "United", "", " "},
      {"line", 5, QAccessible::LineBoundary, "United Kingdom", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.how) + " at " + std::to_string(c.offset));
    int start = -1, end = -1;
    EXPECT_EQ(text->textAtOffset(c.offset, c.boundary, &start, &end), c.at);
    EXPECT_EQ(text->text(start, end), c.at);
    EXPECT_EQ(text->textBeforeOffset(c.offset, c.boundary, &start, &end), c.before);
    EXPECT_EQ(text->textAfterOffset(c.offset, c.boundary, &start, &end), c.after);
  }
  // Nothing to select or edit.
  EXPECT_EQ(text->selectionCount(), 0);
  EXPECT_EQ(
      QAccessible::queryAccessibleInterface(dialog.Item(ids::kCountry))->editableTextInterface(),
      nullptr);
}

TEST_F(Accessibility, PicturesAreNamedForWhatTheyShow) {
  diagnostics::Session session;
  ui::MainDialog main(session, nullptr);
  modem_test::RecordingView view;
  ui::LineTestDialog lineTest(session, view);
  const struct {
    widgets::TemplateDialog* dialog;
    const char* name;
  } pictures[] = {{&main, "Kalvex logo"}, {&lineTest, "Two computers on a telephone line"}};
  for (const auto& picture : pictures) {
    int found = 0;
    for (QLabel* label : picture.dialog->findChildren<QLabel*>()) {
      if (label->pixmap().isNull()) continue;
      ++found;
      EXPECT_EQ(Text(label, QAccessible::Name), picture.name);
    }
    EXPECT_EQ(found, 1) << picture.name;
  }
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
  QWidget* result = dialog.Item(ids::kBasicResult);
  if (!Listening()) GTEST_SKIP() << "no private X server and bus: Qt's bridge drops every event";
  dialog.SetItemText(ids::kBasicResult, "Passed");
  // The same text again is no change: nothing new to hear.
  dialog.SetItemText(ids::kBasicResult, "Passed");
  EXPECT_EQ(TextsAnnounced(result), std::vector<QVariant>{"Passed"});
  // Only what the desktop bridge forwards: a value change from a field without a value
  // interface would be dropped with a warning.
  EXPECT_TRUE(Announced(result, QAccessible::ValueChanged).empty());
  EXPECT_EQ(TextRead(result), "Passed");
}

TEST_F(Accessibility, TheVoicePromptCounterIsNamedAndAnnouncesEachSecond) {
  ui::VoicePromptDialog dialog(nullptr);
  QWidget* counter = dialog.Item(ids::kVoiceCounter);
  EXPECT_EQ(Text(counter, QAccessible::Name), "Buzzer seconds counter");
  if (!Listening()) GTEST_SKIP() << "no private X server and bus: Qt's bridge drops every event";
  dialog.SetItemText(ids::kVoiceCounter, "Voice On...1 Sec");
  dialog.SetItemText(ids::kVoiceCounter, "Voice On...2 Sec");
  dialog.SetItemText(ids::kVoiceCounter, "Voice Off");
  EXPECT_EQ(TextsAnnounced(counter),
            (std::vector<QVariant>{"Voice On...1 Sec", "Voice On...2 Sec", "Voice Off"}));
  EXPECT_EQ(Text(counter, QAccessible::Value), "Voice Off");
}

TEST_F(Accessibility, TheLineTestStatusAndProgressAreNamedAndAnnounceChanges) {
  modem_test::RecordingView view;
  diagnostics::Session session;
  ui::LineTestDialog dialog(session, view);
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
  if (!Listening()) GTEST_SKIP() << "no private X server and bus: Qt's bridge drops every event";
  EXPECT_EQ(TextsAnnounced(status), std::vector<QVariant>{"Passed !"});
  EXPECT_EQ(Announced(bar, QAccessible::ValueChanged), std::vector<QVariant>{40});
}

}  // namespace
