#include "core/session_start_error.hpp"

#include <gtest/gtest.h>

#include "tests/core/sample_session.hpp"

namespace nubrik {
namespace {

using test::sampleSession;

TEST(SessionStartErrorText, MatchesTheCommandLineContract) {
  using Kind = SessionStartError::Kind;
  const struct {
    Kind kind;
    const char* what;
    int status;
    const char* text;
  } cases[] = {
      {Kind::invalidDuration, "invalidDuration", 2,
       "error: duration must be 5 minutes to 24 hours\n"},
      {Kind::activeSessionInProgress, "activeSessionInProgress", 4,
       "error: a session is already active\n"},
      {Kind::expiredSessionPendingRestoration, "expiredSessionPendingRestoration", 7,
       "error: the previous session has expired but networking has not been restored yet; wait a "
       "moment and try again\n"},
      {Kind::recoveryPending, "recoveryPending", 7,
       "error: saved session state is corrupt and fail-open recovery is pending; wait a moment "
       "and try again\n"},
      {Kind::captureFailed, "captureFailed", 10,
       "error: could not capture current network state; nothing was changed\n"},
  };
  for (const auto& c : cases) {
    const SessionStartError error(c.kind);
    EXPECT_STREQ(error.what(), c.what);
    EXPECT_EQ(error.exitStatus(), c.status) << c.what;
    EXPECT_EQ(error.commandLineText(), c.text);
  }

  const auto pending = SessionStartError::activationPending(sampleSession());
  EXPECT_STREQ(pending.what(),
               R"(activationPending(session: "0B5E1F32-7C44-4B1A-9D2E-52A3C1F0A9B7"))");
  EXPECT_EQ(pending.exitStatus(), 9);
  EXPECT_EQ(pending.commandLineText(),
            "session saved but the network lock is still being applied; it will take effect "
            "shortly\n");
  EXPECT_EQ(pending.session(), sampleSession());
  EXPECT_FALSE(pending == SessionStartError(SessionStartError::Kind::activationPending));
}

}  // namespace
}  // namespace nubrik
