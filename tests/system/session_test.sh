#!/usr/bin/env bash
# A session started by the ordinary user takes every link down, and stays in force across a
# restart of the service, a SIGKILL of the daemon and a reboot of the machine, with no link up
# at any moment. The record of link announcements starts before anything at boot can create or
# switch a link; a reboot without a session first shows that the record does see links come up.
# Usage: session_test.sh STATE_DIR [PROBE]
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/steps.sh"
load_fixture "$1"

create_container "$IMAGE" nubrik-session-$$
install_package "$PACKAGE"
wait_for 15 "the helper to be active" unit_is_running

# Control: with the helper installed but no session, a boot brings every link up, and the
# record shows it. Without this, a record free of "up" could mean that nothing watched.
control=$(linkwatch_mark)
reboot_container
wait_for 30 "NetworkManager to bring every link up after a boot" all_machine_links_up
[ -n "$(linkwatch_ups_since "$control")" ] ||
  fail "the boot brought the links up but the record did not see it"
log "control boot: links up: $(links_up)"

start_session
mark=$(linkwatch_mark)
networking_is disabled || fail "NetworkManager's networking stayed enabled"
log "session started: links up: [$(links_up)], networking $(in_container nmcli networking)"

pid=$(unit_property MainPID)
in_container systemctl restart "$unit"
wait_for 15 "the helper to be active after the restart" unit_is_running
[ "$(unit_property MainPID)" != "$pid" ] || fail "systemctl restart did not start a new daemon"
no_link_up || fail "a link is up after the restart: $(links_up)"
session_is_active || fail "the session ended with the restart"
log "after systemctl restart: links up: [$(links_up)]"

pid=$(unit_property MainPID)
in_container sh -c "kill -9 $pid"
wait_for 15 "systemd to start the helper again after SIGKILL" main_pid_differs "$pid"
wait_for 15 "the helper to be active after SIGKILL" unit_is_running
no_link_up || fail "a link is up after SIGKILL: $(links_up)"
session_is_active || fail "the session ended with the SIGKILL"
log "after kill -9: links up: [$(links_up)]"
expect_no_link_up_since "$mark" "restart and SIGKILL"

boot_mark=$(linkwatch_mark)
reboot_container
wait_for 30 "NetworkManager to start" network_manager_started
wait_for 15 "the helper to be active after the reboot" unit_is_running
networking_is disabled || fail "NetworkManager's networking is enabled after the reboot"
no_link_up || fail "a link is up after the reboot: $(links_up)"
session_is_active || fail "the session did not survive the reboot"
# Every link came into being after the record began, and none was ever up.
for link in $machine_links; do
  linkwatch_since "$boot_mark" | grep -qE "^[^ ]+ [0-9]+: $link(@[^:]*)?: <" ||
    fail "the record of the boot has no announcement of $link"
done
expect_no_link_up_since "$mark" "the whole session, reboot included"
log "passed"
