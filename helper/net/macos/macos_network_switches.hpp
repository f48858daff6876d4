#pragma once

// The Apple backend: every operation runs networksetup or ifconfig once and parses its output.

#include <optional>
#include <string>

#include "helper/net/macos/network_tools.hpp"
#include "helper/net/network_switches.hpp"

namespace nubrik::macos {

// Listings: throw NetworkQueryError when the tool fails, NetworkStateError when its output does
// not parse.
NameList discoverEnabledServices(const ShellRunner& runner);
NameList discoverAllServices(const ShellRunner& runner);
NameList discoverSnapshotServices(const ShellRunner& runner);
NameList discoverInterfaces(const ShellRunner& runner);
NameList discoverSnapshotInterfaces(const ShellRunner& runner);
NameList discoverWifiDevices(const ShellRunner& runner);

// Optional forms: nullopt when the tool fails or its output does not parse.
std::optional<bool> wifiPowerState(const ShellRunner& runner, const std::string& device);
std::optional<bool> interfaceAdminState(const ShellRunner& runner, const std::string& interface);

// Changes: true exactly when the tool exits with status 0.
bool setServiceEnabled(const ShellRunner& runner, const std::string& service, bool on);
bool setWifiPower(const ShellRunner& runner, const std::string& device, bool on);
bool setInterfaceUp(const ShellRunner& runner, const std::string& interface, bool up);

}  // namespace nubrik::macos

namespace nubrik {

// Every switch bound to the system tools, started through `runner` (the real process runner
// unless a test passes its own). States come from the listings where the tools give them and
// from one query per device otherwise.
class MacosNetworkSwitches final : public NetworkSwitches {
 public:
  explicit MacosNetworkSwitches(macos::ShellRunner runner = macos::shellResult);

  SwitchReadings read(SwitchKind kind, Listing listing) override;
  bool set(SwitchKind kind, const std::string& name, bool on) override;
  bool sparesInterface(const std::string& name) override;

 private:
  macos::ShellRunner runner_;
};

}  // namespace nubrik
