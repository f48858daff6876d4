// The app's session client and `tamsel` against the helper's real bus service on a private system
// bus.

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>

#include "app/command_line.hpp"
#include "app/schedule_outcomes.hpp"
#include "core/nubrik_xpc.hpp"
#include "tests/integration/client_bus_fixture.hpp"

namespace nubrik {
namespace {

using ClientSession = test::ClientBusTest;

RecurringSchedule schedule(std::string id) {
  return RecurringSchedule{std::move(id), {2, 4}, 540, 90, true};
}

std::vector<RecurringSchedule> schedulesEncodedTo(std::size_t bytes) {
  const std::size_t base = encodeSchedules({schedule("a")}).size();
  return {schedule(std::string(bytes - base + 1, 'a'))};
}

TEST_F(ClientSession, StartIsHealthCheckedOnOneConnection) {
  startServer();
  auto client = makeClient();

  EXPECT_EQ(client->requestStart(5400),
            XPCStartOutcome::started(dateFromUnixSeconds(2'000'000'000.0)));
  // The owner of the name was judged by its own process and user before anything was sent.
  ASSERT_TRUE(ownerSeen_);
  EXPECT_EQ(*ownerSeen_, std::make_pair(::getpid(), ::geteuid()));
  EXPECT_EQ(record_.callsSoFar(),
            (std::vector<std::string>{"validate", "health", "validate", "start"}));
  EXPECT_EQ(record_.duration, 5400.0);
  ASSERT_EQ(record_.senders.size(), 2u);
  EXPECT_EQ(record_.senders[0], record_.senders[1]);

  // The next request comes from a connection of its own.
  EXPECT_EQ(client->probeHealth(), HealthProbeResult::ready(nubrikHelperVersion));
  ASSERT_EQ(record_.senders.size(), 3u);
  EXPECT_NE(record_.senders[2], record_.senders[0]);
}

// The client's own refusal of one byte more is its unit test's; the bus carries the limit whole.
TEST_F(ClientSession, APayloadOfExactlyTheLimitArrivesWhole) {
  startServer();
  auto client = makeClient();

  EXPECT_EQ(client->saveSchedules(schedulesEncodedTo(65536)), ScheduleSaveOutcome::saved());
  EXPECT_EQ(record_.payloadSize, 65536u);
}

// `tamsel start`, `unlock` and `cancel-unlock` are run over the bus by the end-to-end tests.
TEST_F(ClientSession, TamselSchedulesPrintsTheHelpersList) {
  startServer();
  auto client = makeClient();

  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(runCommandLine({"schedules"}, out, err,
                           CommandLineDependencies::withClient(
                               [&client]() -> BlockingSessionClient& { return *client; })),
            0);
  EXPECT_EQ(out.str(),
            "[{\"id\":\"A\",\"weekdays\":[2],\"startMinute\":60,\"durationMinutes\":30,"
            "\"isEnabled\":true}]\n");
  EXPECT_EQ(record_.callsSoFar(), (std::vector<std::string>{"validate", "get"}));
}

TEST_F(ClientSession, AStoppedHelperEndsInTheUnavailableOutcomeAtTheTimeOut) {
  stallHealthCheck();
  startServer();
  auto client = makeClient();
  client->setRequestTimeoutForTest(0.3);

  EXPECT_EQ(client->probeHealth(), HealthProbeResult::failed());
}

// An error reply ends a request at once, whatever the error; a refused caller or an untrusted
// owner ends as unavailable in the end-to-end tests.
TEST_F(ClientSession, WithNobodyOnTheNameTheRequestEndsAtOnce) {
  auto client = makeClient();
  // Far longer than the test could wait: the bus's answer must end the request, not the time-out.
  client->setRequestTimeoutForTest(3600);

  EXPECT_EQ(client->probeHealth(), HealthProbeResult::failed());
  EXPECT_EQ(client->requestEarlyUnlock(), EarlyUnlockOutcome::helperUnavailable());
}

// A server of the test's own that answers the health check with the wrong reply type.
TEST_F(ClientSession, AReplyOfTheWrongTypeIsUnavailable) {
  test::ServerThread server;
  static std::atomic<int> answered = 0;
  static const sd_bus_vtable vtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD(
          "HealthCheck", "", "s",
          [](sd_bus_message* message, void*, sd_bus_error*) {
            ++answered;
            return sd_bus_reply_method_return(message, "s", "ready");
          },
          SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_VTABLE_END,
  };
  sd_bus* raw = nullptr;
  ASSERT_GE(server.call([&] {
    int result = HelperXPCListenerOwner::busAtAddressForTest(bus_.address())(&raw);
    if (result >= 0) result = sd_bus_attach_event(raw, server.event(), 0);
    if (result >= 0) {
      result = sd_bus_add_object_vtable(raw, nullptr, NubrikXPC::objectPath,
                                        NubrikXPC::interfaceName, vtable, nullptr);
    }
    if (result >= 0) result = sd_bus_request_name(raw, NubrikXPC::busName, 0);
    return result;
  }),
            0);
  auto client = makeClient();
  client->setRequestTimeoutForTest(3600);

  EXPECT_EQ(client->probeHealth(), HealthProbeResult::failed());
  EXPECT_EQ(answered.load(), 1);
  server.call([&] {
    sd_bus_flush_close_unref(raw);
    return 0;
  });
}

}  // namespace
}  // namespace nubrik
