// The template-dialog base: geometry in dialog units, controls by ID, modal runs that end during
// their initialisation, timers, the closing rules (a close request runs the close handler and
// ends with Cancel, but not while Cancel is disabled; Escape ends with Cancel) and window styles.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <QtMath>

#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "resources/control_ids.h"
#include "resources/dialog_templates.h"
#include "support/qt_app.h"
#include "widgets/probe_dialog.h"
#include "widgets/template_dialog.h"

namespace {

using widgets::ControlKind;
using widgets::ControlRow;
using widgets::DialogTemplate;
using widgets::TemplateDialog;
using widgets_test::kField;
using widgets_test::kMapped;
using widgets_test::kUnmapped;
using widgets_test::ProbeDialog;

class Dialogs : public testing::Test {
 protected:
  testsupport::QtApp<QApplication> qt{"dialog_test"};
};

// Runs fn from the dialog's own modal loop, after it is up.
void Later(int ms, std::function<void()> fn) { QTimer::singleShot(ms, qApp, std::move(fn)); }

QRect Converted(const TemplateDialog& dialog, const ControlRow& row) {
  return dialog.DialogUnitsToPixels(row.x, row.y, row.w, row.h);
}

// --- Geometry and texts ---------------------------------------------------------------------

TEST_F(Dialogs, BaseUnitsComeFromTheDialogFontsLetterWidthAndHeight) {
  ProbeDialog dialog;
  const QFontMetrics metrics(widgets::DialogFont());
  const double average = metrics.horizontalAdvance(QStringLiteral(
                             "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                         52.0;
  EXPECT_NEAR(dialog.BaseUnitX(), average, 0.5 + 1e-9);
  EXPECT_EQ(dialog.BaseUnitY(), metrics.height());
  EXPECT_EQ(dialog.font().pointSize(), 8);
  // Rounded to the nearest pixel, not truncated.
  EXPECT_EQ(dialog.DialogUnitsToPixels(3, 5, 7, 9),
            QRect((3 * dialog.BaseUnitX() + 2) / 4, (5 * dialog.BaseUnitY() + 4) / 8,
                  (7 * dialog.BaseUnitX() + 2) / 4, (9 * dialog.BaseUnitY() + 4) / 8));
}

TEST_F(Dialogs, EveryControlAndClientAreaMatchesItsTemplateRectangle) {
  for (const DialogTemplate* t :
       {&resources::kMainDialogTemplate, &resources::kWelcomeDialogTemplate,
        &resources::kVoicePromptDialogTemplate, &resources::kLineTestDialogTemplate}) {
    SCOPED_TRACE(t->caption);
    ProbeDialog dialog(nullptr, *t);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const QSize client = dialog.DialogUnitsToPixels(0, 0, t->width, t->height).size();
    EXPECT_EQ(dialog.size(), client);
    EXPECT_EQ(dialog.minimumSize(), client);  // fixed size
    EXPECT_EQ(dialog.maximumSize(), client);
    EXPECT_EQ(dialog.windowTitle(), QString::fromLatin1(t->caption));
    for (int i = 0; i < t->controlCount; ++i) {
      const ControlRow& row = t->controls[i];
      SCOPED_TRACE(i);
      QWidget* widget = dialog.ControlForRow(i);
      ASSERT_NE(widget, nullptr);
      EXPECT_TRUE(widget->isVisible());
      EXPECT_TRUE(widget->isEnabled());
      if (row.kind == ControlKind::kImage) {
        // Pictures keep their own size; only the position comes from the template.
        auto* image = qobject_cast<QLabel*>(widget);
        ASSERT_NE(image, nullptr);
        ASSERT_FALSE(image->pixmap().isNull()) << row.text;
        EXPECT_EQ(widget->pos(), Converted(dialog, row).topLeft());
        EXPECT_EQ(widget->size(), image->pixmap().size());
      } else {
        EXPECT_EQ(widget->geometry(), Converted(dialog, row));
      }
      if (row.id != widgets::kNoId) {
        EXPECT_EQ(dialog.Item(row.id), widget);
      }
    }
    dialog.hide();
  }
}

TEST_F(Dialogs, PicturesHaveTheirResourceSizes) {
  ProbeDialog main(nullptr, resources::kMainDialogTemplate);
  ProbeDialog line(nullptr, resources::kLineTestDialogTemplate);
  auto pictureSize = [](const ProbeDialog& d, int row) {
    return qobject_cast<QLabel*>(d.ControlForRow(row))->pixmap().size();
  };
  EXPECT_EQ(pictureSize(main, 13), QSize(134, 50));
  EXPECT_EQ(pictureSize(line, 4), QSize(32, 32));
}

// Reads a little-endian field of a resource file.
unsigned Field(const QByteArray& data, int at, int size) {
  unsigned value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(data[at + i]);
  return value;
}

TEST_F(Dialogs, PicturesAreStoredInTheirResourceFormats) {
  QFile logoFile(QString::fromLatin1(resources::kLogoBitmap));
  ASSERT_TRUE(logoFile.open(QIODevice::ReadOnly));
  const QByteArray bmp = logoFile.readAll();
  EXPECT_EQ(Field(bmp, 28, 2), 8u);    // bits per pixel
  EXPECT_EQ(Field(bmp, 30, 4), 0u);    // uncompressed
  EXPECT_EQ(Field(bmp, 46, 4), 256u);  // palette entries
  const QImage logo(QString::fromLatin1(resources::kLogoBitmap));
  EXPECT_EQ(logo.size(), QSize(134, 50));
  EXPECT_EQ(logo.pixel(0, 0), qRgb(192, 192, 192));
  bool hasLettering = false;
  for (int y = 0; y < logo.height(); ++y)
    for (int x = 0; x < logo.width(); ++x)
      hasLettering = hasLettering || logo.pixel(x, y) == qRgb(0, 102, 204);
  EXPECT_TRUE(hasLettering);

  for (const char* path : {resources::kAppIcon, resources::kLineTestIcon}) {
    QFile iconFile(QString::fromLatin1(path));
    ASSERT_TRUE(iconFile.open(QIODevice::ReadOnly));
    const QByteArray ico = iconFile.readAll();
    const unsigned images = Field(ico, 4, 2);
    EXPECT_EQ(images, path == resources::kAppIcon ? 2u : 1u) << path;
    for (unsigned i = 0; i < images; ++i) {
      EXPECT_EQ(Field(ico, 6 + 16 * i + 2, 1), 16u) << path;  // colours
      EXPECT_EQ(Field(ico, 6 + 16 * i + 6, 2), 4u) << path;   // bits per pixel
    }
  }
  const QList<QSize> sizes = QIcon(QString::fromLatin1(resources::kAppIcon)).availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(32, 32)));
  EXPECT_TRUE(sizes.contains(QSize(16, 16)));
}

TEST_F(Dialogs, GroupBoxesLieBehindTheControlsTheyFrame) {
  ProbeDialog dialog(nullptr, resources::kMainDialogTemplate);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  // The location field sits inside "Modem Information", which comes later in the template.
  QWidget* field = dialog.Item(ids::kLocation);
  const QPoint inside = field->geometry().center();
  EXPECT_EQ(dialog.childAt(inside), field);
  for (QGroupBox* box : dialog.findChildren<QGroupBox*>())
    EXPECT_EQ(box->focusPolicy(), Qt::NoFocus);
}

TEST_F(Dialogs, TemplateTextsAreKeptByteForByte) {
  ProbeDialog main(nullptr, resources::kMainDialogTemplate);
  ProbeDialog welcome(nullptr, resources::kWelcomeDialogTemplate);
  auto text = [](const ProbeDialog& d, int row) {
    QWidget* w = d.ControlForRow(row);
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* b = qobject_cast<QPushButton*>(w)) return b->text();
    return qobject_cast<QGroupBox*>(w)->title();
  };
  EXPECT_EQ(text(main, 1), "Digital Local  Loop Back Test : ");
  EXPECT_EQ(text(main, 4), "Line /DAA Test : ");
  EXPECT_EQ(text(main, 14), "Location :");
  EXPECT_EQ(text(main, 26), "Version 2.3-Pyxa");
  EXPECT_EQ(text(welcome, 2),
            "This diagnostic tool will detect your modem and test its functionality, click \"Ok\" "
            "to continue or  \"Cancel\" to leave the modem diagnostic.");
  // Initial value fields: only the modem name has text before detection.
  EXPECT_EQ(main.ItemText(ids::kModemName), "Zelto Win Modem");
  for (int id : {ids::kLocation, ids::kFirmware, ids::kCountry, ids::kBasicResult,
                 ids::kDigitalResult, ids::kAnalogResult, ids::kSpeakerResult, ids::kLineResult}) {
    EXPECT_EQ(main.ItemText(id), "") << id;
  }
  // The two "Speaker and Line" buttons are the smaller ones.
  EXPECT_LT(main.Item(ids::kTestSpeaker)->height(), main.Item(ids::kTestDiagnostics)->height());
}

