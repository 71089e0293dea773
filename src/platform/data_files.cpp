#include "platform/data_files.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>
#include <utility>

#include "platform/environment.h"

namespace platform {
namespace {

// The XDG rules ignore relative entries: they would change meaning with the working directory.
bool IsAbsolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

std::string ConfigHome() {
  std::string config = EnvironmentValue("XDG_CONFIG_HOME");
  if (IsAbsolute(config)) return config;
  const std::string home = HomeDirectory();
  return home.empty() ? std::string() : home + "/.config";
}

std::vector<std::string> DataDirectories() {
  std::string list = EnvironmentValue("XDG_DATA_DIRS");
  if (list.empty()) list = "/usr/local/share:/usr/share";
  std::vector<std::string> directories;
  std::string_view rest(list);
  while (!rest.empty()) {
    const size_t colon = rest.find(':');
    const std::string entry(rest.substr(0, colon));
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    if (IsAbsolute(entry)) directories.push_back(entry);
  }
  return directories;
}

std::string Join(std::string directory, const char* fileName) {
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  return directory + "/" + kDataDirectoryName + "/" + fileName;
}

std::string WorkingDirectory() {
  std::string buffer(4096, '\0');
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) return {};
  buffer.resize(std::char_traits<char>::length(buffer.c_str()));
  return buffer;
}

}  // namespace

std::string HomeDirectory() {
  std::string home = EnvironmentValue("HOME");
  if (IsAbsolute(home)) return home;
  // A launcher or a service may start the tool without HOME; the password database still knows.
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return {};
}

std::string ConfigFilePath(const char* fileName) {
  const std::string config = ConfigHome();
  return config.empty() ? config : Join(config, fileName);
}

std::vector<std::string> DataFileCandidates(const char* fileName) {
  std::vector<std::string> candidates{fileName};
  if (std::string config = ConfigFilePath(fileName); !config.empty()) {
    candidates.push_back(std::move(config));
  }
  for (const std::string& directory : DataDirectories()) {
    const std::string path = Join(directory, fileName);
    bool seen = false;
    for (const std::string& earlier : candidates) seen = seen || earlier == path;
    if (!seen) candidates.push_back(path);
  }
  return candidates;
}

bool DataFileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string AbsoluteDataFilePath(const std::string& path) {
  if (IsAbsolute(path)) return path;
  const std::string cwd = WorkingDirectory();
  if (cwd.empty()) return path;
  return (cwd == "/" ? "/" : cwd + "/") + path;
}

}  // namespace platform
