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
record usage "$HELPER" --bogus
record startAlone "$HELPER" --start
record startAbc "$HELPER" --start --duration abc
install -m 0755 "$HELPER" /run/helper-copy
record nonRoot setpriv --reuid=65534 --regid=65534 --clear-groups /run/helper-copy --start --duration 900
record unconfirmed "$HELPER" --recover
record lowerCase env NUBRIK_FORCE=yes "$HELPER" --recover
recordSettled status "$HELPER" --status
ls -A "$STATE" >"$OUT/untouched"

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
  expectCommand("busyStart", 11, "", busy);
  expectCommand("busyRecover", 11, "", busy);
  EXPECT_EQ(read("locked"), "transaction.lock\n");
}

TEST_F(DaemonNamespaceTest, DaemonTakesASessionOfflineKeepsItOfflineAndRecovers) {
  runIsolated(R"SH(
vethPair
ip link set v0 up && ip link set v1 up
startDaemon
waitFor "the idle status" idlePublished
recordSettled idle "$HELPER" --status
stat -c %a "$STATUS" >"$OUT/status-mode"
head -n 1 "$LOG" >"$OUT/first-line"

recordRetrying start "$HELPER" --start --duration 900
linkDown v0 && linkDown v1 && echo yes >"$OUT/down-after-start"
recordSettled active "$HELPER" --status
recordRetrying again "$HELPER" --start --duration 900
ip link set v0 up
waitFor "the enforcement pass" logHas "enforcement: re-applied offline lock"
waitFor "v0 to go down again" linkDown v0

recordRetrying recover env NUBRIK_FORCE=YES "$HELPER" --recover
linkUp v0 && linkUp v1 && echo yes >"$OUT/up-after-recover"
waitFor "the idle status" idlePublished
ls -A "$STATE" >"$OUT/state-files"
stopDaemon
cp "$LOG" "$OUT/log"
)SH");
  if (!ran()) return;

  expectCommand("idle", 0, "{\"active\":false}\n", "");
  EXPECT_EQ(read("status-mode"), "644\n");
  EXPECT_TRUE(std::regex_match(
      read("first-line"),
      std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ nubrik-helper: daemon launched \(uid=0\)\n)")))
      << read("first-line");

  expectCommand("start", 0, "", "");
  EXPECT_EQ(read("down-after-start"), "yes\n");
  EXPECT_EQ(statusOf("active"), 0);
  const nlohmann::json active = nlohmann::json::parse(read("active.out"), nullptr, false);
  ASSERT_TRUE(active.is_object()) << read("active.out");
  EXPECT_EQ(active.value("active", false), true);
  EXPECT_GT(active.value("remainingSeconds", 0), 800);
  EXPECT_LE(active.value("remainingSeconds", 0), 900);
  expectCommand("again", 4, "", "error: a session is already active\n");

  expectCommand("recover", 0, "recovered: network state restored\n", "");
  EXPECT_EQ(read("up-after-recover"), "yes\n");
  EXPECT_EQ(read("state-files"), "transaction.lock\n");
  EXPECT_EQ(statusOf("daemon"), 0);

  const std::string log = read("log");
  EXPECT_TRUE(
      std::regex_search(log, std::regex(R"(nubrik-helper: session started id=[0-9A-F-]{36} until )"
                                        R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \+0000\n)")))
      << log;
  EXPECT_NE(log.find("nubrik-helper: enforcement: brought interface v0 down\n"), std::string::npos)
      << log;
}

TEST_F(DaemonNamespaceTest, ExpiredSessionIsRestoredToItsCapturedState) {
  runIsolated(R"SH(
vethPair
now=$(( $(date +%s) - 978307200 ))
printf '{"id":"3F2504E0-4F89-11D3-9A0C-0305E82C3301","startDate":%d,"expirationDate":%d,"services":[],"wifiPower":{},"interfaces":[{"name":"v0","wasUp":true},{"name":"v1","wasUp":false}],"active":true}' \
  $((now - 60)) $((now + 2)) >"$STATE/session.json"
startDaemon
waitFor "the restoration" logHas "restoration: succeeded; session deleted, network restored"
waitFor "the idle status" idlePublished
linkUp v0 && linkDown v1 && echo yes >"$OUT/captured-state"
ls -A "$STATE" >"$OUT/state-files"
stopDaemon
cp "$LOG" "$OUT/log"
)SH");
  if (!ran()) return;

  EXPECT_EQ(read("captured-state"), "yes\n");
  EXPECT_EQ(read("state-files"), "transaction.lock\n");
  EXPECT_EQ(statusOf("daemon"), 0);
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
stopDaemon
cp "$LOG" "$OUT/log"
cat "$STATE"/session.corrupt.* >"$OUT/evidence"
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

  const std::string log = read("log");
  const size_t stored =
      log.find("nubrik-helper: corrupt session state (undecodable); evidence: " + evidence +
               "; recovery pending\n");
  const size_t ticked = log.find(
      "nubrik-helper: daemon: corrupt authoritative state (undecodable); attempting fail-open "
      "recovery\n");
  ASSERT_NE(stored, std::string::npos) << log;
  ASSERT_NE(ticked, std::string::npos) << log;
  EXPECT_LT(stored, ticked);

  EXPECT_EQ(read("state-files-after"), evidenceName + "\ntransaction.lock\n");
  EXPECT_EQ(read("running"), "yes\n");
  EXPECT_EQ(statusOf("daemon"), 0);
}

}  // namespace