TEST_F(Dialogs, ModemTextIsShownAsPlainWrappedCentredText) {
  ProbeDialog dialog;
  dialog.SetItemText(kField, "<b>x</b>");
  auto* field = qobject_cast<QLabel*>(dialog.Item(kField));
  ASSERT_NE(field, nullptr);
  EXPECT_EQ(field->text(), "<b>x</b>");
  EXPECT_EQ(field->textFormat(), Qt::PlainText);
  EXPECT_TRUE(field->wordWrap());
  EXPECT_EQ(field->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
  EXPECT_EQ(field->frameShadow(), QFrame::Sunken);
  // Eight-bit text: every byte stands for itself.
  dialog.SetItemText(kField, "caf\xE9 \x01");
  EXPECT_EQ(dialog.ItemText(kField), QString::fromLatin1("caf\xE9 \x01"));
  dialog.SetItemText(kField, nullptr);
  EXPECT_EQ(dialog.ItemText(kField), "");
  // Unknown IDs are ignored.
  dialog.SetItemText(4242, "x");
  EXPECT_EQ(dialog.ItemText(4242), "");
  EXPECT_FALSE(dialog.IsItemEnabled(4242));
}

// A dialog may hand a value field the focus so that a screen reader follows it; what the field
// shows must not move for that.
TEST_F(Dialogs, AFocusedValueFieldLooksAsBefore) {
  ProbeDialog dialog(nullptr, resources::kLineTestDialogTemplate);
  dialog.show();
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  QWidget* status = dialog.Item(ids::kLineStatus);
  const QImage before = status->grab().toImage();
  status->setFocusPolicy(Qt::ClickFocus);
  status->setFocus();
  ASSERT_TRUE(status->hasFocus());
  EXPECT_EQ(status->grab().toImage(), before);
}

TEST_F(Dialogs, ProgressBarStartsEmptyAndClampsPositions) {
  ProbeDialog dialog(nullptr, resources::kLineTestDialogTemplate);
  auto* bar = qobject_cast<QProgressBar*>(dialog.Item(ids::kLineProgress));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 100);
  EXPECT_FALSE(bar->isTextVisible());
  EXPECT_EQ(dialog.ProgressPos(ids::kLineProgress), 0);
  dialog.SetProgressPos(ids::kLineProgress, 40);
  EXPECT_EQ(dialog.ProgressPos(ids::kLineProgress), 40);
  dialog.SetProgressPos(ids::kLineProgress, 150);
  EXPECT_EQ(dialog.ProgressPos(ids::kLineProgress), 100);
  dialog.SetProgressPos(ids::kLineProgress, -5);
  EXPECT_EQ(dialog.ProgressPos(ids::kLineProgress), 0);
  EXPECT_EQ(dialog.ProgressPos(ids::kLinePercent), -1);
  EXPECT_EQ(dialog.ItemText(ids::kLinePercent), "0 %");
}

