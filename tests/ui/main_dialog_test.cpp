// The application shell in-process: DiagApp's start-up with the real welcome and main dialogs,
// its early ends and what they must not touch, the button states around detection, closing,
// and the keyboard during a wait. Ports are files in a watched directory or the simulated modem.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "diagnostics/exit_status.h"
#include "modem/sim_ports.h"
#include "modem/transaction.h"
#include "platform/clock.h"
#include "resources/control_ids.h"
#include "serial/tty_port.h"
#include "ui/diag_app.h"
#include "ui/main_dialog.h"
#include "ui/modal_helpers.h"
#include "ui/open_watch.h"
#include "ui/welcome_dialog.h"

namespace {

using ui_test::AnswerNextMessageBox;
using ui_test::OnNextModal;
using ui_test::OpenWatch;
using ui_test::SeenBox;

constexpr char kNotFound[] = "Can not find Kalvex Internal Modem in your system !";
constexpr char kInheritedComDir[] = "UI_TEST_INHERITED_COM_DIR";

// Calls step from the event loop every 5 ms (nested waits included) until it returns true.
void Every5Ms(std::function<bool()> step) {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, [timer, step = std::move(step)] {
    if (step()) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start(5);
}

ui::MainDialog* FindMain() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* main = qobject_cast<ui::MainDialog*>(w)) return main;
  }
  return nullptr;
}

QPushButton* Button(ui::MainDialog* main, int id) {
  return qobject_cast<QPushButton*>(main->Item(id));
}

// What the main dialog looked like when it was first painted.
struct FirstPaint : QObject {
  bool seen = false;
  QString location, modem, firmware, country;
  bool tests[3] = {true, true, true};
  bool detectAgain = false, quit = false;
  size_t portsOpened = 0;
  OpenWatch* watch = nullptr;

  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* main = qobject_cast<ui::MainDialog*>(watched);
    if (main && event->type() == QEvent::Paint && !seen) {
      seen = true;
      location = main->ItemText(ids::kLocation);
      modem = main->ItemText(ids::kModemName);
      firmware = main->ItemText(ids::kFirmware);
      country = main->ItemText(ids::kCountry);
      tests[0] = main->IsItemEnabled(ids::kTestDiagnostics);
      tests[1] = main->IsItemEnabled(ids::kTestSpeaker);
      tests[2] = main->IsItemEnabled(ids::kTestLine);
      detectAgain = main->IsItemEnabled(ids::kDetectAgain);
      quit = main->IsItemEnabled(ids::kQuit);
      if (watch) portsOpened = watch->Opened().size();
    }
    return false;
  }
};

