#include "helper/daemon/daemon_tick_coordinator.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/session.hpp"
#include "helper/store/session_load_result.hpp"
#include "helper/store/session_store.hpp"
#include "helper/transaction/helper_transaction.hpp"
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

TEST(DaemonTick, JudgesASessionOnTheBootClockOfItsBootWhateverTheWallClockSays) {
  // Started 100 s into boot "B" with 600 s to run; the wall clock is set wherever.
  const auto anchored = [](double startOffset, double expirationOffset) {
    OfflineSession session = sessionAround(startOffset, expirationOffset);
    session.bootID = "B";
    session.bootTimeAtStart = 100;
    return session;
  };
  struct Case {
    std::string name;
    OfflineSession stored;
    BootInstant boot;
    bool restored;
  };
  const std::vector<Case> cases = {
      // The wall clock wound forward past the end: 10 s have really passed, keep enforcing.
      {"wound forward", anchored(-3600, -3000), {"B", 110}, false},
      // The wall clock wound back a year: 600 s have really passed, the session is over.
      {"wound back", anchored(3600 * 24 * 365, 3600 * 24 * 365 + 600), {"B", 700}, true},
  };
  for (const Case& c : cases) {
    TickTrace trace;
    DaemonTickDependencies d = trace.dependencies(c.stored);
    d.bootClock = [boot = c.boot] { return boot; };
    d.saveSession = [&trace](const OfflineSession&) { trace.calls.push_back("save"); };
    DaemonTickCoordinator(d).tick();
    EXPECT_EQ(trace.calls.back(), c.restored ? "restore " + c.stored.id : "enforce") << c.name;
    EXPECT_EQ(std::count(trace.calls.begin(), trace.calls.end(), "save"), 0) << c.name;
  }
}

TEST(DaemonTick, AnchorsASessionFromAnotherBootWithoutStretchingIt) {
  struct Case {
    std::string name;
    double startOffset;  // wall clock, relative to now
    double expirationOffset;
    double anchoredElapsed;  // seconds of the session taken as already past
    bool restored;
  };
  const std::vector<Case> cases = {
      {"ordinary", -1000, 2600, 1000, false},
      {"expired by the wall", -4000, -400, 0, true},
  };
  for (const Case& c : cases) {
    TickTrace trace;
    OfflineSession stored = sessionAround(c.startOffset, c.expirationOffset);
    stored.bootID = "A";
    stored.bootTimeAtStart = 50;
    DaemonTickDependencies d = trace.dependencies(stored);
    d.bootClock = [] { return BootInstant{"B", 20}; };
    std::optional<OfflineSession> saved;
    d.saveSession = [&saved](const OfflineSession& session) { saved = session; };
    DaemonTickCoordinator(d).tick();
    EXPECT_EQ(trace.calls.back(), c.restored ? "restore " + stored.id : "enforce") << c.name;
    if (c.restored) {
      EXPECT_FALSE(saved.has_value()) << c.name;
      continue;
    }
    OfflineSession anchored = stored;
    anchored.bootID = "B";
    anchored.bootTimeAtStart = 20 - c.anchoredElapsed;
    EXPECT_EQ(saved, anchored) << c.name;
  }
}

TEST(DaemonTick, ARecordThatCannotBeReadForAMomentIsNeitherTrustedNorCondemned) {
  TickTrace trace;
  DaemonTickDependencies d = trace.dependencies(SessionAbsent{});
  d.loadState = [&trace]() -> SessionLoadResult {
    trace.calls.push_back("load");
    throw SessionUnreadableNow("open session.json: Permission denied");
  };
  DaemonTickCoordinator(d).tick();
  EXPECT_EQ(trace.calls, std::vector<std::string>{"load"});
}

class TransactionalTickTest : public ::testing::Test {
 protected:
  TempDir dir;
  TransactionRunner runner{StatePaths::inDirectory(dir.path()), wallClock(), {}};
};

TEST_F(TransactionalTickTest, RunsTheDecisionUnderTheStateLock) {
  TickTrace trace;
  runTick(DaemonTickCoordinator(trace.dependencies(SessionAbsent{})), runner);
  EXPECT_EQ(trace.calls, (std::vector<std::string>{"load", "publish idle", "scheduled start"}));
}

TEST_F(TransactionalTickTest, IsSkippedWithALogLineWhileTheLockIsHeld) {
  const int holder =
      ::open(dir.file("transaction.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);

  TickTrace trace;
  const DaemonTickCoordinator coordinator(trace.dependencies(SessionAbsent{}));
  EXPECT_THROW(coordinator.transactionalTick(runner), std::exception);
  trace.calls.clear();
  runTick(coordinator, runner);
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
