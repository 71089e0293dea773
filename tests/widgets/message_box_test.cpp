// Message boxes: caption from the program file, plain text, the results callers compare (Escape
// is OK on an OK box and No on a Yes/No box); and a beep that never shows anything on a machine
// without sound.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QTest>

#include <cstdlib>

#include "desktop/beep.h"
#include "support/qt_app.h"
#include "ui/modal_helpers.h"
#include "widgets/dialog_template.h"
#include "widgets/message_box.h"

namespace {

using ui_test::AnswerNextMessageBox;
using ui_test::SeenBox;

class MessageBoxes : public testing::Test {
 protected:
  testsupport::QtApp<QApplication> qt{"/some/where/else/not-the-name"};
};

TEST_F(MessageBoxes, WithoutACaptionTheProgramFilesNameIsShownNotArgvZero) {
  SeenBox seen;
  AnswerNextMessageBox(&seen);
  EXPECT_EQ(widgets::MessageBox(nullptr, "Ati3.dat missing !", nullptr, widgets::BoxButtons::kOk),
            widgets::BoxAnswer::kOk);
  ASSERT_TRUE(seen.shown);
  EXPECT_EQ(seen.text, "Ati3.dat missing !");
  EXPECT_EQ(seen.caption, QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());
  EXPECT_EQ(seen.caption, "message_box_test");
  EXPECT_EQ(widgets::ApplicationName(), "message_box_test");
}

TEST_F(MessageBoxes, TextIsPlainAndTheGivenCaptionIsUsed) {
  SeenBox seen;
  AnswerNextMessageBox(&seen);
  widgets::MessageBox(nullptr, "<b>x</b>", "Kalvex Internal Modem Diagnostics Tool",
                      widgets::BoxButtons::kOk, widgets::BoxIcon::kWarning);
  EXPECT_EQ(seen.format, Qt::PlainText);
  EXPECT_EQ(seen.text, "<b>x</b>");
  EXPECT_EQ(seen.caption, "Kalvex Internal Modem Diagnostics Tool");
}

TEST_F(MessageBoxes, DetailsGoBehindTheDetailsButtonAndOnlyWhenGiven) {
  QString details = QStringLiteral("unset");
  ui_test::OnNextModal<QMessageBox>([&](QMessageBox* box) {
    details = box->detailedText();
    box->button(QMessageBox::Ok)->click();
  });
  widgets::MessageBox(nullptr, "Ati3.dat missing !", nullptr, widgets::BoxButtons::kOk,
                      widgets::BoxIcon::kNone, "Looked for ati3.dat in:\n/h/\xc3\xa9/ati3.dat");
  EXPECT_EQ(details, QString::fromUtf8("Looked for ati3.dat in:\n/h/\xc3\xa9/ati3.dat"));
  ui_test::OnNextModal<QMessageBox>([&](QMessageBox* box) {
    details = box->detailedText();
    box->button(QMessageBox::Ok)->click();
  });
  widgets::MessageBox(nullptr, "x", nullptr, widgets::BoxButtons::kOk);
  EXPECT_TRUE(details.isEmpty());
}

TEST_F(MessageBoxes, YesNoGivesYesOrNoAndEscapeCountsAsNo) {
  AnswerNextMessageBox(nullptr, QMessageBox::Yes);
  EXPECT_EQ(widgets::MessageBox(nullptr, "Line?", "Connect ?", widgets::BoxButtons::kYesNo,
                                widgets::BoxIcon::kQuestion),
            widgets::BoxAnswer::kYes);
  AnswerNextMessageBox(nullptr, QMessageBox::No);
  EXPECT_EQ(widgets::MessageBox(nullptr, "Line?", "Connect ?", widgets::BoxButtons::kYesNo),
            widgets::BoxAnswer::kNo);
  ui_test::OnNextModal<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
  EXPECT_EQ(widgets::MessageBox(nullptr, "Line?", "Connect ?", widgets::BoxButtons::kYesNo),
            widgets::BoxAnswer::kNo);
}

TEST_F(MessageBoxes, EscapeOnAnOkBoxCountsAsOk) {
  ui_test::OnNextModal<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
  EXPECT_EQ(widgets::MessageBox(nullptr, "x", nullptr, widgets::BoxButtons::kOk),
            widgets::BoxAnswer::kOk);
}

TEST_F(MessageBoxes, OwnedBoxIsModalOverItsOwner) {
  QWidget owner;
  owner.show();
  QWidget* parentSeen = nullptr;
  ui_test::OnNextModal<QMessageBox>([&](QMessageBox* box) {
    parentSeen = box->parentWidget();
    box->button(QMessageBox::Ok)->click();
  });
  widgets::MessageBox(&owner, "x", nullptr, widgets::BoxButtons::kOk);
  EXPECT_EQ(parentSeen, &owner);
}

// Tests run with no sound device and no X display: the beep must come back promptly and open
// no window of any kind.
TEST_F(MessageBoxes, BeepWithoutSoundOrDisplayReturnsQuietly) {
  ::unsetenv("DISPLAY");
  QElapsedTimer timer;
  timer.start();
  desktop::Beep(1000, 100);
  EXPECT_LT(timer.elapsed(), 2000);
  QTest::qWait(20);
  EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
}

}  // namespace
