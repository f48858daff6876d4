#include "helper/coordinators/scheduled_start_coordinator.hpp"

#include <cctz/civil_time.h>
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>

#include "core/session.hpp"
#include "core/session_start_error.hpp"
#include "helper/context/helper.hpp"
#include "helper/store/schedule_store.hpp"
#include "tests/helper/transaction/state_fixture.hpp"

namespace nubrik {
namespace {

std::shared_ptr<const ZoneCalendar> berlin() {
  static const auto calendar =
      std::make_shared<const ZoneCalendar>(*ZoneCalendar::named("Europe/Berlin"));
  return calendar;
}

// Monday 2026-01-05 at h:mi in Berlin.
Date monday(int h, int mi) {
  return Date(std::chrono::duration_cast<Date::duration>(
      cctz::convert(cctz::civil_second(2026, 1, 5, h, mi, 0), berlin()->zone())
          .time_since_epoch()));
}

const RecurringSchedule kWeekdayMornings{"A", {2, 3, 4, 5, 6}, 540, 60, true};

OfflineSession sessionFor(double seconds) {
  OfflineSession session;
  session.id = "NEW";
  session.expirationDate = monday(9, 0) + std::chrono::seconds(static_cast<long>(seconds));
  return session;
}

// Journals every call; the schedule state lives in memory.
struct Harness {
  ScheduleState state{{kWeekdayMornings}, {}};
  Date now = monday(9, 0);
  bool restarting = false;
  bool recordFails = false;
  std::function<OfflineSession(double)> start = sessionFor;
  std::vector<std::string> calls;
  std::vector<std::string> logs;

  void run() {
    ScheduledStartCoordinator(
        {
            .loadSchedules =
                [this] {
                  calls.push_back("load");
                  return state;
                },
            .recordFired =
                [this](const std::string& id, Date windowStart) {
                  calls.push_back("record " + id);
                  if (recordFails) throw std::runtime_error("disk full");
                  state.firedWindows[id] = windowStart;
                },
            .isRestarting = [this] { return restarting; },
            .startSession =
                [this](double seconds) {
                  calls.push_back("start " + std::to_string(long(seconds)));
                  return start(seconds);
                },
            .publishStatus =
                [this](const OfflineSession& session) { calls.push_back("publish " + session.id); },
            .now = [this] { return now; },
            .calendar = [] { return berlin(); },
            .log = [this](const std::string& line) { logs.push_back(line); },
        })
        .runIfDue();
  }
};

TEST(ScheduledStartCoordinator, RecordsTheWindowThenStartsOncePerWindow) {
  Harness h;
  h.run();
  EXPECT_EQ(h.calls, (std::vector<std::string>{"load", "record A", "start 3600", "publish NEW"}));
  EXPECT_EQ(h.logs, std::vector<std::string>{"schedules: started 'A' for 3600s"});
  EXPECT_EQ(h.state.firedWindows.at("A"), monday(9, 0));

  h.calls.clear();
  h.now = monday(9, 20);  // same window, still long enough
  h.run();
  EXPECT_EQ(h.calls, std::vector<std::string>{"load"});

  h.calls.clear();
  h.now += std::chrono::hours(24);  // Tuesday's window
  h.run();
  EXPECT_EQ(h.calls, (std::vector<std::string>{"load", "record A", "start 2400", "publish NEW"}));
}

TEST(ScheduledStartCoordinator, SkipsAndFailuresEndInALogLineAtMost) {
  using Lines = std::vector<std::string>;
  const auto startFails = [](SessionStartError error) {
    return [error](double) -> OfflineSession { throw error; };
  };
  struct Case {
    const char* what;
    std::function<void(Harness&)> arrange;
    Lines calls;
    Lines logs;
  };
  // clang-format off
  const Case cases[] = {
      {"restarting for an update", [](Harness& h) { h.restarting = true; }, {}, {}},
      {"not due", [](Harness& h) { h.now = monday(8, 59); }, {"load"}, {}},
      {"unrecorded window", [](Harness& h) { h.recordFails = true; }, {"load", "record A"},
       {"schedules: could not record fired window for 'A' (disk full); not starting"}},
      {"activation pending",
       [&](Harness& h) { h.start = startFails(SessionStartError::activationPending(sessionFor(1))); },
       {"load", "record A", "start 3600"}, {"schedules: started 'A' is awaiting activation"}},
      {"capture failed",
       [&](Harness& h) { h.start = startFails(SessionStartError(SessionStartError::Kind::captureFailed)); },
       {"load", "record A", "start 3600"}, {"schedules: start for 'A' failed: captureFailed"}},
  };
  // clang-format on
  for (const Case& c : cases) {
    Harness h;
    c.arrange(h);
    h.run();
    EXPECT_EQ(h.calls, c.calls) << c.what;
    EXPECT_EQ(h.logs, c.logs) << c.what;
    // A window that was recorded is not tried again a tick later, whatever became of it.
    if (h.state.firedWindows.contains("A")) {
      h.calls.clear();
      h.now += std::chrono::minutes(1);
      h.run();
      EXPECT_EQ(h.calls, Lines{"load"}) << c.what;
    }
  }
}

// The production coordinator over a real schedule file, in the helper's own transactions.
class ScheduledStartStoreTest : public test::StateFixture {
 protected:
  Helper helper{HelperParts{.log = log, .paths = paths, .clock = clock}};
};

TEST_F(ScheduledStartStoreTest, TheStoredFileHoldsTheWindowBeforeTheSessionStarts) {
  schedules.save({{kWeekdayMornings}, {}});
  std::vector<std::map<std::string, Date>> firedAtStart;
  now = monday(9, 5);
  ScheduledStartDependencies dependencies = ScheduledStartDependencies::production(helper);
  dependencies.startSession = [&](double seconds) {
    firedAtStart.push_back(schedules.load().firedWindows);
    return sessionFor(seconds);
  };
  dependencies.publishStatus = [](const OfflineSession&) {};
  dependencies.calendar = [] { return berlin(); };
  const ScheduledStartCoordinator coordinator(dependencies);
  for (int run = 0; run < 2; ++run) {
    helper.transactions().run(StatusEffect::publishes,
                              [&](Transaction&) { coordinator.runIfDue(); });
  }
  EXPECT_EQ(firedAtStart, (std::vector<std::map<std::string, Date>>{{{"A", monday(9, 0)}}}));
}

}  // namespace
}  // namespace nubrik
