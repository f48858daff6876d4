#include "helper/log/log.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <optional>

#include "core/paths.hpp"
#include "core/posix_file.hpp"

namespace nubrik {

namespace {

std::mutex settingsMutex;
LogHandler installedHandler;

LogHandler currentHandler() {
  std::lock_guard<std::mutex> guard(settingsMutex);
  return installedHandler;
}

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

void setLogHandler(LogHandler handler) {
  std::lock_guard<std::mutex> guard(settingsMutex);
  installedHandler = std::move(handler);
}

void log(std::string_view message) {
  // The handler runs outside the settings lock so that it may itself log or swap handlers.
  if (const LogHandler handler = currentHandler()) {
    try {
      handler(std::string(message));
    } catch (...) {
    }
    return;
  }
  appendLogLine(NubrikPaths::logFile, message);
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

// Moves a full log aside as "<file>.1" (replacing the one before) and opens a fresh one. The lock
// on the full file makes processes that find it full at the same moment rotate it once: each
// waits, then sees that the path names another file and only reopens.
UniqueFd rotated(UniqueFd full, const std::string& file, off_t limitBytes, std::size_t adding) {
  int locked;
  do {
    locked = ::flock(full.get(), LOCK_EX);
  } while (locked < 0 && errno == EINTR);
  if (locked == 0 && isFileAt(full.get(), file) &&
      sizeOf(full.get()) + static_cast<off_t>(adding) > limitBytes) {
    // A rename never follows a link: a planted "<file>.1" link is replaced, not written through.
    if (::rename(file.c_str(), (file + ".1").c_str()) != 0) return full;
  }
  UniqueFd fresh = openLog(file);
  return fresh.valid() ? std::move(fresh) : std::move(full);
}

}  // namespace

void appendLogLine(const std::string& file, std::string_view message, off_t limitBytes) {
  try {
    const std::string line = formatLogLine(std::chrono::system_clock::now(), message);
    (void)makeDirectories(parentDirectory(file));

    UniqueFd fd = openLog(file);
    if (!fd.valid()) return;
    if (sizeOf(fd.get()) + static_cast<off_t>(line.size()) > limitBytes && sizeOf(fd.get()) > 0) {
      fd = rotated(std::move(fd), file, limitBytes, line.size());
    }
    // One write() per line: O_APPEND makes each one land whole at the end, so concurrent
    // callers may interleave lines but never the bytes within a line.
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
