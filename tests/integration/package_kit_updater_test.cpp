// The updater against a PackageKit of the test's own on a private system-style bus: the real
// sd-bus client on its worker thread and the real update controller. The idle gate and the texts
// of failed installs are the controller's unit tests'.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/event_loop.hpp"
#include "app/update_control.hpp"
#include "app/update_control_package_manager.hpp"
#include "tests/integration/fake_bus_service.hpp"
#include "tests/support/private_system_bus.hpp"

namespace nubrik {
namespace {

using ::testing::IsEmpty;

constexpr const char* transactionInterface = "org.freedesktop.PackageKit.Transaction";
const std::string tamselId = "tamsel;1.4.0-1;amd64;stable";

// PackageKit's daemon object and its transactions, only the calls the app makes. It records each
// call and answers with the signals it was told to send.
class FakePackageKit {
 public:
  using Package = std::tuple<std::uint32_t, std::string, std::string>;
  using Error = std::pair<std::uint32_t, std::string>;

  // Set before start().
  std::vector<Package> updates;
  std::optional<Error> updatesError;
  // Another connection sends a finished transaction with an update on the transaction's path
  // before PackageKit answers.
  bool impostor = false;

  explicit FakePackageKit(const std::string& address)
      : impostor_(test::FakeBusService<>::connect(address)), service_(address) {
    service_.addObject("/org/freedesktop/PackageKit", "org.freedesktop.PackageKit", daemonVtable,
                       this);
  }

  bool start() { return impostor_ && service_.start("org.freedesktop.PackageKit"); }
  std::vector<std::string> calls() const { return service_.calls(); }

 private:
  static int createTransaction(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& self = *static_cast<FakePackageKit*>(userdata);
    self.service_.record("CreateTransaction");
    const std::string path = "/" + std::to_string(++self.transactions_) + "_test";
    if (!self.service_.addObject(path.c_str(), transactionInterface, transactionVtable, &self)) {
      return -EIO;
    }
    return sd_bus_reply_method_return(message, "o", path.c_str());
  }

  // The strings of the message's next array, each after `separator`; nullopt when there is none.
  static std::optional<std::string> readStrings(sd_bus_message* message, const char* separator) {
    char** list = nullptr;
    if (sd_bus_message_read_strv(message, &list) < 0) return std::nullopt;
    std::string joined;
    for (char** item = list; item && *item; ++item) {
      joined += separator + std::string(*item);
      free(*item);
    }
    free(list);
    return joined;
  }

  static int setHints(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& self = *static_cast<FakePackageKit*>(userdata);
    const auto hints = readStrings(message, "");
    if (!hints) return -EINVAL;
    self.service_.record("SetHints(" + *hints + ")");
    return sd_bus_reply_method_return(message, "");
  }

  static int getUpdates(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& self = *static_cast<FakePackageKit*>(userdata);
    std::uint64_t filter = 0;
    if (sd_bus_message_read(message, "t", &filter) < 0) return -EINVAL;
    self.service_.record("GetUpdates(" + std::to_string(filter) + ")");
    const char* path = sd_bus_message_get_path(message);
    if (self.impostor) {
      sd_bus_emit_signal(self.impostor_.get(), path, transactionInterface, "Package", "uss", 5u,
                         tamselId.c_str(), "");
      sd_bus_emit_signal(self.impostor_.get(), path, transactionInterface, "Finished", "uu", 1u,
                         0u);
      sd_bus_flush(self.impostor_.get());
    }
    const int r = sd_bus_reply_method_return(message, "");
    for (const auto& [info, id, summary] : self.updates) {
      sd_bus_emit_signal(self.service_.bus(), path, transactionInterface, "Package", "uss", info,
                         id.c_str(), summary.c_str());
    }
    self.finish(path, self.updatesError);
    return r;
  }

  static int updatePackages(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& self = *static_cast<FakePackageKit*>(userdata);
    std::uint64_t flags = 0;
    if (sd_bus_message_read(message, "t", &flags) < 0) return -EINVAL;
    const auto ids = readStrings(message, ",");
    if (!ids) return -EINVAL;
    self.service_.record("UpdatePackages(" + std::to_string(flags) + *ids + ")");
    const char* path = sd_bus_message_get_path(message);
    const int r = sd_bus_reply_method_return(message, "");
    sd_bus_emit_signal(self.service_.bus(), path, transactionInterface, "Package", "uss", 11u,
                       tamselId.c_str(), "");
    self.finish(path, std::nullopt);
    return r;
  }

  // ErrorCode first when there is one, then Finished: failed after an error, success otherwise.
  void finish(const char* path, const std::optional<Error>& error) {
    if (error) {
      sd_bus_emit_signal(service_.bus(), path, transactionInterface, "ErrorCode", "us",
                         error->first, error->second.c_str());
    }
    sd_bus_emit_signal(service_.bus(), path, transactionInterface, "Finished", "uu",
                       error ? 2u : 1u, 7u);
  }

