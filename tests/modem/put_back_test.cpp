// The ledger's promise with a real session and the simulated modem: a journal the run does not
// act on is kept as it is, and a ledger goes back only to the modem it was made on.

#include "modem/put_back.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <string>
#include <string_view>
#include <vector>

#include "modem/detection.h"
#include "modem/detection_support.h"
#include "modem/journal.h"
#include "modem/register_snapshot.h"
#include "modem/session.h"
#include "modem/sim_ports.h"
#include "serial/port_names.h"

namespace {

using modem::ChangeKind;

class PutBack : public testing::Test {
 protected:
  void TearDown() override { session.port.Close(); }

  void Start(std::vector<int> numbers) {
    std::vector<sim::PortConfig> ports;
    for (int n : numbers) ports.push_back(modem_test::Port(n, sim::PortKind::kModem));
    ASSERT_TRUE(sim.Start(ports));
    session.stateDirectory = state.path().toStdString();
    modem_test::UseShippedStyleList(view);
  }
  // Detection on COM3, then register 18 set to its test value as a test run sets it.
  void DetectAndChange() {
    ASSERT_EQ(modem::DetectModem(session, view).comNumber, 3);
    ASSERT_EQ(modem::WriteTestValue(session, 0), modem::TestValueWrite::kAnswered);
    before18 = session.ledger.Find(ChangeKind::kRegister, "18")->before;
  }
  static std::string Com3() { return serial::PortMap().DevicePathFor("COM3"); }
  // A journal of COM3's modem, by its "I3" line, with register 18 to go back to 5A.
  static std::string JournalOf(std::string_view i3) {
    modem::Change change;
    change.reg = "18";
    change.before = "5A";
    return modem::JournalText({Com3(), std::string(i3), "t", {}, {change}});
  }
  static void WriteFile(const std::string& path, const std::string& text, unsigned mode) {
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.data(), qint64(text.size()));
    file.close();
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
  }
  static std::string ReadFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "(unreadable)";
  }

  QTemporaryDir state;
  modem_test::SimulatedPorts sim;
  modem::Session session;
  modem_test::RecordingView view;
  std::string before18;
};

// Another modem's journal, one open to others and one too large: each is left byte for byte and
// mode for mode, named (with the chmod that mends a mode), and the run journals beside it.
TEST_F(PutBack, AJournalNotActedOnIsKeptAsItIsAndTheRunJournalsUnderANameOfItsOwn) {
  ASSERT_NO_FATAL_FAILURE(Start({3}));
  const std::string kept = modem::JournalPath(session.stateDirectory, Com3());
  const struct {
    std::string text;
    unsigned mode;
    modem::Recovery::Outcome outcome;
    std::string mend;
  } rows[] = {{JournalOf("Another Modem"), 0600, modem::Recovery::Outcome::kOtherModem, ""},
              {JournalOf(sim::kModemIdentification), 0644, modem::Recovery::Outcome::kUnreadable,
               "chmod 600 '" + kept + "'"},
              {std::string(5000, 'x'), 0600, modem::Recovery::Outcome::kUnreadable, ""}};
  for (const auto& row : rows) {
    ASSERT_NO_FATAL_FAILURE(WriteFile(kept, row.text, row.mode));

    ASSERT_NO_FATAL_FAILURE(DetectAndChange());
    EXPECT_EQ(session.journalPath, modem::JournalPath(session.stateDirectory, Com3(), 2));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(session.journalPath)));
    modem::FinishProgramRun(session);

    EXPECT_FALSE(session.ledger.HasPending());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(session.journalPath)));
    EXPECT_EQ(ReadFile(kept), row.text);
    struct stat facts {};
    EXPECT_EQ(::stat(kept.c_str(), &facts) == 0 ? facts.st_mode & 07777 : 0, row.mode);
    ASSERT_EQ(session.journals.size(), 1u);
    EXPECT_EQ(session.journals[0].path, kept);
    EXPECT_EQ(session.journals[0].outcome, row.outcome);
    EXPECT_EQ(session.journals[0].mend, row.mend);
    session.ledger.Clear();
  }
}

// Two journals of this modem: the first is put back, the second is kept as it is with an outcome
// of its own, not counted as one the tool could not read.
TEST_F(PutBack, ASecondJournalOfTheModemIsKeptAsNotActedOn) {
  ASSERT_NO_FATAL_FAILURE(Start({3}));
  const std::string text = JournalOf(sim::kModemIdentification);
  for (int index : {1, 2}) {
    ASSERT_NO_FATAL_FAILURE(
        WriteFile(modem::JournalPath(session.stateDirectory, Com3(), index), text, 0600));
  }

  ASSERT_EQ(modem::DetectModem(session, view).comNumber, 3);

  ASSERT_EQ(session.journals.size(), 2u);
  EXPECT_EQ(session.journals[0].outcome, modem::Recovery::Outcome::kPutBack);
  EXPECT_EQ(session.journals[1].outcome, modem::Recovery::Outcome::kNotActedOn);
  EXPECT_EQ(ReadFile(session.journals[1].path), text);
}

// Modem A is unplugged with register 18 changed and Detect Again finds B on COM4: nothing of A
// reaches B, and A's change stays in A's journal, named.
TEST_F(PutBack, DetectingAnotherModemLeavesTheOldLedgerInItsJournalAndNeverSendsItToTheNewOne) {
  ASSERT_NO_FATAL_FAILURE(Start({3, 4}));
  ASSERT_NO_FATAL_FAILURE(DetectAndChange());
  const std::string deviceA = session.detectedDevice;
  const std::string journalA = session.journalPath;
  sim.Sim().HangUp(3);

  ASSERT_EQ(modem::DetectModem(session, view).comNumber, 4);
  modem::FinishProgramRun(session);

  for (const std::string& line : sim.Received("COM4"))
    EXPECT_EQ(line.find("%T21"), std::string::npos);
  ASSERT_EQ(session.leftBehind.size(), 1u);
  EXPECT_EQ(session.leftBehind[0].device, deviceA);
  EXPECT_EQ(session.leftBehind[0].journal, journalA);
  ASSERT_EQ(session.leftBehind[0].changes.size(), 1u);
  EXPECT_EQ(session.leftBehind[0].changes[0].before, before18);
  EXPECT_TRUE(QFile::exists(QString::fromStdString(journalA)));
}

}  // namespace

namespace {

// A final result code other than the one asked for means the modem left itself as it was; RING
// and CONNECT (the command done) do not, nor does any answer text.
TEST(Refusal, EveryFinalResultButConnectIsOneAndRingAndAnswersAreNot) {
  const struct {
    const char* line;
    bool refusal;
  } cases[] = {{"OK", true},           {"error", true},
               {" NO CARRIER ", true}, {"NO DIALTONE", true},
               {"NO DIAL TONE", true}, {"BUSY", true},
               {"NO ANSWER", true},    {"RING", false},
               {"CONNECT", false},     {"connect 33600/ARQ", false},
               {"CONNECTED", false},   {"OKAY", false},
               {"0C", false},          {"", false}};
  for (const auto& c : cases) EXPECT_EQ(modem::IsRefusal(c.line), c.refusal) << c.line;
}

}  // namespace
