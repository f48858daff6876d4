// Feeds arbitrary bytes to the interface-list and interface-flags parsers.

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "helper/net/macos/network_parsers.hpp"
#include "helper/net/network_errors.hpp"

using nubrik::NetworkStateError;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string output(reinterpret_cast<const char*>(data), size);
  const NetworkStateError malformed = NetworkStateError::malformedOutput("ifconfig");

  try {
    const std::vector<std::string> snapshot = nubrik::macos::parseSnapshotInterfaces(output);
    const std::vector<std::string> external = nubrik::macos::parseExternalInterfaces(output);
    const std::set<std::string> unique(snapshot.begin(), snapshot.end());
    if (unique.size() != snapshot.size() || !unique.contains("lo0")) std::abort();
    for (const std::string& name : snapshot) nubrik::macos::validateInterfaceToken(name);
    for (const std::string& name : external) {
      if (name.rfind("lo", 0) == 0 || !unique.contains(name)) std::abort();
    }
  } catch (const NetworkStateError& error) {
    if (error != malformed) std::abort();
  }

  try {
    nubrik::macos::parseInterfaceUpState(output);
  } catch (const NetworkStateError& error) {
    if (error != malformed) std::abort();
  }
  return 0;
}
