// The real helper binary, run as root inside private mount, network and PID namespaces with
// tmpfs over every directory it writes, so nothing here touches the host's state or links.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "tests/e2e/namespace_harness.hpp"

namespace {

class DaemonNamespaceTest : public nubrik::test::NamespaceTest {};

TEST_F(DaemonNamespaceTest, CommandLineRefusalsChangeNothing) {
  runIsolated(R"SH(
makeLinks
record usage "$HELPER" --bogus
record startAlone "$HELPER" --start
record startAbc "$HELPER" --start --duration abc
install -m 0755 "$HELPER" /run/helper-copy
record nonRoot setpriv --reuid=65534 --regid=65534 --clear-groups /run/helper-copy --start --duration 900
record unconfirmed "$HELPER" --recover
record lowerCase env NUBRIK_FORCE=yes "$HELPER" --recover
recordSettled status "$HELPER" --status
ls -A "$STATE" >"$OUT/untouched"

# Refused starts during a session leave its status readable and final.
startSession
startSession again
record short "$HELPER" --start --duration 10
record active "$HELPER" --status
generation >"$OUT/generation"
recover

flock "$STATE/transaction.lock" -c 'touch /run/locked; exec sleep 60' &
waitFor "the lock holder" test -e /run/locked
record busyStart "$HELPER" --start --duration 900
record busyRecover env NUBRIK_FORCE=YES "$HELPER" --recover
ls -A "$STATE" >"$OUT/locked"
)SH");
  if (!ran()) return;

  const std::string missing = "error: --start requires --duration <seconds>\n";
  const std::string refusal =
      "refusing: set NUBRIK_FORCE=YES to confirm deliberate recovery (see RECOVERY.md)\n";
  const std::string busy = "error: another helper operation is in progress\n";
  expectCommand(
      "usage", 1, "",
      "usage: nubrik-helper --daemon | --start --duration <sec> | --status | --recover\n");
  expectCommand("startAlone", 2, "", missing);
  expectCommand("startAbc", 2, "", missing);
  expectCommand("nonRoot", 3, "", "error: --start requires root\n");
  expectCommand("unconfirmed", 6, "", refusal);
  expectCommand("lowerCase", 6, "", refusal);
  expectCommand("status", 12, "{\"unavailable\":\"missing\"}\n", "");
  EXPECT_EQ(read("untouched"), "");

  expectCommand("start", 0, "", "");
  expectCommand("again", 4, "", "error: a session is already active\n");
  expectCommand("short", 2, "", "error: duration must be 5 minutes to 24 hours\n");
  EXPECT_EQ(statusOf("active"), 0) << read("active.out");
  EXPECT_NE(read("active.out").find("\"active\":true"), std::string::npos);
  EXPECT_EQ(std::stoull(read("generation")) % 2, 0u);
  EXPECT_EQ(statusOf("recover"), 0);

  expectCommand("busyStart", 11, "", busy);
  expectCommand("busyRecover", 11, "", busy);
  EXPECT_EQ(read("locked"), "transaction.lock\n");
}

TEST_F(DaemonNamespaceTest, CorruptSessionIsQuarantinedAndRecoveredFailOpen) {
  // mv0 shares its lower link's address, so the kernel refuses to bring it up and fail-open
  // keeps failing until the address changes; the lower link's "lo" prefix keeps it out of reach.
  runIsolated(R"SH(
unavailable() { echo "veth or macvlan links are not available here" >"$OUT/skip"; exit 0; }
ip link add lo-low address 02:00:00:00:00:01 type veth peer name lo-peer || unavailable
ip link add link lo-low name mv0 address 02:00:00:00:00:01 type macvlan || unavailable
printf 'not json' >"$STATE/session.json"
startDaemon
waitFor "the failed attempt" logHas "fail-open recovery: FAILED to bring interface mv0 up; will retry"
waitFor "the retry" logHas "daemon: recovery still pending; retrying fail-open recovery"
cp "$STATE/recovery-pending.json" "$OUT/marker"
ls -A "$STATE" >"$OUT/state-files"
recordSettled pending "$HELPER" --status
ip link set mv0 address 02:00:00:00:00:02
waitFor "the recovery" logHas "fail-open recovery: succeeded; network restored, recovery state finalized"
waitFor "the idle status" idlePublished
ls -A "$STATE" >"$OUT/state-files-after"
kill -0 "$DAEMON" && echo yes >"$OUT/running"
cat "$STATE"/session.corrupt.* >"$OUT/evidence"
finish
)SH");
  if (!ran()) return;

  const nlohmann::json marker = nlohmann::json::parse(read("marker"), nullptr, false);
  ASSERT_TRUE(marker.is_object()) << read("marker");
  EXPECT_EQ(marker.value("reason", ""), "undecodable");
  const std::string evidence = marker.value("quarantinedPath", "");
  ASSERT_TRUE(std::regex_match(evidence, std::regex(R"(/var/lib/nubrik/session\.corrupt\.\d+)")))
      << evidence;
  EXPECT_EQ(read("evidence"), "not json");
  const std::string evidenceName = evidence.substr(evidence.rfind('/') + 1);
  EXPECT_EQ(read("state-files"), "recovery-pending.json\n" + evidenceName + "\ntransaction.lock\n");
  expectCommand("pending", 12, "{\"unavailable\":\"pending\"}\n", "");
  // The wording and order of the fail-open lines are the fail-open session test's.
  expectLogged("corrupt session state (undecodable); evidence: " + evidence + "; recovery pending");

  EXPECT_EQ(read("state-files-after"), evidenceName + "\ntransaction.lock\n");
  EXPECT_EQ(read("running"), "yes\n");
  EXPECT_EQ(statusOf("daemon"), 0);
}

}  // namespace
