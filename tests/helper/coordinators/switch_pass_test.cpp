#include "helper/coordinators/switch_pass.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/helper/coordinators/fake_network.hpp"

namespace nubrik {
namespace {

using ::testing::ElementsAre;
using Step = SwitchStep;

TEST(SwitchPass, LoopbackServicesAreRecognised) {
  for (const char* name : {"Loopback Service", "my LOOPBACK", "xloopbackx"}) {
    EXPECT_TRUE(containsLoopback(name)) << name;
  }
  for (const char* name : {"Loop back", "loopbac", "Wi-Fi", ""}) {
    EXPECT_FALSE(containsLoopback(name)) << name;
  }
}

// What a step's outcome counts as, told in the log's words. The wording of each step kind is
// pinned with the pass that writes it (activation, enforcement, restoration, fail-open); these
// are the outcomes no single pass shows.
TEST(SwitchPass, EachStepIsToldAndCountedAsAChangeOrAFailure) {
  const struct {
    SwitchKind kind;
    Step step;
    bool fails;
    const char* line;
  } cases[] = {
      {SwitchKind::service, {Step::Action::change, "A", false}, false, "p: disabled service A"},
      {SwitchKind::wifi,
       {Step::Action::change, "w", true, Step::Wording::addedDuringSession},
       true,
       "p: FAILED to power on Wi-Fi w added during session; r"},
      {SwitchKind::wifi,
       {Step::Action::vanished, "w"},
       false,
       "p: Wi-Fi device w no longer present; skipping"},
      {SwitchKind::interface,
       {Step::Action::stateUnknown, "e"},
       false,
       "p: interface state query failed for e; r"},
  };
  for (const auto& c : cases) {
    test::FakeNetwork net;
    net.listed = {{"services", {}}, {"wifi", {}}, {"interfaces", {}}};
    if (c.fails) net.failingChanges = {test::FakeNetwork::stateName(c.kind) + " " + c.step.name};
    const SwitchPlan plan = [&](SwitchKind kind, const SwitchReadings&) {
      return kind == c.kind ? SwitchSteps{c.step} : SwitchSteps{};
    };
    const SwitchPassResult result =
        runSwitchPass(net, {"p", "; r", Listing::switchable, plan}, net.log());
    EXPECT_THAT(net.logLines, ElementsAre(c.line));
    const bool failure = c.fails || c.step.action == Step::Action::stateUnknown;
    EXPECT_EQ(result.failed, failure) << c.line;
    EXPECT_EQ(result.changed, c.step.action == Step::Action::change && !c.fails) << c.line;
  }
}

TEST(SwitchPass, AFailedListingIsToldAndNothingIsPlannedOrChanged) {
  for (const char* listing : {"services", "wifi", "interfaces"}) {
    test::FakeNetwork net;
    net.listed = {{"services", {"A"}}, {"wifi", {"w"}}, {"interfaces", {"e"}}};
    net.failingListings = {listing};
    bool planned = false;
    const SwitchPlan plan = [&](SwitchKind, const SwitchReadings&) {
      planned = true;
      return SwitchSteps{};
    };
    const SwitchPassResult result =
        runSwitchPass(net, {"p", "!", Listing::switchable, plan}, net.log());
    EXPECT_FALSE(result.listed);
    EXPECT_TRUE(result.failed);
    EXPECT_FALSE(planned);
    EXPECT_TRUE(net.changes().empty());
    const std::string noun = std::string(listing) == "services" ? "service"
                             : std::string(listing) == "wifi"   ? "Wi-Fi"
                                                                : "interface";
    EXPECT_THAT(net.logLines,
                ElementsAre("p: " + noun + " discovery failed (" + listing + " down)!"));
  }
}

}  // namespace
}  // namespace nubrik
