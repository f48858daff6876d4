// The real helper binary, run as root inside private mount, network and PID namespaces with
// tmpfs over every directory it writes, so nothing here touches the host's state or links.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/namespace_harness.hpp"

namespace {

class DaemonNamespaceTest : public nubrik::test::NamespaceTest {};

TEST_F(DaemonNamespaceTest, CommandLineRefusalsChangeNothing) {
  runIsolated(R"SH(
makeLinks
install -m 0755 "$HELPER" /run/helper-copy
record nonRoot setpriv --reuid=65534 --regid=65534 --clear-groups /run/helper-copy --start --duration 900
record unconfirmed "$HELPER" --recover
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

  // The texts of the refusals are the command line's unit tests'; here the real binary's checks.
  const std::string busy = "error: another helper operation is in progress\n";
  expectCommand("nonRoot", 3, "", "error: --start requires root\n");
  EXPECT_EQ(statusOf("unconfirmed"), 6);
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

}  // namespace
