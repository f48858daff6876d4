#include "helper/coordinators/fail_open_recovery_coordinator.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/helper/coordinators/fake_network.hpp"

namespace nubrik {
namespace {

using ::testing::ElementsAre;

struct FailOpenHarness {
  test::FakeNetwork net;
  std::vector<std::string> effects;
  std::function<void()> finalize = [] {};
  std::function<void()> idle = [] {};

  FailOpenHarness() {
    net.listed = {
        {"services", {"A", "B", "Loopback"}}, {"wifi", {"en0"}}, {"interfaces", {"en0", "lo0"}}};
  }
  bool recover() {
    auto effect = [this](const char* name, std::function<void()>* behaviour) {
      return [this, name, behaviour] {
        effects.push_back(name);
        if (behaviour) (*behaviour)();
      };
    };
    return FailOpenRecoveryCoordinator(
               net, {effect("idle", &idle), effect("pending", nullptr), net.log()},
               effect("finalize", &finalize))
        .recover();
  }
};

TEST(FailOpenRecoveryCoordinator, SwitchesEverythingOnThenFinalizes) {
  FailOpenHarness h;
  EXPECT_TRUE(h.recover());
  EXPECT_THAT(h.net.changes(), ElementsAre("set service A on", "set service B on",
                                           "set wifi en0 on", "set interface en0 up"));
  EXPECT_THAT(h.effects, ElementsAre("finalize", "idle"));
  EXPECT_THAT(
      h.net.logLines,
      ElementsAre("fail-open recovery: attempting emergency network restore",
                  "fail-open recovery: enabled service A", "fail-open recovery: enabled service B",
                  "fail-open recovery: powered on Wi-Fi en0",
                  "fail-open recovery: brought interface en0 up",
                  "fail-open recovery: succeeded; network restored, recovery state "
                  "finalized"));
}

TEST(FailOpenRecoveryCoordinator, FailedChangesKeepTheRecoveryState) {
  FailOpenHarness h;
  h.net.failingChanges = {"service A", "wifi en0", "interface en0"};
  EXPECT_FALSE(h.recover());
  EXPECT_EQ(h.net.changes().size(), 4u);
  EXPECT_THAT(h.effects, ElementsAre("pending"));
  EXPECT_THAT(h.net.logLines,
              ElementsAre("fail-open recovery: attempting emergency network restore",
                          "fail-open recovery: FAILED to enable service A; will retry",
                          "fail-open recovery: enabled service B",
                          "fail-open recovery: FAILED to power on Wi-Fi en0; will retry",
                          "fail-open recovery: FAILED to bring interface en0 up; will retry"));
}

TEST(FailOpenRecoveryCoordinator, AFailedFinalizeIsLoggedAndStaysPending) {
  FailOpenHarness h;
  h.finalize = [] { throw std::runtime_error("ioError(errno: 30)"); };
  EXPECT_FALSE(h.recover());
  EXPECT_THAT(h.effects, ElementsAre("finalize", "pending"));
  EXPECT_EQ(h.net.logLines.back(),
            "fail-open recovery: network restore succeeded but recovery state could not be "
            "finalized (ioError(errno: 30)); will retry");

  FailOpenHarness idleFails;
  idleFails.idle = [] { throw 1; };
  bool recovered = false;
  EXPECT_NO_THROW(recovered = idleFails.recover());
  EXPECT_TRUE(recovered);
}

}  // namespace
}  // namespace nubrik