class Shell : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(work.isValid());
    const char* inherited = std::getenv(kInheritedComDir);
    comDir = inherited ? inherited : (work.path() + "/com").toStdString();
    QDir().mkpath(QString::fromStdString(comDir));
    modem_test::UseComDir(comDir);
    // Only the working directory may hold ati3.dat, and each case has its own instance lock, so
    // neither an installed copy of the tool nor a case running beside this one changes it.
    const QByteArray privateDir = (work.path() + "/private").toLocal8Bit();
    ::setenv("XDG_CONFIG_HOME", privateDir.constData(), 1);
    ::setenv("XDG_DATA_DIRS", privateDir.constData(), 1);
    QDir().mkpath(QString::fromLocal8Bit(privateDir));
    ::setenv("XDG_RUNTIME_DIR", privateDir.constData(), 1);
    ASSERT_EQ(::chdir(work.path().toLocal8Bit().constData()), 0);
  }
  void TearDown() override {
    if (app) app->Session().port.Close();
  }

  void WithAti3() {
    ASSERT_TRUE(
        QFile::copy(QStringLiteral(KALVEX_SOURCE_DIR "/data/ati3.dat"), work.filePath("ati3.dat")));
  }
  // Regular files stand in for the ports: opening one fails as a port, but inotify sees it.
  void WithComFiles() {
    if (std::getenv(kInheritedComDir)) return;  // a death test's child: its parent made them
    for (int n = 1; n <= 9; ++n) {
      QFile file(QString::fromStdString(comDir) + QStringLiteral("/COM%1").arg(n));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
  }
  void MakeApp() { app = std::make_unique<ui::DiagApp>(argc, argv); }

  // Presses OK in the welcome dialog, after noting whether the main dialog was still hidden.
  void AcceptWelcome(bool* mainHiddenMeanwhile = nullptr) {
    OnNextModal<ui::WelcomeDialog>([this, mainHiddenMeanwhile](ui::WelcomeDialog* welcome) {
      ui::MainDialog* main = FindMain();
      if (mainHiddenMeanwhile) *mainHiddenMeanwhile = main && !main->isVisible();
      if (main) main->installEventFilter(&firstPaint);
      qobject_cast<QPushButton*>(welcome->Item(widgets::kIdOk))->click();
    });
  }

  // Runs the whole start-up; a watchdog fails (instead of hanging) a run that never ends.
  int Run(int watchdogMs = 60000) {
    QTimer::singleShot(watchdogMs, qApp, [] {
      ADD_FAILURE() << "the run did not end";
      if (ui::MainDialog* main = FindMain()) main->EndDialog(99);
    });
    return app->InitInstance();
  }

  QTemporaryDir work;
  std::string comDir;
  int argc = 1;
  char name[32] = "main_dialog_test";
  char* argv[2] = {name, nullptr};
  std::unique_ptr<ui::DiagApp> app;
  FirstPaint firstPaint;
};

// --- Start-up and its early ends -------------------------------------------------------------

TEST_F(Shell, WelcomeFirstThenZeltoWinModemIsPaintedBeforeAnyPortIsTried) {
  WithAti3();
  WithComFiles();
  OpenWatch ports(comDir);
  ASSERT_TRUE(ports.Valid());
  firstPaint.watch = &ports;
  MakeApp();
  EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
  bool mainHidden = false;
  AcceptWelcome(&mainHidden);
  SeenBox notFound;
  AnswerNextMessageBox(&notFound);
  Every5Ms([&] {
    if (!notFound.shown) return false;
    Button(FindMain(), ids::kQuit)->click();
    return true;
  });
  EXPECT_EQ(Run(), 0);

  EXPECT_TRUE(mainHidden) << "the welcome dialog must be the only window at first";
  ASSERT_TRUE(firstPaint.seen);
  EXPECT_EQ(firstPaint.modem, "Zelto Win Modem");
  EXPECT_EQ(firstPaint.location, "");
  EXPECT_EQ(firstPaint.firmware, "");
  EXPECT_EQ(firstPaint.country, "");
  EXPECT_EQ(firstPaint.portsOpened, 0u);
  EXPECT_FALSE(firstPaint.tests[0]);
  EXPECT_FALSE(firstPaint.tests[1]);
  EXPECT_FALSE(firstPaint.tests[2]);
  EXPECT_TRUE(firstPaint.detectAgain);
  EXPECT_TRUE(firstPaint.quit);
  // Detection then ran by itself and tried the ports.
  EXPECT_EQ(notFound.text, kNotFound);
  EXPECT_EQ(notFound.caption, "Kalvex Internal Modem Diagnostics Tool");
  EXPECT_EQ(notFound.icon, QMessageBox::Warning);
  EXPECT_TRUE(ports.Opened().count("COM3"));
}

