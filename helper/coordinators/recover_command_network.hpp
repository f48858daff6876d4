#pragma once

#include <functional>
#include <string>

#include "helper/net/network_operations.hpp"

namespace nubrik {

// The six network operations shared by the restoration, the fail-open recovery and both paths of
// the recover command: every service (loopback-named ones excluded), every Wi-Fi device, every
// interface the backend does not spare, the backend's rule of which interfaces it spares (asked
// about recorded names too), and the three changes.
struct RecoverCommandNetwork {
  std::function<NameList()> discoverServices;
  std::function<NameList()> discoverWifiDevices;
  std::function<NameList()> discoverInterfaces;
  std::function<bool(const std::string&)> sparesInterface;
  std::function<bool(const std::string&, bool)> setServiceEnabled;
  std::function<bool(const std::string&, bool)> setWifiPower;
  std::function<bool(const std::string&, bool)> setInterfaceUp;

  static RecoverCommandNetwork production();
};

// How a restore reports its outcome: the published status and the log.
struct RecoveryReporting {
  std::function<void()> publishIdle;
  std::function<void()> publishPending;
  std::function<void(const std::string&)> log;

  // The store's idle and pending publications and the helper log.
  static RecoveryReporting production();
};

}  // namespace nubrik
