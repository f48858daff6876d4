#include "helper/log/log.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <optional>

#include "core/posix_file.hpp"

namespace nubrik {

namespace {

// One event is one line: a line break inside a message (an interface name, a peer's text) must
// not let it forge further lines.
void appendSingleLine(std::string& out, std::string_view message) {
  for (const char c : message) out += (c == '\n' || c == '\r') ? ' ' : c;
}

}  // namespace

std::string formatLogLine(Date when, std::string_view message) {
  std::string line = iso8601UTC(when);
  line += " nubrik-helper: ";
  appendSingleLine(line, message);
  line += '\n';
  return line;
}

namespace {

// Whether the descriptor is still the file at the path (another process may have rotated it).
bool isFileAt(int fd, const std::string& path) {
  struct stat open {};
  struct stat named {};
  return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

off_t sizeOf(int fd) {
  struct stat status {};
  return ::fstat(fd, &status) == 0 ? status.st_size : 0;
}

UniqueFd openLog(const std::string& file) {
  return openNoFollow(AT_FDCWD, file, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK, 0644);
}

// Anyone who can read the log can lock it, so the lock is only waited for briefly: past that the
// line is written all the same, and at worst a full file is moved aside a line late.
void lockBriefly(int fd) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 || (errno != EWOULDBLOCK && errno != EINTR)) return;
    ::usleep(1000);
  }
}

// The log file, open and locked, as it is at the path now: another process may have moved it
// aside between the open and the lock.
UniqueFd openLockedLog(const std::string& file) {
  UniqueFd fd = openLog(file);
  for (int attempt = 0; fd.valid() && attempt < 8; ++attempt) {
    lockBriefly(fd.get());
    if (isFileAt(fd.get(), file)) break;
    fd = openLog(file);
  }
  return fd;
}

}  // namespace

void appendLogLine(const std::string& file, std::string_view message, off_t limitBytes) {
  try {
    const std::string line = formatLogLine(std::chrono::system_clock::now(), message);
    (void)makeDirectories(parentDirectory(file));

    // Every line is written under the file's lock, so that the check of its size and the move
    // aside of a full file are one step for all processes that log (the daemon and the
    // administrator's commands), and neither file grows past the limit.
    UniqueFd fd = openLockedLog(file);
    if (!fd.valid()) return;
    const off_t size = sizeOf(fd.get());
    if (size > 0 && size + static_cast<off_t>(line.size()) > limitBytes &&
        // A rename never follows a link: a planted "<file>.1" link is replaced, not written
        // through.
        ::rename(file.c_str(), (file + ".1").c_str()) == 0) {
      UniqueFd fresh = openLockedLog(file);
      if (fresh.valid()) fd = std::move(fresh);
    }
    ssize_t written;
    do {
      written = ::write(fd.get(), line.data(), line.size());
    } while (written < 0 && errno == EINTR);
  } catch (...) {
    // Logging never fails visibly.
  }
}

namespace {
std::atomic<bool> diagnosticsOnStandardError{false};
}  // namespace

void sendDiagnosticsToStandardError() {
  diagnosticsOnStandardError.store(true);
}

void diagnose(std::string_view message) {
  if (!diagnosticsOnStandardError.load()) {
    (void)sd_journal_send("MESSAGE=%.*s", static_cast<int>(message.size()), message.data(),
                          "PRIORITY=%i", LOG_WARNING, "SYSLOG_IDENTIFIER=nubrik-helper", nullptr);
    return;
  }
  std::string line = "nubrik-helper: ";
  line.append(message);
  line += '\n';
  // One write, so that lines from concurrent processes do not interleave.
  (void)!::write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace nubrik
