# shellcheck shell=bash
# Shared by the system tests: the cached machine image, booting it under systemd-nspawn as a
# container with its own network and PID namespaces and system bus, running commands inside it
# (as root or as the ordinary user), rebooting it and tearing it down. Sourced, not run.
#
# Environment:
#   NUBRIK_SYSTEM_CACHE    where images are kept (default /var/cache/nubrik-system)
#   NUBRIK_SYSTEM_MIRROR   the Debian archive to build from (default: the one apt uses here)
#   NUBRIK_SYSTEM_PACKAGE  the package under test (set by the fixture's package file otherwise)

set -euo pipefail
shopt -s inherit_errexit

system_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
system_cache=${NUBRIK_SYSTEM_CACHE:-/var/cache/nubrik-system}
container_path=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
container_user=alice

log() { printf '%s system: %s\n' "$(date +%T)" "$*" >&2; }
fail() {
  printf 'FAILED: %s\n' "$*" >&2
  exit 1
}
# CTest counts exit status 77 as skipped; the line names the reason like GoogleTest's skips do.
skip() {
  printf '[  SKIPPED ] %s\n' "$*"
  exit 77
}

# Skips unless this machine can boot a container: root, the tools, and namespaces permitted.
require_container_support() {
  [ "$(id -u)" -eq 0 ] || skip "system tests boot a container and need root"
  local tool
  for tool in systemd-nspawn debootstrap nsenter setsid; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/bootstrap installs it)"
  done
  unshare --net --mount --pid --fork true 2>/dev/null ||
    skip "network, mount and PID namespaces are not permitted here"
  if [ -z "$(ls -A /sys/fs/cgroup 2>/dev/null)" ]; then
    mount -t cgroup2 none /sys/fs/cgroup || skip "no cgroup hierarchy and none can be mounted"
  fi
}

# The archive apt uses here, so that the image is built from the same source as the host.
debian_mirror() {
  if [ -n "${NUBRIK_SYSTEM_MIRROR:-}" ]; then
    echo "$NUBRIK_SYSTEM_MIRROR"
    return
  fi
  local uri
  uri=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
    awk '/^URIs:/ { uri = $2 } /^Suites:/ && / bookworm( |$)/ && uri { print uri; exit }')
  [ -n "$uri" ] || uri=$(awk '$1 == "deb" && $3 == "bookworm" { print $2; exit }' \
    /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null)
  echo "${uri:-http://deb.debian.org/debian}"
}

# Prints the directory of the image for the current recipe, building it first when the cache has
# none. The recipe is everything under image/; its hash names the image, so an edit rebuilds it.
ensure_image() {
  local key image
  key=$(cd "$system_dir/image" && find . -type f -print0 | sort -z |
    xargs -0 sha256sum | sha256sum | cut -c1-16)
  image="$system_cache/image-$key"
  mkdir -p "$system_cache"
  (
    flock 9
    if [ ! -f "$image/.complete" ]; then
      log "building the machine image $image (a few minutes)"
      local started=$SECONDS
      rm -rf "$image.partial"
      "$system_dir/image/build-image" "$image.partial" "$(debian_mirror)" "$system_cache/debs" \
        >"$system_cache/build-$key.log" 2>&1 ||
        fail "the image could not be built; see $system_cache/build-$key.log"
      rm -rf "$image"
      mv "$image.partial" "$image"
      touch "$image/.complete"
      log "image built in $((SECONDS - started)) s"
      # Older recipes' images are of no further use.
      find "$system_cache" -maxdepth 1 \( -name 'image-*' -o -name 'build-*.log' \) \
        ! -name "image-$key" ! -name "build-$key.log" -exec rm -rf {} + 2>/dev/null || true
    fi
  ) 9>"$system_cache/.lock"
  echo "$image"
}

# --- one container -------------------------------------------------------------------------
# A container is a writable overlay on the image (kept across its reboots) in a work directory,
# the systemd-nspawn process running it, and a cgroup of its own under each hierarchy, so that
# containers booted side by side do not share one.

machine=""
work=""
root=""
leader=""

cgroup_dirs() {
  local hierarchy
  for hierarchy in /sys/fs/cgroup/systemd /sys/fs/cgroup/unified /sys/fs/cgroup; do
    [ -f "$hierarchy/cgroup.procs" ] || continue
    echo "$hierarchy/nubrik-system/$machine"
    # On a pure cgroup2 host the root is the only hierarchy.
    [ "$hierarchy" != /sys/fs/cgroup ] || break
  done
}

# Creates the container NAME on the image and boots it (see boot_container).
create_container() {
  local image=$1
  machine=$2
  work=$(mktemp -d "/var/tmp/nubrik-system.$machine.XXXXXX")
  root="$work/root"
  mkdir -p "$work/upper" "$work/overlay-work" "$root"
  mount -t overlay overlay \
    -o "lowerdir=$image,upperdir=$work/upper,workdir=$work/overlay-work" "$root"
  trap destroy_container EXIT
  boot_container
}