TEST_F(Dialogs, EnablingIsPerControlAndIgnoresAModalChildBlockingTheDialog) {
  ProbeDialog dialog;
  dialog.EnableItem(kMapped, false);
  EXPECT_FALSE(dialog.IsItemEnabled(kMapped));
  EXPECT_TRUE(dialog.IsItemEnabled(kUnmapped));
  dialog.EnableItem(kMapped, true);
  EXPECT_TRUE(dialog.IsItemEnabled(kMapped));
}

// --- Modal runs ------------------------------------------------------------------------------

TEST_F(Dialogs, EndingDuringInitialisationReturnsAtOnceWithoutShowing) {
  ProbeDialog dialog;
  dialog.onInit = [](ProbeDialog& d) { d.EndDialog(7); };
  // If the loop ran, it would never end; this timer makes such a fault fail instead of hang.
  bool loopRan = false;
  Later(2000, [&] {
    loopRan = true;
    dialog.EndDialog(99);
  });
  EXPECT_EQ(dialog.RunModal(), 7);
  EXPECT_FALSE(loopRan);
  EXPECT_EQ(dialog.shows, 0);
}

TEST_F(Dialogs, OkCancelAndEnterEndWithTheirDefaultResults) {
  ProbeDialog dialog;
  Later(0, [&] { qobject_cast<QPushButton*>(dialog.Item(widgets::kIdOk))->click(); });
  EXPECT_EQ(dialog.RunModal(), widgets::kIdOk);

  Later(0, [&] { qobject_cast<QPushButton*>(dialog.Item(widgets::kIdCancel))->click(); });
  EXPECT_EQ(dialog.RunModal(), widgets::kIdCancel);
  EXPECT_EQ(dialog.closeRequests, 0);

  ProbeDialog fresh;
  Later(0, [&] { QTest::keyClick(&fresh, Qt::Key_Return); });
  EXPECT_EQ(fresh.RunModal(), widgets::kIdOk);  // OK is the default button
}

