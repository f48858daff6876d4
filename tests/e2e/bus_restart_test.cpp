// The restart that replaces the helper on an update, as processes: refused while a session is
// stored, and once accepted the helper answers, refuses new sessions, and exits with status 0 a
// second later, for the service manager to start the installed executable again.
//
// `tamsel` has no restart command (only the setup screen asks for one), so a general bus client
// is installed at the app's place in the installation, setgid to the app's group as the app is:
// the helper judges the executable by where it lies and the connection by the group it was made
// with, and the installation vouches for both.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/bus_harness.hpp"

namespace nubrik {
namespace {

class BusRestartTest : public test::BusTest {};

TEST_F(BusRestartTest, AcceptedRestartAnswersThenExitsForTheServiceManager) {
  runOnBus(R"SH(
command -v busctl >/dev/null || unavailable "busctl is not installed"
busWithHelper
record start "$TAMSEL" start 20m

install -m 2755 -g "$APP_GID" "$(command -v busctl)" "$TAMSEL" || exit 92
probe() { "$TAMSEL" call com.nubrik.helper.xpc /com/nubrik/helper com.nubrik.HelperXPC "$@"; }
record whileActive probe PrepareRestart
recordRetrying recover env NUBRIK_FORCE=YES "$INSTALLED_HELPER" --recover
states v0 v1 >"$OUT/links-after-recover"

record accepted probe PrepareRestart
record startWhileRestarting probe StartSessionWithDuration d 1200
record acceptedAgain probe PrepareRestart
for ((i = 0; i < 100; i++)); do
  kill -0 "$DAEMON" 2>/dev/null || break
  sleep 0.05
done
if kill -0 "$DAEMON" 2>/dev/null; then
  echo "the helper did not exit" >"$OUT/restarted.status"
  stopDaemon
else
  wait "$DAEMON"
  echo $? >"$OUT/restarted.status"
  DAEMON=
fi
ls -A "$STATE" >"$OUT/state-files"
states v0 v1 >"$OUT/links-after-exit"
finish
)SH");
  if (!ran()) return;

  EXPECT_EQ(statusOf("start"), 0) << read("start.err");
  expectCommand("whileActive", 0,
                "xs 1 \"A session is active, so the helper cannot restart yet.\"\n", "");
  expectCommand("recover", 0, "recovered: network state restored\n", "");
  EXPECT_EQ(read("links-after-recover"), "v0=up v1=up\n");

  const std::string accepted = "xs 0 \"The helper accepted the restart request and is exiting.\"\n";
  expectCommand("accepted", 0, accepted, "");
  expectCommand("startWhileRestarting", 0,
                "xds 10 0 \"The helper is restarting for an update; try again in a moment.\"\n",
                "");
  expectCommand("acceptedAgain", 0, accepted, "");
  EXPECT_EQ(read("restarted.status"), "0\n");
  EXPECT_EQ(read("state-files"), "transaction.lock\n");
  EXPECT_EQ(read("links-after-exit"), "v0=up v1=up\n");
  EXPECT_EQ(logCount("restart: exiting so systemd can start the updated helper"), 1u)
      << read("log");
}

}  // namespace
}  // namespace nubrik