  static constexpr sd_bus_vtable daemonVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("CreateTransaction", "", "o", createTransaction, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_VTABLE_END,
  };
  static constexpr sd_bus_vtable transactionVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("SetHints", "as", "", setHints, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_METHOD("GetUpdates", "t", "", getUpdates, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_METHOD("UpdatePackages", "tas", "", updatePackages, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_SIGNAL("Package", "uss", 0),
      SD_BUS_SIGNAL("ErrorCode", "us", 0),
      SD_BUS_SIGNAL("Finished", "uu", 0),
      SD_BUS_VTABLE_END,
  };

  FlushingBusHandle impostor_;
  int transactions_ = 0;
  test::FakeBusService<> service_;
};

class NoTimer final : public RepeatingTimer {
 public:
  void cancel() override {}
};

const std::vector<std::string> check = {"CreateTransaction", "GetUpdates(2)"};
const std::vector<std::string> checkAndInstall = {
    "CreateTransaction",
    "GetUpdates(2)",
    "CreateTransaction",
    "SetHints(interactive=true)",
    "UpdatePackages(2," + tamselId + ")",
};

class PackageKitOnPrivateBus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bus_.running()) GTEST_SKIP() << "no private bus: " << bus_.failure();
  }

  // The controller with its updater, talking to the bus at `address`.
  void makeController(const std::string& address) {
    UpdateControllerDependencies dependencies;
    dependencies.statusProvider = [] { return GuiStatus::confirmedIdle(); };
    dependencies.makeUpdater = [this, address](UpdaterDelegate& delegate) {
      PackageKitBusOptions options;
      options.address = address;
      options.checkTimeoutSeconds = 30;
      options.installTimeoutSeconds = 30;
      return packageManagerUpdater(
          delegate, PackageManagerUpdaterDependencies::production(
                        loop_, [this](UpdateCheckNotice notice) { notices_.push_back(notice); },
                        [this](const std::string& version, std::function<void()> install) {
                          offers_.emplace_back(version, std::move(install));
                        },
                        options));
    };
    dependencies.timers = [](double, std::function<void()>) { return std::make_unique<NoTimer>(); };
    controller_ = std::make_unique<UpdateController>(std::move(dependencies));
  }

  // Runs the app's main queue until the user is told something or offered an update.
  void waitForTheUser() {
    const std::size_t before = notices_.size() + offers_.size();
    loop_.runUntil([&] { return notices_.size() + offers_.size() > before; });
  }

  UpdateCheckNotice lastNotice() const {
    return notices_.empty() ? UpdateCheckNotice{} : notices_.back();
  }

  test::PrivateSystemBus bus_{/*open=*/true};
  EventLoop loop_;
  std::vector<UpdateCheckNotice> notices_;
  std::vector<std::pair<std::string, std::function<void()>>> offers_;
  // Goes first: its worker may still deliver to the loop.
  std::unique_ptr<UpdateController> controller_;
};

TEST_F(PackageKitOnPrivateBus, AnAvailableUpdateIsOfferedAndInstalled) {
  FakePackageKit packageKit(bus_.address());
  packageKit.updates = {{5, "bash;5.2.15-2;amd64;stable", "shell"}, {5, tamselId, "Offline time"}};
  ASSERT_TRUE(packageKit.start());
  makeController(bus_.address());

  controller_->checkForUpdates();
  waitForTheUser();
  ASSERT_EQ(offers_.size(), 1u);
  EXPECT_EQ(offers_[0].first, "1.4.0-1");
  offers_[0].second();
  waitForTheUser();
  EXPECT_EQ(lastNotice(), (UpdateCheckNotice{false, updateInstalledText("1.4.0-1")}));
  EXPECT_EQ(packageKit.calls(), checkAndInstall);
}

TEST_F(PackageKitOnPrivateBus, CheckOutcomesOtherThanAnUpdate) {
  struct Case {
    const char* name;
    std::optional<FakePackageKit::Error> error;
    bool impostor;
    std::string told;
  };
  const std::vector<Case> cases = {
      {"error", FakePackageKit::Error{18, "No package cache is available."}, false,
       "Could not check for updates: No package cache is available."},
      {"impostor", std::nullopt, true, std::string(upToDateText)},
  };
  for (const Case& c : cases) {
    FakePackageKit packageKit(bus_.address());
    packageKit.updatesError = c.error;
    packageKit.impostor = c.impostor;
    ASSERT_TRUE(packageKit.start());
    makeController(bus_.address());
    notices_.clear();
    controller_->checkForUpdates();
    waitForTheUser();
    EXPECT_THAT(offers_, IsEmpty()) << c.name;
    EXPECT_EQ(lastNotice(), (UpdateCheckNotice{false, c.told})) << c.name;
    EXPECT_EQ(packageKit.calls(), check) << c.name;
    controller_.reset();
  }
}

TEST_F(PackageKitOnPrivateBus, WithoutPackageKitThePackageManagerIsNamed) {
  const std::string missingSocket = "unix:path=" + bus_.socketPath() + ".missing";
  for (const std::string& address : {bus_.address(), missingSocket}) {
    makeController(address);
    controller_->checkForUpdates();
    waitForTheUser();
    EXPECT_EQ(lastNotice(), (UpdateCheckNotice{false, std::string(packageManagerUpdatesText)}))
        << address;
    controller_.reset();
  }
}

}  // namespace
}  // namespace nubrik
