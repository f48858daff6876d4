// What a link is called decides nothing on Linux but whether a record can hold it (links named
// "lo..." are the offline session test's): a link whose name is not UTF-8 makes the start refuse
// before it changes anything, yet during a session such a link is taken down like any other and
// brought back up at the end.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/namespace_harness.hpp"

namespace nubrik {
namespace {

class LinkNamesTest : public test::NamespaceTest {};

// The bytes 0xff 0xfe, which no UTF-8 text holds.
const std::string binaryName = "\xff\xfe";

TEST_F(LinkNamesTest, ANameThatIsNotUtf8FailsTheCaptureButIsSwitchedDuringASession) {
  runIsolated(R"SH(
BAD=$'\xff\xfe'
ip link add "$BAD" type veth peer name x1 || unavailable "veth links are not available here"
ip link add uplink0 type bridge || unavailable "bridge links are not available here"
ip link set "$BAD" up && ip link set uplink0 up || exit 91
ALL="lo $BAD x1 uplink0"
states $ALL >"$OUT/before"
startIdle

recordRetrying refused "$HELPER" --start --duration 300
states $ALL >"$OUT/after-refused"
ls -A "$STATE" >"$OUT/state-after-refused"
cp "$LOG" "$OUT/log-after-refused"

# Without the link the start goes ahead; the link that appears during the session is taken down
# by its name all the same, and brought up at the end as one added during the session.
ip link del "$BAD" || exit 91
startSession
ip link add "$BAD" type bridge || exit 91
ip link set "$BAD" up || exit 91
waitFor "the new link taken down" logHas "enforcement: brought interface $BAD down"
states $ALL >"$OUT/after-enforcement"

recover
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
  EXPECT_EQ(logMatching("^(capture: recorded|activation:)", "log-after-refused"),
            std::vector<std::string>{});

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
