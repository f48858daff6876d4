#pragma once

// Pure parsers of the system tools' outputs. Each returns a complete result or throws
// NetworkStateError::malformedOutput naming the tool verb; none returns a partial list.

#include <string>
#include <string_view>
#include <vector>

namespace nubrik::macos {

// A port as the hardware-port listing names it, and the device behind it (e.g. "Wi-Fi", "en0").
struct HardwarePort {
  std::string port;
  std::string device;
  bool operator==(const HardwarePort&) const = default;
};

// Service listing: enabled services only, in listed order; loopback-named ones included.
std::vector<std::string> parseServiceList(const std::string& output);
// Service listing: every service, star removed, except names containing "loopback".
std::vector<std::string> parseAllServiceNames(const std::string& output);
// Service listing: every service, star removed, loopback-named ones included.
std::vector<std::string> parseSnapshotServiceNames(const std::string& output);
std::vector<std::string> parseServiceLines(const std::string& output, bool includeLoopback);

// The interfaces this backend never switches: every name beginning "lo" (exactly, lower case),
// the loopback and its kin as the tools name them.
bool sparesInterface(std::string_view name);

// Interface listing (one line of names): every name except the spared ones.
std::vector<std::string> parseExternalInterfaces(const std::string& output);
// Interface listing: every name, "lo0" included (and required).
std::vector<std::string> parseSnapshotInterfaces(const std::string& output);
// Throws malformedOutput("ifconfig") unless the token is a plausible interface name: non-empty,
// made of letters, marks, digits, ".", "-", "_" and ":" only.
void validateInterfaceToken(std::string_view token);

std::vector<HardwarePort> parseHardwarePorts(const std::string& output);
// Devices of the ports named like Wi-Fi ("wi-fi", "wifi", "airport" in any letter case).
std::vector<std::string> wifiDeviceNames(const std::vector<HardwarePort>& ports);

// Power line: true for ": On", false for ": Off" (either letter case).
bool parseWifiPowerState(const std::string& output);
// "Enabled" or "Disabled", exactly, around white space.
bool parseServiceEnabledState(const std::string& output);
// Whether the interface's flag list (between "<" and ">") holds "UP".
bool parseInterfaceUpState(const std::string& output);

}  // namespace nubrik::macos
