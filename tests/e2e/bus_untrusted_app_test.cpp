// Only the app of the helper's own installation is served. Copies of `tamsel` in places that
// anyone but root could have written refuse to trust even themselves; the app of another, equally
// trusted installation and programs that are not the app at all reach the helper and are turned
// away by it. None of them changes anything.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/bus_harness.hpp"

namespace nubrik {
namespace {

class BusUntrustedAppTest : public test::BusTest {};

TEST_F(BusUntrustedAppTest, AppsOutsideTheInstallationAndOtherProgramsAreNeverServed) {
  runOnBus(R"SH(
busWithHelper

# A copy in the test's directory under /tmp; one inside a group-writable directory of an
# otherwise root-owned tree.
mkdir "$OUT/copy" && cp "$TAMSEL" "$OUT/copy/tamsel" || exit 92
install -d -m 0775 /srv/shared/bin && cp "$TAMSEL" /srv/shared/bin/tamsel || exit 92
# A second, complete installation in a trusted tree: its app trusts itself, and as a user who
# cannot see the helper's executable it trusts any root owner of the name (its own helper is in
# place), so its requests do reach this helper.
OTHER=$(installTree /srv/b) || exit 94

for who in "$OUT/copy/tamsel" /srv/shared/bin/tamsel "$OTHER/bin/tamsel"; do
  case $who in
    "$OUT"/*) name=tmpCopy ;;
    /srv/shared/*) name=groupWritable ;;
    *) name=otherInstallation ;;
  esac
  record "${name}Start" "$who" start 20m
  record "${name}NobodyStart" asNobody "$who" start 20m
  record "${name}NobodyUnlock" asNobody "$who" unlock
done
record sendStart callHelper StartSessionWithDuration double:1200
record sendRestart callHelper PrepareRestart

states v0 v1 >"$OUT/links"
ls -A "$STATE" >"$OUT/state-files"
cp "$STATUS" "$OUT/status"
# Its own app is still served, and nothing refused above (the restart request least of all)
# left the helper unable to start a session.
record control asNobody "$TAMSEL" start 20m
states v0 v1 >"$OUT/links-after-control"
finish
)SH");
  if (!ran()) return;

  const std::string unavailable =
      "error: The helper is unavailable. Make sure it is installed and running.\n";
  for (const char* who : {"tmpCopy", "groupWritable", "otherInstallation"}) {
    for (const char* what : {"Start", "NobodyStart", "NobodyUnlock"}) {
      expectCommand(std::string(who) + what, 3, "", unavailable);
    }
  }
  const std::string denied = "Error org.freedesktop.DBus.Error.AccessDenied: Permission denied\n";
  expectCommand("sendStart", 1, "", denied);
  expectCommand("sendRestart", 1, "", denied);

  EXPECT_EQ(read("links"), "v0=up v1=up\n");
  EXPECT_EQ(read("state-files"), "transaction.lock\n");
  EXPECT_EQ(read("status"), "{\"active\":false}");
  EXPECT_EQ(statusOf("control"), 0) << read("control.err");
  EXPECT_EQ(read("links-after-control"), "v0=down v1=down\n");
  EXPECT_EQ(statusOf("daemon"), 0);
  // The control's start is the only one that got as far as recording the network.
  EXPECT_EQ(logMatching("^capture:").size(), 1u) << read("log");
  EXPECT_EQ(logMatching("^restart:"), std::vector<std::string>{});
}

}  // namespace
}  // namespace nubrik
