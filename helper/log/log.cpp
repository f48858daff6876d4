#include "helper/log/log.hpp"

#include <fcntl.h>
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

void appendLogLine(const std::string& file, std::string_view message) {
  try {
    const std::string line = formatLogLine(std::chrono::system_clock::now(), message);
    (void)makeDirectories(parentDirectory(file));

    const UniqueFd fd =
        openNoFollow(AT_FDCWD, file, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK, 0644);
    if (!fd.valid()) return;
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
