#pragma once
// The ledger's journal: what a run has changed on a modem, kept in a file from before the first
// change until everything is put back, so that the next run can put it back after a crash. One
// file per device, under the state directory. The file is input from outside when it is read:
// only values of the form the modem gives are ever taken from it.

#include <string>
#include <string_view>
#include <vector>

#include "modem/ledger.h"

namespace modem {

inline constexpr long kMaxJournalBytes = 4096;

struct JournalRecord {
  std::string device;  // the device path the modem was found on
  std::string i3Line;  // the modem's "I3" line
  std::string time;    // when it was written, UTC, ISO 8601
  // The registers as read at detection: {name, value}.
  std::vector<std::pair<std::string, std::string>> detected;
  std::vector<Change> changes;  // pending changes only
};

// How many journal names a device has: a journal the run does not act on is kept, and the run
// writes its own under the next free name.
inline constexpr int kJournalNames = 4;

// The journal file number index (1 to kJournalNames) of device inside directory:
// directory/<device with every byte but letters, digits, '.' and '-' written as _XX>.journal,
// and for index 2 on <...>~<index>.journal ('~' never comes out of the escaping).
[[nodiscard]] std::string JournalPath(const std::string& directory, const std::string& device,
                                      int index = 1);

// The file's text (JSON).
[[nodiscard]] std::string JournalText(const JournalRecord& record);

// Parses a journal's text. false with the reason in *error when it is not a journal of this
// tool or holds anything out of form: an unknown change, a register other than 18, 29, 2A and 20,
// a register value that is not 1-2 hexadecimal digits, a country code that is not 2.
[[nodiscard]] bool ParseJournal(std::string_view text, JournalRecord* record, std::string* error);

}  // namespace modem
