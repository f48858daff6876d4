#include "helper/coordinators/session_start_coordinator.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <system_error>

#include "core/session_start_error.hpp"

namespace nubrik {
namespace {

using ::testing::ElementsAre;
using Kind = SessionStartError::Kind;

const Date kNow = dateFromReferenceSeconds(800000000.0);
const CapturedSnapshot kSnapshot{{{"A", true}}, {{"en0", true}}, {{"en0", true}}};

// Journals every dependency call; each behaviour can be swapped per test.
struct StartHarness {
  std::vector<std::string> calls;
  std::vector<OfflineSession> saved;
  SessionLoadResult stored = SessionAbsent{};
  std::function<CapturedSnapshot()> capture = [] { return kSnapshot; };
  std::function<void()> save = [] {};
  ActivationOutcome activation = ActivationOutcome::activated;
  std::optional<BootInstant> boot;

  OfflineSession start(double duration) {
    const auto journal = [this](const char* call) { calls.push_back(call); };
    return SessionStartCoordinator(
               {.loadSession =
                    [=, this] {
                      return journal("load"), SessionStartCoordinator::existingSession(stored);
                    },
                .captureSnapshot = [=, this] { return journal("capture"), capture(); },
                .saveSession =
                    [=, this](const OfflineSession& session) {
                      journal("save");
                      save();
                      saved.push_back(session);
                    },
                .activateOffline = [=, this] { return journal("activate"), activation; },
                .publishActivationPending = [=] { journal("publishPending"); },
                .currentDate = [=] { return journal("now"), kNow; },
                .bootClock = [this] { return boot; }})
        .start(duration);
  }
  std::optional<Kind> startError(double duration) {
    try {
      start(duration);
      return std::nullopt;
    } catch (const SessionStartError& error) {
      return error.kind();
    }
  }
};

TEST(SessionStartCoordinator, DurationBoundsAreInclusiveAndCheckedBeforeAnything) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  for (double refused : {299.9, 86400.1, nan}) {
    StartHarness h;
    EXPECT_EQ(h.startError(refused), Kind::invalidDuration) << refused;
    EXPECT_TRUE(h.calls.empty());
  }
  for (double accepted : {300.0, 86400.0}) {
    StartHarness h;
    EXPECT_EQ(h.startError(accepted), std::nullopt) << accepted;
  }
}

TEST(SessionStartCoordinator, SavesTheSnapshotUnderBothClocksBeforeActivating) {
  StartHarness h;
  h.boot = BootInstant{"B", 42.5};
  const OfflineSession session = h.start(3600);
  OfflineSession expected;
  expected.id = session.id;
  expected.startDate = kNow;
  expected.expirationDate = addSeconds(kNow, 3600);
  expected.services = kSnapshot.services;
  expected.wifiPower = kSnapshot.wifiPower;
  expected.interfaces = kSnapshot.interfaces;
  expected.bootID = "B";
  expected.bootTimeAtStart = 42.5;
  EXPECT_EQ(session, expected);
  EXPECT_THAT(h.saved, ElementsAre(session));
  EXPECT_THAT(h.calls, ElementsAre("load", "capture", "now", "save", "activate"));

  StartHarness withoutClock;
  EXPECT_FALSE(withoutClock.start(600).bootID.has_value());
}

TEST(SessionStartCoordinator, ExistingStateIsRefusedWithoutCapturing) {
  OfflineSession existing;
  struct Case {
    SessionLoadResult stored;
    Kind expected;
  };
  auto expiringIn = [&](double seconds) {
    existing.expirationDate = addSeconds(kNow, seconds);
    return existing;
  };
  const Case cases[] = {
      {expiringIn(-1), Kind::expiredSessionPendingRestoration},
      {expiringIn(0), Kind::expiredSessionPendingRestoration},
      {expiringIn(0.5), Kind::activeSessionInProgress},
      {CorruptSessionInfo{}, Kind::recoveryPending},
      {RecoveryPendingMarker{}, Kind::recoveryPending},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(describe(c.stored));
    StartHarness h;
    h.stored = c.stored;
    EXPECT_EQ(h.startError(900), c.expected);
    EXPECT_EQ(std::count(h.calls.begin(), h.calls.end(), "capture"), 0);
  }
}

TEST(SessionStartCoordinator, AnyCaptureFailureIsCaptureFailedAndNothingIsSaved) {
  for (const auto& failure : std::vector<std::function<CapturedSnapshot()>>{
           []() -> CapturedSnapshot {
             throw CaptureError(CaptureError::Kind::wifiDiscoveryFailed);
           },
           []() -> CapturedSnapshot { throw std::runtime_error("backend gone"); },
           []() -> CapturedSnapshot { throw 3; }}) {
    StartHarness h;
    h.capture = failure;
    EXPECT_EQ(h.startError(900), Kind::captureFailed);
    EXPECT_THAT(h.calls, ElementsAre("load", "capture"));
  }
}

TEST(SessionStartCoordinator, ASaveFailurePropagatesUnchangedAndNothingIsActivated) {
  StartHarness h;
  h.save = [] { throw std::system_error(std::make_error_code(std::errc::no_space_on_device)); };
  EXPECT_THROW(h.start(900), std::system_error);
  EXPECT_THAT(h.calls, ElementsAre("load", "capture", "now", "save"));
}

TEST(SessionStartCoordinator, PendingActivationPublishesOnceAndCarriesTheSavedSession) {
  StartHarness h;
  h.activation = ActivationOutcome::activationPending;
  try {
    h.start(900);
    ADD_FAILURE() << "start succeeded";
  } catch (const SessionStartError& error) {
    EXPECT_EQ(error.kind(), Kind::activationPending);
    ASSERT_EQ(h.saved.size(), 1u);
    EXPECT_EQ(error.session(), h.saved.front());
  }
  EXPECT_THAT(h.calls, ElementsAre("load", "capture", "now", "save", "activate", "publishPending"));
}

}  // namespace
}  // namespace nubrik
