#include "core/session_clock.hpp"

#include <time.h>

#include <algorithm>
#include <cmath>

#include "core/file_read.hpp"

namespace nubrik {

namespace {

constexpr const char* bootIDPath = "/proc/sys/kernel/random/boot_id";

bool boundDate(Date& date, Date limit) {
  if (date <= limit) return false;
  date = limit;
  return true;
}

}  // namespace

std::optional<BootInstant> readBootClock() {
  struct timespec now {};
  if (::clock_gettime(CLOCK_BOOTTIME, &now) != 0) return std::nullopt;
  std::string id;
  try {
    id = readWholeFile(bootIDPath);
  } catch (...) {
    return std::nullopt;
  }
  while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
  if (id.empty() || id.size() > 64) return std::nullopt;
  return BootInstant{std::move(id),
                     static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9};
}

bool anchoredIn(const OfflineSession& session, const BootInstant& boot) {
  return session.bootID && session.bootTimeAtStart && *session.bootID == boot.bootID &&
         std::isfinite(*session.bootTimeAtStart) && *session.bootTimeAtStart <= boot.seconds;
}

Date sessionNow(const OfflineSession& session, Date wallNow,
                const std::optional<BootInstant>& boot) {
  if (!boot || !anchoredIn(session, *boot)) return wallNow;
  return addSeconds(session.startDate, boot->seconds - *session.bootTimeAtStart);
}

OfflineSession anchoredToBoot(const OfflineSession& session, Date wallNow,
                              const BootInstant& boot) {
  const double duration = std::max(0.0, secondsBetween(session.startDate, session.expirationDate));
  double elapsed = secondsBetween(session.startDate, wallNow);
  if (!(elapsed > 0)) elapsed = 0;
  elapsed = std::min(elapsed, duration);
  OfflineSession anchored = session;
  anchored.bootID = boot.bootID;
  anchored.bootTimeAtStart = boot.seconds - elapsed;
  return anchored;
}

bool boundSessionLength(OfflineSession& session) {
  const Date limit = addSeconds(session.startDate, nubrikMaximumSessionSeconds);
  bool changed = boundDate(session.expirationDate, limit);
  if (session.originalExpirationDate) {
    changed = boundDate(*session.originalExpirationDate, limit) || changed;
  }
  return changed;
}

}  // namespace nubrik
