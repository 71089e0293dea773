#pragma once
// QtApp<App>: a Qt application object for a test, whose argv[0] is `name`. Qt keeps references
// to argc and argv for the application's lifetime, so they live beside it.

#include <string>

namespace testsupport {

template <class App>
class QtApp {
 public:
  explicit QtApp(const char* name) : name_(name) {}

 private:
  int argc_ = 1;
  std::string name_;
  char* argv_[2] = {name_.data(), nullptr};

 public:
  App app{argc_, argv_};
};

}  // namespace testsupport
