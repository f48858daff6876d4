// The desktop app, installed and started by `tamsel gui` as an ordinary user, against the
// installed helper on a system bus of its own: a 20-minute session started from the window takes
// the links down and shows its countdown, an early unlock is requested and cancelled there, and
// after an administrator's recovery the window says the computer is back online and the desktop
// is told so. The window is driven by a program put in the desktop program's place, which runs
// the real app and presses its buttons (desktop_driver.cpp).
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/bus_harness.hpp"

namespace nubrik {
namespace {

inline const std::string driverBinary = NUBRIK_BINARY_DIR "/bin/nubrik-e2e-desktop-driver";
inline const std::string serviceManagerBinary =
    NUBRIK_BINARY_DIR "/bin/nubrik-e2e-fake-service-manager";

class DesktopSessionTest : public test::BusTest {};

TEST_F(DesktopSessionTest, AWindowSessionRunsFromStartThroughEarlyUnlockToRecovery) {
  runOnBus("DRIVER='" + driverBinary + "'\nSERVICE_MANAGER='" + serviceManagerBinary + "'\n" +
           R"SH(
vethPair
[ -x "$DRIVER" ] || unavailable "the desktop driver is not built"

# The system bus, with the right for root to stand in for the service manager there.
POLICY_DIR=/run/nubrik-e2e-policy
mkdir -m 0755 "$POLICY_DIR" || exit 95
cat >"$POLICY_DIR/service-manager.conf" <<'CONF'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <policy user="root"><allow own="org.freedesktop.systemd1"/></policy>
  <policy context="default"><allow send_destination="org.freedesktop.systemd1"/></policy>
</busconfig>
CONF
startBus "$POLICY_DIR/service-manager.conf"
"$SERVICE_MANAGER" >"$OUT/service-manager.out" 2>&1 &
waitFor "the service manager" grep -q ready "$OUT/service-manager.out" || exit 95
startHelperOnBus

# The user's own session: a home, a runtime directory and a session bus, with a monitor that
# keeps every call to the notification service.
USER_DIR=/run/nubrik-e2e-user
mkdir -m 0700 "$USER_DIR" && chown 65534:65534 "$USER_DIR" || exit 95
asNobody dbus-daemon --session --address="unix:path=$USER_DIR/bus" --nofork --nopidfile \
  --nosyslog --print-address=3 3>"$OUT/session-address" 2>"$OUT/session-bus.err" &
waitFor "the session bus" test -s "$OUT/session-address" || exit 95
asNobody env DBUS_SESSION_BUS_ADDRESS="unix:path=$USER_DIR/bus" dbus-monitor --session \
  "type='method_call',interface='org.freedesktop.Notifications'" >"$OUT/notifications" 2>&1 &
MONITOR=$!

# The driver takes the desktop program's place in the installation.
install -o root -g root -m 0755 "$DRIVER" "$PREFIX/libexec/nubrik/tamsel-desktop" || exit 94
DRIVER_OUT=$USER_DIR/driver
mkdir -m 0700 "$DRIVER_OUT" && chown 65534:65534 "$DRIVER_OUT" || exit 95
asNobody env -i PATH=/usr/bin:/bin HOME="$USER_DIR" XDG_RUNTIME_DIR="$USER_DIR" \
  DBUS_SESSION_BUS_ADDRESS="unix:path=$USER_DIR/bus" QT_QPA_PLATFORM=offscreen \
  NUBRIK_DRIVER_OUT="$DRIVER_OUT" "$TAMSEL" gui >"$OUT/app.out" 2>"$OUT/app.err" &
APP=$!

WAIT_LIMIT=1200 waitFor "the active screen" test -e "$DRIVER_OUT/active"
states v0 v1 >"$OUT/while-active"
WAIT_LIMIT=1200 waitFor "the cancelled unlock" test -e "$DRIVER_OUT/awaiting-recovery"
states v0 v1 >"$OUT/after-cancel"
record recover env NUBRIK_FORCE=YES "$INSTALLED_HELPER" --recover
wait "$APP"
echo $? >"$OUT/app.status"
states v0 v1 >"$OUT/after-recovery"
cp "$DRIVER_OUT/driver.log" "$OUT/driver.log" 2>/dev/null
sleep 0.5
kill "$MONITOR" 2>/dev/null
finish
)SH");
  if (!ran()) return;

  const std::string driverLog = read("driver.log");
  EXPECT_EQ(read("app.status"), "0\n") << driverLog << read("app.err");
  EXPECT_NE(driverLog.find("caption: Back online at "), std::string::npos) << driverLog;
  EXPECT_NE(driverLog.find("confirm: Your computer will have no network access until "),
            std::string::npos)
      << driverLog;
  // Twenty minutes, a moment after the start.
  EXPECT_NE(driverLog.find("countdown: 19:"), std::string::npos) << driverLog;
  EXPECT_NE(driverLog.find(" remaining"), std::string::npos) << driverLog;
  EXPECT_NE(driverLog.find("pending: Early unlock in progress"), std::string::npos) << driverLog;
  EXPECT_NE(driverLog.find("cancelled: request offered again"), std::string::npos) << driverLog;
  EXPECT_NE(driverLog.find("idle: You're back online."), std::string::npos) << driverLog;

  EXPECT_EQ(read("while-active"), "v0=down v1=down\n");
  EXPECT_EQ(read("after-cancel"), "v0=down v1=down\n");
  EXPECT_EQ(read("after-recovery"), "v0=up v1=up\n");
  EXPECT_EQ(statusOf("recover"), 0) << read("recover.out") << read("recover.err");
  EXPECT_NE(read("notifications").find("Your computer is back online."), std::string::npos)
      << read("notifications");
}

}  // namespace
}  // namespace nubrik
