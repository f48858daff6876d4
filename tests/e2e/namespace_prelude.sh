# shellcheck shell=bash disable=SC2034
# (SC2034: the names set here are for the scripts that follow.)
# Sourced first by every end-to-end script, already inside private mount, network and PID
# namespaces (tests/e2e/namespace_harness.hpp): private state directories, bounded polling and
# small probes. The test hands in HELPER (the helper binary) and OUT (where the script leaves what
# it saw) through the environment.
set -u
export LC_ALL=C TZ=UTC
unset NUBRIK_FORCE NOTIFY_SOCKET DBUS_SYSTEM_BUS_ADDRESS
for dir in /var/lib/nubrik /run /var/log/nubrik; do
  mount -t tmpfs -o mode=0755 tmpfs "$dir" || exit 90
done
[ -L /var/run ] || mount -t tmpfs -o mode=0755 tmpfs /var/run || exit 90
# Wi-Fi switches and NetworkManager's saved state belong to the whole host, not to a network
# namespace: the daemon under test sees none of them.
for dir in /sys/class/rfkill /var/lib/NetworkManager; do
  [ -d "$dir" ] && { mount -t tmpfs -o mode=0755 tmpfs "$dir" || exit 90; }
done
ip link set lo up || exit 90
touch "$OUT/entered"
STATE=/var/lib/nubrik
LOG=/var/log/nubrik/helper.log
STATUS=/var/run/nubrik-status.json
GENERATION=/var/run/nubrik-generation.json

# waitFor DESCRIPTION COMMAND...: polls every 50 ms, WAIT_LIMIT times (default 200: 10 s).
waitFor() {
  local i
  for ((i = 0; i < ${WAIT_LIMIT:-200}; i++)); do
    "${@:2}" && return 0
    sleep 0.05
  done
  echo "timed out waiting for $1" >>"$OUT/timeouts"
  return 1
}
# record NAME COMMAND...: keeps the command's stdout, stderr and exit status in $OUT.
record() {
  local name=$1
  shift
  "$@" >"$OUT/$name.out" 2>"$OUT/$name.err"
  echo $? >"$OUT/$name.status"
}
# recordSettled NAME COMMAND...: record, repeated while the status reads busy (a tick is changing
# state at that very moment).
recordSettled() {
  local i
  for ((i = 0; i < 100; i++)); do
    record "$@"
    [ "$(cat "$OUT/$1.out")" != '{"unavailable":"busy"}' ] && return 0
    sleep 0.02
  done
}
logHas() { grep -qF -- "$1" "$LOG" 2>/dev/null; }
# logHasTimes COUNT TEXT: at least COUNT lines of the log contain TEXT.
logHasTimes() { [ "$(grep -cF -- "$2" "$LOG" 2>/dev/null)" -ge "$1" ]; }
# The sequence of the generation file; odd while a transaction is changing state.
generation() { sed -nE 's/.*"sequence":([0-9]+).*/\1/p' "$GENERATION" 2>/dev/null; }
generationReached() {
  local now
  now=$(generation)
  [ -n "$now" ] && [ "$now" -ge "$1" ] && [ $((now % 2)) -eq 0 ]
}
idlePublished() {
  [ "$(cat "$STATUS" 2>/dev/null)" = '{"active":false}' ] &&
    grep -qE '"sequence":[0-9]*[02468]([^0-9]|$)' "$GENERATION" 2>/dev/null
}
activePublished() {
  grep -qF '"active":true' "$STATUS" 2>/dev/null &&
    grep -qE '"sequence":[0-9]*[02468]([^0-9]|$)' "$GENERATION" 2>/dev/null
}
# recordRetrying NAME COMMAND...: record, repeated while the command finds a tick holding the lock.
recordRetrying() {
  local i
  for ((i = 0; i < 100; i++)); do
    record "$@"
    [ "$(cat "$OUT/$1.status")" != 11 ] && return 0
    sleep 0.05
  done
}
linkUp() { ip -o link show dev "$1" | grep -qE '[<,]UP[,>]'; }
linkDown() { ! linkUp "$1"; }
# states NAME...: "name=up|down|missing" for each link, on one line.
states() {
  local name line=()
  for name; do
    if ! ip link show dev "$name" >/dev/null 2>&1; then
      line+=("$name=missing")
    elif linkUp "$name"; then
      line+=("$name=up")
    else
      line+=("$name=down")
    fi
  done
  echo "${line[*]}"
}
unavailable() {
  echo "$1" >"$OUT/skip"
  exit 0
}
# vethPair: v0 and its peer v1, both up.
vethPair() {
  ip link add v0 type veth peer name v1 || unavailable "veth links are not available here"
  ip link set v0 up && ip link set v1 up || exit 91
}
# uplink0 (veth, up), its peer spare0 (down) and bridge0 (up): the links most tests start from.
makeLinks() {
  ip link add uplink0 type veth peer name spare0 || unavailable "veth links are not available here"
  ip link add bridge0 type bridge || unavailable "bridge links are not available here"
  ip link set uplink0 up && ip link set bridge0 up || exit 91
}
# installPrivate SOURCE TARGET: puts a file in place atomically with mode 0600, as the daemon does.
installPrivate() {
  install -m 0600 "$1" "$2.incoming" && mv -f "$2.incoming" "$2" || exit 92
}
# nudge: an IPv4 address event, which makes the daemon tick at once without changing any link.
NUDGES=1
nudge() {
  NUDGES=$((NUDGES + 1))
  ip addr add "127.0.0.$NUDGES/8" dev lo || exit 93
}
startDaemon() {
  "$HELPER" --daemon &
  DAEMON=$!
}
# startIdle: the daemon, once it has published its first (idle) status.
startIdle() {
  startDaemon
  waitFor "the idle status" idlePublished
}
# startSession [NAME]: a five-minute session from the command line, recorded as NAME (start).
startSession() { recordRetrying "${1:-start}" "$HELPER" --start --duration 300; }
# recover [NAME]: a deliberate recover, recorded as NAME (recover).
recover() { recordRetrying "${1:-recover}" env NUBRIK_FORCE=YES "$HELPER" --recover; }
# endIn SECONDS: moves the stored session's expiration to that many seconds from now.
endIn() {
  local end
  end=$(awk -v now="$EPOCHREALTIME" -v d="$1" 'BEGIN { printf "%.6f", now + d - 978307200 }')
  sed -E "s/\"expirationDate\":[-+.0-9eE]+/\"expirationDate\":$end/" "$STATE/session.json" \
    >"$OUT/moved.json" || exit 92
  installPrivate "$OUT/moved.json" "$STATE/session.json"
}
stopDaemon() {
  kill -TERM "$DAEMON"
  local i
  for ((i = 0; i < 200; i++)); do
    kill -0 "$DAEMON" 2>/dev/null || break
    sleep 0.05
  done
  wait "$DAEMON"
  echo $? >"$OUT/daemon.status"
  DAEMON=
}
# finish: stops the daemon if one runs and keeps its log as $OUT/log.
finish() {
  [ -n "${DAEMON:-}" ] && stopDaemon
  cp "$LOG" "$OUT/log" 2>/dev/null
  return 0
}
