#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

#include "core/date.hpp"

namespace nubrik {

// Where the helper's events go: one message a call. The helper's own appends each message to its
// log file as one line "<ISO 8601 UTC>Z nubrik-helper: <message>\n" (appendLogLine).
using LogOperation = std::function<void(const std::string&)>;

// Diagnostics beyond the log's own events (why a file could not be written, what was kept
// where): one line to the journal. The daemon writes it on standard error, which systemd keeps
// in the journal (see sendDiagnosticsToStandardError); the command line sends it to the journal
// directly, so that its own output stays exactly what it promises. Never fails visibly.
void diagnose(std::string_view message);
void sendDiagnosticsToStandardError();

// The whole line that appendLogLine writes for a message at an instant (with its line feed).
std::string formatLogLine(Date when, std::string_view message);

// The log file's size beyond which it is moved aside as "<file>.1", replacing the one before: the
// log and its predecessor together never hold much more than twice this.
inline constexpr off_t logFileLimitBytes = 1 << 20;

// Appends the message's line to the log file at the path, making the file (0644) and its
// directories on demand, never through a symbolic link, and starting a new file when the line
// would take it past the limit. Never fails visibly; any thread.
void appendLogLine(const std::string& file, std::string_view message,
                   off_t limitBytes = logFileLimitBytes);

}  // namespace nubrik
