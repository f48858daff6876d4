#include "helper/coordinators/restoration_coordinator.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "core/session.hpp"
#include "tests/helper/coordinators/fake_network.hpp"

namespace nubrik {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsSupersetOf;
using ::testing::Not;

// Recorded: A on, B off, Wi-Fi en0 on, en0 up, en5 down. Now there is also C and en7.
struct RestorationHarness {
  test::FakeNetwork net;
  std::vector<std::string> effects;
  std::function<void()> deleteSession = [] {};
  std::function<void()> afterDelete = [] {};  // runs as publishIdle and as notifyRestored
  OfflineSession session;

  RestorationHarness() {
    net.listed = {
        {"services", {"A", "B", "C"}}, {"wifi", {"en0"}}, {"interfaces", {"en0", "en5", "en7"}}};
    session.id = "6F1C2B8E-0D9A-4C3B-9E2F-7A1B3C5D7E9F";
    session.services = {{"A", true}, {"B", false}};
    session.wifiPower = {{"en0", true}};
    session.interfaces = std::vector<InterfaceState>{{"en0", true}, {"en5", false}};
  }
  std::function<void()> effect(const char* name, std::function<void()>* behaviour = nullptr) {
    return [this, name, behaviour] {
      effects.push_back(name);
      if (behaviour) (*behaviour)();
    };
  }
  bool restore() {
    return RestorationCoordinator(net, {effect("idle", &afterDelete), effect("pending"), net.log()},
                                  effect("delete", &deleteSession), effect("notify", &afterDelete))
        .restore(session);
  }
};

TEST(RestorationCoordinator, PutsBackTheRecordAndSwitchesOnWhatAppeared) {
  RestorationHarness h;
  EXPECT_TRUE(h.restore());
  EXPECT_THAT(
      h.net.changes(),
      ElementsAre("set service A on", "set service B off", "set service C on", "set wifi en0 on",
                  "set interface en0 up", "set interface en5 down", "set interface en7 up"));
  EXPECT_THAT(h.effects, ElementsAre("delete", "idle", "notify"));
  EXPECT_THAT(h.net.logLines,
              ElementsAre("restoration: restoring expired session "
                          "6F1C2B8E-0D9A-4C3B-9E2F-7A1B3C5D7E9F",
                          "restoration: restored service A", "restoration: restored service B",
                          "restoration: enabled service C added during session",
                          "restoration: restored Wi-Fi en0", "restoration: restored interface en0",
                          "restoration: restored interface en5",
                          "restoration: brought interface en7 up added during session",
                          "restoration: succeeded; session deleted, network restored"));
}

// Each radio goes back to what was recorded: one that was off at the start stays off.
TEST(RestorationCoordinator, ARadioRecordedOffIsRestoredOff) {
  RestorationHarness h;
  h.net.listed["wifi"] = {"en0", "wlan1"};
  h.session.wifiPower = {{"en0", false}, {"wlan1", true}};
  EXPECT_TRUE(h.restore());
  EXPECT_THAT(h.net.changes(), IsSupersetOf({"set wifi en0 off", "set wifi wlan1 on"}));
  EXPECT_THAT(h.net.changes(), Not(Contains("set wifi en0 on")));
}

TEST(RestorationCoordinator, VanishedObjectsAreSkippedAndNewRadiosPoweredOn) {
  RestorationHarness h;
  h.net.listed = {{"services", {"A"}}, {"wifi", {"wlan1"}}, {"interfaces", {"en0"}}};
  EXPECT_TRUE(h.restore());
  EXPECT_THAT(h.net.changes(),
              ElementsAre("set service A on", "set wifi wlan1 on", "set interface en0 up"));
  EXPECT_THAT(h.net.logLines,
              IsSupersetOf({"restoration: service B no longer present; skipping",
                            "restoration: Wi-Fi device en0 no longer present; skipping",
                            "restoration: powered on Wi-Fi wlan1 added during session",
                            "restoration: interface en5 no longer present; skipping"}));
  EXPECT_THAT(h.effects, ElementsAre("delete", "idle", "notify"));
}

TEST(RestorationCoordinator, LegacyRecordBringsEveryNonLoopbackInterfaceUp) {
  RestorationHarness h;
  h.net.listed["interfaces"] = {"lo0", "en0", "en5"};
  h.session.interfaces.reset();
  h.net.failingChanges = {"interface en5"};
  EXPECT_FALSE(h.restore());
  EXPECT_THAT(h.net.changes(), IsSupersetOf({"set interface en0 up", "set interface en5 up"}));
  EXPECT_THAT(h.net.changes(), testing::Not(Contains("set interface lo0 up")));
  EXPECT_THAT(h.net.logLines,
              IsSupersetOf({"restoration: legacy fail-open brought interface en0 up",
                            "restoration: FAILED legacy fail-open for interface en5; will retry"}));
}

TEST(RestorationCoordinator, AnyFailedChangeKeepsTheSessionAndPublishesPendingOnce) {
  const std::pair<const char*, const char*> cases[] = {
      {"service B", "restoration: FAILED to restore service B; will retry"},
      {"interface en7",
       "restoration: FAILED to bring interface en7 up added during session; will retry"},
  };
  for (const auto& [failing, line] : cases) {
    RestorationHarness h;
    h.net.failingChanges = {failing};
    EXPECT_FALSE(h.restore());
    EXPECT_THAT(h.effects, ElementsAre("pending"));
    EXPECT_THAT(h.net.logLines, Contains(line));
    EXPECT_EQ(h.net.changes().size(), 7u);  // the pass went on
  }
}

TEST(RestorationCoordinator, AFailedDeleteKeepsPendingAndDoesNotNotify) {
  RestorationHarness h;
  h.deleteSession = [] { throw std::runtime_error("permissionDenied(path: \"session.json\")"); };
  EXPECT_FALSE(h.restore());
  EXPECT_THAT(h.effects, ElementsAre("delete", "pending"));
  EXPECT_EQ(h.net.logLines.back(),
            "restoration: network restore succeeded but session could not be deleted "
            "(permissionDenied(path: \"session.json\")); will retry");
}

TEST(RestorationCoordinator, LoopbacksAreNeverTouched) {
  RestorationHarness h;  // as if the backend listed them anyway
  h.net.listed = {
      {"services", {"A", "Loopback Adapter"}}, {"wifi", {}}, {"interfaces", {"lo0", "lo1", "en0"}}};
  h.session.services = {{"A", false}, {"Loopback Adapter", false}};
  h.session.wifiPower.clear();
  h.session.interfaces = std::vector<InterfaceState>{{"lo0", false}, {"en0", true}};
  EXPECT_TRUE(h.restore());
  EXPECT_THAT(h.net.changes(), ElementsAre("set service A off", "set interface en0 up"));
}

TEST(RestorationCoordinator, FailuresAfterTheDeleteNeitherEscapeNorUndoTheRestore) {
  RestorationHarness h;
  h.afterDelete = [] { throw std::runtime_error("status"); };
  bool restored = false;
  EXPECT_NO_THROW(restored = h.restore());
  EXPECT_TRUE(restored);
  EXPECT_THAT(h.effects, ElementsAre("delete", "idle", "notify"));
}

}  // namespace
}  // namespace nubrik
