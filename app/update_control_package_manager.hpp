#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/main_queue.hpp"
#include "app/package_kit_bus.hpp"
#include "app/package_kit_results.hpp"
#include "app/update_control.hpp"

namespace nubrik {

// What a check by hand (or the install that follows it) tells the user.
struct UpdateCheckNotice {
  // True when the update control refused; `text` is then the refusal.
  bool refused = false;
  std::string text;

  friend bool operator==(const UpdateCheckNotice&, const UpdateCheckNotice&) = default;
};

inline constexpr std::string_view packageManagerUpdatesText =
    "Tamsel is updated by your system's package manager. Use it to check for a newer version.";
inline constexpr std::string_view upToDateText = "Tamsel is up to date.";
// The package whose updates the app looks for.
inline constexpr std::string_view tamselPackageName = "tamsel";

// The texts around an update of `version`.
std::string updateOfferText(const std::string& version);
std::string updateHeldText(const std::string& version);
std::string updateInstalledText(const std::string& version);
// Why a check or an install did not go through.
std::string updateCheckFailedText(const PackageKitResult& result);
std::string updateInstallFailedText(const PackageKitResult& result);

struct PackageManagerUpdaterDependencies {
  // Lists the available updates; the completion runs on the main queue.
  std::function<void(std::function<void(PackageKitTransaction)>)> getUpdates;
  // Installs the update with this package id; the completion runs on the main queue.
  std::function<void(const std::string& packageId, std::function<void(PackageKitTransaction)>)>
      updatePackage;
  std::function<void(UpdateCheckNotice)> tellUser;
  // Shows that `version` is available and offers to install it: `install` runs, once, only when
  // the user accepts.
  std::function<void(const std::string& version, std::function<void()> install)> offerInstall;

  // PackageKit over the system bus, on a thread of its own; the user interface as given.
  static PackageManagerUpdaterDependencies production(
      MainQueue& mainQueue, std::function<void(UpdateCheckNotice)> tellUser,
      std::function<void(const std::string&, std::function<void()>)> offerInstall,
      PackageKitBusOptions options = {});
};

// The updater of a packaged install. A check by hand asks the delegate, then PackageKit whether a
// newer tamsel package is available, and offers it. An accepted update goes through the delegate
// again: its install waits while the delegate postpones it, and it reaches PackageKit only when
// the delegate lets the update proceed right before. Where PackageKit is absent, the check says
// that the package manager updates the app. Nothing runs on its own: start() does nothing.
std::unique_ptr<Updater> packageManagerUpdater(UpdaterDelegate& delegate,
                                               PackageManagerUpdaterDependencies dependencies);

}  // namespace nubrik
