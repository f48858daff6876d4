#include "core/xpc_result_codes.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/nubrik_xpc.hpp"
#include "core/session_start_error.hpp"

namespace nubrik {
namespace {

const std::string busy = "Another helper operation is in progress; try again in a moment.";
const std::string unrecognized = "Helper returned an unrecognized response.";

// The wire numbering is the declaration order, and each code has its fixed text: both sides
// must agree on every pair.
TEST(XPCResultCodes, StartCodesAreNumberedInOrderWithTheirTexts) {
  const std::vector<std::string> texts = {
      "",
      "Session saved; the network lock is still being applied.",
      "The requested duration is not allowed.",
      "A session is already active.",
      "The previous session has expired but networking has not been restored yet.",
      "Saved session state is corrupt and recovery is pending.",
      "The helper could not capture the current network state.",
      "The helper rejected this app as unauthorized.",
      "The helper could not process the start request.",
      "The helper is unavailable. Make sure it is installed and running.",
      "The helper is restarting for an update; try again in a moment.",
  };
  for (std::int64_t raw = 0; raw < static_cast<std::int64_t>(texts.size()); ++raw) {
    const auto code = xpcStartResultCodeFromRaw(raw);
    ASSERT_TRUE(code) << raw;
    EXPECT_EQ(rawValue(*code), raw);
    EXPECT_EQ(xpcDefaultMessage(*code), texts[raw]) << raw;
  }
  EXPECT_FALSE(xpcStartResultCodeFromRaw(11));
  EXPECT_FALSE(xpcStartResultCodeFromRaw(-1));
}

TEST(XPCResultCodes, EarlyUnlockScheduleRestartAndHealthCodes) {
  const std::vector<std::string> unlock = {
      "Early unlock requested. The network will be restored in 15 minutes unless you cancel.",
      "An early unlock is already counting down.",
      "There is no active session.",
      "The session ends in under 15 minutes anyway.",
      "No early unlock is pending.",
      "The cooldown has finished; the network is about to be restored.",
      busy,
      "The helper could not process the early unlock request.",
  };
  for (std::int64_t raw = 0; raw < 8; ++raw) {
    EXPECT_EQ(earlyUnlockDefaultMessage(*earlyUnlockResultCodeFromRaw(raw)), unlock[raw]);
  }
  EXPECT_FALSE(earlyUnlockResultCodeFromRaw(8));

  const std::vector<std::string> schedule = {
      "Schedules saved.",
      "The schedules were not valid.",
      "Too many schedules (maximum 20).",
      "Two schedules share the same identifier.",
      busy,
      "The helper could not save the schedules.",
  };
  for (std::int64_t raw = 0; raw < 6; ++raw) {
    EXPECT_EQ(scheduleDefaultMessage(*scheduleResultCodeFromRaw(raw)), schedule[raw]);
  }
  EXPECT_FALSE(scheduleResultCodeFromRaw(6));

  const std::vector<std::string> restart = {
      "The helper accepted the restart request and is exiting.",
      "A session is active, so the helper cannot restart yet.",
      "The helper is not idle, so it cannot restart yet.",
      busy,
  };
  for (std::int64_t raw = 0; raw < 4; ++raw) {
    EXPECT_EQ(helperRestartDefaultMessage(*helperRestartResultCodeFromRaw(raw)), restart[raw]);
  }
  EXPECT_FALSE(helperRestartResultCodeFromRaw(4));

  EXPECT_EQ(healthReadyCodeFromRaw(0), HealthReadyCode::ready);
  EXPECT_EQ(healthReadyCodeFromRaw(1), HealthReadyCode::unavailable);
  EXPECT_FALSE(healthReadyCodeFromRaw(2));
  EXPECT_FALSE(healthReadyCodeFromRaw(std::numeric_limits<std::int64_t>::min()));
}

TEST(XPCResultCodes, SessionStartErrorsMapToTheirPositionPlusOne) {
  using Kind = SessionStartError::Kind;
  EXPECT_EQ(xpcResultCode(std::nullopt), XPCStartResultCode::started);
  const std::vector<std::pair<Kind, std::int64_t>> table = {
      {Kind::activationPending, 1},       {Kind::invalidDuration, 2},
      {Kind::activeSessionInProgress, 3}, {Kind::expiredSessionPendingRestoration, 4},
      {Kind::recoveryPending, 5},         {Kind::captureFailed, 6},
  };
  for (const auto& [kind, code] : table) {
    EXPECT_EQ(rawValue(xpcResultCode(kind)), code);
    EXPECT_EQ(rawValue(xpcResultCode(SessionStartError(kind))), code);
  }
}

TEST(XPCWireDates, OnlyPositiveFiniteTimestampsAreDates) {
  EXPECT_FALSE(wireDate(0));
  EXPECT_FALSE(wireDate(-1));
  EXPECT_FALSE(wireDate(std::nan("")));
  ASSERT_TRUE(wireDate(1.0));
  EXPECT_EQ(*wireDate(1.0), Date{} + std::chrono::seconds(1));
  // A hostile value saturates instead of overflowing.
  EXPECT_TRUE(wireDate(std::numeric_limits<double>::infinity()));
  EXPECT_EQ(wireTimestamp(std::nullopt), 0);
  EXPECT_EQ(wireTimestamp(Date{} + std::chrono::milliseconds(1500)), 1.5);
}

TEST(XPCStartOutcomeMapping, RepliesBecomeOutcomes) {
  const Date oneSecond = Date{} + std::chrono::seconds(1);
  struct Case {
    std::int64_t code;
    double timestamp;
    std::string message;
    XPCStartOutcome expected;
  };
  const std::vector<Case> cases = {
      {0, 0, "", XPCStartOutcome::started(std::nullopt)},
      {0, 1.0, "", XPCStartOutcome::started(oneSecond)},
      {1, -5, "", XPCStartOutcome::activationPending(std::nullopt)},
      // A refusal does not use the table text of its own code.
      {3, 0, "", XPCStartOutcome::failed("The helper refused the start request.")},
      {3, 0, "A session is already active.",
       XPCStartOutcome::failed("A session is already active.")},
      {10, 0, "",
       XPCStartOutcome::failed(
           std::string(xpcDefaultMessage(XPCStartResultCode::helperRestarting)))},
      {11, 0, "", XPCStartOutcome::failed(unrecognized)},
      {11, 0, "odd", XPCStartOutcome::failed("odd")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(xpcStartOutcome(c.code, c.timestamp, c.message), c.expected)
        << c.code << " " << c.timestamp << " \"" << c.message << "\"";
  }
}

TEST(EarlyUnlockOutcomeMapping, RepliesBecomeOutcomes) {
  const Date end = Date{} + std::chrono::seconds(2000);
  const auto text = [](EarlyUnlockResultCode code) {
    return std::string(earlyUnlockDefaultMessage(code));
  };
  EXPECT_EQ(earlyUnlockOutcome(0, 2000, ""),
            EarlyUnlockOutcome::done(end, text(EarlyUnlockResultCode::accepted)));
  EXPECT_EQ(earlyUnlockOutcome(0, 0, "x"), EarlyUnlockOutcome::done(std::nullopt, "x"));
  EXPECT_EQ(earlyUnlockOutcome(7, 2000, ""),
            EarlyUnlockOutcome::refused(text(EarlyUnlockResultCode::failed)));
  EXPECT_EQ(earlyUnlockOutcome(8, 0, "from helper"), EarlyUnlockOutcome::refused("from helper"));
  EXPECT_EQ(earlyUnlockOutcome(8, 0, ""), EarlyUnlockOutcome::refused(unrecognized));
}

TEST(HelperRestartOutcomeMapping, RepliesBecomeOutcomes) {
  EXPECT_EQ(helperRestartOutcome(0, ""), HelperRestartOutcome::accepted());
  EXPECT_EQ(helperRestartOutcome(3, ""), HelperRestartOutcome::refused(busy));
  EXPECT_EQ(helperRestartOutcome(2, "own"), HelperRestartOutcome::refused("own"));
  EXPECT_EQ(helperRestartOutcome(4, ""), HelperRestartOutcome::failed(unrecognized));
  EXPECT_EQ(helperRestartOutcome(4, "own"), HelperRestartOutcome::failed("own"));
}

TEST(HealthProbeMapping, VersionIsCheckedBeforeReadiness) {
  EXPECT_EQ(healthProbeResult(4, nubrikHelperVersion, 0, 5),
            HealthProbeResult::versionMismatch(4, 5));
  EXPECT_EQ(healthProbeResult(5, nubrikHelperVersion, 1, 5), HealthProbeResult::failed());
  EXPECT_EQ(healthProbeResult(5, nubrikHelperVersion, 0),
            HealthProbeResult::ready(nubrikHelperVersion));

  EXPECT_TRUE(healthIsReady(5, 0));
  EXPECT_FALSE(healthIsReady(4, 0));
  EXPECT_FALSE(healthIsReady(5, 1));
  EXPECT_TRUE(healthIsReady(4, 0, 4));
}

}  // namespace
}  // namespace nubrik
