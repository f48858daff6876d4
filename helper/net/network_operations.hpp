#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nubrik {

using NameList = std::vector<std::string>;

// The daemon's only contact with the system's network configuration. Listings throw (an error
// whose what() is its default textual form) and never return partial lists; state queries either
// throw or, in their optional form, give nullopt when they cannot tell; changes report success.
struct NetworkOperations {
  std::function<NameList()> discoverEnabledServices;     // enabled only; loopback-named included
  std::function<NameList()> discoverAllServices;         // enabled or not; loopback-named excluded
  std::function<NameList()> discoverSnapshotServices;    // everything
  std::function<NameList()> discoverInterfaces;          // spared interfaces excluded
  std::function<NameList()> discoverSnapshotInterfaces;  // everything
  std::function<NameList()> discoverWifiDevices;

  // Whether the backend never switches the named interface: the loopback device, known by its
  // type, on Linux; every name beginning "lo" on Apple builds. Asked about listed names and about
  // names recorded by an earlier session alike, so it must not depend on a listing. Never throws.
  std::function<bool(const std::string&)> sparesInterface;

  std::function<bool(const std::string&)> queryServiceEnabledState;  // throws
  std::function<bool(const std::string&)> queryWifiPowerState;       // throws
  std::function<bool(const std::string&)> queryInterfaceUpState;     // throws

  std::function<std::optional<bool>(const std::string&)> wifiPowerState;
  std::function<std::optional<bool>(const std::string&)> interfaceAdminState;

  std::function<bool(const std::string&, bool on)> setServiceEnabled;
  std::function<bool(const std::string&, bool on)> setWifiPower;
  std::function<bool(const std::string&, bool up)> setInterfaceUp;

  // The platform's backend: rtnetlink, rfkill and NetworkManager on Linux; the system tools on
  // Apple builds.
  static NetworkOperations production();
};

}  // namespace nubrik
