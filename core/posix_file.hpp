#pragma once

#include <sys/types.h>
#include <time.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "core/unique_fd.hpp"

namespace nubrik {

// POSIX file building blocks. Every descriptor they open carries O_CLOEXEC, so that no program
// started later (the network tools, the desktop) inherits one.

// A file as the file system identifies it at one moment: any replacement or change of the file
// gives a different stamp.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  timespec modified{};
  off_t size = 0;
  bool operator==(const FileStamp& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
  }
};
// The stamp of the file at the path, never following a symbolic link; none when there is none.
std::optional<FileStamp> stampOf(const std::string& path);

// The path without its last component ("" for a bare name, "/" for a file in the root).
std::string parentDirectory(const std::string& path);

// path + "/" + name.
std::string joinPath(const std::string& directory, std::string_view name);

// mkdir -p with mode 0755 (before the umask). Returns 0 or the errno of the failing step.
int makeDirectories(const std::string& path);

// A std::system_error in the generic category; what() is "<context>: <strerror>".
std::system_error systemError(int error, const std::string& context);

// Opens `name` relative to `directoryFd` (AT_FDCWD for a path) with O_NOFOLLOW | O_CLOEXEC added
// to `flags`: a symbolic link in the last component is refused (ELOOP), never followed. An
// invalid descriptor with errno set on failure.
UniqueFd openNoFollow(int directoryFd, const std::string& name, int flags, mode_t mode = 0);

// Opens a directory for reading; "" is the working directory. Links in the path are followed.
UniqueFd openDirectory(const std::string& path);

// Writes every byte, resuming after short writes and EINTR. Returns 0 or the errno.
int writeAll(int fd, std::string_view bytes);

// Flushes a directory, and so the renames and removals inside it, to stable storage. Returns 0 or
// the errno.
int syncDirectory(const std::string& path);

// A new file, open for writing, under a temporary name in the directory of the file it will
// replace; `name` is relative to that directory's descriptor (or a path for AT_FDCWD).
struct TemporaryFile {
  UniqueFd fd;
  std::string name;
};

// Creates "<path>.XXXXXX" (mkstemp's letters; mode 0600) beside `path`. Throws std::system_error
// "create temporary file for <path>".
TemporaryFile createTemporaryBeside(const std::string& path);

// Creates a new file (O_EXCL, never through a link) in `directoryFd` under the first name of
// `nextName` that is free, trying at most `attempts` names. An invalid descriptor with errno set
// when none could be created.
TemporaryFile createFreshFile(int directoryFd, const std::function<std::string()>& nextName,
                              int attempts, mode_t mode);

enum class ReplaceStep { mode, write, sync, rename, syncDirectory };
struct ReplaceFailure {
  ReplaceStep step;
  int error;
};

// Completes an atomic replacement: gives the temporary file `mode` before it holds a byte,
// writes `bytes`, flushes and closes it, renames it over `target` (relative to `directoryFd`, or a
// path for AT_FDCWD) and flushes the directory. Readers see the old content or the new, never a
// mixture. Any failure before the rename removes the temporary file. Returns the step that failed.
std::optional<ReplaceFailure> replaceWith(TemporaryFile temporary, int directoryFd,
                                          const std::string& target, std::string_view bytes,
                                          mode_t mode);

// replaceWith for a path, throwing std::system_error "chmod <temporary>", "write <temporary>",
// "fsync <temporary>" or "rename <temporary> to <path>". Flushing the directory is best effort:
// the content is safely in place by then.
void replaceFromTemporary(TemporaryFile temporary, const std::string& path, std::string_view bytes,
                          mode_t mode);

// Replaces the file at `path` whole through a temporary file created beside it.
void replaceFileAtomically(std::string_view bytes, const std::string& path, mode_t mode);

// Moves a file to a name that must not exist yet, so that earlier evidence is never overwritten.
// Returns 0 or the errno (EEXIST when the name is taken).
int moveWithoutReplacing(const std::string& from, const std::string& to);

// Moves `from` into `directory` under the first free name of "<base>", "<base>-1", "<base>-2",
// ..., so that evidence kept earlier is never overwritten. Returns the new path; throws
// std::system_error when the move fails for another reason or no name is free.
std::string moveAside(const std::string& from, const std::string& directory,
                      const std::string& base);

}  // namespace nubrik
