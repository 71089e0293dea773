#pragma once
// Small private files the tool keeps between runs (the ledger's journal): in
// $XDG_STATE_HOME/kalvex-modem-diag/ (default ~/.local/state/kalvex-modem-diag/), written so that
// a crash at any moment leaves either the old file or the new one, and read as input from outside:
// a file that is not a plain private file of ours is refused before it is read. Any thread.

#include <string>

namespace platform {

// The directory, from the environment at each call; empty when neither XDG_STATE_HOME nor a home
// directory is known.
[[nodiscard]] std::string StateDirectory();

// Writes bytes to path through a temporary file beside it (mode 0600, never through a symbolic
// link), flushed to the disk, then renamed over path; creates path's directory (mode 0700) when
// missing. false with the reason in *error, and path as it was.
[[nodiscard]] bool WriteFileAtomically(const std::string& path, const std::string& bytes,
                                       std::string* error);

enum class PrivateFileRead {
  kRead,     // *content holds the file
  kMissing,  // nothing at path
  kRefused,  // not a regular file, a symbolic link, too large, not ours or open to others
  kFailed,   // it could not be read
};

// Reads path when it is a regular file of at most maxBytes, owned by this user and readable or
// writable by nobody else. Never follows a symbolic link, never waits on a FIFO. The reason of
// anything but kRead is in *error.
[[nodiscard]] PrivateFileRead ReadPrivateFile(const std::string& path, long maxBytes,
                                              std::string* content, std::string* error);

// What makes path a private file of this user again when its owner or mode is why
// ReadPrivateFile refused it: the shell commands to run ("sudo chown 1000 'path' && chmod 600
// 'path'", or "chmod 600 'path'"). Empty when neither is the reason (missing, not a regular file).
[[nodiscard]] std::string PrivateFileMend(const std::string& path);

// Renames or removes a file (not through a symbolic link's target). false with the reason.
[[nodiscard]] bool RenameFile(const std::string& from, const std::string& to, std::string* error);
[[nodiscard]] bool RemoveFile(const std::string& path, std::string* error);

}  // namespace platform