TEST_F(Shell, CancelInTheWelcomeDialogEndsWithoutReadingAti3OrTouchingAPort) {
  WithAti3();
  WithComFiles();
  OpenWatch cwd(work.path().toStdString());
  OpenWatch ports(comDir);
  ASSERT_TRUE(cwd.Valid() && ports.Valid());
  MakeApp();
  int mainShows = -1;
  OnNextModal<ui::WelcomeDialog>([&](ui::WelcomeDialog* welcome) {
    mainShows = FindMain() && FindMain()->isVisible() ? 1 : 0;
    qobject_cast<QPushButton*>(welcome->Item(widgets::kIdCancel))->click();
  });
  EXPECT_EQ(Run(10000), 0);
  EXPECT_EQ(mainShows, 0);
  EXPECT_TRUE(cwd.Opened().empty());
  EXPECT_TRUE(ports.Opened().empty());
  // The watches themselves work: an open is seen.
  QFile ati3(work.filePath("ati3.dat"));
  ASSERT_TRUE(ati3.open(QIODevice::ReadOnly));
  EXPECT_TRUE(cwd.Opened().count("ati3.dat"));
}

TEST_F(Shell, ClosingTheWelcomeDialogEndsLikeCancel) {
  WithAti3();
  OpenWatch cwd(work.path().toStdString());
  MakeApp();
  OnNextModal<ui::WelcomeDialog>([](ui::WelcomeDialog* welcome) { welcome->close(); });
  EXPECT_EQ(Run(10000), 0);
  EXPECT_TRUE(cwd.Opened().empty());
}

using ShellDeathTest = Shell;

TEST_F(ShellDeathTest, MissingAti3ShowsItsBoxThenExitsWithStatusZeroBeforeAnyPort) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  WithComFiles();
  OpenWatch ports(comDir);
  ASSERT_TRUE(ports.Valid());
  ::setenv(kInheritedComDir, comDir.c_str(), 1);  // the re-run child uses these same ports
  // The child ends through exit() with Qt still up, while fontconfig holds its caches; in a
  // sanitizer build LeakSanitizer would turn that into exit status 1.
  const char* asan = std::getenv("ASAN_OPTIONS");
  ::setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(), 1);
  EXPECT_EXIT(
      {
        MakeApp();
        AcceptWelcome();
        OnNextModal<QMessageBox>([](QMessageBox* box) {
          std::fprintf(stderr, "box [%s] [%s]\n", qPrintable(box->windowTitle()),
                       qPrintable(box->text()));
          box->button(QMessageBox::Ok)->click();
        });
        Run(20000);
        std::fprintf(stderr, "the run returned\n");
        std::exit(3);
      },
      testing::ExitedWithCode(0), "box \\[main_dialog_test\\] \\[Ati3.dat missing !\\]");
  ::unsetenv(kInheritedComDir);
  EXPECT_TRUE(ports.Opened().empty());
}

// --- With the simulated modem ----------------------------------------------------------------

class ShellWithModem : public Shell {
 protected:
  // Starts the simulator with these ports, then the application with ati3.dat in place.
  void Start(std::vector<sim::PortConfig> ports) {
    ASSERT_TRUE(sim.Start(std::move(ports)));
    WithAti3();
    MakeApp();
    AcceptWelcome();
  }
  modem_test::SimulatedPorts sim;
};

