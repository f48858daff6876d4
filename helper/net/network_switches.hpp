#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nubrik {

using NameList = std::vector<std::string>;

// The three kinds of switch the daemon turns off and on again, in the order every pass takes them.
enum class SwitchKind { service, wifi, interface };
inline constexpr SwitchKind switchKinds[] = {SwitchKind::service, SwitchKind::wifi,
                                             SwitchKind::interface};

// How the log names a kind: "service", "Wi-Fi", "interface"; and a single device of it, where
// the log says which one is meant: "service", "Wi-Fi device", "interface".
std::string_view switchNoun(SwitchKind kind);
std::string_view switchDeviceNoun(SwitchKind kind);

// A change as the log tells it, done ("disabled service A", "powered on Wi-Fi wlan0", "brought
// interface eth0 down") or to be done ("disable service A", ...).
std::string switchChangeText(SwitchKind kind, const std::string& name, bool on, bool done);

// Which names a listing holds.
enum class Listing {
  // What a pass may switch: loopback-named services excluded where the backend can tell, and
  // never an interface the backend spares.
  switchable,
  // Everything there is, for the record of a session.
  record,
};

// One listed switch and its state: on (enabled, powered, up) or off; none when it cannot be told.
struct SwitchReading {
  std::string name;
  std::optional<bool> on;
  bool operator==(const SwitchReading&) const = default;
};
using SwitchReadings = std::vector<SwitchReading>;

// The daemon's only contact with the system's network configuration.
class NetworkSwitches {
 public:
  virtual ~NetworkSwitches() = default;

  // Every switch of a kind with its state, in the backend's order. Throws (an error whose what()
  // is its default textual form) rather than return a partial list.
  virtual SwitchReadings read(SwitchKind kind, Listing listing) = 0;

  // Turns a switch on or off; true only when the change was made. Never throws.
  virtual bool set(SwitchKind kind, const std::string& name, bool on) = 0;

  // Whether the backend never switches the named interface: the loopback device, known by its
  // type, on Linux; every name beginning "lo" with the tools. Asked about listed names and about
  // names recorded by an earlier session alike. Never throws.
  virtual bool sparesInterface(const std::string& name) = 0;
};

// The platform's backend: rtnetlink, rfkill and NetworkManager on Linux; the system tools on
// Apple builds. Nothing is opened until the first call, so building it cannot fail for want of a
// kernel socket or a bus: a backend that cannot start shows as a failed listing, which every pass
// handles.
std::unique_ptr<NetworkSwitches> productionNetworkSwitches();

}  // namespace nubrik
