#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/package_kit_results.hpp"
#include "app/update_control.hpp"
#include "app/update_control_package_manager.hpp"
#include "tests/app/fake_timers.hpp"

namespace nubrik {
namespace {

using ::testing::ElementsAre;

const std::string tamselId = "tamsel;1.4.0-1;amd64;stable-updates";

PackageKitTransaction finished(std::vector<PackageKitPackage> packages = {}) {
  PackageKitTransaction transaction;
  transaction.packages = std::move(packages);
  transaction.exit = packagekit::exitSuccess;
  return transaction;
}

// A transaction that finished with PackageKit's error `code`.
PackageKitTransaction failedWith(std::uint32_t code, std::string details) {
  PackageKitTransaction transaction = finished();
  transaction.errorCode = PackageKitErrorCode{code, std::move(details)};
  transaction.exit = 2;
  return transaction;
}

// A whole identifier is read in the bus test, which offers its version.
TEST(PackageId, HasFourFieldsWithANameAndAVersion) {
  EXPECT_TRUE(parsePackageId("tamsel;1.4;;"));
  for (const char* bad : {"", "tamsel", "tamsel;1.4;amd64", "tamsel;1.4;amd64;a;b", ";1.4;amd64;x",
                          "tamsel;;amd64;x"}) {
    EXPECT_FALSE(parsePackageId(bad)) << bad;
  }
}

TEST(AvailableUpdate, OnlyAnInstallableUpdateOfTheAppCounts) {
  struct Case {
    std::vector<PackageKitPackage> packages;
    std::optional<std::string> expected;
  };
  const std::vector<Case> cases = {
      {{}, std::nullopt},
      {{{5, "tamsel-doc;1.4;all;x", ""}, {5, "libtamsel;1.4;amd64;x", ""}}, std::nullopt},
      // Installed, available (not an update), blocked, and an unknown kind.
      {{{1, tamselId, ""}, {2, tamselId, ""}, {9, tamselId, ""}, {10, tamselId, ""}}, std::nullopt},
      {{{5, "tamsel;;amd64;x", ""}}, std::nullopt},
      {{{3, tamselId, ""}}, tamselId},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto found = availableUpdate(cases[i].packages, "tamsel");
    EXPECT_EQ(found ? std::optional(found->packageId) : std::nullopt, cases[i].expected)
        << "case " << i;
  }
}

TEST(PackageKitResult, TellsHowATransactionEnded) {
  using enum PackageKitOutcome;
  auto withError = [](std::string name, std::string message = {}) {
    PackageKitTransaction transaction;
    transaction.errorName = std::move(name);
    transaction.errorMessage = std::move(message);
    return transaction;
  };
  auto withExit = [](std::optional<std::uint32_t> exit, int transportError = 0) {
    PackageKitTransaction transaction;
    transaction.exit = exit;
    transaction.transportError = transportError;
    return transaction;
  };
  PackageKitTransaction noBus;
  noBus.busMissing = true;
  noBus.transportError = ENOENT;

  const std::vector<std::pair<PackageKitTransaction, PackageKitResult>> cases = {
      {finished(), {succeeded, ""}},
      {noBus, {unavailable, "no system bus"}},
      {withError("org.freedesktop.DBus.Error.AccessDenied", "denied"), {notAuthorized, "denied"}},
      {withError("org.freedesktop.DBus.Error.NoMemory", "full"), {failed, "full"}},
      {failedWith(48, "Failed to obtain authentication."),
       {notAuthorized, "Failed to obtain authentication."}},
      {failedWith(4, ""), {failed, "PackageKit error 4"}},
      {withExit(std::nullopt), {failed, "PackageKit ended the transaction without finishing it"}},
      {withExit(std::nullopt, ETIMEDOUT), {failed, "PackageKit did not finish in time"}},
      {withExit(3), {failed, "the transaction was cancelled"}},
      {withExit(2), {failed, "PackageKit could not finish (exit status 2)"}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(packageKitResult(cases[i].first), cases[i].second) << "case " << i;
  }
}

// The updater under the real update controller, with PackageKit, the user and the session's
// status played by the test. What reaches PackageKit over the bus is the bus test's.
class PackageManagerUpdaterTest : public ::testing::Test {
 protected:
  PackageManagerUpdaterTest() {
    UpdateControllerDependencies dependencies;
    dependencies.statusProvider = [this] { return status; };
    dependencies.makeUpdater = [this](UpdaterDelegate& delegate) {
      PackageManagerUpdaterDependencies deps;
      deps.getUpdates = [this](auto done) { checks.push_back(std::move(done)); };
      deps.updatePackage = [this](const std::string&, auto done) {
        installs.push_back(std::move(done));
      };
      deps.tellUser = [this](UpdateCheckNotice notice) { notices.push_back(notice); };
      deps.offerInstall = [this](const std::string&, std::function<void()> install) {
        offers.push_back(std::move(install));
      };
      return packageManagerUpdater(delegate, std::move(deps));
    };
    dependencies.timers = timers.factory();
    controller = std::make_unique<UpdateController>(std::move(dependencies));
  }

  std::vector<std::function<void(PackageKitTransaction)>> checks;
  std::vector<std::function<void(PackageKitTransaction)>> installs;
  std::vector<UpdateCheckNotice> notices;
  std::vector<std::function<void()>> offers;
  GuiStatus status = GuiStatus::confirmedIdle();
  test::FakeTimers timers;
  std::unique_ptr<UpdateController> controller;
};

const GuiStatus activeStatus = GuiStatus::confirmedActive(dateFromReferenceSeconds(8e8), 600);

TEST_F(PackageManagerUpdaterTest, ASecondCheckWaitsForTheFirst) {
  controller->checkForUpdates();
  controller->checkForUpdates();
  ASSERT_EQ(checks.size(), 1u);
  checks[0](finished());
  controller->checkForUpdates();
  EXPECT_EQ(checks.size(), 2u);
}

TEST_F(PackageManagerUpdaterTest, NoCheckDuringASession) {
  status = activeStatus;
  controller->checkForUpdates();
  EXPECT_TRUE(checks.empty());
  EXPECT_THAT(notices, ElementsAre(UpdateCheckNotice{
                           true, "Updates are only checked while no session is active."}));
}

TEST_F(PackageManagerUpdaterTest, AnUpdateAcceptedDuringASessionWaitsForTheIdleStatus) {
  controller->checkForUpdates();
  checks[0](finished({{5, tamselId, ""}}));
  // A session starts while the offer is on screen.
  status = activeStatus;
  ASSERT_EQ(offers.size(), 1u);
  offers[0]();
  EXPECT_TRUE(installs.empty());
  EXPECT_THAT(notices, ElementsAre(UpdateCheckNotice{false, updateHeldText("1.4.0-1")}));
  ASSERT_EQ(timers.made.size(), 1u);
  timers.made[0]->fire();
  EXPECT_TRUE(installs.empty());
  status = GuiStatus::confirmedIdle();
  timers.made[0]->fire();
  EXPECT_TRUE(timers.made[0]->cancelled);
  EXPECT_EQ(installs.size(), 1u);
}

TEST_F(PackageManagerUpdaterTest, AFailedInstallSaysWhy) {
  const std::vector<std::pair<PackageKitTransaction, std::string>> cases = {
      {failedWith(48, "Failed to obtain authentication."),
       "The update was not installed: administrator authorization was refused or cancelled."},
      {failedWith(13, "Could not resolve dependencies."),
       "The update was not installed: Could not resolve dependencies."},
  };
  for (const auto& [transaction, text] : cases) {
    notices.clear();
    controller->checkForUpdates();
    checks.back()(finished({{5, tamselId, ""}}));
    ASSERT_FALSE(offers.empty());
    offers.back()();
    ASSERT_FALSE(installs.empty());
    installs.back()(transaction);
    EXPECT_THAT(notices, ElementsAre(UpdateCheckNotice{false, text}));
  }
}

TEST_F(PackageManagerUpdaterTest, NothingArrivesAfterTheUpdaterIsGone) {
  controller->checkForUpdates();
  auto late = std::move(checks[0]);
  controller.reset();
  late(finished({{5, tamselId, ""}}));
  EXPECT_TRUE(offers.empty());
  EXPECT_TRUE(notices.empty());
}

}  // namespace
}  // namespace nubrik
