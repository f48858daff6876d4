#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace nubrik {

// Which file an executable is: a package upgrade puts a new file (a new inode) at the installed
// path, while the running process keeps the one it was started from.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;

  bool operator==(const FileIdentity&) const = default;
};

// The file this process runs and the path it was started from, read from /proc/self/exe (also
// when that path holds another file by now); none when that cannot be read.
struct RunningExecutable {
  std::string path;
  FileIdentity identity;
};
std::optional<RunningExecutable> runningExecutable();

// The regular file at the absolute path, without following a link in its last component; none
// when there is no such file (removed, or in the middle of being replaced).
std::optional<FileIdentity> regularFileIdentity(const std::string& path);

}  // namespace nubrik
