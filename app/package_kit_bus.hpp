#pragma once

#include <functional>
#include <string>

#include "app/package_kit_results.hpp"

namespace nubrik {

struct PackageKitBusOptions {
  // The bus to talk on; empty means the system bus.
  std::string address;
  // When this descriptor becomes readable, a transaction still running is given up (ECANCELED).
  int stopFd = -1;
  // Listing the updates reads the package manager's cache.
  double checkTimeoutSeconds = 300.0;
  // Installing waits for polkit's password prompt, the download and the package scripts.
  double installTimeoutSeconds = 3600.0;
};

// PackageKit's transactions that update the app, one function each. Each runs one transaction on
// a connection of its own (PackageKit binds a transaction to the connection that created it) and
// blocks until Finished, so they run off the main queue.
struct PackageKitClient {
  // GetUpdates(filter none).
  std::function<PackageKitTransaction()> getUpdates;
  // SetHints(["interactive=true"]), then UpdatePackages(only-trusted, [packageId]).
  std::function<PackageKitTransaction(const std::string& packageId)> updatePackage;
};

// The transactions over sd-bus, with interactive polkit authorization allowed.
PackageKitClient packageKitBusClient(PackageKitBusOptions options);

}  // namespace nubrik
