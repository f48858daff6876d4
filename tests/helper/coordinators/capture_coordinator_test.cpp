#include "helper/coordinators/capture_coordinator.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/session.hpp"
#include "tests/helper/coordinators/fake_network.hpp"

namespace nubrik {
namespace {

using ::testing::ElementsAre;
using Kind = CaptureError::Kind;

struct CaptureHarness {
  test::FakeNetwork net;
  CaptureHarness() {
    net.listed = {{"services", {"A", "B"}}, {"wifi", {"en0"}}, {"interfaces", {"lo0", "en0"}}};
    net.state = {{"service A", true},
                 {"service B", false},
                 {"wifi en0", true},
                 {"interface lo0", true},
                 {"interface en0", true}};
  }
  CapturedSnapshot capture() { return CaptureCoordinator(net, net.log()).capture(); }
};

TEST(CaptureCoordinator, RecordsEveryObjectInListOrderAndLogsTheCounts) {
  CaptureHarness h;
  const CapturedSnapshot snapshot = h.capture();
  EXPECT_THAT(snapshot.services, ElementsAre(ServiceState{"A", true}, ServiceState{"B", false}));
  EXPECT_EQ(snapshot.wifiPower, (std::map<std::string, bool>{{"en0", true}}));
  EXPECT_THAT(snapshot.interfaces,
              ElementsAre(InterfaceState{"lo0", true}, InterfaceState{"en0", true}));
  EXPECT_THAT(h.net.logLines,
              ElementsAre("capture: recorded 2 services, 1 Wi-Fi devices, 2 interfaces"));
  EXPECT_THAT(h.net.calls, ElementsAre("list services", "list wifi", "list interfaces"));
}

TEST(CaptureCoordinator, StopsAtTheFirstFailureWithItsOwnError) {
  struct Case {
    const char* listing;  // or else the state entry to remove
    const char* entry;
    CaptureError expected;
    std::size_t listingsTaken;
  };
  const Case cases[] = {
      {"services", "", CaptureError(Kind::serviceDiscoveryFailed), 1},
      {"", "service B", CaptureError(Kind::serviceStateQueryFailed, "B"), 1},
      {"wifi", "", CaptureError(Kind::wifiDiscoveryFailed), 2},
      {"", "wifi en0", CaptureError(Kind::wifiPowerQueryFailed, "en0"), 2},
      {"interfaces", "", CaptureError(Kind::interfaceDiscoveryFailed), 3},
      {"", "interface en0", CaptureError(Kind::interfaceStateQueryFailed, "en0"), 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected.what());
    CaptureHarness h;
    h.net.failingListings.insert(c.listing);
    h.net.state.erase(c.entry);
    try {
      h.capture();
      ADD_FAILURE() << "capture succeeded";
    } catch (const CaptureError& error) {
      EXPECT_EQ(error, c.expected);
    }
    EXPECT_EQ(h.net.calls.size(), c.listingsTaken);
    EXPECT_TRUE(h.net.logLines.empty());
  }
}

}  // namespace
}  // namespace nubrik
