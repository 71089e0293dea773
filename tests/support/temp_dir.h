#pragma once
// A fresh directory under /tmp for one test, removed with everything in it when the object ends.
// Path() is empty when it could not be made; check Valid() first.

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace testsupport {

class TempDir {
 public:
  // The directory is /tmp/kalvex-<name>-XXXXXX.
  explicit TempDir(const std::string& name = "test") {
    std::string pattern = "/tmp/kalvex-" + name + "-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  [[nodiscard]] bool Valid() const { return !path_.empty(); }
  [[nodiscard]] const std::string& Path() const { return path_; }
  // The path of name inside the directory.
  [[nodiscard]] std::string In(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace testsupport
