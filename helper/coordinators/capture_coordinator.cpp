#include "helper/coordinators/capture_coordinator.hpp"

#include <utility>

#include "helper/coordinators/network_pass_support.hpp"
#include "helper/log/log.hpp"
#include "core/utf8_text.hpp"

namespace nubrik {

namespace {

std::string_view caseName(CaptureError::Kind kind) {
  switch (kind) {
    case CaptureError::Kind::serviceStateQueryFailed:
      return "serviceStateQueryFailed";
    case CaptureError::Kind::wifiPowerQueryFailed:
      return "wifiPowerQueryFailed";
    case CaptureError::Kind::interfaceStateQueryFailed:
      return "interfaceStateQueryFailed";
    case CaptureError::Kind::serviceDiscoveryFailed:
      return "serviceDiscoveryFailed";
    case CaptureError::Kind::wifiDiscoveryFailed:
      return "wifiDiscoveryFailed";
    case CaptureError::Kind::interfaceDiscoveryFailed:
      return "interfaceDiscoveryFailed";
  }
  return "unknown";
}

// The label of the object a per-object case carries; none for the listing cases.
std::string_view label(CaptureError::Kind kind) {
  switch (kind) {
    case CaptureError::Kind::serviceStateQueryFailed:
      return "service";
    case CaptureError::Kind::wifiPowerQueryFailed:
      return "device";
    case CaptureError::Kind::interfaceStateQueryFailed:
      return "interface";
    default:
      return {};
  }
}

std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

std::string describe(CaptureError::Kind kind, const std::string& name) {
  std::string text(caseName(kind));
  if (const std::string_view objectLabel = label(kind); !objectLabel.empty()) {
    text += "(";
    text += objectLabel;
    text += ": ";
    text += quoted(name);
    text += ")";
  }
  return text;
}

// A name as a log line can show it whatever its bytes: printable ASCII as it is, every other
// byte as \xHH, in double quotes.
std::string escapedName(std::string_view name) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f && c != '"' && c != '\\') {
      out += c;
    } else {
      out += "\\x";
      out += digits[byte >> 4];
      out += digits[byte & 0xf];
    }
  }
  out += '"';
  return out;
}

// The session record holds text, so every name in it must be valid UTF-8. A listing with a name
// the record cannot hold is of no use to the capture: the capture fails as if the listing had,
// before anything is switched off, instead of leaving the start to fail at the save.
void requireRecordableNames(const NameList& names, std::string_view what, CaptureError::Kind kind,
                            const LogOperation& log) {
  for (const std::string& name : names) {
    if (isValidUtf8(name)) continue;
    logLine(log, "capture: " + std::string(what) + " name " + escapedName(name) +
                     " is not valid UTF-8; nothing was changed");
    throw CaptureError(kind);
  }
}

// Runs one step of the capture; any failure of it becomes the step's own CaptureError, the
// underlying error being of no use to the caller.
template <typename Step>
auto captureStep(Step&& step, CaptureError::Kind kind, const std::string& name = {}) {
  try {
    return step();
  } catch (...) {
    throw CaptureError(kind, name);
  }
}

}  // namespace

CaptureError::CaptureError(Kind kind, std::string name)
    : std::runtime_error(describe(kind, name)), kind_(kind), name_(std::move(name)) {}

CaptureDependencies CaptureDependencies::production(const NetworkOperations& network) {
  return CaptureDependencies{
      .discoverServices = network.discoverSnapshotServices,
      .queryServiceEnabled = network.queryServiceEnabledState,
      .discoverWifiDevices = network.discoverWifiDevices,
      .queryWifiPower = network.queryWifiPowerState,
      .discoverInterfaces = network.discoverSnapshotInterfaces,
      .queryInterfaceUp = network.queryInterfaceUpState,
      .log = [](const std::string& message) { nubrik::log(message); },
  };
}

CaptureCoordinator::CaptureCoordinator(CaptureDependencies dependencies)
    : dependencies_(std::move(dependencies)) {}

CapturedSnapshot CaptureCoordinator::capture() const {
  const CaptureDependencies& d = dependencies_;
  CapturedSnapshot snapshot;

  const NameList services =
      captureStep([&] { return d.discoverServices(); }, CaptureError::Kind::serviceDiscoveryFailed);
  requireRecordableNames(services, "service", CaptureError::Kind::serviceDiscoveryFailed, d.log);
  for (const std::string& service : services) {
    const bool enabled = captureStep([&] { return d.queryServiceEnabled(service); },
                                     CaptureError::Kind::serviceStateQueryFailed, service);
    snapshot.services.push_back(ServiceState{service, enabled});
  }

  const NameList devices =
      captureStep([&] { return d.discoverWifiDevices(); }, CaptureError::Kind::wifiDiscoveryFailed);
  requireRecordableNames(devices, "Wi-Fi device", CaptureError::Kind::wifiDiscoveryFailed, d.log);
  for (const std::string& device : devices) {
    snapshot.wifiPower[device] = captureStep([&] { return d.queryWifiPower(device); },
                                             CaptureError::Kind::wifiPowerQueryFailed, device);
  }

  const NameList interfaces = captureStep([&] { return d.discoverInterfaces(); },
                                          CaptureError::Kind::interfaceDiscoveryFailed);
  requireRecordableNames(interfaces, "interface", CaptureError::Kind::interfaceDiscoveryFailed,
                         d.log);
  for (const std::string& interface : interfaces) {
    const bool up = captureStep([&] { return d.queryInterfaceUp(interface); },
                                CaptureError::Kind::interfaceStateQueryFailed, interface);
    snapshot.interfaces.push_back(InterfaceState{interface, up});
  }

  logLine(d.log, "capture: recorded " + std::to_string(snapshot.services.size()) + " services, " +
                     std::to_string(snapshot.wifiPower.size()) + " Wi-Fi devices, " +
                     std::to_string(snapshot.interfaces.size()) + " interfaces");
  return snapshot;
}

}  // namespace nubrik
