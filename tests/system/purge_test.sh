#!/usr/bin/env bash
# apt-get purge during a session gives the network back (every link recorded up is up again,
# NetworkManager's networking is on) and leaves nothing of the package behind.
# Usage: purge_test.sh STATE_DIR [PROBE]
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/steps.sh"
load_fixture "$1"

create_container "$IMAGE" nubrik-purge-$$
install_package "$PACKAGE"
wait_for 15 "the helper to be active" unit_is_running
start_session

in_container dpkg -L "$PACKAGE_NAME" >"$work/files" || fail "dpkg -L $PACKAGE_NAME failed"
in_container apt-get purge -y "$PACKAGE_NAME" >"$work/purge.log" 2>&1 ||
  fail "apt-get purge failed: $(tail -20 "$work/purge.log")"
if all_machine_links_up; then
  log "every link was up when apt-get returned"
else
  log "links up when apt-get returned: [$(links_up)]"
fi
wait_for 15 "the recorded links to come back up" all_machine_links_up
wait_for 15 "NetworkManager's networking to be enabled again" networking_is enabled

# Whatever the package put in place and the image did not have before is gone, as are the
# helper's state, log, status files and service enablement.
candidates=$(
  cat "$work/files"
  echo /var/lib/nubrik
  echo /var/log/nubrik
  in_container sh -c 'ls -d /run/nubrik-* 2>/dev/null
    find /etc /var/lib/systemd /var/lib/polkit-1 /var/lib/dpkg/info /usr \
      \( -name "*nubrik*" -o -name "*tamsel*" \) 2>/dev/null'
)
leftovers=()
while read -r path; do
  [ -n "$path" ] && [ "$path" != /. ] || continue
  if [ -e "$root$path" ] || [ -L "$root$path" ]; then
    [ -e "$IMAGE$path" ] || [ -L "$IMAGE$path" ] || leftovers+=("$path")
  fi
done < <(sort -u <<<"$candidates")
[ ${#leftovers[@]} -eq 0 ] || fail "left behind after purge: ${leftovers[*]}"
[ "$(unit_property LoadState)" = not-found ] ||
  fail "systemd still knows the unit: $(unit_property LoadState)"
if in_container getent group nubrik >/dev/null; then
  log "note: the system group nubrik is kept (Debian keeps system groups on purge)"
fi
log "passed ($(wc -l <"$work/files") paths checked)"
