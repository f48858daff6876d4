#include "core/date.hpp"

#include <time.h>

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace nubrik {

namespace {

using std::chrono::nanoseconds;

constexpr std::int64_t nanosPerSecond = 1'000'000'000;
constexpr std::int64_t nanosPerMicro = 1'000;
constexpr std::int64_t referenceOffsetMicros = 978'307'200'000'000;

// A Date counts nanoseconds in 64 bits, about 292 years either side of 1970. Stored dates come
// from files and peers we do not trust, so every conversion from a double saturates at the ends
// of that range instead of overflowing; inside it the bound below keeps the integer conversion
// exact. Instants beyond about 2255 (or before 1685) therefore read as the last (first)
// representable instant, which is later (earlier) than any session can run.
constexpr double microsLimit = 9.0e15;

// Whole seconds (floored) and the nanoseconds past them; both parts fit comfortably, so
// differences of any two dates can be formed without overflow.
struct SplitInstant {
  std::int64_t seconds;
  std::int64_t nanos;  // 0 ... 999'999'999
};

SplitInstant split(Date date) {
  const std::int64_t count =
      std::chrono::duration_cast<nanoseconds>(date.time_since_epoch()).count();
  std::int64_t seconds = count / nanosPerSecond;
  std::int64_t nanos = count % nanosPerSecond;
  if (nanos < 0) {
    nanos += nanosPerSecond;
    seconds -= 1;
  }
  return {seconds, nanos};
}

double toSeconds(std::int64_t seconds, std::int64_t nanos) {
  return static_cast<double>(seconds) + static_cast<double>(nanos) / 1e9;
}

// Microseconds as a double (already rounded) to a Date, saturating. A double of seconds since
// 2001 resolves a present-day instant to about a tenth of a microsecond, so rounding to whole
// microseconds makes dates of that precision read back exactly as they were written.
Date fromMicros(double micros, std::int64_t offsetMicros) {
  if (std::isnan(micros)) return Date{};
  const double shifted = micros + static_cast<double>(offsetMicros);
  if (shifted >= microsLimit) return Date::max();
  if (shifted <= -microsLimit) return Date::min();
  const std::int64_t total = static_cast<std::int64_t>(micros) + offsetMicros;
  return Date{std::chrono::duration_cast<Date::duration>(nanoseconds(total * nanosPerMicro))};
}

std::string formatUTC(Date date, const char* format) {
  const time_t seconds = static_cast<time_t>(split(date).seconds);
  struct tm parts {};
  if (gmtime_r(&seconds, &parts) == nullptr) return {};
  char buffer[64];
  const int written =
      std::snprintf(buffer, sizeof buffer, format, parts.tm_year + 1900, parts.tm_mon + 1,
                    parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
  if (written < 0) return {};
  return std::string(buffer, static_cast<size_t>(written) < sizeof buffer
                                 ? static_cast<size_t>(written)
                                 : sizeof buffer - 1);
}

}  // namespace

double secondsSinceReferenceDate(Date date) {
  const SplitInstant parts = split(date);
  return toSeconds(parts.seconds - static_cast<std::int64_t>(referenceDateOffsetSeconds),
                   parts.nanos);
}

Date dateFromReferenceSeconds(double seconds) {
  return fromMicros(std::round(seconds * 1e6), referenceOffsetMicros);
}

double secondsSince1970(Date date) {
  const SplitInstant parts = split(date);
  return toSeconds(parts.seconds, parts.nanos);
}

Date dateFromUnixSeconds(double seconds) {
  return fromMicros(std::round(seconds * 1e6), 0);
}

Clock wallClock() {
  return [] { return std::chrono::system_clock::now(); };
}

Date addSeconds(Date date, double seconds) {
  if (std::isnan(seconds)) return date;
  const std::int64_t count =
      std::chrono::duration_cast<nanoseconds>(date.time_since_epoch()).count();
  // Beyond this the sum leaves the range anyway; below it the product fits in 64 bits.
  if (seconds >= 9.0e9) return Date::max();
  if (seconds <= -9.0e9) return Date::min();
  const auto delta = static_cast<std::int64_t>(std::llround(seconds * 1e9));
  std::int64_t sum = 0;
  if (__builtin_add_overflow(count, delta, &sum)) return delta > 0 ? Date::max() : Date::min();
  return Date{std::chrono::duration_cast<Date::duration>(nanoseconds(sum))};
}

double secondsBetween(Date a, Date b) {
  const SplitInstant from = split(a);
  const SplitInstant to = split(b);
  return toSeconds(to.seconds - from.seconds, 0) + static_cast<double>(to.nanos - from.nanos) / 1e9;
}

std::string iso8601UTC(Date date) {
  return formatUTC(date, "%04d-%02d-%02dT%02d:%02d:%02dZ");
}

std::string utcTimestampWithOffset(Date date) {
  return formatUTC(date, "%04d-%02d-%02d %02d:%02d:%02d +0000");
}

}  // namespace nubrik
