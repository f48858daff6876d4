// A helper that does not run from a trusted installation has no Team ID, so it cannot tell its
// app from anyone else: it refuses every caller, logs each refusal, and goes on ticking. The
// installed app, for its part, does not talk to such a helper when it can see where it runs.
#include <gtest/gtest.h>

#include <string>

#include "helper/service/xpc_client_validator.hpp"
#include "tests/e2e/bus_harness.hpp"

namespace nubrik {
namespace {

class BusUntrustedHelperTest : public test::BusTest {};

TEST_F(BusUntrustedHelperTest, UntrustedHelperRefusesEveryCallerAndKeepsTicking) {
  runOnBus(R"SH(
vethPair
# The installed helper's bytes in a group-writable directory, and the build tree's own helper.
install -d -m 0775 /srv/shared/libexec/nubrik || exit 92
cp "$INSTALLED_HELPER" /srv/shared/libexec/nubrik/com.nubrik.helper || exit 92
startBus

for variant in groupWritable buildTree; do
  case $variant in
    groupWritable) startHelperOnBus /srv/shared/libexec/nubrik/com.nubrik.helper ;;
    buildTree) startHelperOnBus "$HELPER" ;;
  esac
  # As root the app sees the helper's executable and refuses to talk to it; as nobody it cannot
  # see it, sends its health check, and the helper refuses.
  record "${variant}Health" "$TAMSEL" health
  record "${variant}NobodyHealth" asNobody "$TAMSEL" health
  record "${variant}NobodyStart" asNobody "$TAMSEL" start 20m
  record "${variant}Send" callHelper StartSessionWithDuration double:1200
  ticked=$(generation)
  nudge
  waitFor "a tick after the refusals" generationReached $((ticked + 2))
  kill -0 "$DAEMON" && echo yes >"$OUT/${variant}-running"
  states v0 v1 >"$OUT/${variant}-links"
  ls -A "$STATE" >"$OUT/${variant}-state-files"
  stopDaemon
  mv "$OUT/daemon.status" "$OUT/${variant}-daemon.status"
  mv "$LOG" "$OUT/${variant}-log"
  LISTENERS=0
done
)SH");
  if (!ran()) return;

  const std::string unavailable =
      "error: The helper is unavailable. Make sure it is installed and running.\n";
  for (const std::string variant : {"groupWritable", "buildTree"}) {
    SCOPED_TRACE(variant);
    expectCommand(variant + "Health", 3, "", unavailable);
    expectCommand(variant + "NobodyHealth", 3, "", unavailable);
    expectCommand(variant + "NobodyStart", 3, "", unavailable);
    expectCommand(variant + "Send", 1, "",
                  "Error org.freedesktop.DBus.Error.AccessDenied: Permission denied\n");
    EXPECT_EQ(read(variant + "-running"), "yes\n");
    EXPECT_EQ(read(variant + "-links"), "v0=up v1=up\n");
    EXPECT_EQ(read(variant + "-state-files"), "transaction.lock\n");
    EXPECT_EQ(statusOf(variant + "-daemon"), 0);
    // One line for each call that reached the helper: the two health checks of the app run as
    // nobody (its start never got past its health check) and the direct call.
    EXPECT_EQ(logCount(xpcFailClosedLogLine, variant + "-log"), 3u) << read(variant + "-log");
    EXPECT_EQ(logCount("xpc listener started on com.nubrik.helper.xpc", variant + "-log"), 1u);
  }
}

}  // namespace
}  // namespace nubrik