TEST_F(Dialogs, ClicksGoThroughTheMessageMap) {
  ProbeDialog dialog;
  Later(0, [&] {
    dialog.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
    qobject_cast<QPushButton*>(dialog.Item(kMapped))->click();
    qobject_cast<QPushButton*>(dialog.Item(kUnmapped))->click();         // no entry: nothing
    QTest::keyClick(dialog.windowHandle(), Qt::Key_M, Qt::AltModifier);  // "&Mapped" mnemonic
    // A mnemonic presses the button visibly: the click follows 100 ms later.
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.mappedClicks == 2; }, 2000));
    dialog.EndDialog(5);
  });
  EXPECT_EQ(dialog.RunModal(), 5);
  EXPECT_EQ(dialog.mappedClicks, 2);
}

TEST_F(Dialogs, CloseRequestRunsTheCloseHandlerThenEndsWithCancel) {
  ProbeDialog dialog;
  Later(0, [&] { dialog.close(); });  // the close box
  EXPECT_EQ(dialog.RunModal(), widgets::kIdCancel);
  EXPECT_EQ(dialog.closeRequests, 1);
}

TEST_F(Dialogs, EscapeEndsWithCancelWithoutTheCloseHandler) {
  ProbeDialog dialog;
  Later(0, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
  EXPECT_EQ(dialog.RunModal(), widgets::kIdCancel);
  EXPECT_EQ(dialog.closeRequests, 0);
}

TEST_F(Dialogs, F1DoesNothing) {
  ProbeDialog dialog;
  bool stillRunning = false;
  Later(0, [&] {
    QTest::keyClick(&dialog, Qt::Key_F1);
    Later(30, [&] {
      stillRunning = dialog.isVisible() && !dialog.IsEnded();
      dialog.EndDialog(3);
    });
  });
  EXPECT_EQ(dialog.RunModal(), 3);
  EXPECT_TRUE(stillRunning);
}

TEST_F(Dialogs, PostCloseIsHandledLaterSendCloseAtOnce) {
  ProbeDialog dialog;
  int requestsRightAfterPost = -1;
  int requestsRightAfterSend = -1;
  Later(0, [&] {
    dialog.PostClose();
    requestsRightAfterPost = dialog.closeRequests;
  });
  EXPECT_EQ(dialog.RunModal(), widgets::kIdCancel);
  EXPECT_EQ(requestsRightAfterPost, 0);
  EXPECT_EQ(dialog.closeRequests, 1);

  Later(0, [&] {
    dialog.SendClose();
    requestsRightAfterSend = dialog.closeRequests;
  });
  EXPECT_EQ(dialog.RunModal(), widgets::kIdCancel);
  EXPECT_EQ(requestsRightAfterSend, 2);
}

TEST_F(Dialogs, ACloseRequestWhileCancelIsDisabledKeepsTheDialogOpen) {
  ProbeDialog dialog;
  bool openAfterClose = false;
  Later(0, [&] {
    dialog.EnableItem(widgets::kIdCancel, false);
    dialog.close();
    openAfterClose = dialog.isVisible() && !dialog.IsEnded();
    dialog.EndDialog(4);
  });
  EXPECT_EQ(dialog.RunModal(), 4);
  EXPECT_TRUE(openAfterClose);
  EXPECT_EQ(dialog.closeRequests, 1);
}

TEST_F(Dialogs, EndingInsideAHandlerThatStillWaitsReturnsOnlyAfterIt) {
  ProbeDialog dialog;
  bool handlerFinished = false;
  Later(0, [&] {
    dialog.close();
    // The handler goes on waiting after the close, as a transaction would.
    QTest::qWait(50);
    handlerFinished = true;
  });
  EXPECT_EQ(dialog.RunModal(), widgets::kIdCancel);
  EXPECT_TRUE(handlerFinished);
}

// --- Timers ----------------------------------------------------------------------------------

TEST_F(Dialogs, ZeroMsTimerArmedDuringInitialisationTicksOnlyAfterThePaint) {
  ProbeDialog dialog;
  dialog.onInit = [](ProbeDialog& d) { d.SetTimer(0, 0); };
  dialog.onTick = [](ProbeDialog& d, int) {
    d.KillTimer(0);
    d.EndDialog(1);
  };
  EXPECT_EQ(dialog.RunModal(), 1);
  ASSERT_EQ(dialog.ticks.size(), 1u);
  EXPECT_GE(dialog.paintsAtTick[0], 1);
}

TEST_F(Dialogs, ZeroMsTimerRepeatsUntilKilled) {
  ProbeDialog dialog;
  dialog.onInit = [](ProbeDialog& d) { d.SetTimer(3, 0); };
  dialog.onTick = [](ProbeDialog& d, int id) {
    if (d.ticks.size() == 5) {
      d.KillTimer(id);
      Later(50, [&d] { d.EndDialog(1); });
    }
  };
  dialog.RunModal();
  EXPECT_EQ(dialog.ticks, std::vector<int>(5, 3));
}

TEST_F(Dialogs, ArmingAnIdAgainReplacesItsTimer) {
  ProbeDialog dialog;
  dialog.onInit = [](ProbeDialog& d) {
    d.SetTimer(1, 0);
    d.SetTimer(1, 60000);  // replaces the 0 ms one before it ever ticks
    d.SetTimer(2, 150);
  };
  dialog.onTick = [](ProbeDialog& d, int id) {
    if (id == 2) d.EndDialog(1);
  };
  dialog.RunModal();
  EXPECT_EQ(dialog.ticks, std::vector<int>{2});
}

TEST_F(Dialogs, NoTickAfterTheModalRunReturned) {
  ProbeDialog dialog;
  dialog.onInit = [](ProbeDialog& d) { d.SetTimer(0, 10); };
  dialog.onTick = [](ProbeDialog& d, int) {
    if (d.ticks.size() == 3) d.EndDialog(1);
  };
  dialog.RunModal();
  const size_t ticksAtEnd = dialog.ticks.size();
  EXPECT_FALSE(dialog.HasTimer(0));
  QTest::qWait(100);
  EXPECT_EQ(dialog.ticks.size(), ticksAtEnd);
}

TEST_F(Dialogs, TimerOfAHiddenDialogStillTicks) {
  ProbeDialog dialog;
  dialog.SetTimer(8, 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.ticks.empty(); }, 2000));
  dialog.KillTimer(8);
  const size_t count = dialog.ticks.size();
  QTest::qWait(30);
  EXPECT_EQ(dialog.ticks.size(), count);
}

