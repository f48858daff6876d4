// A whole offline session with the real daemon on real links: the start takes every link but the
// loopback device (whatever the others are called) down and records what it changed, the daemon
// hears a link come back and takes it down again, and the recover command puts back exactly what
// was recorded.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "core/date.hpp"
#include "core/helper_status.hpp"
#include "core/session.hpp"
#include "tests/e2e/namespace_harness.hpp"

namespace nubrik {
namespace {

class SessionOfflineTest : public test::NamespaceTest {};

std::map<std::string, bool> interfaceMap(const OfflineSession& session) {
  std::map<std::string, bool> map;
  for (const InterfaceState& state : session.interfaces.value_or(std::vector<InterfaceState>{})) {
    map[state.name] = state.wasUp;
  }
  return map;
}

TEST_F(SessionOfflineTest, StartTakesLinksDownDaemonKeepsThemDownAndRecoverRestoresThem) {
  runIsolated(R"SH(
makeLinks
# Named like the loopback device, but only a name: it goes down with the rest.
ip link add lo1 type veth peer name peer1 || unavailable "veth links are not available here"
ip link set lo1 up || exit 91
ALL="lo uplink0 spare0 bridge0 lo1 peer1"
states $ALL >"$OUT/before"
startIdle
recordSettled idle "$HELPER" --status
stat -c %a "$STATUS" >"$OUT/status-mode"

startSession
states $ALL >"$OUT/after-start"
stat -c %a "$STATE/session.json" >"$OUT/session-mode"
cp "$STATE/session.json" "$OUT/session.json"
cp "$STATUS" "$OUT/status-after-start"
recordSettled active "$HELPER" --status
startSession second

ip link set uplink0 up || exit 91
waitFor "uplink0 down again" linkDown uplink0
waitFor "the enforcement summary" logHas "enforcement: re-applied offline lock"
states $ALL >"$OUT/after-enforcement"

recover
states $ALL >"$OUT/after-recover"
ls -A "$STATE" >"$OUT/state-after-recover"
cp "$STATUS" "$OUT/status-after-recover"
finish
)SH");
  if (!ran()) return;

  EXPECT_EQ(read("before"), "lo=up uplink0=up spare0=down bridge0=up lo1=up peer1=down\n");
  expectCommand("idle", 0, "{\"active\":false}\n", "");
  EXPECT_EQ(read("status-mode"), "644\n");

  expectCommand("start", 0, "", "");
  EXPECT_EQ(read("after-start"),
            "lo=up uplink0=down spare0=down bridge0=down lo1=down peer1=down\n");
  EXPECT_EQ(read("session-mode"), "600\n");
  const OfflineSession session = decodeSession(read("session.json"));
  EXPECT_TRUE(std::regex_match(session.id, std::regex("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}")))
      << session.id;
  EXPECT_TRUE(session.active);
  EXPECT_NEAR(secondsBetween(session.startDate, session.expirationDate), 300.0, 1e-3);
  EXPECT_TRUE(session.services.empty());
  EXPECT_TRUE(session.wifiPower.empty());
  EXPECT_EQ(session.interfaces.value_or(std::vector<InterfaceState>{}).size(), 6u);
  EXPECT_EQ(interfaceMap(session), (std::map<std::string, bool>{
                                       {"lo", true},
                                       {"uplink0", true},
                                       {"spare0", false},
                                       {"bridge0", true},
                                       {"lo1", true},
                                       {"peer1", false},
                                   }));

  const HelperStatus active = decodeStatus(read("status-after-start"));
  EXPECT_TRUE(active.active);
  EXPECT_EQ(active.expirationDate, session.expirationDate);
  ASSERT_TRUE(active.remainingSeconds.has_value());
  EXPECT_LE(*active.remainingSeconds, 300);
  EXPECT_GE(*active.remainingSeconds, 290);
  EXPECT_EQ(statusOf("active"), 0);
  EXPECT_EQ(decodeStatus(read("active.out")).expirationDate, session.expirationDate);

  expectCommand("second", 4, "", "error: a session is already active\n");

  EXPECT_EQ(read("after-enforcement"),
            "lo=up uplink0=down spare0=down bridge0=down lo1=down peer1=down\n");

  expectCommand("recover", 0, "recovered: network state restored\n", "");
  EXPECT_EQ(read("after-recover"), "lo=up uplink0=up spare0=down bridge0=up lo1=up peer1=down\n");
  EXPECT_EQ(read("state-after-recover"), "transaction.lock\n");
  EXPECT_EQ(read("status-after-recover"), "{\"active\":false}");
  EXPECT_EQ(statusOf("daemon"), 0);

  // The log's own line format on disk; the wording of each change is its coordinator's tests'.
  EXPECT_TRUE(std::regex_match(
      read("log").substr(0, read("log").find('\n') + 1),
      std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ nubrik-helper: daemon launched \(uid=0\)\n)")))
      << read("log");
  expectLogged("enforcement: brought interface uplink0 down");
  EXPECT_EQ(logCount("enforcement: brought interface bridge0 down"), 0u);
  EXPECT_EQ(logMatching(R"(interface lo( |$))"), std::vector<std::string>{});
}

}  // namespace
}  // namespace nubrik
