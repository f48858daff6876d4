#pragma once

// Views of a backend's listings for the backend tests: names, and the state of one named switch.

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "helper/net/network_switches.hpp"

namespace nubrik::test {

inline NetworkSwitches& backendOf(NetworkSwitches& network) {
  return network;
}
template <typename Backend>
NetworkSwitches& backendOf(const std::unique_ptr<Backend>& network) {
  return *network;
}

template <typename Network>
NameList names(Network&& network, SwitchKind kind, Listing listing = Listing::switchable) {
  NameList listed;
  for (const SwitchReading& reading : backendOf(network).read(kind, listing)) {
    listed.push_back(reading.name);
  }
  return listed;
}

// The names the listing reports as on.
template <typename Network>
NameList namesOn(Network&& network, SwitchKind kind) {
  NameList on;
  for (const SwitchReading& reading : backendOf(network).read(kind, Listing::switchable)) {
    if (reading.on == true) on.push_back(reading.name);
  }
  return on;
}

// The state the listing reports for one name; none when it is not listed, cannot be told, or
// the listing fails.
template <typename Network>
std::optional<bool> optionalStateOf(Network&& network, SwitchKind kind, const std::string& name) {
  try {
    for (const SwitchReading& reading : backendOf(network).read(kind, Listing::record)) {
      if (reading.name == name) return reading.on;
    }
  } catch (...) {
  }
  return std::nullopt;
}

// The same, throwing where there is no state to report.
template <typename Network>
bool stateOf(Network&& network, SwitchKind kind, const std::string& name) {
  if (const std::optional<bool> on = optionalStateOf(network, kind, name)) return *on;
  throw std::runtime_error("no state for " + name);
}

template <typename Network>
bool setSwitch(Network&& network, SwitchKind kind, const std::string& name, bool on) {
  return backendOf(network).set(kind, name, on);
}

}  // namespace nubrik::test
