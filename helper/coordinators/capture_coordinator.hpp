#pragma once

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/session.hpp"
#include "helper/net/network_switches.hpp"

namespace nubrik {

struct CapturedSnapshot {
  std::vector<ServiceState> services;
  std::map<std::string, bool> wifiPower;
  std::vector<InterfaceState> interfaces;
  bool operator==(const CapturedSnapshot&) const = default;
};

// Capture failed; carries only the case and the object's name. what() is the default textual form.
class CaptureError : public std::runtime_error {
 public:
  enum class Kind {
    serviceStateQueryFailed,
    wifiPowerQueryFailed,
    interfaceStateQueryFailed,
    serviceDiscoveryFailed,
    wifiDiscoveryFailed,
    interfaceDiscoveryFailed,
  };
  CaptureError(Kind kind, std::string name = {});
  Kind kind() const { return kind_; }
  const std::string& name() const { return name_; }
  bool operator==(const CaptureError& other) const {
    return kind_ == other.kind_ && name_ == other.name_;
  }

 private:
  Kind kind_;
  std::string name_;
};

// Records the complete network state, or fails as a whole. Changes nothing. A listed name that
// is not valid UTF-8 fails the capture as that listing's discovery failure, with a log line
// saying so; no other failure is logged here.
class CaptureCoordinator {
 public:
  CaptureCoordinator(NetworkSwitches& network, std::function<void(const std::string&)> log);
  CapturedSnapshot capture() const;  // throws CaptureError

 private:
  NetworkSwitches& network_;
  std::function<void(const std::string&)> log_;
};

}  // namespace nubrik
