#pragma once
// What the speaker and line tests need from whoever talks to the user: the voice prompt and the
// line test dialog, a terminal, or a test's recording fake. The sequences themselves
// (speaker_test.h, line_test.h) know nothing of widgets.

namespace diagnostics {

enum class PromptAnswer { kYes, kNo, kNone };  // kNone: closed without an answer

class BuzzCounter;

// Asks whether the buzz of the speaker test was heard.
class SpeakerPrompt {
 public:
  virtual ~SpeakerPrompt() = default;
  // Asks, and calls counter.OnSecond() once a second, showing what it returns, until the user
  // answers or counter.Finished(). Returns the answer. UI thread; may pump messages.
  virtual PromptAnswer AskWhileBuzzing(BuzzCounter& counter) = 0;
};

// Shows the line test's progress and asks whether a line is connected.
class LineTestView {
 public:
  virtual ~LineTestView() = default;
  // The status and the progress may go unshown; the question needs its answer.
  virtual void SetStatus(const char* /*text*/) {}
  // The bar at position (0-100) and, unless percent is null, the percentage text.
  virtual void SetProgress(int /*position*/, const char* /*percent*/) {}
  // A Yes/No question with its caption; kNone counts as No.
  virtual PromptAnswer AskLineConnected(const char* question, const char* caption) = 0;
};

}  // namespace diagnostics
