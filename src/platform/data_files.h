#pragma once
// Where the tool looks for its own data files (ati3.dat, ports.conf), in the order a user can
// override them.

#include <string>
#include <vector>

#include "resources/product.h"

namespace platform {

// The directory name under the configuration and data directories.
inline constexpr auto& kDataDirectoryName = product::kProgramName;

// $HOME, or the password database's home directory when HOME is unset or relative; empty when
// neither knows one. Any thread.
[[nodiscard]] std::string HomeDirectory();

// fileName in the user's configuration directory: $XDG_CONFIG_HOME/kalvex-modem-diag/fileName,
// with ~/.config (HomeDirectory) when XDG_CONFIG_HOME is unset or relative; empty when no home
// is known. Reads the environment at each call. Any thread.
[[nodiscard]] std::string ConfigFilePath(const char* fileName);

// The places searched for fileName, in order: the working directory ("fileName" itself, a
// relative path), $XDG_CONFIG_HOME/kalvex-modem-diag/ (default ~/.config), then each absolute
// directory of $XDG_DATA_DIRS (default /usr/local/share:/usr/share) + /kalvex-modem-diag/.
// Reads the environment at each call; never empty. Any thread.
[[nodiscard]] std::vector<std::string> DataFileCandidates(const char* fileName);

// True when path names a regular file, through links: a directory or a FIFO is no list (opening
// a FIFO would wait for a writer). An unreadable file counts, so the search stops at it and its
// reading fails visibly instead of a copy behind it being used unnoticed. Any thread.
[[nodiscard]] bool DataFileExists(const std::string& path);

// A candidate as a user can find it again: a relative one (the working directory's) with the
// working directory in front (left relative when the working directory cannot be read); an
// absolute one as it is. Any thread.
[[nodiscard]] std::string AbsoluteDataFilePath(const std::string& path);

}  // namespace platform
