#pragma once

// The Linux backend: links through rtnetlink, Wi-Fi devices as rfkill switches, and the one
// service NetworkManager offers over the system bus (or, while it is not running, in its state
// file).

#include <string>

#include "helper/net/linux/network_manager_switch.hpp"
#include "helper/net/linux/rfkill_switches.hpp"
#include "helper/net/linux/rtnetlink_links.hpp"
#include "helper/net/network_switches.hpp"

namespace nubrik {

struct LinuxNetworkConfig {
  // Where the rfkill switches are listed; tests point this at a tree of their own.
  std::string rfkillSysfsRoot = "/sys/class/rfkill";
  // The rfkill control device, used only together with the kernel's own sysfs tree.
  std::string rfkillDevice = "/dev/rfkill";
  // D-Bus address of the system bus; empty means the system bus as libsystemd finds it.
  std::string systemBusAddress;
  // NetworkManager's state directory. While NetworkManager is installed but not running (at
  // boot the daemon runs before it), its switch is read and written in the state file kept there.
  std::string networkManagerStateDirectory = "/var/lib/NetworkManager";
};

// The name under which NetworkManager's networking switch is listed as a service.
inline constexpr const char* networkManagerServiceName = "NetworkManager";

// Every switch bound to the kernel and the bus. The rtnetlink socket and the bus connection are
// opened on first use, by the calling thread (and so in its network namespace), and kept for the
// backend's life.
class LinuxNetworkSwitches final : public NetworkSwitches {
 public:
  explicit LinuxNetworkSwitches(const LinuxNetworkConfig& config = {});

  SwitchReadings read(SwitchKind kind, Listing listing) override;
  bool set(SwitchKind kind, const std::string& name, bool on) override;
  bool sparesInterface(const std::string& name) override;

 private:
  enum class Manager { running, installed, absent };
  Manager manager();
  bool serviceEnabled(const std::string& service);
  bool setServiceEnabled(const std::string& service, bool on);

  RtnetlinkLinks links_;
  RfkillSwitches rfkill_;
  NetworkManagerSwitch networkManager_;
  NetworkManagerStateFile networkManagerState_;
};

}  // namespace nubrik
