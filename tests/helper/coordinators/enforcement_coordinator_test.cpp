#include "helper/coordinators/enforcement_coordinator.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/helper/coordinators/fake_network.hpp"

namespace nubrik {
namespace {

using ::testing::ElementsAre;

// Everything already off: what enforcement finds on a quiet tick.
struct EnforcementHarness {
  test::FakeNetwork net;
  EnforcementHarness() {
    net.listed = {{"services", {}}, {"wifi", {"en0"}}, {"interfaces", {"lo0", "en0", "en1"}}};
    net.state = {{"wifi en0", false}, {"interface en0", false}, {"interface en1", false}};
  }
  EnforcementOutcome enforce() { return EnforcementCoordinator(net, net.log()).enforce(); }
};

TEST(EnforcementCoordinator, QuietMachineChangesAndLogsNothing) {
  EnforcementHarness h;
  EXPECT_EQ(h.enforce(), EnforcementOutcome::noCorrectionNeeded);
  EXPECT_TRUE(h.net.changes().empty());
  EXPECT_TRUE(h.net.logLines.empty());
}

TEST(EnforcementCoordinator, SwitchesOffWhateverCameBackOn) {
  EnforcementHarness h;
  h.net.listed["services"] = {"A", "B", "Some LOOPBACK"};
  h.net.state["service A"] = h.net.state["service Some LOOPBACK"] = true;
  h.net.state["service B"] = false;
  h.net.state["wifi en0"] = true;
  h.net.state["interface en1"] = true;
  EXPECT_EQ(h.enforce(), EnforcementOutcome::corrected);
  // All three listings first; then only what is on is switched off, and loopbacks never.
  EXPECT_THAT(h.net.calls,
              ElementsAre("list services", "list wifi", "list interfaces", "set service A off",
                          "set wifi en0 off", "set interface en1 down"));
  EXPECT_THAT(h.net.logLines,
              ElementsAre("enforcement: disabled service A", "enforcement: powered off Wi-Fi en0",
                          "enforcement: brought interface en1 down"));
}

TEST(EnforcementCoordinator, AnyFailureOutranksCorrections) {
  EnforcementHarness h;
  h.net.listed["services"] = {"A", "B"};
  h.net.state["service A"] = h.net.state["service B"] = true;
  h.net.failingChanges = {"service B", "interface en1"};
  h.net.state.erase("wifi en0");
  h.net.state["interface en0"] = h.net.state["interface en1"] = true;
  EXPECT_EQ(h.enforce(), EnforcementOutcome::correctionFailed);
  EXPECT_THAT(h.net.logLines,
              ElementsAre("enforcement: disabled service A",
                          "enforcement: FAILED to disable service B; will retry",
                          "enforcement: Wi-Fi state query failed for en0; will retry",
                          "enforcement: brought interface en0 down",
                          "enforcement: FAILED to bring interface en1 down; will retry"));

  EnforcementHarness unreadable;
  unreadable.net.state.erase("interface en1");
  EXPECT_EQ(unreadable.enforce(), EnforcementOutcome::correctionFailed);
  EXPECT_THAT(unreadable.net.logLines,
              ElementsAre("enforcement: interface state query failed for en1; will retry"));
}

}  // namespace
}  // namespace nubrik
