#include "helper/net/linux/rtnetlink_links.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sched.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <thread>

#include "helper/net/linux/linux_network_switches.hpp"
#include "helper/net/macos/network_tools.hpp"

namespace nubrik {
namespace {

using ::testing::Contains;
using ::testing::Not;

// Runs `body` on a thread of its own inside a fresh network namespace, so that nothing it does
// can reach the host's links; the namespace and its links vanish when the thread ends. Returns
// why it could not, or "" once the body ran.
std::string inPrivateNetworkNamespace(const std::function<void()>& body) {
  std::string skipReason;
  std::thread worker([&] {
    if (::unshare(CLONE_NEWNET) != 0) {
      skipReason = std::string("cannot create a network namespace: ") + std::strerror(errno);
      return;
    }
    body();
  });
  worker.join();
  return skipReason;
}

macos::ShellResult ip(const std::vector<std::string>& arguments) {
  return macos::shellResult("/sbin/ip", arguments);
}

// Creates a veth pair, a bridge and a tap device; returns false (with the reason) when the
// kernel lacks one of the link types.
bool createLinks(std::string& failure) {
  const std::vector<std::vector<std::string>> commands = {
      {"link", "add", "nbk-veth0", "type", "veth", "peer", "name", "nbk-veth1"},
      {"link", "add", "nbk-br0", "type", "bridge"},
      {"tuntap", "add", "nbk-tap0", "mode", "tap"},
      {"link", "add", "lobby0", "type", "bridge"},
  };
  for (const auto& command : commands) {
    if (ip(command).status != 0) {
      failure = "ip " + command[0] + " " + command[1] + " " + command[2] + " failed";
      return false;
    }
  }
  return true;
}

#define RUN_IN_NAMESPACE_OR_SKIP(body)                                          \
  do {                                                                          \
    std::string missing;                                                        \
    const std::string reason = inPrivateNetworkNamespace([&] {                  \
      if (!createLinks(missing)) return;                                        \
      body();                                                                   \
    });                                                                         \
    if (!reason.empty()) GTEST_SKIP() << reason;                                \
    if (!missing.empty()) GTEST_SKIP() << "link type unavailable: " << missing; \
  } while (false)

NameList listed(LinuxNetworkSwitches& network, Listing listing) {
  NameList names;
  for (const SwitchReading& link : network.read(SwitchKind::interface, listing)) {
    names.push_back(link.name);
  }
  return names;
}

// The flag as a fresh dump has it; none for a link the dump does not hold.
std::optional<bool> upState(LinuxNetworkSwitches& network, const std::string& name) {
  for (const SwitchReading& link : network.read(SwitchKind::interface, Listing::record)) {
    if (link.name == name) return link.on;
  }
  return std::nullopt;
}

// The loopback device is known by its type: renamed, it is still the one spared, and a link that
// takes its old name is not.
TEST(RtnetlinkLinks, SparesTheLoopbackDeviceByTypeWhateverItIsCalled) {
  RUN_IN_NAMESPACE_OR_SKIP([] {
    LinuxNetworkSwitches listedFirst;
    listed(listedFirst, Listing::switchable);
    EXPECT_TRUE(listedFirst.sparesInterface("lo"));
    for (const char* name : {"lobby0", "lo1", "lo\xff"}) {
      EXPECT_FALSE(listedFirst.sparesInterface(name)) << name;
    }

    ASSERT_EQ(ip({"link", "set", "lo", "name", "nbk-lback"}).status, 0);
    ASSERT_EQ(ip({"link", "add", "lo", "type", "bridge"}).status, 0);
    // Asked before and after a listing, with the index learnt earlier and without one.
    for (const bool listing : {false, true}) {
      LinuxNetworkSwitches fresh;
      for (LinuxNetworkSwitches* operations : {&listedFirst, &fresh}) {
        SCOPED_TRACE(listing ? "after a listing" : "before a listing");
        if (listing) {
          EXPECT_THAT(listed(*operations, Listing::switchable), Contains("lo"));
          EXPECT_THAT(listed(*operations, Listing::switchable), Not(Contains("nbk-lback")));
          EXPECT_THAT(listed(*operations, Listing::record), Contains("nbk-lback"));
        }
        EXPECT_TRUE(operations->sparesInterface("nbk-lback"));
        EXPECT_FALSE(operations->sparesInterface("lo"));
      }
    }
  });
}

TEST(RtnetlinkLinks, LinksReplacedOrRemovedAfterAListingAreReadAfresh) {
  RUN_IN_NAMESPACE_OR_SKIP([] {
    LinuxNetworkSwitches operations;
    ASSERT_EQ(ip({"link", "set", "nbk-br0", "up"}).status, 0);
    listed(operations, Listing::switchable);
    // Same name, new link (new index), down; and a listed link that is gone.
    ASSERT_EQ(ip({"link", "del", "nbk-br0"}).status, 0);
    ASSERT_EQ(ip({"link", "add", "nbk-br0", "type", "bridge"}).status, 0);
    ASSERT_EQ(ip({"link", "del", "nbk-tap0"}).status, 0);
    // The freed index now carries another name.
    ASSERT_EQ(ip({"link", "set", "nbk-veth0", "name", "nbk-moved"}).status, 0);

    EXPECT_EQ(upState(operations, "nbk-br0"), false);
    EXPECT_EQ(upState(operations, "nbk-tap0"), std::nullopt);
    EXPECT_EQ(upState(operations, "nbk-veth0"), std::nullopt);
    EXPECT_EQ(upState(operations, "nbk-moved"), false);
  });
}

TEST(RtnetlinkLinks, AnUnknownOrInvalidLinkIsAnErrorNeverAState) {
  RUN_IN_NAMESPACE_OR_SKIP([] {
    LinuxNetworkSwitches operations;
    for (const std::string& name :
         std::vector<std::string>{"nbk-none", "", "sixteen-chars-xx", std::string("br\0x", 4)}) {
      SCOPED_TRACE(name);
      EXPECT_EQ(upState(operations, name), std::nullopt);
      EXPECT_FALSE(operations.set(SwitchKind::interface, name, true));
    }
    // Failed requests leave the shared socket usable.
    EXPECT_EQ(upState(operations, "lo"), false);
  });
}

}  // namespace
}  // namespace nubrik
