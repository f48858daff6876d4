#pragma once

// The Linux backend: links through rtnetlink, Wi-Fi devices as rfkill switches, and the one
// service NetworkManager offers over the system bus (or, while it is not running, in its state
// file).

#include <string>

#include "helper/net/network_operations.hpp"

namespace nubrik {

struct LinuxNetworkConfig {
  // Where the rfkill switches are listed; tests point this at a tree of their own.
  std::string rfkillSysfsRoot = "/sys/class/rfkill";
  // The rfkill control device, used only together with the kernel's own sysfs tree.
  std::string rfkillDevice = "/dev/rfkill";
  // D-Bus address of the system bus; empty means the system bus as libsystemd finds it.
  std::string systemBusAddress;
  // NetworkManager's state directory. While NetworkManager is installed but not running (at boot
  // the daemon runs before it), its switch is read and written in the state file kept there.
  std::string networkManagerStateDirectory = "/var/lib/NetworkManager";
};

// The name under which NetworkManager's networking switch is listed as a service.
inline constexpr const char* networkManagerServiceName = "NetworkManager";

// Every operation bound to the kernel and the bus. Sockets and the bus connection are opened on
// first use, by the calling thread (and so in its network namespace), and shared by the copies
// of the returned record.
NetworkOperations linuxNetworkOperations(const LinuxNetworkConfig& config = {});

}  // namespace nubrik
