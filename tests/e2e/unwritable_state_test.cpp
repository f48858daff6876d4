// The daemon keeps its promises when its files cannot be written or cannot be trusted: a full or
// read-only file system, something planted where its files belong. Whatever happens to the files,
// the network decisions go on, the network comes back when the session is over, no evidence is
// deleted, and the published status is honestly unavailable rather than frozen.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "core/session.hpp"
#include "tests/e2e/namespace_harness.hpp"

namespace nubrik {
namespace {

class UnwritableStateTest : public test::NamespaceTest {
 protected:
  void run(const std::string& script) {
    runIsolated("makeLinks\nALL=\"uplink0 spare0 bridge0\"\n" + script);
  }
};

TEST_F(UnwritableStateTest, AnOrdinaryUserFillingRunStopsNeitherEnforcementNorRecovery) {
  run(R"SH(
mount -o remount,size=256k /run || unavailable "cannot size /run here"
mkdir -m 1777 /run/lock || exit 91
startIdle
startSession
waitFor "the active status" activePublished
# The world-writable lock directory lets anyone use up the whole of /run.
setpriv --reuid=65534 --regid=65534 --clear-groups \
  sh -c 'dd if=/dev/zero of=/run/lock/fill bs=4k 2>/dev/null; true'
record full sh -c 'echo probe >/run/probe'
ip link set uplink0 up || exit 91
waitFor "enforcement despite a full /run" linkDown uplink0
waitFor "the frozen status withdrawn" test ! -e "$STATUS"
record status "$HELPER" --status
recover
states $ALL >"$OUT/after-recover"
ls -A "$STATE" >"$OUT/state-files"
finish
)SH");
  if (!ran()) return;
  expectCommand("start", 0, "", "");
  EXPECT_NE(statusOf("full"), 0) << "/run was not full";
  // Missing, or busy when a tick found room for its generation but not for the status: either
  // way unavailable, never the countdown as it stood when /run filled up.
  EXPECT_EQ(statusOf("status"), 12);
  EXPECT_TRUE(std::regex_match(read("status.out"),
                               std::regex(R"re(\{"unavailable":"(missing|busy)"\}\n)re")))
      << read("status.out");
  expectCommand("recover", 0, "recovered: network state restored\n", "");
  EXPECT_EQ(read("after-recover"), "uplink0=up spare0=down bridge0=up\n");
  EXPECT_EQ(read("state-files"), "transaction.lock\n");
}

TEST_F(UnwritableStateTest, AReadOnlyStateDirectoryAtExpiryRestoresTheNetworkAndKeepsTheRecord) {
  run(R"SH(
startIdle
startSession
endIn 2
mount -o remount,ro /var/lib/nubrik || unavailable "cannot remount the state read-only"
nudge
waitFor "the restore" logHas "restoration: network restore succeeded but session could not be deleted ("
states $ALL >"$OUT/after-expiry"
cp "$STATE/session.json" "$OUT/kept.json"
recover
mount -o remount,rw /var/lib/nubrik || exit 91
nudge
waitFor "the record removed" logHas "restoration: succeeded; session deleted, network restored"
waitFor "the idle status" idlePublished
ls -A "$STATE" >"$OUT/state-files"
finish
)SH");
  if (!ran()) return;
  expectCommand("start", 0, "", "");
  EXPECT_EQ(read("after-expiry"), "uplink0=up spare0=down bridge0=up\n");
  EXPECT_EQ(decodeSession(read("kept.json")).id.size(), 36u);
  // The administrator is told what really went wrong, not that someone else holds the lock.
  expectCommand("recover", 8, "",
                "error: recovery failed; authoritative state retained, nothing cleared\n"
                "cause: restoration: network restore succeeded but session could not be deleted "
                "(remove /var/lib/nubrik/session.json: Read-only file system); will retry\n");
  EXPECT_EQ(read("state-files"), "transaction.lock\n");
  EXPECT_EQ(logCount("restoration: succeeded; session deleted, network restored"), 1u);
}

TEST_F(UnwritableStateTest, DirectoriesPlantedAtTheLockGenerationAndMarkerWedgeNothing) {
  run(R"SH(
startIdle
startSession
stopDaemon
rm -f "$STATE/transaction.lock" "$GENERATION" || exit 91
mkdir "$STATE/transaction.lock" "$GENERATION" || exit 91
startDaemon
waitFor "the frozen status withdrawn" test ! -e "$STATUS"
ip link set uplink0 up || exit 91
waitFor "enforcement" linkDown uplink0
record status "$HELPER" --status
record start2 "$HELPER" --start --duration 300
recover
states $ALL >"$OUT/after-recover"

mkdir "$STATE/recovery-pending.json" || exit 91
nudge
waitFor "the marker's place cleared" \
  logHas "fail-open recovery: succeeded; network restored, recovery state finalized"
ls -A "$STATE" >"$OUT/state-files"
finish
)SH");
  if (!ran()) return;
  expectCommand("start", 0, "", "");
  EXPECT_EQ(statusOf("status"), 12) << read("status.out");
  EXPECT_EQ(statusOf("start2"), 11);
  expectCommand("recover", 0, "recovered: network state restored\n", "");
  EXPECT_EQ(read("after-recover"), "uplink0=up spare0=down bridge0=up\n");
  EXPECT_TRUE(std::regex_match(
      read("state-files"), std::regex(R"(recovery-pending\.corrupt\.\d+\ntransaction\.lock\n)")))
      << read("state-files");
}

TEST_F(UnwritableStateTest, EvidenceIsKeptWhenItsNameIsTakenOrTheMarkerCannotBeWritten) {
  out.write("corrupt.json", "{\"id\":\"3F2504E0-4F89");
  // lo starts down, so that a fail-open pass touching it would show.
  run(R"SH(
ip link set lo down || exit 91
startIdle
startSession
# Every name the quarantine could pick in the next seconds is taken by earlier evidence.
for ((s = EPOCHSECONDS; s <= EPOCHSECONDS + 5; s++)); do
  echo earlier >"$STATE/session.corrupt.$s"
done
installPrivate "$OUT/corrupt.json" "$STATE/session.json"
nudge
waitFor "the first fail-open" \
  logHas "fail-open recovery: succeeded; network restored, recovery state finalized"
states lo $ALL >"$OUT/after-first"
for f in "$STATE"/session.corrupt.*; do cmp -s "$f" "$OUT/corrupt.json" && echo "$f"; done |
  wc -l >"$OUT/first-evidence"
cat "$STATE"/session.corrupt.* | grep -c earlier >"$OUT/earlier-kept"

startSession start2
stopDaemon
installPrivate "$OUT/corrupt.json" "$STATE/session.json"
mount -o remount,ro /var/lib/nubrik || unavailable "cannot remount the state read-only"
startDaemon
waitFor "the network back" linkUp uplink0
waitFor "a failed finalisation" \
  logHas "fail-open recovery: network restore succeeded but recovery state could not be finalized ("
cp "$STATE/session.json" "$OUT/still-there.json"
mount -o remount,rw /var/lib/nubrik || exit 91
nudge
waitFor "the second fail-open" \
  logHasTimes 2 "fail-open recovery: succeeded; network restored, recovery state finalized"
states lo $ALL >"$OUT/after-second"
grep -l '3F2504E0-4F89' "$STATE"/session.corrupt.* | wc -l >"$OUT/all-evidence"
ls -A "$STATE" | grep -vc '^session\.corrupt\.' >"$OUT/other-files"
finish
)SH");
  if (!ran()) return;
  // spare0 was down when the session started; fail-open does not know that any more.
  EXPECT_EQ(read("after-first"), "lo=down uplink0=up spare0=up bridge0=up\n");
  EXPECT_EQ(read("first-evidence"), "1\n");
  EXPECT_EQ(read("earlier-kept"), "6\n");
  expectCommand("start2", 0, "", "");
  EXPECT_EQ(read("still-there.json"), read("corrupt.json"));
  expectLogged(
      "corrupt session state (undecodable) but recovery-pending marker could not be persisted; "
      "evidence left in place");
  EXPECT_EQ(read("after-second"), "lo=down uplink0=up spare0=up bridge0=up\n");
  EXPECT_EQ(read("all-evidence"), "2\n");
  EXPECT_EQ(read("other-files"), "1\n");  // transaction.lock: no marker, no session left
}

TEST_F(UnwritableStateTest, AHugeRecordIsEvidenceAndCrashLeftoversAreCleared) {
  run(R"SH(
truncate -s 100M "$STATE/session.json" || exit 91
touch /run/nubrik-status.json.Ab12Cd /run/nubrik-generation.json.zz99ZZ /run/nubrik-status.json.keep \
  "$STATE/session.json.q1w2e3" || exit 91
recover
states $ALL >"$OUT/after-recover"
published=$(generation)
startDaemon
waitFor "the daemon's first tick" generationReached $((published + 2))
ls -A /run | grep nubrik >"$OUT/run-files"
ls -A "$STATE" | sed -E 's/[0-9]+$/N/' >"$OUT/state-files"
finish
)SH");
  if (!ran()) return;
  expectCommand("recover", 0, "recovered: fail-open network restore completed\n", "");
  EXPECT_EQ(read("after-recover"), "uplink0=up spare0=up bridge0=up\n");
  EXPECT_EQ(read("run-files"),
            "nubrik-generation.json\nnubrik-status.json\nnubrik-status.json.keep\n");
  EXPECT_EQ(read("state-files"), "session.corrupt.N\ntransaction.lock\n");
}

}  // namespace
}  // namespace nubrik
