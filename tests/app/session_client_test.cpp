#include "app/session_client.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/nubrik_xpc.hpp"
#include "tests/app/session_client_fakes.hpp"

namespace nubrik {
namespace {

using test::FakeHelperConnection;
using test::FakeMainQueue;

struct ClientHarness {
  ~ClientHarness() {
    for (auto& connection : connections) connection->forgetEverything();
  }

  FakeMainQueue queue;
  std::optional<std::string> teamID = "TEAM0001";
  std::vector<std::shared_ptr<FakeHelperConnection>> connections;
  std::vector<std::function<void()>> timeouts;
  std::vector<std::string> delivered;

  SessionClient client() {
    return SessionClient(SessionClientDependencies{
        &queue,
        [this] { return teamID; },
        [this](const HelperConnectionOptions&) -> std::shared_ptr<HelperConnection> {
          connections.push_back(std::make_shared<FakeHelperConnection>());
          return connections.back();
        },
        [this] {
          return TimeoutScheduler::manual(
              [this](std::function<void()> work) { timeouts.push_back(std::move(work)); });
        },
    });
  }

  auto record() {
    return [this](const auto& outcome) { delivered.push_back(describe(outcome)); };
  }

  FakeHelperConnection& connection() { return *connections.at(0); }
};

RecurringSchedule schedule(std::string id) {
  return RecurringSchedule{std::move(id), {2, 4}, 540, 90, true};
}

// One schedule whose payload encoding is exactly `bytes` long.
std::vector<RecurringSchedule> schedulesEncodedTo(std::size_t bytes) {
  const std::size_t base = encodeSchedules({schedule("a")}).size();
  return {schedule(std::string(bytes - base + 1, 'a'))};
}

struct Operation {
  std::string name;
  std::function<void(ClientHarness&)> run;
  std::string unavailable;
};

std::vector<Operation> operations() {
  const std::string gone = "helperUnavailable";
  return {
      {"health", [](auto& h) { h.client().probeHealth(15, h.record()); }, "failed"},
      {"start", [](auto& h) { h.client().requestStartViaXPC(300, 15, h.record()); }, gone},
      {"restart", [](auto& h) { h.client().requestHelperRestart(15, h.record()); }, gone},
      {"unlock", [](auto& h) { h.client().requestEarlyUnlock(15, h.record()); }, gone},
      {"cancel unlock", [](auto& h) { h.client().cancelEarlyUnlock(15, h.record()); }, gone},
      {"get schedules", [](auto& h) { h.client().fetchSchedules(15, h.record()); }, gone},
      {"set schedules", [](auto& h) { h.client().saveSchedules({schedule("A")}, 15, h.record()); },
       gone},
  };
}

TEST(SessionClientFailures, EveryWayOfNotGettingAReplyEndsInTheUnavailableOutcomeOnce) {
  const std::vector<std::pair<std::string, std::function<void(ClientHarness&)>>> failures = {
      {"interruption", [](ClientHarness& h) { h.connection().interrupt(); }},
      {"invalidation", [](ClientHarness& h) { h.connection().invalidate(); }},
      {"request error", [](ClientHarness& h) { h.connection().failRequest(); }},
      {"time-out", [](ClientHarness& h) { h.timeouts.at(0)(); }},
  };
  for (const auto& operation : operations()) {
    for (const auto& [failureName, fail] : failures) {
      ClientHarness harness;
      operation.run(harness);
      fail(harness);
      // Whatever else arrives afterwards is dropped.
      harness.connection().interrupt();
      harness.timeouts.at(0)();

      EXPECT_EQ(harness.delivered, std::vector<std::string>{operation.unavailable})
          << operation.name << " after " << failureName;
      EXPECT_TRUE(harness.connection().invalidated) << operation.name << " after " << failureName;
    }
  }
}

TEST(SessionClientFailures, WithoutATeamIDNoConnectionIsOpened) {
  for (const std::optional<std::string>& teamID :
       {std::optional<std::string>(), std::optional<std::string>("\"\"")}) {
    for (const auto& operation : operations()) {
      ClientHarness harness;
      harness.teamID = teamID;
      operation.run(harness);

      EXPECT_TRUE(harness.connections.empty()) << operation.name;
      const std::string expected =
          operation.name == "start"
              ? "failed(message: \"The helper is unavailable. Make sure it is installed and "
                "running.\")"
              : operation.unavailable;
      EXPECT_EQ(harness.delivered, std::vector<std::string>{expected}) << operation.name;
    }
  }
}

TEST(SessionClientStart, AnIncompatibleOrUnreadyHelperGetsNoStart) {
  const std::vector<std::pair<std::int64_t, std::int64_t>> replies = {{4, 0}, {6, 0}, {5, 1}};
  for (const auto& [protocolVersion, readyCode] : replies) {
    ClientHarness harness;
    harness.client().requestStartViaXPC(300, 15, harness.record());
    harness.connection().healthReply(protocolVersion, nubrikHelperVersion, readyCode);

    EXPECT_EQ(harness.connection().sent, std::vector<std::string>{"HealthCheck"});
    EXPECT_EQ(harness.delivered,
              std::vector<std::string>{"failed(message: \"" +
                                       std::string(incompatibleHelperMessage) + "\")"})
        << protocolVersion << "/" << readyCode;
  }
}

TEST(SessionClientStart, AHealthReplyAfterTheTimeOutStartsNothing) {
  ClientHarness harness;
  harness.client().requestStartViaXPC(300, 15, harness.record());
  harness.timeouts.at(0)();
  harness.connection().healthReply(5, nubrikHelperVersion, 0);

  EXPECT_EQ(harness.connection().sent, std::vector<std::string>{"HealthCheck"});
  EXPECT_EQ(harness.delivered, std::vector<std::string>{"helperUnavailable"});
}

// A payload of exactly the limit crosses the bus whole in the bus test.
TEST(SessionClientSchedules, OneByteOverTheLimitIsRefusedLocally) {
  const auto overLimit = schedulesEncodedTo(static_cast<std::size_t>(scheduleMaxPayloadBytes) + 1);
  ASSERT_EQ(encodeSchedules(overLimit).size(), 65537u);
  ClientHarness refused;
  refused.client().saveSchedules(overLimit, 15, refused.record());
  EXPECT_TRUE(refused.connections.empty());
  EXPECT_TRUE(refused.timeouts.empty());
  EXPECT_EQ(refused.delivered,
            std::vector<std::string>{"refused(message: \"The schedules were not valid.\")"});
}

}  // namespace
}  // namespace nubrik
