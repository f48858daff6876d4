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

struct Invocation {
  int status;
  std::string out;
  std::string err;
};

Invocation tamsel(BlockingSessionClient& client, std::vector<std::string> arguments) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = runCommandLine(arguments, out, err,
                                    CommandLineDependencies::withClient(
                                        [&client]() -> BlockingSessionClient& { return client; }));
  return {status, out.str(), err.str()};
}

TEST_F(ClientSession, HealthCheckReachesTheHelperAfterItsOwnerWasJudged) {
  startServer();
  auto client = makeClient();

  EXPECT_EQ(client->probeHealth(), HealthProbeResult::ready(nubrikHelperVersion));
  ASSERT_TRUE(ownerSeen_);
  EXPECT_EQ(ownerSeen_->first, ::getpid());
  EXPECT_EQ(ownerSeen_->second, ::geteuid());
}

TEST_F(ClientSession, StartIsHealthCheckedOnOneConnection) {
  startServer();
  auto client = makeClient();

  EXPECT_EQ(client->requestStart(5400),
            XPCStartOutcome::started(dateFromUnixSeconds(2'000'000'000.0)));
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

TEST_F(ClientSession, APayloadOfExactlyTheLimitArrivesWholeAndOneByteMoreIsNeverSent) {
  startServer();
  auto client = makeClient();

  EXPECT_EQ(client->saveSchedules(schedulesEncodedTo(65536)), ScheduleSaveOutcome::saved());
  EXPECT_EQ(record_.payloadSize, 65536u);

  record_.payloadSize.reset();
  EXPECT_EQ(client->saveSchedules(schedulesEncodedTo(65537)),
            ScheduleSaveOutcome::refused("The schedules were not valid."));
  EXPECT_FALSE(record_.payloadSize);
}

TEST_F(ClientSession, TamselCommandsReportTheHelpersAnswers) {
  startServer();
  auto client = makeClient();

  Invocation result = tamsel(*client, {"start", "1h30m"});
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(result.out.starts_with("Offline session started. Back online at ")) << result.out;
  EXPECT_EQ(record_.duration, 5400.0);

  result = tamsel(*client, {"cancel-unlock"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "error: No early unlock is pending.\n");

  result = tamsel(*client, {"schedules"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "[{\"id\":\"A\",\"weekdays\":[2],\"startMinute\":60,\"durationMinutes\":30,"
            "\"isEnabled\":true}]\n");
}

TEST_F(ClientSession, AStoppedHelperEndsInTheUnavailableOutcomeAtTheTimeOut) {
  stallHealthCheck();
  startServer();
  auto client = makeClient();
  client->setRequestTimeoutForTest(0.3);

  EXPECT_EQ(client->probeHealth(), HealthProbeResult::failed());
  const Invocation result = tamsel(*client, {"start", "90"});
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "error: The helper is unavailable. Make sure it is installed and running.\n");
}

TEST_F(ClientSession, WithNobodyOnTheNameTheRequestEndsAtOnce) {
  auto client = makeClient();
  // Far longer than the test could wait: the bus's answer must end the request, not the time-out.
  client->setRequestTimeoutForTest(3600);

  EXPECT_EQ(client->probeHealth(), HealthProbeResult::failed());
  EXPECT_EQ(client->requestEarlyUnlock(), EarlyUnlockOutcome::helperUnavailable());
}

TEST_F(ClientSession, AHelperThatRefusesTheCallerIsUnavailable) {
  startServer(/*acceptCallers=*/false);
  auto client = makeClient();
  client->setRequestTimeoutForTest(3600);

  EXPECT_EQ(client->requestStart(600), XPCStartOutcome::helperUnavailable());
  EXPECT_EQ(record_.callsSoFar(), std::vector<std::string>{"validate"});
}

TEST_F(ClientSession, AnUntrustedOwnerIsNeverSentARequest) {
  startServer();
  std::optional<std::pair<pid_t, uid_t>> judged;
  auto client = makeClient([&judged](pid_t pid, uid_t uid) {
    judged = {pid, uid};
    return PeerAuthorization::rejected(std::string(peerRejectedIdentifier));
  });
  client->setRequestTimeoutForTest(3600);

  EXPECT_EQ(client->requestStart(600), XPCStartOutcome::helperUnavailable());
  EXPECT_EQ(client->saveSchedules({schedule("A")}), ScheduleSaveOutcome::helperUnavailable());
  EXPECT_TRUE(judged);
  EXPECT_TRUE(record_.callsSoFar().empty());
}

TEST_F(ClientSession, TheProductionRuleDoesNotTrustATestProcess) {
  startServer();
  auto client = makeClient(productionHelperOwnerCheck("NUBRIK0001"));
  client->setRequestTimeoutForTest(3600);

  EXPECT_EQ(client->probeHealth(), HealthProbeResult::failed());
  EXPECT_TRUE(record_.callsSoFar().empty());
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
