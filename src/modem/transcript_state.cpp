#include "modem/transcript_state.h"

#include "serial/transcript.h"

namespace modem {

TranscriptState ProgramTranscriptState() {
  const serial::Transcript& transcript = serial::ProgramTranscript();
  return {transcript.Path(), transcript.WriteError()};
}

}  // namespace modem
