#include "helper/coordinators/activation_coordinator.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/helper/coordinators/fake_network.hpp"

namespace nubrik {
namespace {

using ::testing::ElementsAre;

struct ActivationHarness {
  test::FakeNetwork net;
  ActivationHarness() {
    net.listed = {
        {"services", {"A", "Loopback Service"}}, {"wifi", {"en0"}}, {"interfaces", {"lo0", "en0"}}};
  }
  ActivationOutcome activate() { return ActivationCoordinator(net, net.log()).activate(); }
};

TEST(ActivationCoordinator, SwitchesEverythingOffButLoopbacks) {
  ActivationHarness h;
  EXPECT_EQ(h.activate(), ActivationOutcome::activated);
  EXPECT_THAT(h.net.changes(),
              ElementsAre("set service A off", "set wifi en0 off", "set interface en0 down"));
  EXPECT_THAT(h.net.logLines,
              ElementsAre("activation: disabled service A", "activation: powered off Wi-Fi en0",
                          "activation: brought interface en0 down"));
}

TEST(ActivationCoordinator, FailedChangesDoNotStopThePassButLeaveItPending) {
  ActivationHarness h;
  h.net.failingChanges = {"service A", "wifi en0", "interface en0"};
  EXPECT_EQ(h.activate(), ActivationOutcome::activationPending);
  EXPECT_THAT(h.net.logLines, ElementsAre("activation: FAILED to disable service A",
                                          "activation: FAILED to power off Wi-Fi en0",
                                          "activation: FAILED to bring interface en0 down"));

  ActivationHarness radioOnly;
  radioOnly.net.failingChanges = {"wifi en0"};
  EXPECT_EQ(radioOnly.activate(), ActivationOutcome::activationPending);
  EXPECT_EQ(radioOnly.net.changes().back(), "set interface en0 down");
}

}  // namespace
}  // namespace nubrik
