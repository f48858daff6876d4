#!/usr/bin/env bash
# The app's registration of the helper's service, run as the ordinary user through systemd's bus
# API: without an authentication agent and without a rule, polkit refuses and the app says so in
# its own words, leaving the service unregistered; with a rule that allows it, the service is
# registered, started and answers the health check; unregistering takes it away again.
# Usage: registration_test.sh STATE_DIR PROBE
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/steps.sh"
load_fixture "$1"
probe=${2:?the registration probe program}
[ -x "$probe" ] || fail "no probe program at $probe"

create_container "$IMAGE" nubrik-registration-$$
install_package "$PACKAGE"
# The package enables its service; registration starts from an installed, unregistered unit.
in_container systemctl disable --now "$unit" >/dev/null 2>&1
cp "$probe" "$root/usr/local/bin/nubrik-system-registration-probe"
probe() { as_user nubrik-system-registration-probe "$@"; }

status=$(probe status)
[ "$status" = notRegistered ] || fail "the disabled unit reads as '$status', not notRegistered"

answer=$(probe register) && fail "registration without authorization succeeded: $answer"
[ "$answer" = "Administrator authorization was refused or cancelled." ] ||
  fail "refused registration says '$answer'"
status=$(probe status)
[ "$status" = notRegistered ] || fail "after the refusal the unit reads as '$status'"
[ "$(unit_property ActiveState)" = inactive ] || fail "the refused registration started the unit"
log "without a rule: '$answer', status $status"

cat >"$root/etc/polkit-1/rules.d/49-nubrik-system-test.rules" <<RULES
// The system test's administrator lets $container_user manage system services.
polkit.addRule(function (action, subject) {
  if (action.id.indexOf("org.freedesktop.systemd1.") == 0 && subject.user == "$container_user") {
    return polkit.Result.YES;
  }
});
RULES
in_container systemctl restart polkit.service

answer=$(probe register) || fail "registration with the rule failed: $answer"
status=$(probe status)
[ "$status" = enabled ] || fail "after registering the unit reads as '$status', not enabled"
[ "$(in_container systemctl is-enabled "$unit")" = enabled ] || fail "systemd does not list the unit enabled"
wait_for 15 "the registered helper to be active" unit_is_running
health=$(as_user tamsel health) || fail "the registered helper does not answer: $health"
log "with the rule: registered, $health"

answer=$(probe unregister) || fail "unregistering failed: $answer"
status=$(probe status)
[ "$status" = notRegistered ] || fail "after unregistering the unit reads as '$status'"
[ "$(unit_property ActiveState)" = inactive ] || fail "the unregistered helper still runs"
log "passed"
