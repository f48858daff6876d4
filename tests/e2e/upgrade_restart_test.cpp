// A package upgrade puts a new helper executable in place and leaves the running daemon alone.
// The daemon, started by the service manager, notices the new file and restarts into it only
// when nothing is stored: during a session it keeps every link down and waits; once the session
// is restored it logs the restart line and exits with status 0 for the service manager to start
// the new executable. Run by hand, with nothing to start it again, it never exits for an upgrade.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "tests/e2e/namespace_harness.hpp"

namespace nubrik {
namespace {

class UpgradeRestartTest : public test::NamespaceTest {};

// The installed executable is a copy the script can replace as dpkg does: a new file beside it,
// renamed over it.
constexpr const char* installedCopy = R"SH(
mkdir -p "$OUT/libexec" && cp "$HELPER" "$OUT/libexec/com.nubrik.helper" || exit 92
INSTALLED="$OUT/libexec/com.nubrik.helper"
upgrade() {
  cp "$INSTALLED" "$INSTALLED.dpkg-new" && mv -f "$INSTALLED.dpkg-new" "$INSTALLED" || exit 92
}
daemonGone() { ! kill -0 "$DAEMON" 2>/dev/null; }
)SH";

TEST_F(UpgradeRestartTest, WaitsForTheSessionThenExitsForTheNewExecutable) {
  runIsolated(installedCopy + std::string(R"SH(
makeLinks
ALL="uplink0 spare0 bridge0"
recordRetrying start "$INSTALLED" --start --duration 600
INVOCATION_ID=e2e "$INSTALLED" --daemon 2>"$OUT/journal" &
DAEMON=$!
waitFor "the active status" activePublished

upgrade
waitFor "the deferral" grep -q "the restart waits" "$OUT/journal"
# Later ticks ask again and still refuse: a link turned on meanwhile goes down as ever.
ip link set uplink0 up || exit 91
waitFor "the enforcement" logHas "enforcement: re-applied offline lock"
kill -0 "$DAEMON" && echo running >"$OUT/during-session"
states $ALL >"$OUT/links-during-session"

recordRetrying recover env NUBRIK_FORCE=YES "$INSTALLED" --recover
states $ALL >"$OUT/links-after-recover"
waitFor "the exit" daemonGone
wait "$DAEMON"
echo $? >"$OUT/exit.status"
DAEMON=
states $ALL >"$OUT/links-after-exit"
ls -A "$STATE" >"$OUT/state-after-exit"
finish
)SH"));
  if (!ran()) return;

  expectCommand("start", 0, "", "");
  EXPECT_EQ(read("during-session"), "running\n");
  EXPECT_EQ(read("links-during-session"), "uplink0=down spare0=down bridge0=down\n");
  EXPECT_EQ(statusOf("recover"), 0) << read("recover.err");
  EXPECT_EQ(read("links-after-recover"), "uplink0=up spare0=down bridge0=up\n");
  EXPECT_EQ(read("exit.status"), "0\n");
  EXPECT_EQ(read("links-after-exit"), "uplink0=up spare0=down bridge0=up\n");
  EXPECT_EQ(read("state-after-exit").find("session.json"), std::string::npos);
  EXPECT_EQ(logCount("restart: exiting so systemd can start the updated helper"), 1u);
  EXPECT_LT(logIndex("enforcement: re-applied offline lock"),
            logIndex("restart: exiting so systemd can start the updated helper"));
  // What the service manager does next: the unit's restart policy starts the new executable.
  std::ifstream unit(NUBRIK_SOURCE_DIR "/packaging/systemd/com.nubrik.helper.service");
  const std::string unitText{std::istreambuf_iterator<char>(unit), {}};
  EXPECT_NE(unitText.find("\nRestart=always\n"), std::string::npos) << unitText;
}

TEST_F(UpgradeRestartTest, WithoutAServiceManagerTheDaemonKeepsRunning) {
  runIsolated(installedCopy + std::string(R"SH(
"$INSTALLED" --daemon 2>"$OUT/journal" &
DAEMON=$!
waitFor "the idle status" idlePublished
upgrade
# Two ticks after the replacement, each brought by an address event.
before=$(generation)
nudge
waitFor "a tick" generationReached $((before + 2))
nudge
waitFor "another tick" generationReached $((before + 4))
kill -0 "$DAEMON" && echo running >"$OUT/after-upgrade"
finish
)SH"));
  if (!ran()) return;

  EXPECT_EQ(read("after-upgrade"), "running\n");
  EXPECT_EQ(logCount("restart: exiting so systemd can start the updated helper"), 0u);
}

}  // namespace
}  // namespace nubrik
