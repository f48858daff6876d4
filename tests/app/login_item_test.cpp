#include "app/login_item.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/login_item_sync.hpp"
#include "tests/app/session_client_fakes.hpp"

namespace nubrik {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

RecurringSchedule schedule(std::string id, bool enabled) {
  return RecurringSchedule{std::move(id), {2, 4}, 540, 90, enabled};
}

const std::vector<RecurringSchedule> noneEnabled = {schedule("a", false), schedule("b", false)};
const std::vector<RecurringSchedule> oneEnabled = {schedule("a", false), schedule("b", true)};

TEST(LoginItemAction, EveryCombination) {
  using S = RegistrationStatus;
  using A = LoginItemAction;
  struct Case {
    bool wanted;
    S status;
    A action;
  };
  const std::vector<Case> cases = {
      {true, S::notRegistered, A::registerItem},
      {true, S::notFound, A::registerItem},
      {true, S::enabled, A::none},
      {true, S::requiresApproval, A::none},
      {false, S::enabled, A::unregisterItem},
      {false, S::requiresApproval, A::none},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(loginItemAction(c.wanted, c.status), c.action) << c.wanted << " " << c.status;
  }
}

struct FakeLoginItem {
  RegistrationStatus status = RegistrationStatus::notRegistered;
  bool failChanges = false;
  std::vector<std::string> changes;

  LoginItemDependencies dependencies() {
    const auto change = [this](const char* name, RegistrationStatus after) {
      return [this, name, after] {
        changes.push_back(name);
        if (failChanges) throw LoginItemError("refused");
        status = after;
      };
    };
    return LoginItemDependencies{[this] { return status; },
                                 change("register", RegistrationStatus::enabled),
                                 change("unregister", RegistrationStatus::notRegistered)};
  }
};

// Following the schedules with the real entry is the autostart test's.
TEST(ApplyLoginItem, AFailedChangeIsIgnored) {
  FakeLoginItem item;
  item.failChanges = true;
  EXPECT_EQ(applyLoginItem(oneEnabled, item.dependencies()), LoginItemAction::registerItem);
  EXPECT_EQ(item.status, RegistrationStatus::notRegistered);
  // The next synchronisation tries again.
  EXPECT_EQ(applyLoginItem(oneEnabled, item.dependencies()), LoginItemAction::registerItem);
  EXPECT_THAT(item.changes, ElementsAre("register", "register"));
}

struct SyncHarness {
  test::FakeMainQueue queue;
  FakeLoginItem item;
  std::vector<std::function<void()>> jobs;
  std::vector<std::function<void(ScheduleLoadOutcome)>> fetches;
  std::vector<LoginItemAction> applied;

  LoginItemSync sync() {
    return LoginItemSync(LoginItemSyncDependencies{
        &queue,
        [this](std::function<void()> job) { jobs.push_back(std::move(job)); },
        item.dependencies(),
        [this](std::function<void(ScheduleLoadOutcome)> completion) {
          fetches.push_back(std::move(completion));
        },
    });
  }
  LoginItemSync::Applied record() {
    return [this](LoginItemAction action) { applied.push_back(action); };
  }
  void runJobs() {
    auto pending = std::move(jobs);
    jobs.clear();
    for (auto& job : pending) job();
  }
};

TEST(LoginItemSync, ChangesTheItemOnlyOnItsOwnQueueAndReportsOnTheMainQueue) {
  SyncHarness harness;
  harness.sync().sync(oneEnabled, harness.record());
  EXPECT_THAT(harness.item.changes, IsEmpty());
  harness.runJobs();
  EXPECT_THAT(harness.item.changes, ElementsAre("register"));
  EXPECT_THAT(harness.applied, IsEmpty());
  harness.queue.drain();
  EXPECT_THAT(harness.applied, ElementsAre(LoginItemAction::registerItem));
}

TEST(LoginItemSync, FromTheHelperOnlyWithAStatusAndLoadedSchedules) {
  SyncHarness harness;
  const LoginItemSync sync = harness.sync();
  sync.syncFromHelper(false, harness.record());
  EXPECT_THAT(harness.fetches, IsEmpty());

  sync.syncFromHelper(true, harness.record());
  sync.syncFromHelper(true, harness.record());
  sync.syncFromHelper(true, harness.record());
  ASSERT_EQ(harness.fetches.size(), 3u);
  harness.fetches[0](ScheduleLoadOutcome::helperUnavailable());
  harness.fetches[1](
      ScheduleLoadOutcome::failed("The helper returned schedules in an unexpected format."));
  EXPECT_THAT(harness.jobs, IsEmpty());

  harness.item.status = RegistrationStatus::enabled;
  harness.fetches[2](ScheduleLoadOutcome::loaded(noneEnabled));
  harness.runJobs();
  harness.queue.drain();
  EXPECT_THAT(harness.item.changes, ElementsAre("unregister"));
  EXPECT_THAT(harness.applied, ElementsAre(LoginItemAction::unregisterItem));
}

}  // namespace
}  // namespace nubrik
