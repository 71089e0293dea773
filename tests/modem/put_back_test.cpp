// The ledger's promise with a real session against the simulated modem: a journal the run does
// not act on is kept exactly as it is, a ledger is put back only on the modem it was made on, and
// nothing is said to be put back that was not read back.

#include "modem/put_back.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <string>
#include <vector>

#include "modem/detection.h"
#include "modem/detection_support.h"
#include "modem/journal.h"
#include "modem/register_snapshot.h"
#include "modem/session.h"
#include "modem/sim_ports.h"
#include "serial/port_names.h"

namespace {

using modem_test::Hex2;
using modem_test::Port;
using Lines = std::vector<std::string>;

class PutBack : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(state.isValid());
    session.stateDirectory = state.path().toStdString();
    modem_test::UseShippedStyleList(view);
  }
  void TearDown() override { session.port.Close(); }

  void StartModems(std::vector<int> numbers) {
    std::vector<sim::PortConfig> ports;
    for (int number : numbers) ports.push_back(Port(number, sim::PortKind::kModem));
    ASSERT_TRUE(sim.Start(ports));
  }

  // Register 18 set to its test value, as a test run does it.
  void ChangeRegister18() {
    ASSERT_EQ(modem::WriteTestValue(session, 0), modem::TestValueWrite::kAnswered);
    ASSERT_EQ(sim.State(3).reg18, 0);
  }

  [[nodiscard]] Lines ReceivedWith(const std::string& port, const std::string& text) const {
    Lines lines;
    for (const std::string& line : sim.Received(port))
      if (line.find(text) != std::string::npos) lines.push_back(line);
    return lines;
  }

  QTemporaryDir state;
  modem_test::SimulatedPorts sim;
  modem::Session session;
  modem_test::RecordingView view;
};

std::string JournalOf(const std::string& device, const std::string& i3) {
  modem::JournalRecord record;
  record.device = device;
  record.i3Line = i3;
  record.time = "2026-01-01T00:00:00Z";
  modem::Change change;
  change.reg = "18";
  change.before = "5A";
  change.now = "0";
  record.changes.push_back(change);
  return modem::JournalText(record);
}

struct KeptCase {
  const char* name;
  const char* i3;  // the journal's "I3" line; null: this modem's own
  int bytes;       // > 0: the file is this long and no journal
  unsigned mode;
  modem::Recovery::Outcome outcome;
  bool mendsWithChmod;
};

void PrintTo(const KeptCase& row, std::ostream* out) { *out << row.name; }

class KeptJournal : public PutBack, public testing::WithParamInterface<KeptCase> {};

// The run writes its own journal beside the kept one, puts its change back and removes only its
// own; the kept file is byte for byte and mode for mode as it was, and named with how to mend it.
TEST_P(KeptJournal, IsLeftAsItIsNamedAndThisRunJournalsUnderANameOfItsOwn) {
  const KeptCase& row = GetParam();
  ASSERT_NO_FATAL_FAILURE(StartModems({3}));
  const std::string device = serial::DevicePathFor("COM3");
  const std::string kept = modem::JournalPath(session.stateDirectory, device);
  const std::string text = row.bytes > 0
                               ? std::string(std::size_t(row.bytes), 'x')
                               : JournalOf(device, row.i3 ? std::string(row.i3)
                                                          : std::string(sim::kModemIdentification));
  QFile file(QString::fromStdString(kept));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(text.data(), qint64(text.size()));
  file.close();
  ASSERT_EQ(::chmod(kept.c_str(), row.mode), 0);

  ASSERT_EQ(modem::DetectModem(session, view).comNumber, 3);
  ASSERT_NO_FATAL_FAILURE(ChangeRegister18());
  const std::string own = modem::JournalPath(session.stateDirectory, device, 2);
  EXPECT_EQ(session.journalPath, own);
  EXPECT_TRUE(QFile::exists(QString::fromStdString(own)));
  modem::FinishProgramRun(session);

  EXPECT_FALSE(session.ledger.HasPending());
  EXPECT_FALSE(QFile::exists(QString::fromStdString(own)));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().toStdString(), text);
  struct stat facts {};
  ASSERT_EQ(::stat(kept.c_str(), &facts), 0);
  EXPECT_EQ(facts.st_mode & 07777, row.mode);
  ASSERT_EQ(session.journals.size(), 1u);
  EXPECT_EQ(session.journals[0].path, kept);
  EXPECT_EQ(session.journals[0].outcome, row.outcome);
  EXPECT_EQ(session.journals[0].mend, row.mendsWithChmod ? "chmod 600 '" + kept + "'" : "");
}

