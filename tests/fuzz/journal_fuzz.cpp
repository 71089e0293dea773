// The journal parser fed any bytes, as a file left in the state directory may hold: it never
// crashes, and whatever it accepts is of the form the modem gives, so nothing else could ever be
// written back; an accepted journal also reads back the same after it is written out again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "modem/journal.h"
#include "modem/transaction.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  modem::JournalRecord record;
  std::string error;
  if (!modem::ParseJournal(std::string_view(reinterpret_cast<const char*>(data), size), &record,
                           &error))
    return 0;
  for (const modem::Change& change : record.changes) {
    if (change.kind == modem::ChangeKind::kRegister && !modem::IsHexValue(change.before, 1))
      __builtin_trap();
    if (change.kind == modem::ChangeKind::kCountry && !modem::IsHexValue(change.before, 2))
      __builtin_trap();
  }
  modem::JournalRecord again;
  if (!modem::ParseJournal(modem::JournalText(record), &again, &error)) __builtin_trap();
  if (again.changes.size() != record.changes.size() || again.i3Line != record.i3Line)
    __builtin_trap();
  return 0;
}
