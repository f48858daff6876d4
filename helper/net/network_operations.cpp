#include "helper/net/network_operations.hpp"

#if defined(__APPLE__)
#include "helper/net/macos/macos_network_operations.hpp"
#else
#include "helper/net/linux/linux_network_operations.hpp"
#endif

namespace nubrik {

NetworkOperations NetworkOperations::production() {
#if defined(__APPLE__)
  return macosNetworkOperations();
#else
  return linuxNetworkOperations(LinuxNetworkConfig{});
#endif
}

}  // namespace nubrik
