// Feeds arbitrary bytes to the service-list parsers. Each must either fail with
// malformedOutput("listallnetworkservices") or return names that agree with one another.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "helper/net/macos/network_parsers.hpp"
#include "helper/net/network_errors.hpp"

namespace {

using nubrik::NetworkStateError;
using Names = std::vector<std::string>;

bool isSubsequence(const Names& part, const Names& whole) {
  auto position = whole.begin();
  for (const std::string& name : part) {
    position = std::find(position, whole.end(), name);
    if (position == whole.end()) return false;
    ++position;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string output(reinterpret_cast<const char*>(data), size);
  Names snapshot;
  try {
    snapshot = nubrik::macos::parseSnapshotServiceNames(output);
  } catch (const NetworkStateError& error) {
    if (error != NetworkStateError::malformedOutput("listallnetworkservices")) std::abort();
    // The other parsers apply the same shape rules and must fail alike.
    try {
      nubrik::macos::parseServiceList(output);
      std::abort();
    } catch (const NetworkStateError&) {
    }
    return 0;
  }
  const Names enabled = nubrik::macos::parseServiceList(output);
  const Names all = nubrik::macos::parseAllServiceNames(output);
  if (!isSubsequence(enabled, snapshot) || !isSubsequence(all, snapshot)) std::abort();
  for (const std::string& name : snapshot) {
    if (name.empty() || name.find('\n') != std::string::npos) std::abort();
  }
  return 0;
}