# Boots the container and waits until its system is up. systemd-nspawn runs detached, in a
# session of its own; its exit status lands in $work/exit.
boot_container() {
  local dir
  rm -f "$work/exit" "$work/nspawn.pid"
  for dir in $(cgroup_dirs); do mkdir -p "$dir"; done
  # shellcheck disable=SC2046 # one argument per cgroup directory, none with spaces
  setsid bash -c '
    echo $$ >"$1/nspawn.pid"
    for procs in "${@:4}"; do echo $$ >"$procs/cgroup.procs"; done
    systemd-nspawn -D "$2" -M "$3" -b --private-network --register=no --keep-unit \
      --console=read-only --link-journal=no --resolv-conf=off --timezone=off \
      >>"$1/console.log" 2>&1
    echo $? >"$1/exit.tmp"
    mv "$1/exit.tmp" "$1/exit"
  ' nspawn "$work" "$root" "$machine" $(cgroup_dirs) </dev/null >/dev/null 2>&1 &
  # The container's PID 1 is systemd-nspawn's child; its PID namespace is not ours.
  local nspawn="" deadline=$((SECONDS + 30))
  leader=""
  while [ $SECONDS -lt $deadline ]; do
    [ -z "$nspawn" ] && [ -s "$work/nspawn.pid" ] &&
      nspawn=$(pgrep -P "$(cat "$work/nspawn.pid")" -x systemd-nspawn || true)
    if [ -n "$nspawn" ]; then
      leader=$(pgrep -P "$nspawn" | head -1 || true)
      if [ -n "$leader" ] &&
        [ "$(readlink "/proc/$leader/ns/pid")" != "$(readlink /proc/self/ns/pid)" ]; then
        break
      fi
      leader=""
    fi
    [ ! -f "$work/exit" ] || fail "the container exited at once: $(tail -5 "$work/console.log")"
    sleep 0.1
  done
  [ -n "$leader" ] || fail "the container did not start: $(tail -5 "$work/console.log")"
  # systemctl answers once the manager's socket is there; then it waits for the boot to finish.
  deadline=$((SECONDS + 30))
  until in_container test -S /run/systemd/private; do
    [ $SECONDS -lt $deadline ] || fail "the container's systemd never opened its socket"
    sleep 0.05
  done
  local state
  state=$(in_container timeout 60 systemctl is-system-running --wait 2>/dev/null || true)
  case "$state" in
    running) ;;
    *) fail "the container's system is '$state', not running: $(in_container systemctl --failed --no-legend 2>&1)" ;;
  esac
}

# Runs a command inside the container as root, in all its namespaces, with a clean environment.
in_container() {
  nsenter -t "$leader" -a -r -w env -i PATH="$container_path" LANG=C.UTF-8 "$@"
}

# Runs a command inside the container as the ordinary user, in its home directory.
as_user() {
  in_container setpriv --reuid="$container_user" --regid="$container_user" --init-groups \
    env -i PATH="$container_path" HOME="/home/$container_user" USER="$container_user" \
    LOGNAME="$container_user" LANG=C.UTF-8 sh -c 'cd "$HOME" && exec "$@"' sh "$@"
}

# Waits until systemd-nspawn has ended; prints its exit status.
wait_for_exit() {
  local deadline=$((SECONDS + ${1:-60}))
  while [ ! -f "$work/exit" ]; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
  cat "$work/exit"
}

# Reboots the container the way an administrator does and waits until it is up again, on the
# same overlay. systemd-nspawn ends with status 133 when its system asks for a reboot.
reboot_container() {
  in_container systemctl reboot >/dev/null 2>&1 || true
  local status
  status=$(wait_for_exit 60) || fail "the container did not shut down for the reboot"
  [ "$status" = 133 ] || fail "the container ended with status $status, not a reboot (133)"
  boot_container
}

remove_cgroup() {
  local dir=$1 child
  [ -d "$dir" ] || return 0
  for child in "$dir"/*/; do
    [ -d "$child" ] && remove_cgroup "${child%/}"
  done
  rmdir "$dir" 2>/dev/null || true
}

destroy_container() {
  local status=$?
  trap - EXIT
  if [ -n "$work" ]; then
    if [ ! -f "$work/exit" ] && [ -n "$leader" ]; then
      kill -RTMIN+4 "$leader" 2>/dev/null || true
      if ! wait_for_exit 30 >/dev/null; then
        local nspawn
        nspawn=$(pgrep -P "$(cat "$work/nspawn.pid")" -x systemd-nspawn || true)
        [ -z "$nspawn" ] || kill -KILL "$nspawn" 2>/dev/null || true
        wait_for_exit 10 >/dev/null || true
      fi
    fi
    local dir
    for dir in $(cgroup_dirs); do remove_cgroup "$dir"; done
    umount "$root" 2>/dev/null || umount -l "$root" 2>/dev/null || true
    if [ "$status" -ne 0 ] && [ "$status" -ne 77 ] && [ -z "${NUBRIK_SYSTEM_KEEP:-}" ]; then
      log "console of $machine:"
      tail -20 "$work/console.log" >&2 || true
    fi
    if [ -n "${NUBRIK_SYSTEM_KEEP:-}" ]; then
      log "kept $work"
    else
      rm -rf "$work"
    fi
  fi
  exit "$status"
}
