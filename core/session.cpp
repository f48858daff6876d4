#include "core/session.hpp"

#include <cmath>
#include <limits>

#include "core/json_fields.hpp"

namespace nubrik {

namespace {

// A clock set back by more than this after the start is taken as wound back.
constexpr auto clockWindBackTolerance = std::chrono::seconds(300);

std::string indexed(const char* key, size_t index) {
  return std::string(key) + "[" + std::to_string(index) + "]";
}

std::vector<ServiceState> decodeServices(const json::Value& array) {
  std::vector<ServiceState> services;
  services.reserve(array.size());
  for (size_t i = 0; i < array.size(); ++i) {
    services.push_back(json::withContext(indexed("services", i), [&] {
      const json::Value& element = json::asObject(array[i], "element");
      return ServiceState{json::requiredString(element, "name"),
                          json::requiredBool(element, "wasEnabled")};
    }));
  }
  return services;
}

std::vector<InterfaceState> decodeInterfaces(const json::Value& array) {
  std::vector<InterfaceState> interfaces;
  interfaces.reserve(array.size());
  for (size_t i = 0; i < array.size(); ++i) {
    interfaces.push_back(json::withContext(indexed("interfaces", i), [&] {
      const json::Value& element = json::asObject(array[i], "element");
      return InterfaceState{json::requiredString(element, "name"),
                            json::requiredBool(element, "wasUp")};
    }));
  }
  return interfaces;
}

std::map<std::string, bool> decodeWifiPower(const json::Value& object) {
  std::map<std::string, bool> power;
  for (const auto& [device, value] : object.items()) {
    power.emplace(device, json::asBool(value, "\"wifiPower\" value of \"" + device + "\""));
  }
  return power;
}

// Descriptions quote texts with JSON escaping so that they stay unambiguous whatever the text
// holds; bytes that are not UTF-8 become U+FFFD rather than failing a diagnostic.
std::string quotedText(std::string_view text) {
  return json::Value(std::string(text)).dump(-1, ' ', false, json::Value::error_handler_t::replace);
}

}  // namespace

// MARK: OfflineSession

bool OfflineSession::isExpired(Date now) const {
  return now >= expirationDate;
}

bool OfflineSession::clockLooksWoundBack(Date now) const {
  // startDate - 300 s cannot be formed near the start of Date's range; nothing is earlier there.
  if (startDate < Date::min() + clockWindBackTolerance) return false;
  return now < startDate - clockWindBackTolerance;
}

bool OfflineSession::earlyUnlockPending() const {
  return originalExpirationDate.has_value();
}

std::string encodeSession(const OfflineSession& session) {
  json::OrderedValue object = json::OrderedValue::object();
  object["id"] = session.id;
  object["startDate"] = json::dateValue(session.startDate);
  object["expirationDate"] = json::dateValue(session.expirationDate);
  json::OrderedValue services = json::OrderedValue::array();
  for (const auto& service : session.services) {
    json::OrderedValue element = json::OrderedValue::object();
    element["name"] = service.name;
    element["wasEnabled"] = service.wasEnabled;
    services.push_back(std::move(element));
  }
  object["services"] = std::move(services);
  json::OrderedValue wifiPower = json::OrderedValue::object();
  for (const auto& [device, powered] : session.wifiPower) wifiPower[device] = powered;
  object["wifiPower"] = std::move(wifiPower);
  if (session.interfaces) {
    json::OrderedValue interfaces = json::OrderedValue::array();
    for (const auto& interface : *session.interfaces) {
      json::OrderedValue element = json::OrderedValue::object();
      element["name"] = interface.name;
      element["wasUp"] = interface.wasUp;
      interfaces.push_back(std::move(element));
    }
    object["interfaces"] = std::move(interfaces);
  }
  object["active"] = session.active;
  if (session.originalExpirationDate) {
    object["originalExpirationDate"] = json::dateValue(*session.originalExpirationDate);
  }
  if (session.earlyUnlockRequestedAt) {
    object["earlyUnlockRequestedAt"] = json::dateValue(*session.earlyUnlockRequestedAt);
  }
  if (session.bootID && session.bootTimeAtStart) {
    object["bootID"] = *session.bootID;
    object["bootTimeAtStart"] = *session.bootTimeAtStart;
  }
  return json::dumpCompact(object);
}

OfflineSession decodeSession(std::string_view bytes) {
  const json::Value object = json::parseObject(bytes);
  OfflineSession session;
  session.id = json::requiredString(object, "id");
  session.startDate = json::requiredDate(object, "startDate");
  session.expirationDate = json::requiredDate(object, "expirationDate");
  session.services = decodeServices(json::requiredArray(object, "services"));
  session.wifiPower = decodeWifiPower(json::requiredObject(object, "wifiPower"));
  if (const json::Value* interfaces = json::optionalArray(object, "interfaces")) {
    session.interfaces = decodeInterfaces(*interfaces);
  }
  session.active = json::requiredBool(object, "active");
  session.originalExpirationDate = json::optionalDate(object, "originalExpirationDate");
  session.earlyUnlockRequestedAt = json::optionalDate(object, "earlyUnlockRequestedAt");
  // The boot anchor counts only as a pair; half of one is as good as none.
  std::optional<std::string> bootID = json::optionalString(object, "bootID");
  std::optional<double> bootTime = json::optionalNumber(object, "bootTimeAtStart");
  if (bootID && bootTime && std::isfinite(*bootTime)) {
    session.bootID = std::move(bootID);
    session.bootTimeAtStart = bootTime;
  }
  return session;
}

// MARK: HelperStatus

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

// MARK: Corruption and the recovery-pending marker

std::string_view rawString(CorruptReason reason) {
  switch (reason) {
    case CorruptReason::unreadable:
      return "unreadable";
    case CorruptReason::undecodable:
      return "undecodable";
  }
  return "unreadable";
}

std::optional<CorruptReason> corruptReasonFromRaw(std::string_view raw) {
  if (raw == "unreadable") return CorruptReason::unreadable;
  if (raw == "undecodable") return CorruptReason::undecodable;
  return std::nullopt;
}

std::string encodeMarker(const RecoveryPendingMarker& marker) {
  json::OrderedValue object = json::OrderedValue::object();
  object["since"] = json::dateValue(marker.since);
  object["reason"] = std::string(rawString(marker.reason));
  if (marker.quarantinedPath) object["quarantinedPath"] = *marker.quarantinedPath;
  return json::dumpCompact(object);
}

RecoveryPendingMarker decodeMarker(std::string_view bytes) {
  const json::Value object = json::parseObject(bytes);
  RecoveryPendingMarker marker;
  marker.since = json::requiredDate(object, "since");
  const std::string reason = json::requiredString(object, "reason");
  const auto parsed = corruptReasonFromRaw(reason);
  if (!parsed) throw DecodingError("\"reason\" is not a known reason: " + quotedText(reason));
  marker.reason = *parsed;
  marker.quarantinedPath = json::optionalString(object, "quarantinedPath");
  return marker;
}

// MARK: SessionLoadResult

std::string describe(const SessionLoadResult& result) {
  struct Describer {
    std::string operator()(const OfflineSession& session) const {
      return "valid(" + session.id + ")";
    }
    std::string operator()(const CorruptSessionInfo& info) const {
      std::string text = "corrupt(" + std::string(rawString(info.reason));
      if (info.quarantinedPath) text += ", quarantinedPath: " + quotedText(*info.quarantinedPath);
      if (!info.pendingPersisted) text += ", pendingPersisted: false";
      return text + ")";
    }
    std::string operator()(const RecoveryPendingMarker& marker) const {
      std::string text = "recoveryPending(" + std::string(rawString(marker.reason));
      if (marker.quarantinedPath) {
        text += ", quarantinedPath: " + quotedText(*marker.quarantinedPath);
      }
      return text + ")";
    }
    std::string operator()(const SessionAbsent&) const { return "absent"; }
  };
  return std::visit(Describer{}, result);
}

// MARK: SessionStartError

namespace {

std::string defaultDescription(SessionStartError::Kind kind,
                               const std::optional<OfflineSession>& session) {
  using Kind = SessionStartError::Kind;
  switch (kind) {
    case Kind::activationPending:
      return session ? "activationPending(session: " + quotedText(session->id) + ")"
                     : "activationPending";
    case Kind::invalidDuration:
      return "invalidDuration";
    case Kind::activeSessionInProgress:
      return "activeSessionInProgress";
    case Kind::expiredSessionPendingRestoration:
      return "expiredSessionPendingRestoration";
    case Kind::recoveryPending:
      return "recoveryPending";
    case Kind::captureFailed:
      return "captureFailed";
  }
  return "unknown";
}

}  // namespace

SessionStartError::SessionStartError(Kind kind)
    : kind_(kind), description_(defaultDescription(kind, std::nullopt)) {}

SessionStartError SessionStartError::activationPending(OfflineSession session) {
  SessionStartError error(Kind::activationPending);
  error.session_ = std::move(session);
  error.description_ = defaultDescription(error.kind_, error.session_);
  return error;
}

std::string_view SessionStartError::commandLineText() const {
  switch (kind_) {
    case Kind::activationPending:
      return "session saved but the network lock is still being applied; it will take effect "
             "shortly\n";
    case Kind::invalidDuration:
      return "error: duration must be 5 minutes to 24 hours\n";
    case Kind::activeSessionInProgress:
      return "error: a session is already active\n";
    case Kind::expiredSessionPendingRestoration:
      return "error: the previous session has expired but networking has not been restored yet; "
             "wait a moment and try again\n";
    case Kind::recoveryPending:
      return "error: saved session state is corrupt and fail-open recovery is pending; wait a "
             "moment and try again\n";
    case Kind::captureFailed:
      return "error: could not capture current network state; nothing was changed\n";
  }
  return "";
}

int SessionStartError::exitStatus() const {
  switch (kind_) {
    case Kind::activationPending:
      return 9;
    case Kind::invalidDuration:
      return 2;
    case Kind::activeSessionInProgress:
      return 4;
    case Kind::expiredSessionPendingRestoration:
    case Kind::recoveryPending:
      return 7;
    case Kind::captureFailed:
      return 10;
  }
  return 1;
}

}  // namespace nubrik
