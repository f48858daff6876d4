#include "helper/transaction/atomic_public_file.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "helper/transaction/posix_file.hpp"

namespace nubrik {

void AtomicPublicFile::write(std::string_view bytes, const std::string& path) {
  const std::string pattern = path + ".XXXXXX";
  std::vector<char> temporary(pattern.begin(), pattern.end());
  temporary.push_back('\0');

  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) throw systemError(errno, "create temporary file for " + path);

  const std::string temporaryPath = temporary.data();
  const auto fail = [&](int error, const std::string& context) {
    ::close(fd);
    ::unlink(temporaryPath.c_str());
    throw systemError(error, context);
  };

  if (const int error = writeAll(fd, bytes); error != 0) fail(error, "write " + temporaryPath);
  if (::fchmod(fd, 0644) != 0) fail(errno, "chmod " + temporaryPath);
  if (::fsync(fd) != 0) fail(errno, "fsync " + temporaryPath);
  if (::rename(temporaryPath.c_str(), path.c_str()) != 0) {
    fail(errno, "rename " + temporaryPath + " to " + path);
  }
  ::close(fd);
}

}  // namespace nubrik
