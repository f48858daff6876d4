#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace nubrik {

// An absolute instant with sub-second precision.
using Date = std::chrono::system_clock::time_point;

// Where a part of the system reads the time; production reads the wall clock, tests fix it.
using Clock = std::function<Date()>;
Clock wallClock();

// Seconds between 1970-01-01 and 2001-01-01, the reference of every date stored in JSON.
inline constexpr double referenceDateOffsetSeconds = 978307200.0;

// Seconds since 2001-01-01 00:00:00 UTC, the stored form of a date.
double secondsSinceReferenceDate(Date date);
Date dateFromReferenceSeconds(double seconds);

// Seconds since 1970-01-01 00:00:00 UTC.
double secondsSince1970(Date date);
Date dateFromUnixSeconds(double seconds);

Date addSeconds(Date date, double seconds);
// (b - a) in seconds, as a double.
double secondsBetween(Date a, Date b);

// "2026-12-05T16:51:31Z": UTC, whole seconds (truncated).
std::string iso8601UTC(Date date);
// "2026-12-05 16:51:31 +0000": UTC, whole seconds (truncated).
std::string utcTimestampWithOffset(Date date);

}  // namespace nubrik