TEST_F(ShellWithModem, FoundModemEnablesTheTestsAndAFailedRedetectionLeavesThemOn) {
  Start({modem_test::Port(3, sim::PortKind::kModem)});
  bool duringQuitOn = false, duringDetectOff = false;
  bool foundTests = false, foundDetect = false, portOpenAfterFind = false;
  QString foundLocation, foundModem;
  SeenBox notFound;
  int phase = 0;
  Every5Ms([&] {
    ui::MainDialog* main = FindMain();
    if (!main || !main->isVisible()) return false;
    if (phase == 0 && main->ItemText(ids::kModemName) == "Wait...") {
      // During detection "Quit" stays live.
      duringQuitOn = main->IsItemEnabled(ids::kQuit);
      duringDetectOff = !main->IsItemEnabled(ids::kDetectAgain);
      phase = 1;
    } else if (phase == 1 && main->ItemText(ids::kLocation) == "COM3" &&
               main->IsItemEnabled(ids::kDetectAgain)) {
      foundTests = main->IsItemEnabled(ids::kTestDiagnostics) &&
                   main->IsItemEnabled(ids::kTestSpeaker) && main->IsItemEnabled(ids::kTestLine);
      foundDetect = main->IsItemEnabled(ids::kDetectAgain) && main->IsItemEnabled(ids::kQuit);
      foundLocation = main->ItemText(ids::kLocation);
      foundModem = main->ItemText(ids::kModemName);
      portOpenAfterFind = app->Session().port.connected.load();
      EXPECT_TRUE(sim.Sim().HangUp(3));
      AnswerNextMessageBox(&notFound);
      Button(main, ids::kDetectAgain)->click();
      phase = 2;
    } else if (phase == 2 && notFound.shown && main->IsItemEnabled(ids::kDetectAgain)) {
      EXPECT_TRUE(main->IsItemEnabled(ids::kTestDiagnostics));
      EXPECT_TRUE(main->IsItemEnabled(ids::kTestSpeaker));
      EXPECT_TRUE(main->IsItemEnabled(ids::kTestLine));
      EXPECT_EQ(main->ItemText(ids::kModemName), "Wait...");
      EXPECT_FALSE(app->Session().port.connected.load());
      main->EndDialog(0);
      return true;
    }
    return false;
  });
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(duringQuitOn);
  EXPECT_TRUE(duringDetectOff);
  EXPECT_TRUE(foundTests);
  EXPECT_TRUE(foundDetect);
  EXPECT_TRUE(portOpenAfterFind);
  EXPECT_EQ(foundLocation, "COM3");
  EXPECT_EQ(foundModem, "Zelto Win Modem");
  EXPECT_EQ(notFound.text, kNotFound);
}

// Waits for a found modem, then calls act once.
void WhenFound(std::function<void(ui::MainDialog*)> act) {
  Every5Ms([act = std::move(act)] {
    ui::MainDialog* main = FindMain();
    if (!main || !main->isVisible() || main->ItemText(ids::kLocation) != "COM3" ||
        !main->IsItemEnabled(ids::kTestDiagnostics) || !main->IsItemEnabled(ids::kDetectAgain))
      return false;
    act(main);
    return true;
  });
}

TEST_F(ShellWithModem, EscapeEndsTheDialogButLeavesThePortToTheExit) {
  Start({modem_test::Port(3, sim::PortKind::kModem)});
  WhenFound([](ui::MainDialog* main) { QTest::keyClick(main, Qt::Key_Escape); });
  EXPECT_EQ(Run(), 0);
  EXPECT_FALSE(FindMain());  // destroyed with the run
  EXPECT_TRUE(app->Session().port.connected.load());
}

TEST_F(ShellWithModem, TheCloseBoxClosesThePort) {
  Start({modem_test::Port(3, sim::PortKind::kModem)});
  int connectedAfterClose = -1;
  WhenFound([&](ui::MainDialog* main) {
    main->close();
    connectedAfterClose = app->Session().port.connected.load();
  });
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(connectedAfterClose, 0);
}

// --- Stopping a running detection or test, and giving the modem back ------------------------

