#include "helper/transaction/posix_file.hpp"

#include <fcntl.h>
#include <stdio.h>
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

int writeAll(int fd, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    done += static_cast<std::size_t>(written);
  }
  return 0;
}

void replacePrivateFile(int fd, const std::string& temporaryPath, std::string_view bytes,
                        const std::string& path) {
  bool renamed = false;
  const auto fail = [&](int error, const std::string& context) {
    ::close(fd);
    if (!renamed) (void)::unlink(temporaryPath.c_str());
    throw systemError(error, context);
  };

  if (::fchmod(fd, 0600) != 0) fail(errno, "chmod " + temporaryPath);
  if (const int error = writeAll(fd, bytes); error != 0) fail(error, "write " + temporaryPath);
  if (::fsync(fd) != 0) fail(errno, "fsync " + temporaryPath);
  if (::rename(temporaryPath.c_str(), path.c_str()) != 0) {
    fail(errno, "rename " + temporaryPath + " to " + path);
  }
  renamed = true;
  // The descriptor still names the file now at `path`; protecting it through the descriptor
  // cannot be redirected by whatever else appears at the path.
  if (::fchmod(fd, 0600) != 0) fail(errno, "chmod " + path);
  ::close(fd);

  // Make the rename itself durable: these files are authoritative records. Best effort; the
  // content is already safely on disk.
  const std::string directory = parentDirectory(path);
  const int directoryFd =
      ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directoryFd >= 0) {
    (void)::fsync(directoryFd);
    ::close(directoryFd);
  }
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

std::system_error systemError(int error, const std::string& context) {
  return std::system_error(error, std::generic_category(), context);
}

}  // namespace nubrik
