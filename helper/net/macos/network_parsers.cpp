#include "helper/net/macos/network_parsers.hpp"

#include <optional>
#include <set>

#include "helper/net/macos/network_tools.hpp"
#include "helper/net/macos/tool_text.hpp"
#include "helper/net/network_errors.hpp"

namespace nubrik::macos {

namespace {

// Splits at every `separator`, keeping empty pieces.
std::vector<std::string_view> splitKeepingEmpty(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(separator, start);
    if (at == std::string_view::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, at - start));
    start = at + 1;
  }
}

std::vector<std::string_view> splitDroppingEmpty(std::string_view text,
                                                 std::string_view separators) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t at = text.find_first_of(separators, start);
    const size_t end = at == std::string_view::npos ? text.size() : at;
    if (end > start) pieces.push_back(text.substr(start, end - start));
    if (at == std::string_view::npos) break;
    start = at + 1;
  }
  return pieces;
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::string removingEvery(std::string_view text, std::string_view pattern) {
  std::string out;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(pattern, start);
    if (at == std::string_view::npos) {
      out.append(text.substr(start));
      return out;
    }
    out.append(text.substr(start, at - start));
    start = at + pattern.size();
  }
}

struct ServiceLine {
  std::string name;
  bool enabled;
};

std::vector<ServiceLine> parseServiceEntries(const std::string& output) {
  const auto malformed = [] {
    return NetworkStateError::malformedOutput("listallnetworkservices");
  };
  requireServiceBanner(output);
  std::vector<ServiceLine> entries;
  std::set<std::string> seen;
  for (const std::string_view rawLine : splitKeepingEmpty(output, '\n')) {
    std::string line = trimSpaces(rawLine);
    if (line.empty() || line == serviceListBanner) continue;
    bool enabled = true;
    if (line.front() == '*') {
      enabled = false;
      line = trimSpaces(std::string_view(line).substr(1));
      if (line.empty()) throw malformed();
    }
    if (!seen.insert(line).second) throw malformed();
    entries.push_back(ServiceLine{std::move(line), enabled});
  }
  return entries;
}

}  // namespace

std::vector<std::string> parseServiceList(const std::string& output) {
  std::vector<std::string> names;
  for (ServiceLine& entry : parseServiceEntries(output)) {
    if (entry.enabled) names.push_back(std::move(entry.name));
  }
  return names;
}

std::vector<std::string> parseAllServiceNames(const std::string& output) {
  return parseServiceLines(output, false);
}

std::vector<std::string> parseSnapshotServiceNames(const std::string& output) {
  return parseServiceLines(output, true);
}

std::vector<std::string> parseServiceLines(const std::string& output, bool includeLoopback) {
  std::vector<std::string> names;
  for (ServiceLine& entry : parseServiceEntries(output)) {
    if (!includeLoopback && containsFolded(entry.name, "loopback", true)) continue;
    names.push_back(std::move(entry.name));
  }
  return names;
}

void validateInterfaceToken(std::string_view token) {
  const auto malformed = [] { return NetworkStateError::malformedOutput("ifconfig"); };
  if (token.empty()) throw malformed();
  const std::optional<std::u32string> scalars = decodeUtf8(token);
  if (!scalars) throw malformed();
  for (const char32_t c : *scalars) {
    if (c == U'.' || c == U'-' || c == U'_' || c == U':') continue;
    if (!isAlphanumericScalar(c)) throw malformed();
  }
}

std::vector<std::string> parseSnapshotInterfaces(const std::string& output) {
  const auto malformed = [] { return NetworkStateError::malformedOutput("ifconfig"); };
  const std::vector<std::string_view> tokens = splitDroppingEmpty(output, " \n\t\r");
  bool hasLoopback = false;
  for (const std::string_view token : tokens) hasLoopback = hasLoopback || token == "lo0";
  if (!hasLoopback) throw malformed();
  std::vector<std::string> names;
  std::set<std::string_view> seen;
  for (const std::string_view token : tokens) {
    validateInterfaceToken(token);
    if (!seen.insert(token).second) throw malformed();
    names.emplace_back(token);
  }
  return names;
}

bool sparesInterface(std::string_view name) {
  return startsWith(name, "lo");
}

std::vector<std::string> parseExternalInterfaces(const std::string& output) {
  std::vector<std::string> names;
  for (std::string& name : parseSnapshotInterfaces(output)) {
    if (!sparesInterface(name)) names.push_back(std::move(name));
  }
  return names;
}

std::vector<HardwarePort> parseHardwarePorts(const std::string& output) {
  const auto malformed = [] { return NetworkStateError::malformedOutput("listallhardwareports"); };
  constexpr std::string_view portLabel = "Hardware Port:";
  constexpr std::string_view deviceLabel = "Device:";
  std::vector<HardwarePort> ports;
  std::set<std::string> seenPorts;
  std::set<std::string> seenDevices;
  std::optional<std::string> pendingPort;
  for (const std::string_view rawLine : splitKeepingEmpty(output, '\n')) {
    const std::string line = trimSpaces(rawLine);
    if (startsWith(line, portLabel)) {
      if (pendingPort) throw malformed();
      std::string port = trimSpaces(removingEvery(line, portLabel));
      if (port.empty() || !seenPorts.insert(port).second) throw malformed();
      pendingPort = std::move(port);
    } else if (startsWith(line, deviceLabel)) {
      if (!pendingPort) throw malformed();
      std::string device = trimSpaces(removingEvery(line, deviceLabel));
      if (device.empty() || device == "(null)" || !seenDevices.insert(device).second) {
        throw malformed();
      }
      ports.push_back(HardwarePort{std::move(*pendingPort), std::move(device)});
      pendingPort.reset();
    }
  }
  if (pendingPort || ports.empty()) throw malformed();
  return ports;
}

std::vector<std::string> wifiDeviceNames(const std::vector<HardwarePort>& ports) {
  std::vector<std::string> devices;
  for (const HardwarePort& entry : ports) {
    if (containsFolded(entry.port, "wi-fi", false) || containsFolded(entry.port, "wifi", false) ||
        containsFolded(entry.port, "airport", false)) {
      devices.push_back(entry.device);
    }
  }
  return devices;
}

bool parseWifiPowerState(const std::string& output) {
  const bool on = containsFolded(output, ": on", true);
  const bool off = containsFolded(output, ": off", true);
  if (on == off) throw NetworkStateError::malformedOutput("getairportpower");
  return on;
}

bool parseServiceEnabledState(const std::string& output) {
  const std::string state = trimSpacesAndNewlines(output);
  if (state == "Enabled") return true;
  if (state == "Disabled") return false;
  throw NetworkStateError::malformedOutput("getnetworkserviceenabled");
}

bool parseInterfaceUpState(const std::string& output) {
  const auto malformed = [] { return NetworkStateError::malformedOutput("ifconfig"); };
  const std::vector<std::string_view> openings = splitDroppingEmpty(output, "<");
  if (openings.size() < 2) throw malformed();
  const std::vector<std::string_view> closings = splitDroppingEmpty(openings[1], ">");
  if (closings.empty()) throw malformed();
  for (const std::string_view flag : splitDroppingEmpty(closings[0], ",")) {
    if (flag == "UP") return true;
  }
  return false;
}

}  // namespace nubrik::macos