// Lines the port received from event index `from` on.
std::vector<std::string> ReceivedSince(sim::ModemSim& modem, const std::string& port, size_t from) {
  std::vector<std::string> lines;
  for (const sim::Event& event : modem.Events(from)) {
    if (event.port == port && (event.kind == "rx" || event.kind == "data-rx"))
      lines.push_back(event.text);
  }
  return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Clicks a button from the event loop, so the run it starts does not nest in the caller.
void ClickLater(ui::MainDialog* main, int id) {
  QTimer::singleShot(0, main, [main, id] { Button(main, id)->click(); });
}

using testsupport::RestoreWrites;

void ExpectModemAsFound(const sim::PortState& after, const sim::PortState& before) {
  EXPECT_FALSE(after.dataMode);
  EXPECT_FALSE(after.offHook);
  EXPECT_EQ(testsupport::AsFound(after), testsupport::AsFound(before));
}

// Quit ends the wait at once: no further port is tried, no box and no beep follow, the port is
// closed and the program ends.
TEST_F(ShellWithModem, QuitDuringASilentPortsWaitEndsWithoutAnotherPortOrABox) {
  Start({modem_test::Port(3, sim::PortKind::kSilent), modem_test::Port(4, sim::PortKind::kModem)});
  SeenBox box;
  AnswerNextMessageBox(&box);
  Every5Ms([&] {
    ui::MainDialog* main = FindMain();
    if (!main || main->ItemText(ids::kLocation) != "Open COM3... ") return false;
    QTest::mouseClick(Button(main, ids::kQuit), Qt::LeftButton);
    return true;
  });
  EXPECT_EQ(Run(), 0);
  EXPECT_FALSE(box.shown);
  EXPECT_TRUE(sim.Received("COM4").empty());
  EXPECT_FALSE(app->Session().port.connected.load());
}

// The modem is in its loopback connection with the basic test's register values in place: the
// put-back escapes, ends the test mode and writes the registers back; before the port closes the
// registers and the country the run changed are read back and checked.
TEST_F(ShellWithModem, QuitDuringALoopbackPutsTheModemBackBeforeClosing) {
  Start({modem_test::Port(3, sim::PortKind::kModem)});
  sim::PortState before;
  size_t quitAt = 0;
  WhenFound([&](ui::MainDialog* main) {
    before = sim.State(3);
    ClickLater(main, ids::kTestDiagnostics);
    Every5Ms([&, main] {
      if (!sim.State(3).dataMode) return false;
      quitAt = sim.Sim().Events().size();
      QTest::mouseClick(Button(main, ids::kQuit), Qt::LeftButton);
      return true;
    });
  });
  EXPECT_EQ(Run(), 0);
  std::vector<std::string> after = ReceivedSince(sim.Sim(), "COM3", quitAt);
  std::vector<std::string> putBack = {"+++", "at&T0"};
  for (const std::string& write : RestoreWrites(before)) putBack.push_back(write);
  for (const char* read : {"at%T22,18", "at%T22,29", "at%T22,2A", "at%T22,20", "at%T20,0,1"})
    putBack.push_back(read);
  ASSERT_GE(after.size(), putBack.size());
  EXPECT_EQ(std::vector<std::string>(after.end() - static_cast<long>(putBack.size()), after.end()),
            putBack);
  EXPECT_FALSE(Contains(sim.Received("COM3"), "at&T1")) << "the analog test must not start";
  ExpectModemAsFound(sim.State(3), before);
  EXPECT_FALSE(app->Session().port.connected.load());
}

// A termination signal takes the same way as Quit, from inside the line test's modal dialog:
// the dial is hung up, the registers go back, the command settings go back to the stored profile
// ("Z"), the registers are read back, and no question is asked.
TEST_F(ShellWithModem, SigtermDuringTheLineTestsDialHangsUpRestoresAndEndsWith143) {
  Start({modem_test::Port(3, sim::PortKind::kModem)});
  sim::PortState before;
  size_t signalAt = 0;
  SeenBox question;
  AnswerNextMessageBox(&question);
  WhenFound([&](ui::MainDialog* main) {
    before = sim.State(3);
    ClickLater(main, ids::kTestLine);
    Every5Ms([&] {
      if (!sim.State(3).offHook) return false;
      signalAt = sim.Sim().Events().size();
      ::raise(SIGTERM);
      return true;
    });
  });
  EXPECT_EQ(Run(), 128 + SIGTERM);
  EXPECT_FALSE(question.shown);
  std::vector<std::string> after = ReceivedSince(sim.Sim(), "COM3", signalAt);
  // The CR that ends the dial is not a command line; the modem notes an aborted dial. "H" and
  // "Z" are each confirmed by a bare "at" answered on its own.
  std::vector<std::string> putBack = {"atH", "at"};
  for (const std::string& write : RestoreWrites(before)) putBack.push_back(write);
  putBack.push_back("atZ");
  putBack.push_back("at");
  for (const char* read : {"at%T22,18", "at%T22,29", "at%T22,2A", "at%T22,20"})
    putBack.push_back(read);
  EXPECT_EQ(after, putBack);
  EXPECT_TRUE(
      sim.Sim().WaitForEvent("COM3", "note", "dial", std::chrono::milliseconds(0), signalAt));
  ExpectModemAsFound(sim.State(3), before);
  EXPECT_FALSE(app->Session().port.connected.load());
}

// A hang-up signal while the voice prompt asks: the prompt closes, the buzz is silenced and the
// speaker goes back on-hook; no register was touched.
TEST_F(ShellWithModem, SighupDuringTheVoicePromptSilencesTheModemAndEnds) {
  Start({modem_test::Port(3, sim::PortKind::kModem)});
  sim::PortState before;
  WhenFound([&](ui::MainDialog* main) {
    before = sim.State(3);
    ClickLater(main, ids::kTestSpeaker);
    Every5Ms([&] {
      if (!sim.State(3).buzz || !QApplication::activeModalWidget()) return false;
      ::raise(SIGHUP);
      return true;
    });
  });
  EXPECT_EQ(Run(), 128 + SIGHUP);
  std::vector<std::string> received = sim.Received("COM3");
  ASSERT_GE(received.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(received.end() - 4, received.end()),
            (std::vector<std::string>{"atH", "at", "atZ", "at"}));
  EXPECT_FALSE(sim.State(3).buzz);
  ExpectModemAsFound(sim.State(3), before);
}

// A second signal does not wait for a modem that does not answer the put-back: what is left is
// not sent, named as such, and the program ends at once with the status that says the modem was
// not given back.
TEST_F(ShellWithModem, SecondSignalCutsThePutBackShort) {
  sim::PortState powerOn;
  {
    sim::ModemSim probe;
    ASSERT_TRUE(probe.Start({}));
    powerOn = probe.State(3).value();
  }
  sim::Faults faults;
  faults.muteCommands = {"%T21,18," + modem_test::Hex2(powerOn.reg18)};
  Start({modem_test::Port(3, sim::PortKind::kModem, faults)});
  WhenFound([&](ui::MainDialog* main) {
    ClickLater(main, ids::kTestDiagnostics);
    Every5Ms([&] {
      if (!sim.State(3).dataMode) return false;
      ::raise(SIGINT);
      Every5Ms([&] {
        if (!Contains(sim.Received("COM3"), RestoreWrites(powerOn)[0])) return false;
        ::raise(SIGINT);
        return true;
      });
      return true;
    });
  });
  EXPECT_EQ(Run(), diagnostics::kExitNotPutBack);
  std::vector<std::string> received = sim.Received("COM3");
  EXPECT_TRUE(Contains(received, RestoreWrites(powerOn)[0]));
  EXPECT_FALSE(Contains(received, RestoreWrites(powerOn)[1]));
  const std::vector<std::string> left = diagnostics::NotPutBack(app->Session());
  ASSERT_EQ(left.size(), 5u) << "the four registers, and the country written back unread";
  EXPECT_EQ(left[1], "register 29: was " + modem_test::Hex2(powerOn.reg29) + ", now 1 (not sent)");
  EXPECT_NE(left[4].find("the country: was"), std::string::npos) << left[4];
  EXPECT_NE(left[4].find("now not known (not read back)"), std::string::npos) << left[4];
  EXPECT_FALSE(app->Session().port.connected.load());
}

// The button that started a run has the focus again when the buttons come back, so Enter or
// Space repeats that run and never reaches "Quit".
TEST_F(ShellWithModem, FocusGoesBackToTheButtonThatStartedTheRunNeverToQuit) {
  Start({modem_test::Port(3, sim::PortKind::kModem)});
  bool startUpFocusOnLiveButton = false, startUpFocusOnQuit = true;
  bool detectAgainFocused = false, runButtonFocused = false;
  WhenFound([&](ui::MainDialog* main) {
    QWidget* focused = main->focusWidget();
    startUpFocusOnLiveButton = qobject_cast<QPushButton*>(focused) && focused->isEnabled();
    startUpFocusOnQuit = focused == Button(main, ids::kQuit);
    const size_t linesBeforeRedetection = sim.Received("COM3").size();
    Button(main, ids::kDetectAgain)->setFocus();
    QTimer::singleShot(0, main,
                       [main] { QTest::keyClick(Button(main, ids::kDetectAgain), Qt::Key_Space); });
    // The re-detection starts on a timer after the key press: until it has spoken to the modem,
    // the buttons still show the first detection's end.
    Every5Ms([&, main, linesBeforeRedetection] {
      if (sim.Received("COM3").size() == linesBeforeRedetection ||
          main->ItemText(ids::kLocation) != "COM3" || !main->IsItemEnabled(ids::kDetectAgain))
        return false;
      detectAgainFocused = main->focusWidget() == Button(main, ids::kDetectAgain);
      Button(main, ids::kTestDiagnostics)->setFocus();
      QTimer::singleShot(0, main, [&, main] {
        // The whole run happens inside this key press.
        QTest::keyClick(Button(main, ids::kTestDiagnostics), Qt::Key_Space);
        runButtonFocused = main->focusWidget() == Button(main, ids::kTestDiagnostics);
        main->EndDialog(0);
      });
      return true;
    });
  });
  EXPECT_EQ(Run(90000), 0);
  EXPECT_TRUE(startUpFocusOnLiveButton);
  EXPECT_FALSE(startUpFocusOnQuit);
  EXPECT_TRUE(detectAgainFocused);
  EXPECT_TRUE(runButtonFocused);
}

TEST_F(ShellWithModem, KeysPressedDuringDetectionDoNothing) {
  Start({modem_test::Port(3, sim::PortKind::kSilent)});
  bool stillUp = false;
  bool focusKept = false;
  bool portStillOpen = false;
  SeenBox notFound;
  Every5Ms([&] {
    ui::MainDialog* main = FindMain();
    if (!main || main->ItemText(ids::kLocation) != "Open COM3... ") return false;
    QPushButton* quit = Button(main, ids::kQuit);
    quit->setFocus();
    QWidget* focused = QApplication::focusWidget();
    // Enter or Return on the focused "Quit", Escape, Tab and a mnemonic would all act in a
    // dialog's own loop.
    for (Qt::Key key :
         {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_Tab, Qt::Key_Backtab})
      QTest::keyClick(focused ? focused : main, key);
    QTest::keyClick(main, Qt::Key_F4, Qt::AltModifier);
    QTest::keyClick(main, Qt::Key_D, Qt::AltModifier);
    QTest::qWait(200);
    stillUp = main->isVisible() && !main->IsEnded();
    focusKept = QApplication::focusWidget() == focused;
    portStillOpen =
        app->Session().port.connected.load() && main->ItemText(ids::kLocation) == "Open COM3... ";
    AnswerNextMessageBox(&notFound);
    Every5Ms([&notFound] {
      if (!notFound.shown) return false;
      FindMain()->EndDialog(0);
      return true;
    });
    return true;
  });
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(stillUp);
  EXPECT_TRUE(focusKept);
  EXPECT_TRUE(portStillOpen);
}

TEST_F(ShellWithModem, ManyQuickDetectAgainClicksGiveOneDetection) {
  Start({modem_test::Port(3, sim::PortKind::kModem)});
  size_t identificationsBefore = 0;
  bool done = false;
  WhenFound([&](ui::MainDialog* main) {
    identificationsBefore = sim.Received("COM3").size();
    for (int i = 0; i < 10; ++i) Button(main, ids::kDetectAgain)->click();
    // Then wait for that detection to find the modem again.
    Every5Ms([&, main] {
      if (!main->IsItemEnabled(ids::kDetectAgain) || main->ItemText(ids::kLocation) != "COM3" ||
          sim.Received("COM3").size() == identificationsBefore)
        return false;
      done = true;
      main->EndDialog(0);
      return true;
    });
  });
  EXPECT_EQ(Run(), 0);
  ASSERT_TRUE(done);
  int identifications = 0;
  const std::vector<std::string> received = sim.Received("COM3");
  for (size_t i = identificationsBefore; i < received.size(); ++i) {
    if (received[i].find("I3") != std::string::npos) ++identifications;
  }
  EXPECT_EQ(identifications, 1);
}

// --- The ports' verdicts and the transcript ---------------------------------------------------

TEST_F(ShellWithModem, NotFoundBoxKeepsItsTextAndGivesEachPortsVerdictAsDetails) {
  Start({modem_test::Port(3, sim::PortKind::kForeign)});
  QString text, details;
  bool shown = false;
  OnNextModal<QMessageBox>([&](QMessageBox* box) {
    shown = true;
    text = box->text();
    details = box->detailedText();
    box->button(QMessageBox::Ok)->click();
    FindMain()->EndDialog(0);
  });
  EXPECT_EQ(Run(), 0);
  ASSERT_TRUE(shown);
  EXPECT_EQ(text, kNotFound);
  const std::string dir = std::getenv("KALVEX_COM_DIR");
  std::string expected = "COM3 (" + dir + "/COM3): answered, but its \"I3\" line \"" +
                         sim.AnswerTo("COM3", "atI3") + "\" is not in the identification list";
  for (int port : {4, 2, 1, 5, 6})
    expected += "\nCOM" + std::to_string(port) + " (" + dir + "/COM" + std::to_string(port) +
                "): no such device";
  EXPECT_EQ(details.toStdString(), expected);
}

TEST_F(ShellWithModem, TranscriptOfTheDialogsIsPrivateAndRecordsTheDetection) {
  const std::string path = (work.path() + "/run.log").toStdString();
  Start({modem_test::Port(3, sim::PortKind::kModem)});
  app->SetTranscript(path, platform::NowMs());
  WhenFound([](ui::MainDialog* main) { main->EndDialog(0); });
  EXPECT_EQ(Run(), 0);
  app->Session().port.Close();
  diagnostics::CloseTranscript(app->Session());

  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  QFile file(QString::fromStdString(path));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString written = QString::fromLatin1(file.readAll());
  EXPECT_TRUE(written.contains(" COM3 ! open ")) << written.toStdString();
  EXPECT_TRUE(written.contains(" COM3 > at&FZ\\r\\n\n")) << written.toStdString();
  EXPECT_TRUE(written.contains(" COM3 < OK\n")) << written.toStdString();
  EXPECT_TRUE(written.endsWith(" COM3 ! close\n")) << written.toStdString();
}

TEST_F(Shell, TranscriptAtASymbolicLinkEndsWithOneLineAndStatus1BeforeAnyWindow) {
  WithAti3();
  WithComFiles();
  OpenWatch ports(comDir);
  ASSERT_TRUE(ports.Valid());
  const std::string target = (work.path() + "/target").toStdString();
  const std::string link = (work.path() + "/run.log").toStdString();
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  MakeApp();
  app->SetTranscript(link, platform::NowMs());
  bool welcomeShown = false;
  OnNextModal<ui::WelcomeDialog>([&](ui::WelcomeDialog* welcome) {
    welcomeShown = true;
    welcome->close();
  });
  testing::internal::CaptureStderr();
  const int status = Run(10000);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, 1);
  EXPECT_FALSE(welcomeShown);
  EXPECT_EQ(err, "kalvex-modem-diag: cannot write the transcript " + link +
                     ": a symbolic link, which is not followed\n");
  EXPECT_EQ(::access(target.c_str(), F_OK), -1);
  EXPECT_TRUE(ports.Opened().empty());
}

}  // namespace
