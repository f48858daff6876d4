#include "helper/net/macos/macos_network_switches.hpp"

#include <set>
#include <utility>

#include "helper/net/macos/network_parsers.hpp"
#include "helper/net/network_errors.hpp"

namespace nubrik::macos {

namespace {

const std::vector<std::string> listServicesArguments = {"-listallnetworkservices"};
const std::vector<std::string> listInterfacesArguments = {"-l"};

template <typename Parser>
std::optional<bool> optionalQuery(const ShellRunner& runner, const std::string& executable,
                                  const std::vector<std::string>& arguments, Parser parse) {
  const ShellResult result = runner(executable, arguments);
  if (result.status != 0) return std::nullopt;
  try {
    return parse(result.output);
  } catch (const NetworkStateError&) {
    return std::nullopt;
  }
}

bool change(const ShellRunner& runner, const std::string& executable,
            const std::vector<std::string>& arguments) {
  return runner(executable, arguments).status == 0;
}

const char* onOff(bool on) {
  return on ? "on" : "off";
}

}  // namespace

NameList discoverEnabledServices(const ShellRunner& runner) {
  return parseServiceList(runChecked(runner, networksetup, listServicesArguments));
}

NameList discoverAllServices(const ShellRunner& runner) {
  return parseAllServiceNames(runChecked(runner, networksetup, listServicesArguments));
}

NameList discoverSnapshotServices(const ShellRunner& runner) {
  return parseSnapshotServiceNames(runChecked(runner, networksetup, listServicesArguments));
}

NameList discoverInterfaces(const ShellRunner& runner) {
  return parseExternalInterfaces(runChecked(runner, ifconfig, listInterfacesArguments));
}

NameList discoverSnapshotInterfaces(const ShellRunner& runner) {
  return parseSnapshotInterfaces(runChecked(runner, ifconfig, listInterfacesArguments));
}

NameList discoverWifiDevices(const ShellRunner& runner) {
  return wifiDeviceNames(
      parseHardwarePorts(runChecked(runner, networksetup, {"-listallhardwareports"})));
}

std::optional<bool> wifiPowerState(const ShellRunner& runner, const std::string& device) {
  return optionalQuery(runner, networksetup, {"-getairportpower", device}, parseWifiPowerState);
}

std::optional<bool> interfaceAdminState(const ShellRunner& runner, const std::string& interface) {
  return optionalQuery(runner, ifconfig, {interface}, parseInterfaceUpState);
}

bool setServiceEnabled(const ShellRunner& runner, const std::string& service, bool on) {
  return change(runner, networksetup, {"-setnetworkserviceenabled", service, onOff(on)});
}

bool setWifiPower(const ShellRunner& runner, const std::string& device, bool on) {
  return change(runner, networksetup, {"-setairportpower", device, onOff(on)});
}

bool setInterfaceUp(const ShellRunner& runner, const std::string& interface, bool up) {
  return change(runner, ifconfig, {interface, up ? "up" : "down"});
}

}  // namespace nubrik::macos

namespace nubrik {

MacosNetworkSwitches::MacosNetworkSwitches(macos::ShellRunner runner)
    : runner_(std::move(runner)) {}

SwitchReadings MacosNetworkSwitches::read(SwitchKind kind, Listing listing) {
  const bool record = listing == Listing::record;
  SwitchReadings readings;
  switch (kind) {
    case SwitchKind::service: {
      const NameList names =
          record ? macos::discoverSnapshotServices(runner_) : macos::discoverAllServices(runner_);
      const NameList enabledList = macos::discoverEnabledServices(runner_);
      const std::set<std::string> enabled(enabledList.begin(), enabledList.end());
      for (const std::string& name : names) readings.push_back({name, enabled.contains(name)});
      break;
    }
    case SwitchKind::wifi:
      for (const std::string& name : macos::discoverWifiDevices(runner_)) {
        readings.push_back({name, macos::wifiPowerState(runner_, name)});
      }
      break;
    case SwitchKind::interface:
      for (const std::string& name : record ? macos::discoverSnapshotInterfaces(runner_)
                                            : macos::discoverInterfaces(runner_)) {
        readings.push_back({name, macos::interfaceAdminState(runner_, name)});
      }
      break;
  }
  return readings;
}

bool MacosNetworkSwitches::set(SwitchKind kind, const std::string& name, bool on) {
  try {
    switch (kind) {
      case SwitchKind::service:
        return macos::setServiceEnabled(runner_, name, on);
      case SwitchKind::wifi:
        return macos::setWifiPower(runner_, name, on);
      case SwitchKind::interface:
        return macos::setInterfaceUp(runner_, name, on);
    }
  } catch (...) {
  }
  return false;
}

bool MacosNetworkSwitches::sparesInterface(const std::string& name) {
  return macos::sparesInterface(name);
}

}  // namespace nubrik
