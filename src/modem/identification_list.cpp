#include "modem/identification_list.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "modem/main_view.h"
#include "platform/data_files.h"
#include "platform/message_box.h"
#include "platform/regular_file.h"

namespace modem {
namespace {

constexpr int kCtrlZ = 0x1A;
constexpr char kIdentificationFileName[] = "ati3.dat";

// The file as a Windows text-mode read delivers it: CR LF arrives as LF, a lone CR stays, and a
// Ctrl-Z is the end of the file. The list was written on Windows and is read that way there,
// so a CR LF copy must give the same entries as an LF one.
class TextModeReader {
 public:
  explicit TextModeReader(std::FILE* file) : file_(file) {}

  // The next character, or EOF at the end, at a Ctrl-Z or after a read error.
  int Get() {
    if (ended_) return EOF;
    int c = Raw();
    if (c == '\r') {
      int next = Raw();
      if (next == '\n') return '\n';
      pushedBack_ = next;
    } else if (c == kCtrlZ) {
      ended_ = true;
      return EOF;
    }
    if (c == EOF) ended_ = true;
    return c;
  }

  // Reads like fgets into a buffer of size bytes: at most size - 1 characters, stopping after a
  // newline. NUL bytes are stored like any other byte. False when nothing was left to read.
  bool ReadLine(char* out, int size) {
    int length = 0;
    while (length < size - 1) {
      int c = Get();
      if (c == EOF) break;
      out[length++] = static_cast<char>(c);
      if (c == '\n') break;
    }
    out[length] = '\0';
    return length > 0;
  }

  [[nodiscard]] bool Failed() const { return std::ferror(file_) != 0; }

 private:
  int Raw() {
    if (pushedBack_ != kNone) {
      int c = pushedBack_;
      pushedBack_ = kNone;
      return c;
    }
    return std::fgetc(file_);
  }

  static constexpr int kNone = -2;
  std::FILE* file_;
  int pushedBack_ = kNone;
  bool ended_ = false;
};

// Every read is one entry, cut at its first newline; a read that is only a newline stays "\n".
// Lines never contain a newline, so such an entry never matches. A read whose text is empty (it
// began with a NUL byte) would match every line, the echoed "atI3" included, and accept any modem;
// it is stored as "\n" too, a blank line.
void CutEntry(char* entry) {
  if (entry[0] == '\0') {
    std::strcpy(entry, "\n");
    return;
  }
  if (entry[0] == '\n') return;
  if (char* newline = std::strchr(entry, '\n')) *newline = '\0';
}

}  // namespace

bool ReadIdentificationFile(const char* path, IdentificationList& list) {
  list = IdentificationList{};
  // Only a regular file (or a link to one): a FIFO in its place would block start-up for good.
  platform::UniqueFile file = platform::OpenRegularFileStream(path);
  if (!file) return false;
  TextModeReader reader(file.get());
  int count = 0;
  while (count < kMaxIdentificationLines &&
         reader.ReadLine(list.lines[count], kIdentificationLineSize)) {
    CutEntry(list.lines[count]);
    ++count;
  }
  // A file that fails part way is as unusable as a missing one, and half a list could accept
  // the wrong port.
  bool failed = reader.Failed();
  file.reset();
  if (failed) {
    list = IdentificationList{};
    return false;
  }
  list.count = count;
  return true;
}

bool FindIdentificationList(IdentificationList& list, std::string* details) {
  // The first place that has the file decides: a copy a user put in front of the installed one
  // replaces it, and an unreadable copy is reported rather than silently passed over.
  std::string found;
  for (const std::string& path : platform::DataFileCandidates(kIdentificationFileName)) {
    if (platform::DataFileExists(path)) {
      found = path;
      break;
    }
  }
  if (!found.empty() && ReadIdentificationFile(found.c_str(), list)) return true;
  *details = "Looked for ati3.dat in these places, in this order:\n" +
             platform::DescribeDataFileCandidates(kIdentificationFileName);
  if (!found.empty()) *details += "\n\n" + found + " exists but could not be read.";
  return false;
}

void LoadIdentificationList(MainView& view) {
  std::string details;
  if (FindIdentificationList(view.identificationList, &details)) return;
  // Without the list no port can be recognised; the tool has nothing to do.
  view.ShowMessageBox("Ati3.dat missing !", nullptr, platform::kMbOk, details.c_str());
  std::exit(0);
}

}  // namespace modem
