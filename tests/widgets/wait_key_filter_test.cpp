// The keys of a window while the UI thread waits: a wait is not the dialog's own loop.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/clock.h"
#include "platform/ui_waits.h"
#include "support/qt_app.h"
#include "widgets/wait_key_filter.h"

namespace {

class WaitKeyFilterTest : public testing::Test {
 protected:
  testsupport::QtApp<QApplication> qt{"test"};
  platform::UiWaits waits;
  widgets::WaitKeyFilter filter{waits};
};

// A wait is not the dialog's own loop: Escape, Enter, Tab and mnemonics do nothing, Space still
// clicks the focused button, and a modal dialog opened from inside the wait has its keys back.
TEST_F(WaitKeyFilterTest, KeysOtherThanSpaceDoNothingDuringAWait) {
  QDialog dialog;
  auto* layout = new QVBoxLayout(&dialog);
  auto* first = new QPushButton("&First", &dialog);
  auto* second = new QPushButton("&Second", &dialog);
  first->setDefault(true);
  layout->addWidget(first);
  layout->addWidget(second);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  first->setFocus();
  QSignalSpy firstClicks(first, &QPushButton::clicked);
  QSignalSpy secondClicks(second, &QPushButton::clicked);
  QSignalSpy rejected(&dialog, &QDialog::rejected);

  bool keysSent = false;
  QTimer::singleShot(0, [&] {
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QTest::keyClick(first, Qt::Key_Return);
    QTest::keyClick(first, Qt::Key_Enter);
    QTest::keyClick(first, Qt::Key_Tab);
    QTest::keyClick(first, Qt::Key_S, Qt::AltModifier);
    keysSent = true;
  });
  waits.Until([&] { return keysSent; }, platform::NowMs() + 2000);
  EXPECT_EQ(rejected.count(), 0);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(firstClicks.count(), 0);
  EXPECT_EQ(secondClicks.count(), 0) << "no mnemonic fired";
  EXPECT_EQ(QApplication::focusWidget(), first) << "Tab did not move the focus";

  QTimer::singleShot(0, [&] { QTest::keyClick(first, Qt::Key_Space); });
  waits.Until([&] { return firstClicks.count() > 0; }, platform::NowMs() + 2000);
  EXPECT_EQ(firstClicks.count(), 1) << "Space clicks the focused button";

  // Outside a wait the same keys are the dialog's again.
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_EQ(rejected.count(), 1);
}

TEST_F(WaitKeyFilterTest, ModalDialogOpenedFromAWaitKeepsItsKeys) {
  int result = -1;
  QTimer::singleShot(0, [&] {
    QDialog modal;
    QTimer::singleShot(0, &modal, [&] {
      EXPECT_TRUE(QTest::qWaitForWindowExposed(&modal));
      QTest::keyClick(&modal, Qt::Key_Escape);
    });
    result = modal.exec();
  });
  waits.Until([&] { return result != -1; }, platform::NowMs() + 5000);
  EXPECT_EQ(result, QDialog::Rejected);
}

}  // namespace
