#include "modem/identification_list.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "modem/main_view.h"
#include "platform/data_files.h"
#include "platform/outside_file.h"
#include "serial/visible_text.h"

namespace modem {
namespace {

constexpr int kCtrlZ = 0x1A;
constexpr char kIdentificationFileName[] = "ati3.dat";

// The list file's own format: a line ends with CR LF or with LF alone, and CR LF reads as one
// newline (a CR on its own is text); a Ctrl-Z ends the file, and nothing after it is part of the
// list. So a copy with CR LF line ends gives the same entries as one with LF.
class ListFileReader {
 public:
  explicit ListFileReader(std::string_view bytes) : bytes_(bytes) {}

  // The next character, or EOF at the end or at a Ctrl-Z.
  int Get() {
    if (ended_) return EOF;
    const int c = Raw();
    if (c == '\r' && Peek(0) == '\n') {
      ++next_;
      return '\n';
    }
    if (c == kCtrlZ || c == EOF) {
      ended_ = true;
      return EOF;
    }
    return c;
  }

  // Reads like fgets into a buffer of size bytes: at most size - 1 characters, stopping after a
  // newline. NUL bytes are stored like any other byte. False when nothing was left to read;
  // *cut says the read stopped inside a line that goes on.
  bool ReadLine(char* out, int size, bool* cut) {
    int length = 0;
    bool newline = false;
    while (length < size - 1) {
      int c = Get();
      if (c == EOF) break;
      out[length++] = static_cast<char>(c);
      newline = c == '\n';
      if (newline) break;
    }
    out[length] = '\0';
    // A line of exactly 79 characters ends here too: only text that goes on is cut.
    *cut = length == size - 1 && !newline && !AtLineEnd();
    return length > 0;
  }

 private:
  int Raw() { return next_ < bytes_.size() ? static_cast<unsigned char>(bytes_[next_++]) : EOF; }
  int Peek(size_t ahead) const {
    const size_t at = next_ + ahead;
    return at < bytes_.size() ? static_cast<unsigned char>(bytes_[at]) : EOF;
  }
  // The next character Get gives is a newline or the end.
  bool AtLineEnd() const {
    const int c = Peek(0);
    return ended_ || c == EOF || c == kCtrlZ || c == '\n' || (c == '\r' && Peek(1) == '\n');
  }

  std::string_view bytes_;
  size_t next_ = 0;
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

// Cuts the file's text into entries, counting what does not fit.
void ReadEntries(std::string_view bytes, IdentificationList& list) {
  ListFileReader reader(bytes);
  int count = 0;
  bool cut = false;
  bool continuing = false;  // the entry before was cut inside its line
  while (count < kMaxIdentificationLines &&
         reader.ReadLine(list.lines[count], kIdentificationLineSize, &cut)) {
    CutEntry(list.lines[count]);
    ++count;
    if (cut && !continuing) ++list.linesSplit;
    continuing = cut;
  }
  char rest[kIdentificationLineSize];
  while (count == kMaxIdentificationLines && reader.ReadLine(rest, sizeof rest, &cut))
    ++list.entriesIgnored;
  list.count = count;
}

// Reads the list found by the search, opened once, so that what is checked is what is read.
bool ReadTrustedList(const std::string& path, IdentificationList& list, std::string* reason) {
  list = IdentificationList{};
  platform::OpenedFile opened =
      platform::OpenOutsideFile(path, platform::RegularFileToRead(kMaxIdentificationFileBytes));
  if (!opened.Opened()) {
    *reason = opened.reason;
    return false;
  }
  // The list decides which port is talked to as the modem, so a copy that someone else could have
  // written is not used.
  if (std::string untrusted = platform::UntrustedFileReason(opened.facts); !untrusted.empty()) {
    *reason = "refused: " + untrusted;
    return false;
  }
  std::string bytes;
  if (!platform::ReadAll(opened.fd, kMaxIdentificationFileBytes, &bytes, reason)) return false;
  ReadEntries(bytes, list);
  list.path = platform::AbsoluteDataFilePath(path);
  return true;
}

}  // namespace

bool ReadIdentificationFile(const char* path, IdentificationList& list, std::string* reason) {
  list = IdentificationList{};
  // Only a regular file: a FIFO in its place would block start-up for good. A file that fails
  // part way is as unusable as a missing one, and half a list could accept the wrong port.
  std::string bytes;
  platform::OpenedFile opened;
  if (!platform::ReadOutsideFile(path, kMaxIdentificationFileBytes, &bytes, &opened)) {
    if (reason) *reason = opened.reason;
    return false;
  }
  ReadEntries(bytes, list);
  list.path = path;
  return true;
}

std::string IdentificationListCutNote(const IdentificationList& list) {
  std::string parts;
  if (list.entriesIgnored > 0) {
    parts += std::to_string(list.entriesIgnored) +
             (list.entriesIgnored == 1 ? " entry" : " entries") + " past the " +
             std::to_string(kMaxIdentificationLines) + "th ignored";
  }
  if (list.linesSplit > 0) {
    parts += std::string(parts.empty() ? "" : "; ") + std::to_string(list.linesSplit) +
             (list.linesSplit == 1 ? " line" : " lines") + " longer than " +
             std::to_string(kIdentificationLineSize - 1) +
             " characters continued as further entries";
  }
  return parts.empty() ? parts : list.path + ": " + parts;
}

std::string DescribeIdentificationList(const IdentificationList& list) {
  const std::string path = list.path.empty() ? std::string("(not read from a file)") : list.path;
  return "Identification list: " + path + " (" + std::to_string(list.count) +
         (list.count == 1 ? " entry)" : " entries)");
}

std::string DescribeDataFileCandidates(const char* fileName) {
  std::string text;
  for (const std::string& path : platform::DataFileCandidates(fileName)) {
    if (!text.empty()) text += '\n';
    if (path != fileName) {
      text += serial::VisibleText(path);
      continue;
    }
    // The working directory's entry is relative; it stays so when that directory is unknown.
    const std::string absolute = platform::AbsoluteDataFilePath(path);
    text += absolute == path ? serial::VisibleText(path) + " (in the working directory)"
                             : serial::VisibleText(absolute) + " (the working directory)";
  }
  return text;
}

bool FindIdentificationList(IdentificationList& list, std::string* details) {
  // The first place that has the file decides: a copy a user put in front of the installed one
  // replaces it, and an unusable copy is reported rather than silently passed over.
  std::string found;
  for (const std::string& path : platform::DataFileCandidates(kIdentificationFileName)) {
    if (platform::DataFileExists(path)) {
      found = path;
      break;
    }
  }
  std::string reason;
  if (!found.empty() && ReadTrustedList(found, list, &reason)) return true;
  *details = "Looked for ati3.dat in these places, in this order:\n" +
             DescribeDataFileCandidates(kIdentificationFileName);
  if (!found.empty()) {
    *details += "\n\n" + serial::VisibleText(platform::AbsoluteDataFilePath(found)) +
                " exists but could not be read" + (reason.empty() ? "" : ": " + reason) + ".";
  }
  return false;
}

void LoadIdentificationList(MainView& view) {
  std::string details;
  if (FindIdentificationList(view.identificationList, &details)) return;
  // Without the list no port can be recognised; the tool has nothing to do.
  view.ShowListMissing(details.c_str());
  std::exit(0);
}

}  // namespace modem
