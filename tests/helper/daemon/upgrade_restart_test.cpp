#include "helper/daemon/upgrade_restart.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "core/session.hpp"
#include "helper/daemon/executable_identity.hpp"
#include "helper/service/restart_coordinator.hpp"
#include "helper/store/session_load_result.hpp"
#include "helper/transaction/helper_transaction.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

constexpr FileIdentity runningFile{8, 100};
constexpr FileIdentity upgradedFile{8, 200};

// The watch over the restart request's own coordinator, with the stored state, the exit and the
// state lock faked. Nothing here can switch a link: the restart decision only reads the state.
class UpgradeRestartTest : public ::testing::Test {
 protected:
  UpgradeRestartCoordinator watch() {
    UpgradeRestartDependencies d;
    d.installedIdentity = [this] { return installed; };
    d.prepareRestart = [this] {
      ++decisions;
      if (lockTaken)
        throw HelperTransactionError(HelperTransactionError::Kind::lockUnavailable, "");
      return restartRequest().prepareRestart();
    };
    d.isRestarting = [this] { return restarting; };
    d.diagnose = [this](std::string_view line) { diagnostics.emplace_back(line); };
    return UpgradeRestartCoordinator(runningFile, d);
  }

  RestartCoordinator restartRequest() {
    return RestartCoordinator({[this] { return stored; }, [this] { ++exits; },
                               [this] { return restarting; }, [this] { restarting = true; }});
  }

  static OfflineSession session() {
    OfflineSession s;
    s.id = "S";
    return s;
  }

  std::optional<FileIdentity> installed = runningFile;
  SessionLoadResult stored = SessionAbsent{};
  bool lockTaken = false;
  bool restarting = false;
  int decisions = 0;
  int exits = 0;
  std::vector<std::string> diagnostics;
};

TEST_F(UpgradeRestartTest, TheRunningExecutableInPlaceOrNoneAtAllAsksNothing) {
  for (const std::optional<FileIdentity>& file :
       {std::optional(runningFile), std::optional<FileIdentity>()}) {
    installed = file;
    EXPECT_EQ(watch().check(), UpgradeCheck::current);
  }
  EXPECT_EQ(decisions, 0);
  EXPECT_EQ(exits, 0);
}

TEST_F(UpgradeRestartTest, ANewExecutableWaitsForEverythingStoredAndForTheLock) {
  installed = upgradedFile;
  const std::vector<std::pair<SessionLoadResult, bool>> waits = {
      {session(), false},             // a running or expired session
      {CorruptSessionInfo{}, false},  // a fail-open restore owed
      {SessionAbsent{}, true},        // nothing stored, but the state lock is taken
  };
  for (const auto& [state, busy] : waits) {
    stored = state;
    lockTaken = busy;
    EXPECT_EQ(watch().check(), UpgradeCheck::deferred);
  }
  EXPECT_EQ(decisions, 3);
  EXPECT_EQ(exits, 0);
  EXPECT_FALSE(restarting);
}

TEST_F(UpgradeRestartTest, ANewExecutableRestartsOnceIdleAndARestartForTheAppEndsTheWatch) {
  installed = upgradedFile;
  EXPECT_EQ(watch().check(), UpgradeCheck::restarting);
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(watch().check(), UpgradeCheck::restarting);
  EXPECT_EQ(decisions, 1);
}

TEST_F(UpgradeRestartTest, TheJournalHearsOfEachWaitingExecutableOnce) {
  installed = upgradedFile;
  stored = session();
  UpgradeRestartCoordinator coordinator = watch();
  coordinator.check();
  coordinator.check();
  ASSERT_EQ(diagnostics.size(), 1u);
  EXPECT_NE(diagnostics[0].find("waits"), std::string::npos);

  // A second upgrade during the same session is a new executable.
  installed = FileIdentity{8, 300};
  coordinator.check();
  EXPECT_EQ(diagnostics.size(), 2u);
}

TEST(ExecutableIdentityTest, OnlyARegularFileAtThePathCounts) {
  TempDir dir;
  dir.write("target", "x");
  ASSERT_EQ(::symlink(dir.file("target").c_str(), dir.file("link").c_str()), 0);
  EXPECT_FALSE(regularFileIdentity(dir.file("link")));
  EXPECT_FALSE(regularFileIdentity(dir.path()));
  EXPECT_FALSE(regularFileIdentity(dir.file("missing")));
}

}  // namespace
}  // namespace nubrik
