#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <systemd/sd-event.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "core/session.hpp"
#include "helper/daemon/change_source.hpp"
#include "helper/daemon/daemon.hpp"
#include "helper/daemon/tick_scheduler.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

// A private loop, run without ever waiting: only what is already due gets dispatched.
class LoopTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_GE(sd_event_new(&event), 0); }
  void TearDown() override { sd_event_unref(event); }

  // Dispatches until nothing is due; the bound turns a spinning source into a failure.
  int runUntilIdle() {
    int iterations = 0;
    while (iterations < 50 && sd_event_run(event, 0) > 0) ++iterations;
    return iterations;
  }

  sd_event* event = nullptr;
};

class TickSchedulerTest : public LoopTest {
 protected:
  std::unique_ptr<TickScheduler> makeScheduler() {
    return std::make_unique<TickScheduler>(event, TickScheduler::Operations{
                                                      [this] {
                                                        ++ticks;
                                                        if (onTick) onTick();
                                                      },
                                                      [this] { return expiration; },
                                                      [this] { return clock; },
                                                  });
  }

  int ticks = 0;
  std::function<void()> onTick;
  std::optional<Date> expiration;
  Date clock = std::chrono::system_clock::now();
};

TEST_F(TickSchedulerTest, ABurstOfRequestsRunsOneTick) {
  auto scheduler = makeScheduler();
  scheduler->requestTick();
  scheduler->requestTick();
  scheduler->requestTick();
  runUntilIdle();
  EXPECT_EQ(ticks, 1);
  // A tick run at once serves a request made before it.
  scheduler->requestTick();
  scheduler->tickNow();
  runUntilIdle();
  EXPECT_EQ(ticks, 2);
}

TEST_F(TickSchedulerTest, ChangesCausedByATickLeadToOneMoreTickAndThenQuiet) {
  auto scheduler = makeScheduler();
  // The first tick changes the network, which notifies; the second finds nothing to change.
  onTick = [&] {
    if (ticks == 1) scheduler->requestTick();
  };
  scheduler->tickNow();
  EXPECT_LT(runUntilIdle(), 50);
  EXPECT_EQ(ticks, 2);
}

TEST_F(TickSchedulerTest, ArmsTheWakeUpOnlyForAFutureExpiration) {
  auto scheduler = makeScheduler();
  expiration = addSeconds(clock, 600);
  scheduler->tickNow();
  EXPECT_EQ(scheduler->armedWakeUp(), expiration);

  // An expiration already behind us is left to the periodic tick (a restore being retried).
  expiration = addSeconds(clock, -1);
  scheduler->tickNow();
  EXPECT_FALSE(scheduler->armedWakeUp().has_value());

  expiration = addSeconds(clock, 30);
  scheduler->tickNow();
  EXPECT_EQ(scheduler->armedWakeUp(), expiration);
  expiration.reset();
  scheduler->tickNow();
  EXPECT_FALSE(scheduler->armedWakeUp().has_value());
}

TEST_F(TickSchedulerTest, TheWakeUpRunsATickAtTheExpiration) {
  // A fake clock far in the past puts the wake-up at an instant the real clock has passed, so it
  // is due at once without waiting.
  clock = dateFromReferenceSeconds(100);
  expiration = dateFromReferenceSeconds(101);
  auto scheduler = makeScheduler();
  scheduler->tickNow();
  ASSERT_TRUE(scheduler->armedWakeUp().has_value());
  onTick = [&] { clock = dateFromReferenceSeconds(102); };  // the session ends

  runUntilIdle();
  EXPECT_EQ(ticks, 2);
  EXPECT_FALSE(scheduler->armedWakeUp().has_value());
}

TEST(TickSchedulerTime, RoundsTheWakeUpUpToTheNextMicrosecond) {
  EXPECT_EQ(realtimeMicroseconds(Date(std::chrono::nanoseconds(5'000'001))), 5001u);
  EXPECT_EQ(realtimeMicroseconds(Date(std::chrono::nanoseconds(5'000'000))), 5000u);
  EXPECT_FALSE(realtimeMicroseconds(Date(std::chrono::nanoseconds(-1))).has_value());
}

