#include "core/helper_status.hpp"

#include <cmath>
#include <limits>

#include "core/json_fields.hpp"

namespace nubrik {

HelperStatus HelperStatus::idle() {
  return HelperStatus{};
}

HelperStatus HelperStatus::pending() {
  HelperStatus status;
  status.active = true;
  return status;
}

HelperStatus HelperStatus::derive(const std::optional<OfflineSession>& session, Date now) {
  if (!session || !session->active) return idle();
  HelperStatus status;
  status.active = true;
  status.expirationDate = session->expirationDate;
  // Dates are bounded, so the difference is always finite and far inside 64 bits; the clamp
  // only keeps the conversion defined should that ever change.
  const double remaining = std::trunc(secondsBetween(now, session->expirationDate));
  constexpr double int64Limit = 9223372036854775807.0;  // 2^63 as a double
  if (!(remaining > 0)) {
    status.remainingSeconds = 0;
  } else if (remaining >= int64Limit) {
    status.remainingSeconds = std::numeric_limits<std::int64_t>::max();
  } else {
    status.remainingSeconds = static_cast<std::int64_t>(remaining);
  }
  if (session->earlyUnlockPending()) status.earlyUnlockPending = true;
  return status;
}

std::string encodeStatus(const HelperStatus& status) {
  json::OrderedValue object = json::OrderedValue::object();
  object["active"] = status.active;
  if (status.expirationDate) object["expirationDate"] = json::dateValue(*status.expirationDate);
  if (status.remainingSeconds) object["remainingSeconds"] = *status.remainingSeconds;
  // Only a pending early unlock is worth a key; readers treat a missing key as not pending.
  if (status.earlyUnlockPending.value_or(false)) object["earlyUnlockPending"] = true;
  return json::dumpCompact(object);
}

HelperStatus decodeStatus(std::string_view bytes) {
  const json::Value object = json::parseObject(bytes);
  HelperStatus status;
  status.active = json::requiredBool(object, "active");
  status.expirationDate = json::optionalDate(object, "expirationDate");
  status.remainingSeconds = json::optionalInt64(object, "remainingSeconds");
  status.earlyUnlockPending = json::optionalBool(object, "earlyUnlockPending");
  return status;
}

}  // namespace nubrik
