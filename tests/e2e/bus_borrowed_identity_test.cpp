// The app's executable can be borrowed; the group it is installed setgid to cannot. A process
// that connects to the bus and then execs the installed app, so that the pid the bus recorded
// runs the app while its own child sends the requests, is refused; a library preloaded into the
// installed app never runs, because the loader ignores preloads in a setgid program. The app
// itself, run by the same user, is served. An app installed without the setgid bit leaves the
// helper unable to tell the app from anyone, so it refuses every caller and says so.
#include <gtest/gtest.h>

#include <string>

#include "core/nubrik_xpc.hpp"
#include "helper/service/xpc_client_validator.hpp"
#include "tests/e2e/bus_harness.hpp"

namespace nubrik {
namespace {

class BusBorrowedIdentityTest : public test::BusTest {};

const std::string accessDenied = "org.freedesktop.DBus.Error.AccessDenied";

TEST_F(BusBorrowedIdentityTest, OnlyTheSetgidAppItselfIsServed) {
  runOnBus(R"SH(
busWithHelper
stat -c '%a %g' "$TAMSEL" >"$OUT/app"
install -d -m 0755 /srv/tools && install -m 0755 "$BUILD/bin/nubrik-e2e-borrowed-connection" \
  "$BUILD/bin/libnubrik-e2e-preload-probe.so" /srv/tools/ || exit 92
BORROW=/srv/tools/nubrik-e2e-borrowed-connection
PROBE=/srv/tools/libnubrik-e2e-preload-probe.so
install -d -m 0777 /run/markers || exit 92
preloaded() {
  local marker=$1
  shift
  asNobody env LD_PRELOAD="$PROBE" NUBRIK_E2E_MARKER="/run/markers/$marker" "$@"
}

# The process that connected execs the installed app, which then waits for its input, while the
# child it forked before sends on that connection.
record borrowStart asNobody "$BORROW" StartSessionWithDuration "$TAMSEL" schedules set -
record borrowRestart asNobody "$BORROW" PrepareRestart "$TAMSEL" schedules set -
# Root's groups are not the app's either.
record rootBorrowStart "$BORROW" StartSessionWithDuration "$TAMSEL" schedules set -
# The same trick by a member of the app's group is served: the group is the whole difference.
record memberBorrowHealth setpriv --reuid=65534 --regid=65534 --groups="$APP_GID" \
  "$BORROW" HealthCheck "$TAMSEL" schedules set -
# Loaded, the library would ask for a restart as the app, group and all.
record setgidHealth preloaded setgid "$TAMSEL" health
# The library works: a copy of the app that is not setgid loads it, and the helper refuses the
# copy's request.
install -d -m 0755 /srv/copy && cp "$TAMSEL" /srv/copy/tamsel && chmod 0755 /srv/copy/tamsel ||
  exit 92
record copyHealth preloaded copy /srv/copy/tamsel health
kill -0 "$DAEMON" && echo yes >"$OUT/running"
states v0 v1 >"$OUT/links"
ls -A "$STATE" >"$OUT/state-files"

# The app itself, run by the same user.
record appStart asNobody "$TAMSEL" start 30
states v0 v1 >"$OUT/links-after-app"
ls -A "$STATE" >"$OUT/state-files-after-app"
recordRetrying recover env NUBRIK_FORCE=YES "$INSTALLED_HELPER" --recover
cp "$LOG" "$OUT/log-while-setgid"

# The installed app without its setgid bit: the library runs in it, and the helper, unable to
# tell the app from anyone, refuses both the library and the app.
chmod 0755 "$TAMSEL" || exit 92
record plainHealth preloaded plain "$TAMSEL" health
kill -0 "$DAEMON" && echo yes >"$OUT/running-after"
for marker in setgid copy plain; do
  [ -e "/run/markers/$marker" ] && cp "/run/markers/$marker" "$OUT/marker-$marker"
done
states v0 v1 >"$OUT/links-after-plain"
finish
)SH");
  if (!ran()) return;

  // The install itself leaves the app setgid; the tree's installer gave it the group.
  EXPECT_EQ(read("app-mode-a"), "2755\n");
  EXPECT_EQ(read("app"), "2755 4242\n");

  for (const char* attempt : {"borrowStart", "borrowRestart", "rootBorrowStart"}) {
    EXPECT_EQ(read(std::string(attempt) + ".out"), "refused: " + accessDenied + "\n") << attempt;
    // The app it exec'd found no schedules on its input and never reached the helper.
    EXPECT_EQ(statusOf(attempt), 2) << attempt << ": " << read(std::string(attempt) + ".err");
  }
  EXPECT_EQ(read("memberBorrowHealth.out"), "served\n") << read("memberBorrowHealth.err");
  expectCommand("setgidHealth", 0,
                std::string("The helper is ready (version ") + nubrikHelperVersion + ").\n", "");
  EXPECT_EQ(read("marker-setgid"), "");
  EXPECT_EQ(read("marker-copy"), "loaded\nrestart refused: " + accessDenied + "\n");
  EXPECT_EQ(statusOf("copyHealth"), 3) << read("copyHealth.err");
  EXPECT_EQ(read("running"), "yes\n");
  EXPECT_EQ(read("links"), "v0=up v1=up\n");
  EXPECT_EQ(read("state-files"), "transaction.lock\n");

  EXPECT_EQ(statusOf("appStart"), 0) << read("appStart.err");
  EXPECT_EQ(read("links-after-app"), "v0=down v1=down\n");
  EXPECT_NE(read("state-files-after-app").find("session.json"), std::string::npos);
  EXPECT_EQ(statusOf("recover"), 0) << read("recover.err");
  // Only the app's start got as far as recording the network, and while the app was setgid the
  // helper never found itself unable to judge.
  EXPECT_EQ(logMatching("^capture:").size(), 1u) << read("log");
  EXPECT_EQ(logCount(xpcNoAppGroupLogLine, "log-while-setgid"), 0u);

  EXPECT_EQ(read("marker-plain"), "loaded\nrestart refused: " + accessDenied + "\n");
  expectCommand("plainHealth", 3, "",
                "error: The helper is unavailable. Make sure it is installed and running.\n");
  EXPECT_EQ(read("running-after"), "yes\n");
  EXPECT_EQ(read("links-after-plain"), "v0=up v1=up\n");
  EXPECT_EQ(statusOf("daemon"), 0);
  // One line for each refusal once the app lost its bit: the library's request and the app's.
  EXPECT_EQ(logCount(xpcNoAppGroupLogLine), 2u) << read("log");
  // Nothing restarted the helper.
  EXPECT_EQ(logMatching("^restart:"), std::vector<std::string>{});
}

}  // namespace
}  // namespace nubrik