TEST_F(Dialogs, TimerGoesOnTickingWhileTheDialogIsMinimised) {
  ProbeDialog dialog;
  dialog.onInit = [](ProbeDialog& d) { d.SetTimer(1, 100); };
  int minimisedTicks = 0;
  dialog.onTick = [&](ProbeDialog& d, int) {
    if (d.ticks.size() == 1) {
      // Through the platform window, as a window manager's minimise arrives.
      d.windowHandle()->setWindowStates(Qt::WindowMinimized);
      return;
    }
    if (d.isMinimized()) ++minimisedTicks;
    if (minimisedTicks == 3) d.EndDialog(1);
  };
  Later(5000, [&] { dialog.EndDialog(99); });
  EXPECT_EQ(dialog.RunModal(), 1);
  EXPECT_EQ(minimisedTicks, 3);
  EXPECT_EQ(dialog.spontaneousHides, 1);
}

TEST_F(Dialogs, OnlyTheFirstTickOfEachRunWaitsForAPaint) {
  ProbeDialog dialog;
  dialog.onInit = [](ProbeDialog& d) { d.SetTimer(0, 0); };
  dialog.onTick = [](ProbeDialog& d, int) {
    if (d.ticks.size() == 1) {
      d.KillTimer(0);
      d.EndDialog(1);
    }
  };
  ASSERT_EQ(dialog.RunModal(), 1);
  const int paintsAfterFirstRun = dialog.paints;
  // The second run's first tick waits for that run's own paint, not the first run's.
  dialog.onTick = [](ProbeDialog& d, int) {
    d.KillTimer(0);
    d.EndDialog(2);
  };
  ASSERT_EQ(dialog.RunModal(), 2);
  ASSERT_EQ(dialog.paintsAtTick.size(), 2u);
  EXPECT_GE(dialog.paintsAtTick[0], 1);
  EXPECT_GT(dialog.paintsAtTick[1], paintsAfterFirstRun);
}

