// The ledger's journal as input from outside: what it takes, what it refuses and why.

#include "modem/journal.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Journal(const std::string& changes, const std::string& i3 = "Zelto Win Modem") {
  return R"({"tool": "kalvex-modem-diag", "format": 1, "device": "/dev/ttyS2", "i3": ")" + i3 +
         R"(", "time": "t", "detected": {"18": "5A"}, "changes": [)" + changes + "]}";
}

// The round trip of a written journal is proven by its fuzz target; the file's name is not.
TEST(Journal, EachDeviceHasAFileNameOfItsOwnInTheStateDirectory) {
  EXPECT_EQ(modem::JournalPath("/s", "/dev/tty S2"), "/s/_2Fdev_2Ftty_20S2.journal");
}

// Only a value the modem could have given is ever taken for writing back.
TEST(Journal, AnythingOutOfFormIsRefusedWithItsReason) {
  const struct {
    std::string text;
    const char* reason;
  } rows[] = {
      {"not json", "not JSON"},
      {R"({"tool": "other", "format": 1})", "not a journal of this tool"},
      {Journal("", ""), "no \"I3\" line"},
      {Journal(R"({"item": "reboot"})"), "unknown change \"reboot\""},
      {Journal(R"({"item": "register", "register": "99", "before": "01"})"),
       "unknown register \"99\""},
      {Journal(R"({"item": "register", "register": "18", "before": "1,2"})"),
       "register 18: value \"1,2\" is not 1-2 hexadecimal digits"},
      {Journal(R"({"item": "register", "register": "18", "before": "123"})"),
       "register 18: value \"123\" is not 1-2 hexadecimal digits"},
      {Journal(R"({"item": "country", "before": "5"})"),
       "country code \"5\" is not 2 hexadecimal digits"},
      {Journal(R"({"item": "country", "before": "0\r"})"),
       "country code \"0\r\" is not 2 hexadecimal digits"},
  };
  for (const auto& row : rows) {
    modem::JournalRecord record;
    std::string error;
    EXPECT_FALSE(modem::ParseJournal(row.text, &record, &error)) << row.text;
    EXPECT_EQ(error.rfind(row.reason, 0), 0u) << error;
  }
}

}  // namespace
