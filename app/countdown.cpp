#include "app/countdown.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace nubrik {

namespace {

constexpr std::chrono::milliseconds redrawLag{50};
constexpr double redrawLagSeconds = 0.05;

std::string formatted(const char* format, std::int64_t a, std::int64_t b) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, static_cast<long long>(a),
                static_cast<long long>(b));
  return buffer;
}

std::string formatted(const char* format, std::int64_t a, std::int64_t b, std::int64_t c) {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, format, static_cast<long long>(a), static_cast<long long>(b),
                static_cast<long long>(c));
  return buffer;
}

Date redrawAt(Date expiration, std::int64_t secondsBefore) {
  return expiration - std::chrono::seconds(secondsBefore) + redrawLag;
}

// The seconds before the expiration of the first redraw after the start; negative when there is
// none.
std::int64_t firstStep(Date expiration, Date start) {
  return static_cast<std::int64_t>(
             std::ceil(secondsBetween(start, expiration) - redrawLagSeconds)) -
         1;
}

}  // namespace

std::string countdownString(const GuiStatus& status, Date at) {
  const std::optional<Date> expiration = status.expirationDate();
  if (!expiration) return "--";
  const std::int64_t r = displayedRemainingSeconds(*expiration, at);
  if (r < 3600) return formatted("%lld:%02lld", r / 60, r % 60);
  return formatted("%lld:%02lld:%02lld", r / 3600, (r % 3600) / 60, r % 60);
}

std::string remainingString(const GuiStatus& status, Date at) {
  const std::optional<Date> expiration = status.expirationDate();
  if (!expiration) return "";
  const std::int64_t r = displayedRemainingSeconds(*expiration, at);
  if (r < 3600) return formatted("%lldm %02llds remaining", r / 60, r % 60);
  return formatted("%lldh %02lldm remaining", r / 3600, (r % 3600) / 60);
}

std::vector<Date> CountdownSchedule::entries(Date start) const {
  std::vector<Date> result{start};
  for (std::int64_t k = firstStep(expiration, start); k >= 0; --k) {
    result.push_back(redrawAt(expiration, k));
  }
  return result;
}

std::optional<Date> CountdownSchedule::entryAfter(Date start, Date date) const {
  if (date < start) return start;
  const std::int64_t first = firstStep(expiration, start);
  // The redraw with the most seconds left that still lies after `date`, found from an estimate
  // and corrected for rounding at whole seconds.
  const double estimate = std::ceil(secondsBetween(date, expiration) + redrawLagSeconds) - 1;
  std::int64_t k =
      std::min<std::int64_t>(first, static_cast<std::int64_t>(std::max(estimate, -1.0)));
  while (k < first && redrawAt(expiration, k + 1) > date) ++k;
  while (k >= 0 && redrawAt(expiration, k) <= date) --k;
  if (k < 0) return std::nullopt;
  return redrawAt(expiration, k);
}

}  // namespace nubrik
