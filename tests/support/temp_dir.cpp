#include "tests/support/temp_dir.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

namespace nubrik::test {

namespace {

[[noreturn]] void throwErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

TempDir::TempDir() {
  std::string pattern = "/tmp/nubrik-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) throwErrno("mkdtemp " + pattern);
  path_ = buffer.data();
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(std::string_view name) const {
  std::string result = path_;
  result += '/';
  result += name;
  return result;
}

void TempDir::write(std::string_view name, std::string_view bytes) const {
  const std::string target = file(name);
  const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) throwErrno("open " + target);
  const ssize_t written = ::write(fd, bytes.data(), bytes.size());
  const int saved = written < 0 ? errno : EIO;
  if (::close(fd) != 0) throwErrno("close " + target);
  errno = saved;
  if (written != static_cast<ssize_t>(bytes.size())) throwErrno("write " + target);
}

std::string TempDir::read(std::string_view name) const {
  const std::string target = file(name);
  const int fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throwErrno("open " + target);
  std::string result;
  char chunk[8192];
  ssize_t n = 0;
  while ((n = ::read(fd, chunk, sizeof chunk)) > 0) result.append(chunk, static_cast<size_t>(n));
  const int saved = errno;
  ::close(fd);
  errno = saved;
  if (n < 0) throwErrno("read " + target);
  return result;
}

}  // namespace nubrik::test
