#!/usr/bin/env bash
# dpkg -i of the package on a desktop machine: the helper's service is enabled and reached
# readiness (Type=notify) without restarting, the ordinary user's `tamsel health` finds it ready,
# and systemd's own assessment of the unit's exposure is printed.
# Usage: install_test.sh STATE_DIR [PROBE]
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/steps.sh"
load_fixture "$1"

create_container "$IMAGE" nubrik-install-$$
install_package "$PACKAGE"

enabled=$(in_container systemctl is-enabled "$unit" || true)
[ "$enabled" = enabled ] || fail "the unit is '$enabled' after installation, not enabled"
# The package starts the service; readiness is the daemon's own notification.
wait_for 15 "the helper to be active" unit_is_running
state=$(in_container systemctl show -p ActiveState,SubState,NRestarts,Type "$unit" | tr '\n' ' ')
log "unit: $state"
[ "$(unit_property NRestarts)" = 0 ] || fail "the helper restarted after installation: $state"
[ "$(unit_property Type)" = notify ] || fail "the unit is not Type=notify: $state"

health=$(as_user tamsel health 2>&1) || fail "tamsel health as $container_user: $health"
grep -q '^The helper is ready (version ' <<<"$health" || fail "unexpected health answer: $health"
log "tamsel health: $health"

# No session yet: nothing taken offline by the installation.
as_user tamsel status | grep -qx 'Online.' || fail "the status after installation is not online"

in_container systemd-analyze security --no-pager "$unit" >"$work/security.txt" 2>&1 || true
log "systemd-analyze security: $(grep 'Overall exposure level' "$work/security.txt" || tail -1 "$work/security.txt")"
# What still counts against the unit, for whoever hardens it further.
grep '✗' "$work/security.txt" | sed 's/^/  /' >&2 || true
log "passed"
