// What a link is called decides nothing on Linux but whether a record can hold it. Links named
// "lo..." that are not the loopback device go down with the rest and come back at the recover
// command, while lo itself stays up throughout. A link whose name is not UTF-8 makes the start
// refuse before it changes anything, yet during a session such a link is taken down like any
// other and brought back up at the end.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "core/session.hpp"
#include "tests/e2e/namespace_harness.hpp"

namespace nubrik {
namespace {

class LinkNamesTest : public test::NamespaceTest {};

// The bytes 0xff 0xfe, which no UTF-8 text holds.
const std::string binaryName = "\xff\xfe";

TEST_F(LinkNamesTest, LinksNamedLoButNotLoopbackGoDownAndComeBackWhileLoStaysUp) {
  runIsolated(R"SH(
ip link add lobby0 type bridge || unavailable "bridge links are not available here"
ip link add lo1 type veth peer name peer1 || unavailable "veth links are not available here"
ip link set lobby0 up && ip link set lo1 up || exit 91
ALL="lo lobby0 lo1 peer1"
states $ALL >"$OUT/before"
startDaemon
waitFor "the idle status" idlePublished

recordRetrying start "$HELPER" --start --duration 300
states $ALL >"$OUT/after-start"
cp "$STATE/session.json" "$OUT/session.json"

ip link set lobby0 up || exit 91
waitFor "lobby0 taken down again" logHas "enforcement: brought interface lobby0 down"
states $ALL >"$OUT/after-enforcement"

recordRetrying recover env NUBRIK_FORCE=YES "$HELPER" --recover
states $ALL >"$OUT/after-recover"
ls -A "$STATE" >"$OUT/state-after-recover"
finish
)SH");
  if (!ran()) return;

  EXPECT_EQ(read("before"), "lo=up lobby0=up lo1=up peer1=down\n");
  expectCommand("start", 0, "", "");
  EXPECT_EQ(read("after-start"), "lo=up lobby0=down lo1=down peer1=down\n");
  EXPECT_EQ(read("after-enforcement"), "lo=up lobby0=down lo1=down peer1=down\n");
  expectCommand("recover", 0, "recovered: network state restored\n", "");
  EXPECT_EQ(read("after-recover"), "lo=up lobby0=up lo1=up peer1=down\n");
  EXPECT_EQ(read("state-after-recover"), "transaction.lock\n");
  EXPECT_EQ(statusOf("daemon"), 0);

  // The record holds lo as it found it; only the changes leave it alone.
  const OfflineSession session = decodeSession(read("session.json"));
  ASSERT_TRUE(session.interfaces.has_value());
  EXPECT_EQ(*session.interfaces,
            (std::vector<InterfaceState>{
                {"lo", true}, {"lobby0", true}, {"peer1", false}, {"lo1", true}}));

  // The wording of each change's log line is the offline session test's; here only that none
  // of them touched lo.
  for (const std::string& message : logMessages()) {
    EXPECT_FALSE(std::regex_search(message, std::regex(R"(interface lo( |$))"))) << message;
  }
}

TEST_F(LinkNamesTest, ANameThatIsNotUtf8FailsTheCaptureButIsSwitchedDuringASession) {
  runIsolated(R"SH(
BAD=$'\xff\xfe'
ip link add "$BAD" type veth peer name x1 || unavailable "veth links are not available here"
ip link add uplink0 type bridge || unavailable "bridge links are not available here"
ip link set "$BAD" up && ip link set uplink0 up || exit 91
ALL="lo $BAD x1 uplink0"
states $ALL >"$OUT/before"
startDaemon
waitFor "the idle status" idlePublished

recordRetrying refused "$HELPER" --start --duration 300
states $ALL >"$OUT/after-refused"
ls -A "$STATE" >"$OUT/state-after-refused"
cp "$LOG" "$OUT/log-after-refused"

# Without the link the start goes ahead; the link that appears during the session is taken down
# by its name all the same, and brought up at the end as one added during the session.
ip link del "$BAD" || exit 91
recordRetrying start "$HELPER" --start --duration 300
ip link add "$BAD" type bridge || exit 91
ip link set "$BAD" up || exit 91
waitFor "the new link taken down" logHas "enforcement: brought interface $BAD down"
states $ALL >"$OUT/after-enforcement"

recordRetrying recover env NUBRIK_FORCE=YES "$HELPER" --recover
states $ALL >"$OUT/after-recover"
finish
)SH");
  if (!ran()) return;

  const std::string bad = binaryName;
  EXPECT_EQ(read("before"), "lo=up " + bad + "=up x1=down uplink0=up\n");
  expectCommand("refused", 10, "",
                "error: could not capture current network state; nothing was changed\n");
  EXPECT_EQ(read("after-refused"), read("before"));
  EXPECT_EQ(read("state-after-refused"), "transaction.lock\n");
  const std::string refusal =
      "capture: interface name \"\\xff\\xfe\" is not valid UTF-8; nothing was changed";
  EXPECT_EQ(logCount(refusal, "log-after-refused"), 1u) << read("log-after-refused");
  for (const std::string& message : logMessages("log-after-refused")) {
    EXPECT_FALSE(message.starts_with("capture: recorded")) << message;
    EXPECT_FALSE(message.starts_with("activation:")) << message;
  }

  expectCommand("start", 0, "", "");
  EXPECT_EQ(read("after-enforcement"), "lo=up " + bad + "=down x1=missing uplink0=down\n");
  expectCommand("recover", 0, "recovered: network state restored\n", "");
  EXPECT_EQ(read("after-recover"), "lo=up " + bad + "=up x1=missing uplink0=up\n");
  EXPECT_EQ(statusOf("daemon"), 0);

  expectLogged("restoration: brought interface " + bad + " up added during session");
  EXPECT_EQ(logCount("capture: recorded 0 services, 0 Wi-Fi devices, 2 interfaces"), 1u)
      << read("log");
}

}  // namespace
}  // namespace nubrik
