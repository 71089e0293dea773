#pragma once
// The program's transcript as a report tells it: which file, and whether every line reached it.

#include <string>

namespace modem {

struct TranscriptState {
  std::string path;        // empty: no transcript was opened
  std::string writeError;  // the first write that failed, in words; empty when none did
};

// The state of serial::ProgramTranscript(). UI thread.
[[nodiscard]] TranscriptState ProgramTranscriptState();

}  // namespace modem
