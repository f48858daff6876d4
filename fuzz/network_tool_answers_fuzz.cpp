// Feeds arbitrary bytes to the hardware-port, Wi-Fi power and service-state parsers.

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "helper/net/macos/network_parsers.hpp"
#include "helper/net/network_errors.hpp"

using nubrik::NetworkStateError;

namespace {

template <typename Parse>
void expectParsedOrMalformed(Parse parse, const char* command) {
  try {
    parse();
  } catch (const NetworkStateError& error) {
    if (error != NetworkStateError::malformedOutput(command)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string output(reinterpret_cast<const char*>(data), size);

  expectParsedOrMalformed(
      [&] {
        const std::vector<nubrik::macos::HardwarePort> ports =
            nubrik::macos::parseHardwarePorts(output);
        if (ports.empty()) std::abort();
        std::set<std::string> devices;
        for (const auto& port : ports) {
          if (port.port.empty() || port.device.empty() || port.device == "(null)" ||
              !devices.insert(port.device).second) {
            std::abort();
          }
        }
        if (nubrik::macos::wifiDeviceNames(ports).size() > ports.size()) std::abort();
      },
      "listallhardwareports");
  expectParsedOrMalformed([&] { nubrik::macos::parseWifiPowerState(output); }, "getairportpower");
  expectParsedOrMalformed([&] { nubrik::macos::parseServiceEnabledState(output); },
                          "getnetworkserviceenabled");
  return 0;
}
