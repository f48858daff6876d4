#!/usr/bin/env bash
# An upgrade to a newer build during a session: no link comes up at any moment, the running
# daemon goes on enforcing (the same process), and once an administrator ends the session with
# the documented recover command the new daemon takes over and answers with its version.
# Usage: upgrade_test.sh STATE_DIR [PROBE]
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/steps.sh"
load_fixture "$1"

create_container "$IMAGE" nubrik-upgrade-$$
install_package "$PACKAGE"
wait_for 15 "the helper to be active" unit_is_running
old_health=$(as_user tamsel health)
log "before the upgrade: $old_health"

start_session
mark=$(linkwatch_mark)
pid=$(unit_property MainPID)

install_package "$UPGRADE_PACKAGE"
log "upgraded to $(in_container dpkg-query -W -f '${Version}' "$PACKAGE_NAME")"
unit_is_running || fail "the helper is not running after the upgrade"
[ "$(unit_property MainPID)" = "$pid" ] ||
  fail "the upgrade replaced the enforcing daemon during the session ($pid -> $(unit_property MainPID))"
no_link_up || fail "a link is up after the upgrade: $(links_up)"
session_is_active || fail "the upgrade ended the session"
expect_no_link_up_since "$mark" "the upgrade"
# The old daemon still serves the new app, so that an early unlock stays within reach.
during=$(as_user tamsel health 2>&1) || fail "the old daemon refuses the upgraded app: $during"
grep -qF "(version ${old_health##*(version }" <<<"$during" ||
  fail "during the session another daemon answers: $during (before: $old_health)"
log "during the session the old daemon answers: $during"

# The administrator's way to end a session at once (RECOVERY.md).
recovered=$(in_container env NUBRIK_FORCE=YES "$helper" --recover 2>&1) ||
  fail "--recover failed: $recovered"
log "--recover: $recovered"
wait_for 15 "the recorded links to come back up" all_machine_links_up
wait_for 15 "NetworkManager's networking to be enabled again" networking_is enabled

new_daemon_ready() {
  [ "$(unit_property MainPID)" != "$pid" ] && unit_is_running &&
    as_user tamsel health | grep -qF "(version $UPGRADE_HELPER_VERSION)"
}
wait_for 30 "the new daemon to answer with version $UPGRADE_HELPER_VERSION" new_daemon_ready
log "after the session: $(as_user tamsel health), daemon $pid -> $(unit_property MainPID)"
log "passed"
