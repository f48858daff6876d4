#include "helper/coordinators/capture_coordinator.hpp"

#include <utility>

#include "core/utf8_text.hpp"
#include "helper/coordinators/switch_pass.hpp"

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

// How the capture's failures are told, by kind of switch: a failed listing, a failed state.
struct CaptureFailures {
  CaptureError::Kind listing;
  CaptureError::Kind state;
};

CaptureFailures failuresOf(SwitchKind kind) {
  switch (kind) {
    case SwitchKind::service:
      return {CaptureError::Kind::serviceDiscoveryFailed,
              CaptureError::Kind::serviceStateQueryFailed};
    case SwitchKind::wifi:
      return {CaptureError::Kind::wifiDiscoveryFailed, CaptureError::Kind::wifiPowerQueryFailed};
    case SwitchKind::interface:
      break;
  }
  return {CaptureError::Kind::interfaceDiscoveryFailed,
          CaptureError::Kind::interfaceStateQueryFailed};
}

}  // namespace

CaptureError::CaptureError(Kind kind, std::string name)
    : std::runtime_error(describe(kind, name)), kind_(kind), name_(std::move(name)) {}

CaptureCoordinator::CaptureCoordinator(NetworkSwitches& network,
                                       std::function<void(const std::string&)> log)
    : network_(network), log_(std::move(log)) {}

CapturedSnapshot CaptureCoordinator::capture() const {
  CapturedSnapshot snapshot;
  // Kind by kind: one listing, then every state it reported; the first failure fails the whole.
  for (const SwitchKind kind : switchKinds) {
    const CaptureFailures failures = failuresOf(kind);
    SwitchReadings readings;
    try {
      readings = network_.read(kind, Listing::record);
    } catch (...) {
      throw CaptureError(failures.listing);
    }
    NameList names;
    for (const SwitchReading& reading : readings) names.push_back(reading.name);
    requireRecordableNames(names, switchDeviceNoun(kind), failures.listing, log_);
    for (const SwitchReading& reading : readings) {
      if (!reading.on) throw CaptureError(failures.state, reading.name);
      switch (kind) {
        case SwitchKind::service:
          snapshot.services.push_back(ServiceState{reading.name, *reading.on});
          break;
        case SwitchKind::wifi:
          snapshot.wifiPower[reading.name] = *reading.on;
          break;
        case SwitchKind::interface:
          snapshot.interfaces.push_back(InterfaceState{reading.name, *reading.on});
          break;
      }
    }
  }

  logLine(log_, "capture: recorded " + std::to_string(snapshot.services.size()) + " services, " +
                    std::to_string(snapshot.wifiPower.size()) + " Wi-Fi devices, " +
                    std::to_string(snapshot.interfaces.size()) + " interfaces");
  return snapshot;
}

}  // namespace nubrik
