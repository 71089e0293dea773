#include "serial/transcript.h"

#include "platform/clock.h"
#include "resources/product.h"
#include "serial/debug_output.h"
#include "serial/line_assembler.h"

namespace serial {

std::string TranscriptLine(int64_t ms, std::string_view comName, char direction,
                           std::string_view text) {
  std::string line = std::to_string(ms);
  line += ' ';
  line += EscapeTranscriptText(comName);
  line += ' ';
  line += direction;
  line += ' ';
  line += EscapeTranscriptText(text);
  line += '\n';
  return line;
}

bool Transcript::Open(const char* path, int64_t startMs, std::string* error) {
  Close();
  if (!file_.Open(path, error)) return false;
  path_ = path;
  startMs_ = startMs;
  writeError_.clear();
  open_.store(true);
  return true;
}

void Transcript::Close() {
  if (!open_.load()) return;
  Drain();
  open_.store(false);
  file_.Close();
  std::lock_guard lock(queueMutex_);
  queue_.clear();
  dropped_ = 0;
}

void Transcript::Sent(std::string_view comName, std::string_view text) {
  Append(comName, '>', text);
}

void Transcript::Event(std::string_view comName, std::string_view text) {
  Append(comName, '!', text);
}

void Transcript::Received(std::string_view comName, std::string_view line, bool cut) {
  if (!open_.load()) return;
  std::lock_guard lock(queueMutex_);
  if (queue_.size() + (cut ? 2 : 1) > kMaxQueued) {
    ++dropped_;
    return;
  }
  // The time is taken under the lock so that queue order and time order agree.
  const int64_t ms = platform::NowMs() - startMs_;
  if (cut) {
    queue_.push_back({ms, std::string(comName), '!',
                      "received line cut: longer than " + std::to_string(kLineBufSize - 1) +
                          " bytes, only its last " + std::to_string(line.size()) + " kept"});
  }
  queue_.push_back({ms, std::string(comName), '<', std::string(line)});
}

void Transcript::Append(std::string_view comName, char direction, std::string_view text) {
  if (!open_.load()) return;
  const int64_t ms = WriteQueued();
  WriteLine(TranscriptLine(ms, comName, direction, text));
}

void Transcript::Drain() {
  if (open_.load()) (void)WriteQueued();
}

int64_t Transcript::WriteQueued() {
  std::vector<Entry> entries;
  size_t dropped = 0;
  int64_t ms;
  {
    std::lock_guard lock(queueMutex_);
    entries.swap(queue_);
    std::swap(dropped, dropped_);
    // Taken under the lock: every line the reader queues after this one is not earlier.
    ms = platform::NowMs() - startMs_;
  }
  for (const Entry& e : entries) WriteLine(TranscriptLine(e.ms, e.comName, e.direction, e.text));
  if (dropped) {
    WriteLine(TranscriptLine(
        ms, entries.empty() ? "-" : entries.back().comName, '!',
        std::to_string(dropped) + " received lines not recorded: the transcript fell behind"));
  }
  return ms;
}

void Transcript::WriteLine(const std::string& line) {
  if (!writeError_.empty()) return;
  std::string error;
  if (file_.Write(line, &error)) return;
  writeError_ = error.empty() ? "write failed" : error;
  // The run goes on without its record; whoever relies on the file must hear it is incomplete.
  WarningOutput((std::string(product::kProgramName) + ": the transcript " + path_ +
                 " is incomplete from here: " + writeError_ + "; the run goes on")
                    .c_str());
}

}  // namespace serial
