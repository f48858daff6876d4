#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/if.h>
#include <linux/if_arp.h>
#include <linux/netlink.h>
#include <linux/rfkill.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <systemd/sd-event.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

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
  std::function<void(const ChangeBatch&)> record() {
    return [this](const ChangeBatch& batch) { batches.push_back(batch); };
  }
  std::vector<ChangeBatch> batches;
};

rfkill_event rfkillEvent(std::uint8_t type, std::uint8_t op, std::uint8_t soft, std::uint8_t hard) {
  rfkill_event event{};
  event.idx = 1;
  event.type = type;
  event.op = op;
  event.soft = soft;
  event.hard = hard;
  return event;
}

TEST_F(ChangeSourceTest, DrainsEverythingQueuedIntoOneBatchAndTellsOnlyUnblockedRadios) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair), 0);
  ChangeSource source(event, UniqueFd(pair[0]), ChangeSource::Kind::rfkill, record());
  // The daemon's own block, a Bluetooth radio, and a removed one: nothing to report.
  for (const rfkill_event& e : {rfkillEvent(RFKILL_TYPE_WLAN, RFKILL_OP_CHANGE, 1, 0),
                                rfkillEvent(RFKILL_TYPE_BLUETOOTH, RFKILL_OP_CHANGE, 0, 0),
                                rfkillEvent(RFKILL_TYPE_WLAN, RFKILL_OP_DEL, 0, 0)}) {
    ASSERT_EQ(::write(pair[1], &e, sizeof e), static_cast<ssize_t>(sizeof e));
  }
  runUntilIdle();
  EXPECT_TRUE(batches.empty());
  for (const rfkill_event& e : {rfkillEvent(RFKILL_TYPE_WLAN, RFKILL_OP_CHANGE, 0, 0),
                                rfkillEvent(RFKILL_TYPE_WLAN, RFKILL_OP_ADD, 0, 0)}) {
    ASSERT_EQ(::write(pair[1], &e, sizeof e), static_cast<ssize_t>(sizeof e));
  }
  runUntilIdle();
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_TRUE(batches[0].radioUnblocked);
  // Bytes that are no event cannot be told apart from a radio coming on.
  ASSERT_EQ(::write(pair[1], "x", 1), 1);
  runUntilIdle();
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_TRUE(batches[1].untold);
  ::close(pair[1]);
}

TEST_F(ChangeSourceTest, AStreamThatEndsIsDroppedInsteadOfSpinning) {
  int pipeFds[2];
  ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK), 0);
  ChangeSource source(event, UniqueFd(pipeFds[0]), ChangeSource::Kind::rfkill, record());
  ::close(pipeFds[1]);
  EXPECT_LT(runUntilIdle(), 50);
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_TRUE(batches[0].untold);
}

TEST_F(ChangeSourceTest, NetlinkMessagesFromOtherProcessesAreIgnored) {
  auto source = openNetlinkChangeSource(event, record());
  if (!source) GTEST_SKIP() << "rtnetlink sockets are not available here";
  sockaddr_nl own{};
  socklen_t length = sizeof own;
  ASSERT_EQ(::getsockname(source->fd(), reinterpret_cast<sockaddr*>(&own), &length), 0);

  const int sender = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  ASSERT_GE(sender, 0);
  nlmsghdr message{};
  message.nlmsg_len = sizeof message;
  message.nlmsg_type = NLMSG_ERROR;
  sockaddr_nl target{};
  target.nl_family = AF_NETLINK;
  target.nl_pid = own.nl_pid;
  const ssize_t sent = ::sendto(sender, &message, sizeof message, 0,
                                reinterpret_cast<const sockaddr*>(&target), sizeof target);
  ::close(sender);
  if (sent < 0) GTEST_SKIP() << "unicast between netlink sockets is refused here";
  runUntilIdle();
  EXPECT_TRUE(batches.empty());
}

// One RTM_NEWLINK message as the kernel sends it, with the name attribute.
std::vector<char> linkMessage(int index, const std::string& name, unsigned flags,
                              unsigned short type = 1 /* ARPHRD_ETHER */) {
  const std::size_t attribute = RTA_LENGTH(name.size() + 1);
  std::vector<char> bytes(NLMSG_SPACE(sizeof(ifinfomsg)) + RTA_ALIGN(attribute), 0);
  auto* header = reinterpret_cast<nlmsghdr*>(bytes.data());
  header->nlmsg_len = NLMSG_LENGTH(sizeof(ifinfomsg)) + RTA_ALIGN(attribute);
  header->nlmsg_type = RTM_NEWLINK;
  auto* info = static_cast<ifinfomsg*>(NLMSG_DATA(header));
  info->ifi_index = index;
  info->ifi_flags = flags;
  info->ifi_type = type;
  auto* rta = reinterpret_cast<rtattr*>(bytes.data() + NLMSG_SPACE(sizeof(ifinfomsg)));
  rta->rta_type = IFLA_IFNAME;
  rta->rta_len = static_cast<unsigned short>(attribute);
  std::memcpy(RTA_DATA(rta), name.c_str(), name.size() + 1);
  return bytes;
}

TEST(LinkMessages, EachAnnouncementIsReadAndAnythingGarbledIsUntold) {
  std::vector<char> datagram = linkMessage(2, "eth0", IFF_UP);
  const std::vector<char> loopback = linkMessage(1, "lo", IFF_UP, ARPHRD_LOOPBACK);
  const std::vector<char> down = linkMessage(3, "wlan0", 0);
  datagram.insert(datagram.end(), loopback.begin(), loopback.end());
  datagram.insert(datagram.end(), down.begin(), down.end());
  ChangeBatch batch;
  parseLinkMessages(datagram.data(), datagram.size(), batch);
  EXPECT_EQ(batch.links,
            (std::vector<LinkChange>{
                {2, "eth0", true, false}, {1, "lo", true, true}, {3, "wlan0", false, false}}));
  EXPECT_FALSE(batch.untold);

  // Cut anywhere, or with a name that is not terminated, nothing is read past the bytes given
  // and the batch says it cannot tell.
  const std::vector<char> whole = linkMessage(2, "eth0", IFF_UP);
  for (std::size_t size = 1; size < whole.size(); ++size) {
    ChangeBatch cut;
    const std::vector<char> prefix(whole.begin(), whole.begin() + static_cast<long>(size));
    parseLinkMessages(prefix.data(), prefix.size(), cut);
    EXPECT_TRUE(cut.untold) << size;
    EXPECT_TRUE(cut.links.empty()) << size;
  }
  std::vector<char> unterminated = linkMessage(2, "eth0", IFF_UP);
  unterminated[NLMSG_SPACE(sizeof(ifinfomsg)) + RTA_LENGTH(4)] = 'x';
  ChangeBatch garbled;
  parseLinkMessages(unterminated.data(), unterminated.size(), garbled);
  EXPECT_TRUE(garbled.untold);
  EXPECT_TRUE(garbled.links.empty());
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
