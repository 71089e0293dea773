#pragma once
// Transcript: every port event of a run as one line of a file,
//   <ms> <COMn> <dir> <text>
// ms since the transcript started (monotonic), dir '>' sent, '<' a received line, '!' an event
// (open, close, time-out, escape pause); text escaped by EscapeTranscriptText (visible_text.h).
//
// Threads: Open, Close, Sent, Event and Drain on the UI thread, which alone writes the file.
// Received may be called from the reader thread: it only queues the line under a short lock
// (never held across a write), and the UI thread writes the queue at its next Drain, Sent or
// Event, so lines reach the file in the order they happened. While closed every call does nothing.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/transcript_file.h"
#include "serial/visible_text.h"

namespace serial {

// One line of the file, ending with a newline.
[[nodiscard]] std::string TranscriptLine(int64_t ms, std::string_view comName, char direction,
                                         std::string_view text);

class Transcript {
 public:
  // Lines queued by the reader beyond this many, before the UI thread drains them, are counted
  // and reported in one event line instead of being kept.
  static constexpr size_t kMaxQueued = 4096;

  // Opens path (see platform::TranscriptFile); startMs is the platform::NowMs() its times count
  // from. false with the reason in *error when it cannot be opened.
  [[nodiscard]] bool Open(const char* path, int64_t startMs, std::string* error);
  [[nodiscard]] bool IsOpen() const { return open_.load(); }
  // Writes what is queued and closes.
  void Close();

  void Sent(std::string_view comName, std::string_view text);
  void Event(std::string_view comName, std::string_view text);
  // cut: bytes before line were dropped (it was longer than the line limit); an event line just
  // before it says so, since the line alone would look whole.
  void Received(std::string_view comName, std::string_view line, bool cut = false);
  void Drain();

  // The first write failure, empty while none; after one, nothing more is written. The failure
  // is said once on standard error, with the file and the reason, when it happens. UI thread.
  [[nodiscard]] const std::string& WriteError() const { return writeError_; }
  // The file of the last Open that succeeded; empty when none did. UI thread.
  [[nodiscard]] const std::string& Path() const { return path_; }

 private:
  struct Entry {
    int64_t ms;
    std::string comName;
    char direction;
    std::string text;
  };
  void Append(std::string_view comName, char direction, std::string_view text);
  // Writes what the reader queued; returns the time at which the queue was taken.
  int64_t WriteQueued();
  void WriteLine(const std::string& line);

  platform::TranscriptFile file_;
  std::atomic<bool> open_{false};
  int64_t startMs_ = 0;
  std::string path_;
  std::string writeError_;

  std::mutex queueMutex_;  // guards queue_ and dropped_
  std::vector<Entry> queue_;
  size_t dropped_ = 0;
};

}  // namespace serial
