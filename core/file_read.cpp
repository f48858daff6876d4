#include "core/file_read.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "core/unique_fd.hpp"

namespace nubrik {

namespace {

[[noreturn]] void throwErrno(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

}  // namespace

bool pathExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

std::string readWholeFile(const std::string& path, size_t limit) {
  // O_NONBLOCK only keeps the open itself from waiting on a FIFO; it is refused right after.
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (fd.get() < 0) throwErrno(errno, "open " + path);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) throwErrno(errno, "stat " + path);
  if (!S_ISREG(info.st_mode)) throwErrno(EINVAL, "not a regular file: " + path);

  if (info.st_size > 0 && static_cast<std::uintmax_t>(info.st_size) > limit) {
    throwErrno(EFBIG, "read " + path);
  }

  std::string content;
  if (info.st_size > 0) content.reserve(static_cast<size_t>(info.st_size));
  char chunk[16384];
  for (;;) {
    const ssize_t count = ::read(fd.get(), chunk, sizeof chunk);
    if (count < 0) {
      if (errno == EINTR) continue;
      throwErrno(errno, "read " + path);
    }
    if (count == 0) break;
    // The file may grow while it is read; never hold more than the limit.
    if (static_cast<size_t>(count) > limit - content.size()) throwErrno(EFBIG, "read " + path);
    content.append(chunk, static_cast<size_t>(count));
  }
  return content;
}

bool isTransientReadError(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EAGAIN:
    case EINTR:
    case ENOMEM:
    case EMFILE:
    case ENFILE:
    case EBUSY:
      return true;
    default:
      return false;
  }
}

}  // namespace nubrik
