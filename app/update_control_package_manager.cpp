#include "app/update_control_package_manager.hpp"

#include <optional>
#include <utility>

#include "app/helper_setup_worker.hpp"

namespace nubrik {

namespace {

// "<prefix>: <detail>", ending in one full stop.
std::string sentence(std::string_view prefix, const std::string& detail) {
  std::string text = std::string(prefix) + ": " + detail;
  if (!text.ends_with('.')) text += '.';
  return text;
}

class PackageManagerUpdater final : public Updater {
 public:
  PackageManagerUpdater(UpdaterDelegate& delegate, PackageManagerUpdaterDependencies dependencies)
      : delegate_(delegate), dependencies_(std::move(dependencies)) {}

  bool start() override { return true; }

  void checkForUpdates() override {
    // One check at a time; a second press while it runs does nothing.
    if (checking_) return;
    if (const std::optional<UpdateRefusal> refusal = delegate_.mayPerformUpdateCheck()) {
      dependencies_.tellUser({true, refusal->description});
      return;
    }
    checking_ = true;
    dependencies_.getUpdates(
        guarded<void(PackageKitTransaction)>([this](PackageKitTransaction transaction) {
          checking_ = false;
          checked(transaction);
        }));
  }

 private:
  // Completions and held installs may come after the updater is gone; they then do nothing.
  template <typename Function>
  std::function<Function> guarded(std::function<Function> function) {
    return [alive = std::weak_ptr<char>(alive_), function = std::move(function)](auto&&... args) {
      if (alive.lock()) function(std::forward<decltype(args)>(args)...);
    };
  }

  void checked(const PackageKitTransaction& transaction) {
    const PackageKitResult result = packageKitResult(transaction);
    if (result.outcome == PackageKitOutcome::unavailable) {
      dependencies_.tellUser({false, std::string(packageManagerUpdatesText)});
      return;
    }
    if (result.outcome != PackageKitOutcome::succeeded) {
      dependencies_.tellUser({false, updateCheckFailedText(result)});
      return;
    }
    const std::optional<PackageKitPackage> update =
        availableUpdate(transaction.packages, tamselPackageName);
    if (!update) {
      dependencies_.tellUser({false, std::string(upToDateText)});
      return;
    }
    const std::string version = parsePackageId(update->packageId)->version;
    dependencies_.offerInstall(version, guarded<void()>([this, id = update->packageId, version] {
                                 accepted(id, version);
                               }));
  }

  void accepted(const std::string& packageId, const std::string& version) {
    std::function<void()> install =
        guarded<void()>([this, packageId, version] { this->install(packageId, version); });
    if (delegate_.shouldPostponeRelaunch(install)) {
      dependencies_.tellUser({false, updateHeldText(version)});
      return;
    }
    install();
  }

  void install(const std::string& packageId, const std::string& version) {
    if (const std::optional<UpdateRefusal> refusal = delegate_.mayProceedWithUpdate()) {
      dependencies_.tellUser({true, refusal->description});
      return;
    }
    dependencies_.updatePackage(
        packageId,
        guarded<void(PackageKitTransaction)>([this, version](PackageKitTransaction transaction) {
          const PackageKitResult result = packageKitResult(transaction);
          dependencies_.tellUser({false, result.outcome == PackageKitOutcome::succeeded
                                             ? updateInstalledText(version)
                                             : updateInstallFailedText(result)});
        }));
  }

  UpdaterDelegate& delegate_;
  PackageManagerUpdaterDependencies dependencies_;
  bool checking_ = false;
  std::shared_ptr<char> alive_ = std::make_shared<char>();
};

}  // namespace

std::string updateOfferText(const std::string& version) {
  return "Tamsel " + version + " is available. Install it now?";
}

std::string updateHeldText(const std::string& version) {
  return "Tamsel " + version + " will be installed once no session is active.";
}

std::string updateInstalledText(const std::string& version) {
  return "Tamsel " + version + " is installed. Quit Tamsel and open it again to use it.";
}

std::string updateCheckFailedText(const PackageKitResult& result) {
  return sentence("Could not check for updates", result.detail);
}

std::string updateInstallFailedText(const PackageKitResult& result) {
  if (result.outcome == PackageKitOutcome::notAuthorized) {
    return "The update was not installed: administrator authorization was refused or cancelled.";
  }
  if (result.outcome == PackageKitOutcome::unavailable) {
    return sentence("The update was not installed", "PackageKit is not available");
  }
  return sentence("The update was not installed", result.detail);
}

PackageManagerUpdaterDependencies PackageManagerUpdaterDependencies::production(
    MainQueue& mainQueue, std::function<void(UpdateCheckNotice)> tellUser,
    std::function<void(const std::string&, std::function<void()>)> offerInstall,
    PackageKitBusOptions options) {
  // Transactions wait for PackageKit (and polkit's prompt) on a thread of their own, one at a
  // time; the worker's end cancels the one still waiting.
  auto worker = std::make_shared<SerialWorker>();
  options.stopFd = worker->stopFd();
  auto client = std::make_shared<const PackageKitClient>(packageKitBusClient(std::move(options)));
  MainQueue* queue = &mainQueue;
  auto deliver = [queue](std::function<void(PackageKitTransaction)> done) {
    return [queue, done = std::move(done)](PackageKitTransaction transaction) mutable {
      queue->post([done = std::move(done), transaction = std::move(transaction)]() mutable {
        done(std::move(transaction));
      });
    };
  };

  PackageManagerUpdaterDependencies deps;
  deps.getUpdates = [worker, client, deliver](std::function<void(PackageKitTransaction)> done) {
    worker->post(
        [client, reply = deliver(std::move(done))]() mutable { reply(client->getUpdates()); });
  };
  deps.updatePackage = [worker, client, deliver](const std::string& packageId,
                                                 std::function<void(PackageKitTransaction)> done) {
    worker->post([client, packageId, reply = deliver(std::move(done))]() mutable {
      reply(client->updatePackage(packageId));
    });
  };
  deps.tellUser = std::move(tellUser);
  deps.offerInstall = std::move(offerInstall);
  return deps;
}

std::unique_ptr<Updater> packageManagerUpdater(UpdaterDelegate& delegate,
                                               PackageManagerUpdaterDependencies dependencies) {
  return std::make_unique<PackageManagerUpdater>(delegate, std::move(dependencies));
}

}  // namespace nubrik
