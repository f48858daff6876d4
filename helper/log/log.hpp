#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

#include "core/date.hpp"

namespace nubrik {

// Appends one line "<ISO 8601 UTC>Z nubrik-helper: <message>\n" to the helper's log file, or hands
// the message to the installed log handler. Never fails visibly; callable from any thread.
void log(std::string_view message);

// Diagnostics beyond the log's own events (why a file could not be written, what was kept
// where): one line to the journal. The daemon writes it on standard error, which systemd keeps
// in the journal (see sendDiagnosticsToStandardError); the command line sends it to the journal
// directly, so that its own output stays exactly what it promises. Never fails visibly.
void diagnose(std::string_view message);
void sendDiagnosticsToStandardError();

// The whole line that log() appends for a message at an instant (with its line feed).
std::string formatLogLine(Date when, std::string_view message);

// The log file's size beyond which it is moved aside as "<file>.1", replacing the one before: the
// log and its predecessor together never hold much more than twice this.
inline constexpr off_t logFileLimitBytes = 1 << 20;

// What log() does without a handler, for the log file at the path: appends the message's line,
// making the file (0644) and its directories on demand, never through a symbolic link, and
// starting a new file when the line would take it past the limit.
void appendLogLine(const std::string& file, std::string_view message,
                   off_t limitBytes = logFileLimitBytes);

// When set, log() passes every message here instead of writing the file.
using LogHandler = std::function<void(const std::string&)>;
void setLogHandler(LogHandler handler);

}  // namespace nubrik
