#include "core/posix_file.hpp"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace nubrik {

std::string parentDirectory(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string joinPath(const std::string& directory, std::string_view name) {
  std::string result = directory;
  if (!result.empty() && result.back() != '/') result += '/';
  result += name;
  return result;
}

int makeDirectories(const std::string& path) {
  if (path.empty()) return 0;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
  if (errno != ENOENT) return errno;
  const std::string parent = parentDirectory(path);
  if (!parent.empty() && parent != path) {
    if (const int error = makeDirectories(parent); error != 0) return error;
  }
  if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return 0;
  return errno;
}

std::system_error systemError(int error, const std::string& context) {
  return std::system_error(error, std::generic_category(), context);
}

UniqueFd openNoFollow(int directoryFd, const std::string& name, int flags, mode_t mode) {
  return UniqueFd(::openat(directoryFd, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode));
}

UniqueFd openDirectory(const std::string& path) {
  return UniqueFd(::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

int writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return 0;
}

int syncDirectory(const std::string& path) {
  const UniqueFd directory = openDirectory(path);
  if (!directory.valid()) return errno;
  return ::fsync(directory.get()) == 0 ? 0 : errno;
}

TemporaryFile createTemporaryBeside(const std::string& path) {
  std::string name = path + ".XXXXXX";
  UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
  if (!fd.valid()) throw systemError(errno, "create temporary file for " + path);
  return {std::move(fd), std::move(name)};
}

TemporaryFile createFreshFile(int directoryFd, const std::function<std::string()>& nextName,
                              int attempts, mode_t mode) {
  TemporaryFile file;
  for (int attempt = 0; attempt < attempts && !file.fd.valid(); ++attempt) {
    file.name = nextName();
    file.fd = openNoFollow(directoryFd, file.name, O_WRONLY | O_CREAT | O_EXCL, mode);
    if (!file.fd.valid() && errno != EEXIST) break;
  }
  return file;
}

std::optional<ReplaceFailure> replaceWith(TemporaryFile temporary, int directoryFd,
                                          const std::string& target, std::string_view bytes,
                                          mode_t mode) {
  const auto fail = [&](ReplaceStep step, int error) {
    temporary.fd.reset();
    (void)::unlinkat(directoryFd, temporary.name.c_str(), 0);
    return ReplaceFailure{step, error};
  };
  // The mode comes first: a private file is never readable by others, not even for a moment.
  if (::fchmod(temporary.fd.get(), mode) != 0) return fail(ReplaceStep::mode, errno);
  if (const int error = writeAll(temporary.fd.get(), bytes); error != 0) {
    return fail(ReplaceStep::write, error);
  }
  if (::fsync(temporary.fd.get()) != 0) return fail(ReplaceStep::sync, errno);
  temporary.fd.reset();
  if (::renameat(directoryFd, temporary.name.c_str(), directoryFd, target.c_str()) != 0) {
    return fail(ReplaceStep::rename, errno);
  }
  // Only a flushed directory keeps the rename itself across a power cut.
  const int error = directoryFd == AT_FDCWD ? syncDirectory(parentDirectory(target))
                                            : (::fsync(directoryFd) == 0 ? 0 : errno);
  if (error != 0) return ReplaceFailure{ReplaceStep::syncDirectory, error};
  return std::nullopt;
}

void replaceFromTemporary(TemporaryFile temporary, const std::string& path, std::string_view bytes,
                          mode_t mode) {
  const std::string name = temporary.name;
  const auto failure = replaceWith(std::move(temporary), AT_FDCWD, path, bytes, mode);
  if (!failure) return;
  switch (failure->step) {
    case ReplaceStep::mode:
      throw systemError(failure->error, "chmod " + name);
    case ReplaceStep::write:
      throw systemError(failure->error, "write " + name);
    case ReplaceStep::sync:
      throw systemError(failure->error, "fsync " + name);
    case ReplaceStep::rename:
      throw systemError(failure->error, "rename " + name + " to " + path);
    case ReplaceStep::syncDirectory:
      return;
  }
}

void replaceFileAtomically(std::string_view bytes, const std::string& path, mode_t mode) {
  replaceFromTemporary(createTemporaryBeside(path), path, bytes, mode);
}

int moveWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
  // File systems without RENAME_NOREPLACE: link() refuses an existing target just the same.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  if (::unlink(from.c_str()) != 0) {
    const int error = errno;
    ::unlink(to.c_str());
    return error;
  }
  return 0;
}

std::string moveAside(const std::string& from, const std::string& directory,
                      const std::string& base) {
  // Plenty for one second's worth of evidence; the bound only keeps a full directory finite.
  constexpr int lastSuffix = 10000;
  int error = EEXIST;
  std::string target;
  for (int suffix = 0; suffix <= lastSuffix && error == EEXIST; ++suffix) {
    target = joinPath(directory, suffix == 0 ? base : base + "-" + std::to_string(suffix));
    error = moveWithoutReplacing(from, target);
    if (error == 0) return target;
  }
  throw systemError(error, "move " + from + " to " + target);
}

std::optional<FileStamp> stampOf(const std::string& path) {
  struct stat status {};
  if (::fstatat(AT_FDCWD, path.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  return FileStamp{status.st_dev, status.st_ino, status.st_mtim, status.st_size};
}

}  // namespace nubrik
