#include "helper/net/network_switches.hpp"

#if defined(__APPLE__)
#include "helper/net/macos/macos_network_switches.hpp"
#else
#include "helper/net/linux/linux_network_switches.hpp"
#endif

namespace nubrik {

std::string_view switchNoun(SwitchKind kind) {
  switch (kind) {
    case SwitchKind::service:
      return "service";
    case SwitchKind::wifi:
      return "Wi-Fi";
    case SwitchKind::interface:
      return "interface";
  }
  return "switch";
}

std::string_view switchDeviceNoun(SwitchKind kind) {
  return kind == SwitchKind::wifi ? "Wi-Fi device" : switchNoun(kind);
}

std::string switchChangeText(SwitchKind kind, const std::string& name, bool on, bool done) {
  switch (kind) {
    case SwitchKind::service:
      return std::string(on ? (done ? "enabled" : "enable") : (done ? "disabled" : "disable")) +
             " service " + name;
    case SwitchKind::wifi:
      return std::string(done ? "powered " : "power ") + (on ? "on" : "off") + " Wi-Fi " + name;
    case SwitchKind::interface:
      return std::string(done ? "brought" : "bring") + " interface " + name +
             (on ? " up" : " down");
  }
  return name;
}

std::unique_ptr<NetworkSwitches> productionNetworkSwitches() {
#if defined(__APPLE__)
  return std::make_unique<MacosNetworkSwitches>();
#else
  return std::make_unique<LinuxNetworkSwitches>(LinuxNetworkConfig{});
#endif
}

}  // namespace nubrik
