#pragma once
// ThreadCheck: says a thread affinity in code. It remembers the thread that made it; Check, in a
// debug build, stops the program when called on another thread, and is compiled out otherwise
// (as Q_ASSERT is). An object that holds one may be used only on the thread that made it.

#include <QtGlobal>

#include <thread>

namespace serial {

class ThreadCheck {
 public:
  void Check() const {
    Q_ASSERT_X(owner_ == std::this_thread::get_id(), "ThreadCheck",
               "called on a thread other than the one that made the object");
  }

 private:
  std::thread::id owner_ = std::this_thread::get_id();
};

}  // namespace serial
