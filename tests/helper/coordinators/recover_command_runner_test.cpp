#include "helper/coordinators/recover_command_runner.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

#include "core/session.hpp"
#include "helper/store/session_load_result.hpp"

namespace nubrik {
namespace {

using Kind = RecoverCommandResult::Kind;

OfflineSession unexpiredSession() {
  OfflineSession session;
  session.id = "A0A0A0A0-B1B1-C2C2-D3D3-E4E4E4E4E4E4";
  session.services = {{"A", false}};
  session.expirationDate = Date::max();  // the command restores regardless of expiration
  return session;
}

TEST(RecoverCommandRunner, DispatchesOnTheStoredState) {
  const RecoverCommandResult restored{Kind::recovered, RecoveredKind::restored};
  const RecoverCommandResult failedOpen{Kind::recovered, RecoveredKind::failOpen};
  const RecoverCommandResult failed{Kind::failed}, nothing{Kind::nothingToDo};
  struct Case {
    SessionLoadResult state;
    bool succeeds;
    RecoverCommandResult expected;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {SessionAbsent{}, true, nothing, {"load", "idle"}},
      {unexpiredSession(), true, restored, {"load", "restore"}},
      {unexpiredSession(), false, failed, {"load", "restore"}},
      {CorruptSessionInfo{}, true, failedOpen, {"load", "failOpen"}},
      {CorruptSessionInfo{}, false, failed, {"load", "failOpen"}},
      {RecoveryPendingMarker{}, true, failedOpen, {"load", "failOpen"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(describe(c.state));
    std::vector<std::string> calls;
    RecoverCommandRunner runner{
        .loadState = [&] { return calls.push_back("load"), c.state; },
        .restoreValid =
            [&](const OfflineSession&) { return calls.push_back("restore"), c.succeeds; },
        .recoverFailOpen = [&] { return calls.push_back("failOpen"), c.succeeds; },
        .publishIdle = [&] { calls.push_back("idle"); },
        .log = [&](const std::string& line) { calls.push_back(line); },
        .takeFailureLines = {},
    };
    EXPECT_EQ(runner.run(), c.expected);
    EXPECT_EQ(calls, c.calls);

    // Nothing thrown below may escape or be taken for a recovery.
    runner.restoreValid = [](const OfflineSession&) -> bool { throw std::runtime_error("x"); };
    runner.recoverFailOpen = []() -> bool { throw 1; };
    runner.publishIdle = [] { throw 2; };
    EXPECT_EQ(runner.run().kind,
              c.expected.kind == Kind::nothingToDo ? Kind::nothingToDo : Kind::failed);
  }
}

}  // namespace
}  // namespace nubrik
