// A session record that turns corrupt while the machine is offline: the daemon keeps the bytes as
// evidence and, knowing nothing trustworthy about the network any more, brings every link but lo
// up rather than leave the machine offline, then clears the recovery state.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/e2e/namespace_harness.hpp"

namespace nubrik {
namespace {

class SessionFailOpenTest : public test::NamespaceTest {};

TEST_F(SessionFailOpenTest, CorruptRecordDuringASessionBringsEveryLinkButLoUp) {
  out.write("corrupt.json", "{\"id\":\"3F2504E0-4F89");
  // lo starts down so that a pass touching it would show.
  runIsolated(R"SH(
makeLinks
ip link set lo down || exit 91
ALL="lo uplink0 spare0 bridge0"
startIdle
startSession
states $ALL >"$OUT/after-start"

installPrivate "$OUT/corrupt.json" "$STATE/session.json"
nudge
waitFor "the fail-open recovery" \
  logHas "fail-open recovery: succeeded; network restored, recovery state finalized"
waitFor "the idle status" idlePublished
states $ALL >"$OUT/after-recovery"
ls -A "$STATE" >"$OUT/state-files"
cat "$STATE"/session.corrupt.* >"$OUT/evidence"
cp "$STATUS" "$OUT/status"
recordSettled status "$HELPER" --status
finish
)SH");
  if (!ran()) return;

  expectCommand("start", 0, "", "");
  EXPECT_EQ(read("after-start"), "lo=down uplink0=down spare0=down bridge0=down\n");

  // spare0 was down when the session started; fail-open does not know that any more.
  EXPECT_EQ(read("after-recovery"), "lo=down uplink0=up spare0=up bridge0=up\n");
  std::smatch files;
  const std::string stateFiles = read("state-files");
  ASSERT_TRUE(std::regex_match(stateFiles, files,
                               std::regex(R"((session\.corrupt\.\d+)\ntransaction\.lock\n)")))
      << stateFiles;
  EXPECT_EQ(read("evidence"), read("corrupt.json"));
  EXPECT_EQ(read("status"), "{\"active\":false}");
  expectCommand("status", 0, "{\"active\":false}\n", "");
  EXPECT_EQ(statusOf("daemon"), 0);

  const std::string evidence = "/var/lib/nubrik/" + files[1].str();
  const size_t stored =
      logIndex("corrupt session state (undecodable); evidence: " + evidence + "; recovery pending");
  const size_t ticked =
      logIndex("daemon: corrupt authoritative state (undecodable); attempting fail-open recovery");
  const size_t attempted = logIndex("fail-open recovery: attempting emergency network restore");
  const size_t succeeded =
      logIndex("fail-open recovery: succeeded; network restored, recovery state finalized");
  ASSERT_NE(stored, std::string::npos) << read("log");
  ASSERT_NE(succeeded, std::string::npos) << read("log");
  EXPECT_LT(stored, ticked);
  EXPECT_LT(ticked, attempted);
  EXPECT_LT(attempted, succeeded);
  for (const char* link : {"uplink0", "spare0", "bridge0"}) {
    const size_t up =
        logIndex(std::string("fail-open recovery: brought interface ") + link + " up");
    EXPECT_GT(up, attempted) << link;
    EXPECT_LT(up, succeeded) << link;
  }
  EXPECT_EQ(logCount("daemon: corrupt authoritative state (undecodable); attempting fail-open "
                     "recovery"),
            1u);
  EXPECT_EQ(logCount("daemon: recovery still pending; retrying fail-open recovery"), 0u);
  EXPECT_EQ(logMatching(R"(interface lo( |$))"), std::vector<std::string>{});
}

}  // namespace
}  // namespace nubrik
