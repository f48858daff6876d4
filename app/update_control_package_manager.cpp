#include "app/update_control_package_manager.hpp"

#include <optional>
#include <utility>

namespace nubrik {

namespace {

class PackageManagerUpdater final : public Updater {
 public:
  PackageManagerUpdater(UpdaterDelegate& delegate, std::function<void(UpdateCheckNotice)> tellUser)
      : delegate_(delegate), tellUser_(std::move(tellUser)) {}

  bool start() override { return true; }

  void checkForUpdates() override {
    if (const std::optional<UpdateRefusal> refusal = delegate_.mayPerformUpdateCheck()) {
      tellUser_({true, refusal->description});
      return;
    }
    tellUser_({false, std::string(packageManagerUpdatesText)});
  }

 private:
  UpdaterDelegate& delegate_;
  std::function<void(UpdateCheckNotice)> tellUser_;
};

}  // namespace

std::unique_ptr<Updater> packageManagerUpdater(UpdaterDelegate& delegate,
                                               std::function<void(UpdateCheckNotice)> tellUser) {
  return std::make_unique<PackageManagerUpdater>(delegate, std::move(tellUser));
}

}  // namespace nubrik
