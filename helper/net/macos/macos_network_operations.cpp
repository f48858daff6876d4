#include "helper/net/macos/macos_network_operations.hpp"

#include <utility>

#include "helper/net/macos/network_parsers.hpp"
#include "helper/net/network_errors.hpp"

namespace nubrik::macos {

namespace {

const std::vector<std::string> listServicesArguments = {"-listallnetworkservices"};
const std::vector<std::string> listInterfacesArguments = {"-l"};

std::string checkedQuery(const ShellRunner& runner, const std::string& executable,
                         const std::vector<std::string>& arguments) {
  ShellResult result = runner(executable, arguments);
  if (result.status != 0) throw NetworkStateError::commandFailed(executable, result.status);
  return std::move(result.output);
}

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

bool queryServiceEnabledState(const ShellRunner& runner, const std::string& service) {
  return parseServiceEnabledState(
      checkedQuery(runner, networksetup, {"-getnetworkserviceenabled", service}));
}

bool queryWifiPowerState(const ShellRunner& runner, const std::string& device) {
  return parseWifiPowerState(checkedQuery(runner, networksetup, {"-getairportpower", device}));
}

bool queryInterfaceUpState(const ShellRunner& runner, const std::string& interface) {
  return parseInterfaceUpState(checkedQuery(runner, ifconfig, {interface}));
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

NetworkOperations macosNetworkOperations(macos::ShellRunner runner) {
  NetworkOperations operations;
  operations.discoverEnabledServices = [runner] { return macos::discoverEnabledServices(runner); };
  operations.discoverAllServices = [runner] { return macos::discoverAllServices(runner); };
  operations.discoverSnapshotServices = [runner] {
    return macos::discoverSnapshotServices(runner);
  };
  operations.discoverInterfaces = [runner] { return macos::discoverInterfaces(runner); };
  operations.discoverSnapshotInterfaces = [runner] {
    return macos::discoverSnapshotInterfaces(runner);
  };
  operations.discoverWifiDevices = [runner] { return macos::discoverWifiDevices(runner); };
  operations.sparesInterface = [](const std::string& interface) {
    return macos::sparesInterface(interface);
  };
  operations.queryServiceEnabledState = [runner](const std::string& service) {
    return macos::queryServiceEnabledState(runner, service);
  };
  operations.queryWifiPowerState = [runner](const std::string& device) {
    return macos::queryWifiPowerState(runner, device);
  };
  operations.queryInterfaceUpState = [runner](const std::string& interface) {
    return macos::queryInterfaceUpState(runner, interface);
  };
  operations.wifiPowerState = [runner](const std::string& device) {
    return macos::wifiPowerState(runner, device);
  };
  operations.interfaceAdminState = [runner](const std::string& interface) {
    return macos::interfaceAdminState(runner, interface);
  };
  operations.setServiceEnabled = [runner](const std::string& service, bool on) {
    return macos::setServiceEnabled(runner, service, on);
  };
  operations.setWifiPower = [runner](const std::string& device, bool on) {
    return macos::setWifiPower(runner, device, on);
  };
  operations.setInterfaceUp = [runner](const std::string& interface, bool up) {
    return macos::setInterfaceUp(runner, interface, up);
  };
  return operations;
}

}  // namespace nubrik
