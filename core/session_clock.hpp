#pragma once

#include <optional>
#include <string>

#include "core/date.hpp"
#include "core/session.hpp"

namespace nubrik {

// No session holds the computer offline longer than this after its start, whatever its record
// says.
inline constexpr double nubrikMaximumSessionSeconds = 86400.0;

// A reading of the boot clock: which boot this is, and the seconds since it began, suspend
// included (CLOCK_BOOTTIME). Unlike the wall clock, nobody can set it.
struct BootInstant {
  std::string bootID;
  double seconds = 0;
  bool operator==(const BootInstant&) const = default;
};

// The kernel's boot ID and boot clock; none when either cannot be read.
std::optional<BootInstant> readBootClock();

// Whether the session's start was measured on this boot's clock.
bool anchoredIn(const OfflineSession& session, const BootInstant& boot);

// The moment a session is judged at. In the boot it is anchored in, its start plus the time
// elapsed on the boot clock, so that setting the wall clock neither ends it early nor keeps it
// going; otherwise (another boot, no boot clock, an older record) the wall clock.
Date sessionNow(const OfflineSession& session, Date wallNow,
                const std::optional<BootInstant>& boot);

// The session anchored in this boot. What the wall clock says has elapsed since the start is
// carried over, never less than nothing nor more than the session's whole duration, so a clock
// set back across a restart cannot stretch the session beyond its duration from here.
OfflineSession anchoredToBoot(const OfflineSession& session, Date wallNow, const BootInstant& boot);

// Holds the expiration (and the one an early unlock would restore) to at most the maximum after
// the start. Returns whether anything changed.
bool boundSessionLength(OfflineSession& session);

}  // namespace nubrik
