#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace nubrik {

// Small POSIX building blocks shared by the state layer. Every descriptor they open carries
// O_CLOEXEC so that the network tools started by a transaction never inherit state files.

// The path without its last component ("" for a bare name, "/" for a file in the root).
std::string parentDirectory(const std::string& path);

// path + "/" + name.
std::string joinPath(const std::string& directory, std::string_view name);

// mkdir -p with mode 0755 (before the umask). Returns 0 or the errno of the failing step.
int makeDirectories(const std::string& path);

// Writes every byte, resuming after short writes and EINTR. Returns 0 or the errno.
int writeAll(int fd, std::string_view bytes);

// Completes the atomic replacement of a private (0600) file: `fd` is a freshly created temporary
// file at `temporaryPath` in the target's directory. Makes it private before it holds a byte,
// writes, flushes and renames it over `path`, then flushes the directory (best effort). Closes
// `fd` in every case and leaves no temporary file behind; throws std::system_error.
void replacePrivateFile(int fd, const std::string& temporaryPath, std::string_view bytes,
                        const std::string& path);

// Moves a file to a name that must not exist yet, so that earlier evidence is never overwritten.
// Returns 0 or the errno (EEXIST when the name is taken).
int moveWithoutReplacing(const std::string& from, const std::string& to);

// Moves `from` into `directory` under the first free name of "<base>", "<base>-1", "<base>-2",
// ..., so that evidence kept earlier is never overwritten. Returns the new path; throws
// std::system_error when the move fails for another reason or no name is free.
std::string moveAside(const std::string& from, const std::string& directory,
                      const std::string& base);

// A std::system_error in the generic category; what() is "<context>: <strerror>".
std::system_error systemError(int error, const std::string& context);

}  // namespace nubrik
