// Which interfaces a pass leaves alone is the backend's rule, asked about every listed and every
// recorded name: the kernel's loopback device on Linux (whatever else is called "lo..."), every
// name beginning "lo" with the tools. The passes apply whichever rule they are given.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "core/session.hpp"
#include "helper/coordinators/activation_coordinator.hpp"
#include "helper/coordinators/enforcement_coordinator.hpp"
#include "helper/coordinators/fail_open_recovery_coordinator.hpp"
#include "helper/coordinators/restoration_coordinator.hpp"
#include "tests/helper/coordinators/fake_network.hpp"

namespace nubrik {
namespace {

using ::testing::ElementsAreArray;

using Rule = std::function<bool(const std::string&)>;

// As if the backend listed its spared interfaces too, so that only the rule can leave them out.
const NameList everyLink = {"lo", "lo1", "lobby0", "en0"};

// The interfaces a pass changed, in order.
std::vector<std::string> changedInterfaces(const test::FakeNetwork& net) {
  std::vector<std::string> names;
  for (const std::string& change : net.changes()) {
    const std::string prefix = "set interface ";
    if (!change.starts_with(prefix)) continue;
    const std::string rest = change.substr(prefix.size());
    names.push_back(rest.substr(0, rest.rfind(' ')));
  }
  return names;
}

test::FakeNetwork networkWith(const Rule& rule) {
  test::FakeNetwork net;
  net.listed = {{"services", {}}, {"wifi", {}}, {"interfaces", everyLink}};
  for (const std::string& name : everyLink) net.state["interface " + name] = true;
  net.sparing = rule;
  return net;
}

// Every pass that switches interfaces, run over the same links under one rule.
std::vector<std::vector<std::string>> runEveryPass(const Rule& rule) {
  std::vector<std::vector<std::string>> changed;
  const RecoveryReporting quiet{[] {}, [] {}, {}};

  test::FakeNetwork activation = networkWith(rule);
  ActivationCoordinator(activation, activation.log()).activate();
  changed.push_back(changedInterfaces(activation));

  test::FakeNetwork enforcement = networkWith(rule);
  EnforcementCoordinator(enforcement, enforcement.log()).enforce();
  changed.push_back(changedInterfaces(enforcement));

  test::FakeNetwork failOpen = networkWith(rule);
  FailOpenRecoveryCoordinator(failOpen, quiet, [] {}).recover();
  changed.push_back(changedInterfaces(failOpen));

  // Recorded and present, and present but added during the session.
  test::FakeNetwork restoration = networkWith(rule);
  OfflineSession session;
  session.id = "S";
  session.interfaces = std::vector<InterfaceState>{{"lo", true}, {"lo1", true}};
  RestorationCoordinator(
      restoration, quiet, [] {}, [] {})
      .restore(session);
  changed.push_back(changedInterfaces(restoration));
  return changed;
}

TEST(InterfaceSparing, EveryPassLeavesAloneExactlyWhatTheBackendSpares) {
  const struct {
    const char* rule;
    Rule spares;
    std::vector<std::string> switched;
  } cases[] = {
      {"the loopback device only",
       [](const std::string& name) { return name == "lo"; },
       {"lo1", "lobby0", "en0"}},
      {"names beginning lo",
       [](const std::string& name) { return name.starts_with("lo"); },
       {"en0"}},
      // Cannot tell: nothing is spared beyond what the listing left out.
      {"a failing rule", [](const std::string&) -> bool { throw std::runtime_error("gone"); },
       everyLink},
  };
  const char* passes[] = {"activation", "enforcement", "fail-open recovery", "restoration"};
  for (const auto& c : cases) {
    const std::vector<std::vector<std::string>> changed = runEveryPass(c.spares);
    for (std::size_t pass = 0; pass < changed.size(); ++pass) {
      SCOPED_TRACE(std::string(passes[pass]) + " with " + c.rule);
      EXPECT_THAT(changed[pass], ElementsAreArray(c.switched));
    }
  }
}

}  // namespace
}  // namespace nubrik