// --- Window styles and placement -------------------------------------------------------------

TEST_F(Dialogs, MainWindowStyleHasMinimiseButNoMaximiseAndItsOwnTaskbarEntry) {
  ProbeDialog main(nullptr, resources::kMainDialogTemplate);
  const Qt::WindowFlags flags = main.windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Window);
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowContextHelpButtonHint);

  ProbeDialog modal(&main, resources::kLineTestDialogTemplate);
  const Qt::WindowFlags modalFlags = modal.windowFlags();
  EXPECT_EQ(modalFlags & Qt::WindowType_Mask, Qt::Dialog);
  EXPECT_TRUE(modalFlags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(modalFlags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(modalFlags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(modal.isWindow());
}

TEST_F(Dialogs, TopLevelDialogsCentreOnTheScreenAndChildrenOverTheirParent) {
  ProbeDialog main(nullptr, resources::kMainDialogTemplate);
  QPoint mainCentre;
  QPoint childCentre;
  QPoint parentCentre;
  ProbeDialog child(&main, resources::kVoicePromptDialogTemplate);
  main.onInit = [&](ProbeDialog&) {};
  Later(0, [&] {
    mainCentre = main.frameGeometry().center();
    Later(0, [&] {
      childCentre = child.frameGeometry().center();
      parentCentre = main.frameGeometry().center();
      child.EndDialog(1);
    });
    child.RunModal();
    main.EndDialog(1);
  });
  main.RunModal();
  const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
  EXPECT_LE((mainCentre - screenCentre).manhattanLength(), 4);
  EXPECT_LE((childCentre - parentCentre).manhattanLength(), 4);
}

TEST_F(Dialogs, ADialogMovedDuringInitialisationStaysWhereItWasPut) {
  ProbeDialog dialog;
  QPoint shownAt;
  dialog.onInit = [](ProbeDialog& d) { d.move(17, 23); };
  Later(0, [&] {
    shownAt = dialog.pos();
    dialog.EndDialog(1);
  });
  dialog.RunModal();
  EXPECT_EQ(shownAt, QPoint(17, 23));
}

// --- Text in value fields at several display resolutions ----------------------------------

// One display resolution per process, set before the application starts. Scaled is Qt's own
// way (fonts and widgets drawn at a device-pixel ratio over 96 dpi); unscaled makes the font
// itself larger, so the base units and every template rectangle grow with it.
struct DisplayDpi {
  int dpi;
  bool scaled;
};

void PrintTo(const DisplayDpi& d, std::ostream* os) {
  *os << d.dpi << (d.scaled ? " dpi scaled" : " dpi unscaled");
}

// The first and last row of an image that hold ink (darker than mid-grey) inside area.
struct InkRows {
  int top = -1;
  int bottom = -1;
  [[nodiscard]] int Height() const { return top < 0 ? 0 : bottom - top + 1; }
};

InkRows FindInk(const QImage& image, const QRect& area) {
  InkRows ink;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (qGray(image.pixel(x, y)) < 128) {
        if (ink.top < 0) ink.top = y;
        ink.bottom = y;
        break;
      }
    }
  }
  return ink;
}