class ChangeSourceTest : public LoopTest {
 protected:
  int changes = 0;
};

TEST_F(ChangeSourceTest, DrainsEverythingQueuedIntoOneChange) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair), 0);
  ChangeSource source(event, UniqueFd(pair[0]), ChangeSource::Kind::stream, [this] { ++changes; });
  for (int i = 0; i < 3; ++i) ASSERT_EQ(::write(pair[1], "x", 1), 1);
  runUntilIdle();
  EXPECT_EQ(changes, 1);
  ASSERT_EQ(::write(pair[1], "y", 1), 1);
  runUntilIdle();
  EXPECT_EQ(changes, 2);
  ::close(pair[1]);
}

TEST_F(ChangeSourceTest, AStreamThatEndsIsDroppedInsteadOfSpinning) {
  int pipeFds[2];
  ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK), 0);
  ChangeSource source(event, UniqueFd(pipeFds[0]), ChangeSource::Kind::stream,
                      [this] { ++changes; });
  ::close(pipeFds[1]);
  EXPECT_LT(runUntilIdle(), 50);
  EXPECT_EQ(changes, 1);
}

TEST_F(ChangeSourceTest, NetlinkMessagesFromOtherProcessesAreIgnored) {
  auto source = openNetlinkChangeSource(event, [this] { ++changes; });
  if (!source) GTEST_SKIP() << "rtnetlink sockets are not available here";
  sockaddr_nl own{};
  socklen_t length = sizeof own;
  ASSERT_EQ(::getsockname(source->fd(), reinterpret_cast<sockaddr*>(&own), &length), 0);

  const int sender = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  ASSERT_GE(sender, 0);
  nlmsghdr message{};
  message.nlmsg_len = sizeof message;
  message.nlmsg_type = NLMSG_NOOP;
  sockaddr_nl target{};
  target.nl_family = AF_NETLINK;
  target.nl_pid = own.nl_pid;
  const ssize_t sent = ::sendto(sender, &message, sizeof message, 0,
                                reinterpret_cast<const sockaddr*>(&target), sizeof target);
  ::close(sender);
  if (sent < 0) GTEST_SKIP() << "unicast between netlink sockets is refused here";
  runUntilIdle();
  EXPECT_EQ(changes, 0);
}

TEST(SessionExpirationPeek, ReadsOnlyAnActiveDecodableSessionAndChangesNothing) {
  TempDir dir;
  const Date wall = dateFromReferenceSeconds(800000100);
  const auto peek = [&](const std::string& name, std::optional<BootInstant> boot = std::nullopt) {
    return peekSessionExpiration(dir.file(name), wall, boot);
  };
  EXPECT_FALSE(peek("session.json").has_value());

  dir.write("session.json", "not json");
  EXPECT_FALSE(peek("session.json").has_value());
  EXPECT_EQ(dir.read("session.json"), "not json");  // no quarantine, no marker

  OfflineSession session;
  session.id = "3F2504E0-4F89-11D3-9A0C-0305E82C3301";
  session.startDate = dateFromReferenceSeconds(800000000);
  session.expirationDate = dateFromReferenceSeconds(800000900.5);
  dir.write("session.json", encodeSession(session));
  EXPECT_EQ(peek("session.json"), session.expirationDate);
  ASSERT_EQ(::symlink(dir.file("session.json").c_str(), dir.file("link.json").c_str()), 0);
  EXPECT_FALSE(peek("link.json").has_value());

  // Measured on its boot's clock, 300 s have passed although the wall clock says 100 s: the
  // wake-up comes when the wall clock has 600.5 s more to go.
  session.bootID = "B";
  session.bootTimeAtStart = 50;
  dir.write("session.json", encodeSession(session));
  EXPECT_EQ(peek("session.json", BootInstant{"B", 350}), addSeconds(wall, 600.5));
  EXPECT_EQ(peek("session.json", BootInstant{"C", 350}), session.expirationDate);

  session.active = false;
  dir.write("session.json", encodeSession(session));
  EXPECT_FALSE(peek("session.json").has_value());
}

}  // namespace
}  // namespace nubrik
