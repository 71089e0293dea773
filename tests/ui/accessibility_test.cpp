// What a screen reader finds in the real dialogs: names from the labels, buddies, the three
// "Test..." buttons told apart, and value fields read as text. That changing texts are heard, and
// what the desktop bridge makes of all of it, is checked by the AT-SPI client of
// screen_reader_client.py.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "resources/control_ids.h"
#include "support/qt_app.h"
#include "ui/line_test_dialog.h"
#include "ui/main_dialog.h"
#include "ui/voice_prompt_dialog.h"

namespace {

class Accessibility : public testing::Test {
 protected:
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

  testsupport::QtApp<QApplication> qt{"accessibility_test"};
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
  ui::LineTestDialog lineTest(session, main);
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

TEST_F(Accessibility, TheVoicePromptCounterIsNamedAndGivesItsTextAsItsValue) {
  ui::VoicePromptDialog dialog(nullptr);
  QWidget* counter = dialog.Item(ids::kVoiceCounter);
  EXPECT_EQ(Text(counter, QAccessible::Name), "Buzzer seconds counter");
  dialog.SetItemText(ids::kVoiceCounter, "Voice On...2 Sec");
  EXPECT_EQ(Text(counter, QAccessible::Value), "Voice On...2 Sec");
}

TEST_F(Accessibility, TheLineTestStatusAndProgressAreNamedAndGiveTheirValues) {
  diagnostics::Session session;
  ui::MainDialog main(session, nullptr);
  ui::LineTestDialog dialog(session, main);
  QWidget* status = dialog.Item(ids::kLineStatus);
  QWidget* bar = dialog.Item(ids::kLineProgress);
  EXPECT_EQ(Text(status, QAccessible::Name), "Line/DAA test status");
  EXPECT_EQ(Text(status, QAccessible::Value), "Line/DAA test in progress");
  EXPECT_EQ(Text(bar, QAccessible::Name), "Line/DAA test progress");
  EXPECT_EQ(Text(dialog.Item(ids::kLinePercent), QAccessible::Name), "Line/DAA test percent done");
  dialog.SetItemText(ids::kLineStatus, "Passed !");
  dialog.SetProgressPos(ids::kLineProgress, 40);
  EXPECT_EQ(Text(status, QAccessible::Value), "Passed !");
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(bar);
  ASSERT_NE(iface->valueInterface(), nullptr);
  EXPECT_EQ(iface->valueInterface()->currentValue().toInt(), 40);
}

}  // namespace