INSTANTIATE_TEST_SUITE_P(Ledger, KeptJournal,
                         testing::Values(KeptCase{"OtherModem", "Another Modem 1.0", 0, 0600,
                                                  modem::Recovery::Outcome::kOtherModem, false},
                                         KeptCase{"OpenToOthers", nullptr, 0, 0644,
                                                  modem::Recovery::Outcome::kUnreadable, true},
                                         KeptCase{"TooLarge", nullptr, 5000, 0600,
                                                  modem::Recovery::Outcome::kUnreadable, false}),
                         [](const testing::TestParamInfo<KeptCase>& info) {
                           return std::string(info.param.name);
                         });

// Modem A's register write-back cannot be made: A is unplugged and Detect Again finds B on COM4.
// None of A's values reaches B, B's snapshot is B's own, and A's change is kept in A's journal
// and named as not put back.
TEST_F(PutBack, DetectingAnotherModemKeepsTheOldLedgerInItsJournalAndNeverSendsItToTheNewOne) {
  ASSERT_NO_FATAL_FAILURE(StartModems({3, 4}));
  ASSERT_EQ(modem::DetectModem(session, view).comNumber, 3);
  const std::string deviceA = session.detectedDevice;
  const std::string journalA = session.journalPath;
  ASSERT_NO_FATAL_FAILURE(ChangeRegister18());
  const std::string before18 = session.ledger.Find(modem::ChangeKind::kRegister, "18")->before;
  sim.Sim().HangUp(3);

  ASSERT_EQ(modem::DetectModem(session, view).comNumber, 4);
  modem::FinishProgramRun(session);

  EXPECT_EQ(ReceivedWith("COM4", "%T21"), Lines{});
  EXPECT_EQ(ReceivedWith("COM4", "%T22").size(), 4u) << "B's snapshot is read from B";
  EXPECT_TRUE(session.ledger.Changes().empty());
  ASSERT_EQ(session.leftBehind.size(), 1u);
  const modem::LeftBehind& left = session.leftBehind[0];
  EXPECT_EQ(left.device, deviceA);
  EXPECT_EQ(left.journal, journalA);
  ASSERT_EQ(left.changes.size(), 1u);
  EXPECT_EQ(modem::DescribeNotPutBack(left.changes[0]).rfind("register 18: was " + before18, 0),
            0u);
  QFile file(QString::fromStdString(journalA));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  modem::JournalRecord record;
  std::string error;
  ASSERT_TRUE(modem::ParseJournal(file.readAll().toStdString(), &record, &error)) << error;
  EXPECT_EQ(record.device, deviceA);
  ASSERT_EQ(record.changes.size(), 1u);
  EXPECT_EQ(record.changes[0].before, before18);
}

// A second signal abandons the put-back before the read-back: the register was written and
// answered, but what the modem holds was never seen, so it is not said to be put back.
TEST_F(PutBack, AnAbandonedReadBackLeavesTheRegisterNotPutBack) {
  ASSERT_NO_FATAL_FAILURE(StartModems({3}));
  ASSERT_EQ(modem::DetectModem(session, view).comNumber, 3);
  ASSERT_NO_FATAL_FAILURE(ChangeRegister18());
  const std::string before18 = session.ledger.Find(modem::ChangeKind::kRegister, "18")->before;
  ASSERT_TRUE(modem::PutModemBack(session, modem::PutBackStage::kEndOfRun));
  ASSERT_EQ(Hex2(sim.State(3).reg18), before18);

  session.stop.Request();
  session.stop.AbandonPutBack();
  modem::FinishProgramRun(session);

  EXPECT_EQ(modem::DescribeNotPutBack(*session.ledger.Find(modem::ChangeKind::kRegister, "18")),
            "register 18: was " + before18 + ", now not known (not read back)");
  EXPECT_EQ(ReceivedWith("COM3", "%T22,18").size(), 1u) << "only detection's read";
}

}  // namespace
