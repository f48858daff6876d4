// `tamsel gui` as a user runs it from the installed tree: the desktop program (a probe in its
// installed place) runs without the app's group, without secure execution and without the
// module paths the caller set, yet the helper serves it, because its connections are made by the
// broker that tamsel left behind with the group. The broker ends with the desktop program. The
// desktop program on its own, even with the group, is refused: it is not the app.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "core/nubrik_xpc.hpp"
#include "tests/e2e/bus_harness.hpp"

namespace nubrik {
namespace {

class BusDesktopLaunchTest : public test::BusTest {
 protected:
  // The probe's "key=value" lines.
  std::map<std::string, std::string> report(const std::string& name) const {
    std::map<std::string, std::string> values;
    std::istringstream lines(read(name + ".out"));
    std::string line;
    while (std::getline(lines, line)) {
      const std::size_t equals = line.find('=');
      if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
  }
  // Compares the keys named, and only those, with the probe's report.
  void expectReport(const std::string& name,
                    const std::map<std::string, std::string>& expected) const {
    auto values = report(name);
    for (const auto& [key, value] : expected) {
      EXPECT_EQ(values[key], value) << name << ": " << key << "\n" << read(name + ".out");
    }
  }
};

const std::string accessDenied = "org.freedesktop.DBus.Error.AccessDenied";
const std::string ready = std::string("ready ") + nubrikHelperVersion;

TEST_F(BusDesktopLaunchTest, TheDesktopProgramIsServedOnlyThroughTheBrokerAndRunsWithoutTheGroup) {
  runOnBus(R"SH(
startBus
startHelperOnBus
DESKTOP=$PREFIX/libexec/nubrik/tamsel-desktop
install -m 0755 "$BUILD/bin/nubrik-e2e-desktop-probe" "$DESKTOP" || exit 92
# gone PID: the process has ended (and is at most waiting to be reaped).
gone() { [ ! -e "/proc/$1" ] || grep -qE '^State:[[:space:]]+Z' "/proc/$1/status" 2>/dev/null; }
# noTamsel: no live process runs the installed tamsel, so no broker is left.
noTamsel() {
  local p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/exe" 2>/dev/null)" = "$TAMSEL" ] && ! gone "${p#/proc/}" && return 1
  done
  return 0
}

record gui asNobody env QT_PLUGIN_PATH=/srv/evil GTK_MODULES=/srv/evil.so \
  LD_PRELOAD=/srv/evil.so NUBRIK_BROKER_FD=0 "$TAMSEL" gui
BROKER=$(sed -n 's/^broker-pid=//p' "$OUT/gui.out")
[ -n "$BROKER" ] && waitFor "the broker to end" gone "$BROKER"
waitFor "every tamsel to end" noTamsel

# The desktop program started directly, by a user and by a member of the app's group.
record direct asNobody "$DESKTOP"
record directMember setpriv --reuid=65534 --regid=65534 --groups="$APP_GID" "$DESKTOP"

# Without its desktop program, tamsel says so and leaves no broker behind.
rm "$DESKTOP" || exit 92
record missing asNobody "$TAMSEL" gui
waitFor "every tamsel to end" noTamsel
kill -0 "$DAEMON" && echo yes >"$OUT/running"
finish
)SH");
  if (!ran()) return;

  EXPECT_EQ(statusOf("gui"), 0) << read("gui.err");
  expectReport("gui", {
                          // The group is gone for good, and the program runs as an ordinary one.
                          {"gid", "65534 egid=65534"},
                          {"groups", ""},
                          {"secure", "0"},
                          {"no-new-privs", "1"},
                          // Having the broker, it cannot be traced or have its descriptors taken.
                          {"broker", "adopted"},
                          {"broker-variable", "unset"},
                          {"dumpable", "0"},
                          // It knows its installation, so it can judge the helper.
                          {"team", NUBRIK_TEAM_ID},
                          {"health", ready},
                          {"raw", "served"},
                          // The bus recorded the broker, a child of the program.
                          {"bus-pid", "child"},
                          // The caller's module paths never reach it; the loader's were dropped
                          // by glibc already.
                          {"QT_PLUGIN_PATH", "unset"},
                          {"GTK_MODULES", "unset"},
                          {"LD_PRELOAD", "unset"},
                      });
  EXPECT_NE(report("gui")["broker-pid"], "");

  for (const char* direct : {"direct", "directMember"}) {
    expectReport(direct, {{"broker", "none"},
                          {"team", NUBRIK_TEAM_ID},
                          {"bus-pid", "self"},
                          {"raw", "refused: " + accessDenied},
                          {"health", "failed"}});
  }
  expectReport("directMember", {{"groups", "4242"}});

  expectCommand("missing", 4, "",
                "error: cannot start the desktop app at /srv/a/usr/libexec/nubrik/tamsel-desktop: "
                "No such file or directory\n");
  EXPECT_EQ(read("running"), "yes\n");
  EXPECT_EQ(statusOf("daemon"), 0);
  EXPECT_EQ(logMatching("^restart:"), std::vector<std::string>{});
}

}  // namespace
}  // namespace nubrik
