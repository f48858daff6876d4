#include "core/session.hpp"

#include <cmath>

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

}  // namespace nubrik
