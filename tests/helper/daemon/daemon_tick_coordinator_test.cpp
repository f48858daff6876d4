#include "helper/daemon/daemon_tick_coordinator.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/state_location.hpp"
#include "helper/log/log.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

const Date now = dateFromUnixSeconds(1796489491.0);

OfflineSession sessionAround(double startOffset, double expirationOffset) {
  OfflineSession session;
  session.id = "3F2504E0-4F89-11D3-9A0C-0305E82C3301";
  session.startDate = addSeconds(now, startOffset);
  session.expirationDate = addSeconds(now, expirationOffset);
  return session;
}

// Every operation records itself; the load returns the case under test.
struct TickTrace {
  DaemonTickDependencies dependencies(SessionLoadResult loaded) {
    DaemonTickDependencies d;
    d.loadState = [this, loaded] {
      calls.push_back("load");
      return loaded;
    };
    d.now = [] { return now; };
    d.runRestoration = [this](const OfflineSession& session) {
      calls.push_back("restore " + session.id);
      return false;
    };
    d.runEnforcement = [this] {
      calls.push_back("enforce");
      return EnforcementOutcome::noCorrectionNeeded;
    };
    d.runRecovery = [this] {
      calls.push_back("recover");
      return false;
    };
    d.publishIdle = [this] { calls.push_back("publish idle"); };
    d.log = [this](const std::string& line) { calls.push_back("log " + line); };
    d.runScheduledStart = [this] { calls.push_back("scheduled start"); };
    return d;
  }
  std::vector<std::string> calls;
};

TEST(DaemonTick, DoesExactlyOneThingForEachStoredState) {
  struct Case {
    std::string name;
    SessionLoadResult loaded;
    std::vector<std::string> calls;
  };
  const std::string id = "3F2504E0-4F89-11D3-9A0C-0305E82C3301";
  const std::vector<Case> cases = {
      {"absent", SessionAbsent{}, {"load", "publish idle", "scheduled start"}},
      {"pending",
       RecoveryPendingMarker{now, CorruptReason::unreadable, std::nullopt},
       {"load", "log daemon: recovery still pending; retrying fail-open recovery", "recover"}},
      {"corrupt undecodable",
       CorruptSessionInfo{CorruptReason::undecodable, "/x/session.corrupt.1", true},
       {"load",
        "log daemon: corrupt authoritative state (undecodable); attempting fail-open recovery",
        "recover"}},
      {"corrupt unreadable",
       CorruptSessionInfo{CorruptReason::unreadable, std::nullopt, false},
       {"load",
        "log daemon: corrupt authoritative state (unreadable); attempting fail-open recovery",
        "recover"}},
      {"running", sessionAround(-3600, 1), {"load", "enforce"}},
      {"expired",
       sessionAround(-3600, -1),
       {"load", "log daemon: session expired; restoring transactionally", "restore " + id}},
      // The boundaries of expiry and of a wound-back clock are the session model's own tests.
      {"expired, clock wound back", sessionAround(301, -1), {"load", "enforce"}},
  };
  for (const Case& c : cases) {
    TickTrace trace;
    DaemonTickCoordinator(trace.dependencies(c.loaded)).tick();
    EXPECT_EQ(trace.calls, c.calls) << c.name;
  }
}

class TransactionalTickTest : public ::testing::Test {
 protected:
  void SetUp() override { StateLocation::setTestSupportDirectoryForTest(dir.path()); }
  void TearDown() override { StateLocation::setTestSupportDirectoryForTest(std::nullopt); }
  TempDir dir;
};

TEST_F(TransactionalTickTest, RunsTheDecisionUnderTheStateLock) {
  TickTrace trace;
  runTick(DaemonTickCoordinator(trace.dependencies(SessionAbsent{})));
  EXPECT_EQ(trace.calls, (std::vector<std::string>{"load", "publish idle", "scheduled start"}));
}

TEST_F(TransactionalTickTest, IsSkippedWithALogLineWhileTheLockIsHeld) {
  const int holder =
      ::open(dir.file("transaction.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);

  TickTrace trace;
  const DaemonTickCoordinator coordinator(trace.dependencies(SessionAbsent{}));
  EXPECT_THROW(coordinator.transactionalTick(), std::exception);
  trace.calls.clear();
  runTick(coordinator);
  ::close(holder);

  ASSERT_EQ(trace.calls.size(), 1u);
  const std::string prefix =
      "log daemon: tick skipped \xE2\x80\x94 helper state lock unavailable (";
  EXPECT_EQ(trace.calls[0].substr(0, prefix.size()), prefix);
  EXPECT_NE(trace.calls[0].find(dir.file("transaction.lock")), std::string::npos);
  EXPECT_EQ(trace.calls[0].back(), ')');
}

}  // namespace
}  // namespace nubrik
