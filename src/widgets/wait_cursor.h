#pragma once

namespace widgets {

// Shows the wait cursor for its lifetime when a GUI application runs; otherwise does nothing.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  bool shown_ = false;
};

}  // namespace widgets
