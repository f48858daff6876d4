# shellcheck shell=bash
# Steps the system tests share: the package and the machine from the fixture, the helper's
# unit, the links and the boot-long record of their announcements. Sourced after lib.sh.

unit=com.nubrik.helper.service
helper=/usr/libexec/nubrik/com.nubrik.helper
linkwatch_log=/var/log/nubrik-linkwatch.log
# The machine's links (image/rootfs/usr/local/sbin/nubrik-test-links).
machine_links="wire0 wire0peer wire1 wire1peer"

# Reads what system.prepare left in STATE: IMAGE, PACKAGE, UPGRADE_PACKAGE, PACKAGE_NAME.
load_fixture() {
  local state=$1
  require_container_support
  [ -f "$state/fixture.env" ] || skip "system.prepare has not run or did not finish"
  # shellcheck disable=SC1091
  . "$state/fixture.env"
}

# Polls CONDITION (a command) every 0.2 s for up to SECONDS; fails with WHAT when it never holds.
wait_for() {
  local seconds=$1 what=$2
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || fail "waited ${seconds} s in vain for $what"
    sleep 0.2
  done
}

# Copies a package into the container and installs it with dpkg.
install_package() {
  local file=$1
  cp "$file" "$root/var/tmp/"
  in_container dpkg -i "/var/tmp/$(basename "$file")" >"$work/dpkg.log" 2>&1 ||
    fail "dpkg -i $(basename "$file") failed: $(tail -20 "$work/dpkg.log")"
}

unit_property() {
  in_container systemctl show -P "$1" "$unit"
}

unit_is_running() {
  [ "$(unit_property ActiveState)/$(unit_property SubState)" = active/running ]
}

# "name up" or "name down" for every link but the loopback device, from the kernel's IFF_UP.
link_states() {
  in_container ip -j link show |
    jq -r '.[] | select(.link_type != "loopback") |
      "\(.ifname) \(if (.flags | index("UP")) then "up" else "down" end)"'
}

links_up() { link_states | awk '$2 == "up" { print $1 }' | sort | tr '\n' ' '; }

all_machine_links_up() {
  local states link
  states=$(link_states)
  for link in $machine_links; do
    grep -qx "$link up" <<<"$states" || return 1
  done
}

no_link_up() { ! link_states | grep -q ' up$'; }

networking_is() { [ "$(in_container nmcli networking)" = "$1" ]; }

session_is_active() { as_user tamsel status --json | grep -q '"active":true'; }

# NetworkManager has come up and settled on its networking switch.
network_manager_started() {
  in_container nmcli -t -f RUNNING general | grep -qx running
}

# Now, in the record's time stamps (the container shares the host's clock); the announcements
# after it are checked later. A time, not a line count: the record may be written a moment late.
linkwatch_mark() { date +%Y-%m-%dT%H:%M:%S.%6N; }

# The announcements after MARK, one a line.
linkwatch_since() {
  awk -v mark="[$1]" 'substr($0, 1, 1) == "[" && $1 > mark' "$root$linkwatch_log"
}

# The announcements after MARK in which a machine link was up.
linkwatch_ups_since() {
  linkwatch_since "$1" |
    grep -E "^[^ ]+ [0-9]+: (${machine_links// /|})(@[^:]*)?: <([^>]*,)?UP[,>]" || true
}

# Fails when the record after MARK holds an announcement of a machine link that is up; says how
# many announcements of those links it checked.
expect_no_link_up_since() {
  local mark=$1 what=$2 ups seen
  seen=$(linkwatch_since "$mark" | grep -cE "^[^ ]+ [0-9]+: wire[01]" || true)
  ups=$(linkwatch_ups_since "$mark")
  [ -z "$ups" ] || fail "$what: a link was up: $ups"
  log "$what: no link up in $seen announcements of the machine's links"
}

# Brings the machine into a session started by the ordinary user with all its links recorded up.
start_session() {
  wait_for 30 "NetworkManager to bring every link up" all_machine_links_up
  as_user tamsel start 20m >"$work/start.out" 2>&1 ||
    fail "tamsel start 20m failed: $(cat "$work/start.out")"
  # The daemon answers only once it has switched everything off.
  no_link_up || fail "links still up right after the session started: $(links_up)"
  session_is_active || fail "the status does not show the session"
}

# A daemon other than PID runs the unit.
main_pid_differs() {
  local now
  now=$(unit_property MainPID)
  [ "$now" != 0 ] && [ "$now" != "$1" ]
}
