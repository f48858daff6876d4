#include "helper/net/linux/rtnetlink_links.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sched.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <sstream>
#include <thread>

#include "helper/net/linux/linux_network_switches.hpp"
#include "helper/net/macos/network_parsers.hpp"
#include "helper/net/macos/network_tools.hpp"
#include "helper/net/network_errors.hpp"

namespace nubrik {
namespace {

using ::testing::Contains;
using ::testing::ElementsAreArray;
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

// Link names as `ip -o link show` lists them (ifindex order), without any "@peer" suffix.
std::vector<std::string> kernelLinkNames() {
  std::vector<std::string> names;
  std::istringstream lines(ip({"-o", "link", "show"}).output);
  for (std::string line; std::getline(lines, line);) {
    const size_t start = line.find(": ") + 2;
    const size_t end = line.find_first_of("@:", start);
    names.push_back(line.substr(start, end - start));
  }
  return names;
}

bool kernelSaysUp(const std::string& name) {
  return macos::parseInterfaceUpState(ip({"-o", "link", "show", "dev", name}).output);
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

TEST(RtnetlinkLinks, ListsEveryLinkInIfindexOrderAndLeavesOutOnlyTheLoopbackDevice) {
  RUN_IN_NAMESPACE_OR_SKIP([] {
    LinuxNetworkSwitches operations;
    const std::vector<std::string> kernel = kernelLinkNames();
    ASSERT_EQ(kernel.size(), 6u);
    ASSERT_EQ(kernel.front(), "lo");
    EXPECT_THAT(listed(operations, Listing::record), ElementsAreArray(kernel));
    // A bridge called "lobby0" carries traffic like any other link.
    const std::vector<std::string> external(kernel.begin() + 1, kernel.end());
    EXPECT_THAT(listed(operations, Listing::switchable), ElementsAreArray(external));
    EXPECT_THAT(external, Contains("lobby0"));

    // A link recreated later gets a higher index and moves to the end.
    ASSERT_EQ(ip({"link", "del", "nbk-br0"}).status, 0);
    ASSERT_EQ(ip({"link", "add", "nbk-br0", "type", "bridge"}).status, 0);
    EXPECT_EQ(listed(operations, Listing::record).back(), "nbk-br0");
    EXPECT_THAT(listed(operations, Listing::record), ElementsAreArray(kernelLinkNames()));
  });
}

// The loopback device is known by its type: renamed, it is still the one spared, and a link that
// takes its old name is not.
TEST(RtnetlinkLinks, SparesTheLoopbackDeviceByTypeWhateverItIsCalled) {
  RUN_IN_NAMESPACE_OR_SKIP([] {
    LinuxNetworkSwitches listedFirst;
    listed(listedFirst, Listing::switchable);
    EXPECT_TRUE(listedFirst.sparesInterface("lo"));
    for (const char* name : {"lobby0", "nbk-veth0", "lo1", "nbk-none", "", "lo\xff"}) {
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

// Link names are bytes to the kernel: one that is not UTF-8 is listed, read and switched like any
// other (a pass must be able to take it down even though no record can hold it).
TEST(RtnetlinkLinks, ALinkNamedWithAnyBytesIsListedReadAndSwitched) {
  RUN_IN_NAMESPACE_OR_SKIP([] {
    const std::string name = "nbk-\xff\xfe";
    ASSERT_EQ(ip({"link", "add", name, "type", "bridge"}).status, 0);
    LinuxNetworkSwitches operations;
    EXPECT_THAT(listed(operations, Listing::switchable), Contains(name));
    EXPECT_FALSE(operations.sparesInterface(name));
    for (const bool up : {true, false, true}) {
      EXPECT_TRUE(operations.set(SwitchKind::interface, name, up));
      EXPECT_EQ(upState(operations, name), up);
      ASSERT_EQ(ip({"link", "set", "dev", name, up ? "down" : "up"}).status, 0);
      EXPECT_EQ(upState(operations, name), !up);  // as the kernel has it now
    }
  });
}

TEST(RtnetlinkLinks, ReadsAndChangesTheUpFlagAsTheKernelSeesIt) {
  RUN_IN_NAMESPACE_OR_SKIP([] {
    LinuxNetworkSwitches operations;
    for (const std::string name : {"nbk-veth0", "nbk-br0", "nbk-tap0"}) {
      SCOPED_TRACE(name);
      EXPECT_EQ(upState(operations, name), false);
      EXPECT_TRUE(operations.set(SwitchKind::interface, name, true));
      EXPECT_TRUE(kernelSaysUp(name));
      EXPECT_EQ(upState(operations, name), true);
      // Already up: still acknowledged.
      EXPECT_TRUE(operations.set(SwitchKind::interface, name, true));
      ASSERT_EQ(ip({"link", "set", name, "down"}).status, 0);
      EXPECT_EQ(upState(operations, name), false);
      ASSERT_EQ(ip({"link", "set", name, "up"}).status, 0);
      EXPECT_EQ(upState(operations, name), true);
      EXPECT_TRUE(operations.set(SwitchKind::interface, name, false));
      EXPECT_FALSE(kernelSaysUp(name));
    }
    // The veth peer is a link of its own.
    EXPECT_FALSE(kernelSaysUp("nbk-veth1"));
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

TEST(RtnetlinkLinks, OneBackendServesManyRequestsOnItsOneSocket) {
  RUN_IN_NAMESPACE_OR_SKIP([] {
    LinuxNetworkSwitches operations;
    LinuxNetworkSwitches& copy = operations;
    for (int round = 0; round < 200; ++round) {
      const bool up = round % 2 == 0;
      ASSERT_TRUE(operations.set(SwitchKind::interface, "nbk-tap0", up));
      ASSERT_EQ(upState(copy, "nbk-tap0"), up);
      ASSERT_EQ(listed(copy, Listing::switchable).size(), 5u);  // all but lo
    }
  });
}

}  // namespace
}  // namespace nubrik