class ValueFieldsAtDpi : public testing::TestWithParam<DisplayDpi> {
 protected:
  struct Environment {
    explicit Environment(const DisplayDpi& d) {
      qputenv("QT_FONT_DPI", QByteArray::number(d.dpi));
      qputenv("QT_ENABLE_HIGHDPI_SCALING", d.scaled ? "1" : "0");
    }
  };
  Environment environment{GetParam()};
  testsupport::QtApp<QApplication> qt{"dialog_test"};
};

// The field's text against the same text drawn by an unframed label with room to spare: the
// field must show as many rows of ink, so nothing of the ascenders or descenders is cut.
void ExpectWholeTextInside(QLabel* field, const QString& text) {
  SCOPED_TRACE(text.toStdString());
  field->setText(text);
  const QPixmap shown = field->grab();
  const qreal ratio = shown.devicePixelRatio();
  const QRect contents = field->contentsRect();
  const QRect inner(QPoint(qCeil(contents.left() * ratio), qCeil(contents.top() * ratio)),
                    QPoint(qFloor((contents.right() + 1) * ratio) - 1,
                           qFloor((contents.bottom() + 1) * ratio) - 1));
  const InkRows inField = FindInk(shown.toImage(), inner);

  QLabel roomy(field->parentWidget());
  roomy.setFont(field->font());
  roomy.setTextFormat(Qt::PlainText);
  roomy.setWordWrap(true);
  roomy.setAlignment(Qt::AlignCenter);
  roomy.setText(text);
  roomy.setGeometry(0, 0, field->width(), field->height() * 4);
  const QPixmap whole = roomy.grab();
  const InkRows inRoomy = FindInk(whole.toImage(), QRect(QPoint(), whole.size()));

  ASSERT_GT(inRoomy.Height(), 0);
  EXPECT_GE(inField.Height(), inRoomy.Height())
      << "ink rows " << inField.top << ".." << inField.bottom << " inside " << inner.top() << ".."
      << inner.bottom();
}

TEST_P(ValueFieldsAtDpi, TextKeepsItsAscendersAndDescenders) {
  const DisplayDpi d = GetParam();
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  EXPECT_NEAR(screen->logicalDotsPerInchY() * screen->devicePixelRatio(), d.dpi, 0.5);

  ProbeDialog main(nullptr, resources::kMainDialogTemplate);
  main.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
  ExpectWholeTextInside(qobject_cast<QLabel*>(main.Item(ids::kCountry)), "United Kingdom");

  for (const DialogTemplate* t :
       {&resources::kMainDialogTemplate, &resources::kLineTestDialogTemplate}) {
    ProbeDialog dialog(nullptr, *t);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    for (int i = 0; i < t->controlCount; ++i) {
      if (t->controls[i].kind != ControlKind::kValueField) continue;
      SCOPED_TRACE(std::string(t->caption) + " row " + std::to_string(i));
      ExpectWholeTextInside(qobject_cast<QLabel*>(dialog.ControlForRow(i)), "Kgjy");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Displays, ValueFieldsAtDpi,
                         testing::Values(DisplayDpi{96, true}, DisplayDpi{120, true},
                                         DisplayDpi{144, true}, DisplayDpi{120, false},
                                         DisplayDpi{144, false}),
                         [](const testing::TestParamInfo<DisplayDpi>& info) {
                           return std::to_string(info.param.dpi) +
                                  (info.param.scaled ? "Scaled" : "Unscaled");
                         });

}  // namespace
