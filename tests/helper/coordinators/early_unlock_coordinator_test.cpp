#include "helper/coordinators/early_unlock_coordinator.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>

#include "core/session.hpp"
#include "helper/store/session_load_result.hpp"

namespace nubrik {
namespace {

using Code = EarlyUnlockResultCode;
using std::chrono::seconds;

const Date kNow = dateFromReferenceSeconds(800000000.0);

OfflineSession running(Date end, Date start = kNow - std::chrono::hours(1)) {
  OfflineSession session;
  session.id = "S";
  session.startDate = start;
  session.expirationDate = end;
  return session;
}

OfflineSession pending(Date shortenedEnd, Date originalEnd,
                       Date start = kNow - std::chrono::hours(1)) {
  OfflineSession session = running(shortenedEnd, start);
  session.originalExpirationDate = originalEnd;
  session.earlyUnlockRequestedAt = shortenedEnd - seconds(900);
  return session;
}

// The session store in memory; a save replaces the stored session unless it is set to fail.
struct Harness {
  explicit Harness(SessionLoadResult initial) : stored(std::move(initial)) {}

  SessionLoadResult stored;
  Date now = kNow;
  std::optional<BootInstant> boot;
  bool saveFails = false;
  std::vector<OfflineSession> published;

  EarlyUnlockCoordinator coordinator() {
    return EarlyUnlockCoordinator({
        .loadState = [this] { return stored; },
        .save =
            [this](const OfflineSession& session) {
              if (saveFails) throw std::runtime_error("disk full");
              stored = session;
            },
        .publishStatus = [this](const OfflineSession& session) { published.push_back(session); },
        .now = [this] { return now; },
        .bootClock = [this] { return boot; },
        .cooldown = 900,
    });
  }
};

TEST(EarlyUnlockCoordinator, AnswersForEachStoredState) {
  const Date later = kNow + std::chrono::hours(1);
  const Date setBack = kNow + seconds(301);  // a start date more than 300 s ahead of the clock
  struct Case {
    const char* what;
    SessionLoadResult stored;
    EarlyUnlockResult request;
    EarlyUnlockResult cancel;
  };
  const EarlyUnlockResult none{Code::noActiveSession, {}};
  const Date in900 = kNow + seconds(900);
  const Date in300 = kNow + seconds(300);
  // clang-format off
  const Case cases[] = {
      {"no session", SessionAbsent{}, none, none},
      {"corrupt", CorruptSessionInfo{}, none, none},
      {"expired", running(kNow), none, none},
      {"clock wound back", running(later, setBack), none, none},
      {"exactly 900 s left", running(in900), {Code::endsSoon, in900}, {Code::notPending, in900}},
      {"already pending", pending(in300, later), {Code::alreadyPending, in300}, {Code::accepted, later}},
      {"cooldown over", pending(kNow, later), none, {Code::tooLate, kNow}},
      // Set back far before the start: no new request, but a pending one can still be undone.
      {"clock wound back, pending", pending(in300, later, setBack), none, {Code::accepted, later}},
  };
  // clang-format on
  for (const Case& c : cases) {
    Harness h{c.stored};
    EXPECT_EQ(h.coordinator().request(), c.request) << c.what;
    EXPECT_EQ(h.stored, c.stored) << c.what;  // a request here never changes anything
    EXPECT_TRUE(h.published.empty()) << c.what;
    EXPECT_EQ(h.coordinator().cancel(), c.cancel) << c.what;
  }
}

TEST(EarlyUnlockCoordinator, CountsTheCooldownOnTheSessionsOwnClock) {
  // Started an hour ago (by its boot clock) with two hours to run; the wall clock has since been
  // set a day back, which would make "15 minutes from now" a day early.
  OfflineSession session = running(kNow + std::chrono::hours(2), kNow - std::chrono::hours(1));
  session.bootID = "B";
  session.bootTimeAtStart = 100;
  Harness harness(session);
  harness.now = kNow - std::chrono::hours(24);
  harness.boot = BootInstant{"B", 100 + 3600};
  const EarlyUnlockResult result = harness.coordinator().request();
  EXPECT_EQ(result.code, Code::accepted);
  EXPECT_EQ(result.expiration, kNow + seconds(900));
  const auto* stored = std::get_if<OfflineSession>(&harness.stored);
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->earlyUnlockRequestedAt, kNow);
}

TEST(EarlyUnlockCoordinator, FailedSavePublishesNothing) {
  const Date later = kNow + std::chrono::hours(1);
  for (const OfflineSession& session : {running(later), pending(kNow + seconds(60), later)}) {
    Harness h{session};
    h.saveFails = true;
    const EarlyUnlockResult expected{Code::failed, std::nullopt};
    EXPECT_EQ(session.earlyUnlockPending() ? h.coordinator().cancel() : h.coordinator().request(),
              expected);
    EXPECT_EQ(h.stored, SessionLoadResult(session));
    EXPECT_TRUE(h.published.empty());
  }
}

}  // namespace
}  // namespace nubrik
