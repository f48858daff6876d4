// The session life cycle killed with SIGKILL at random moments, each time followed by a restart of
// the daemon: a start, the daemon while it forces a link back down, the daemon while it restores
// at the expiration, and a deliberate recover. Whatever the moment of the kill, once the restarted
// daemon has settled nobody is left offline without a session, and a session that was started and
// not deliberately ended is still stored and still enforced.
//
// NUBRIK_CRASH_ITERATIONS sets the number of kills (12 by default; thousands for a long run), and
// NUBRIK_CRASH_SEED replays the kinds and delays of an earlier run, whose seed the test prints.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>

#include "tests/e2e/namespace_harness.hpp"

namespace nubrik {
namespace {

class CrashConsistencyTest : public test::NamespaceTest {};

constexpr int defaultIterations = 12;

// A positive whole number from the environment, or the fallback.
unsigned long environmentNumber(const char* name, unsigned long fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  const unsigned long value = std::strtoul(text, &end, 10);
  return *end == '\0' ? value : fallback;
}

// Every iteration starts from the same links with the daemon idle, does one kind of operation and
// kills a process DELAY seconds into it, restarts the daemon and waits for it to settle. Its
// outcome (classify) is read from the kernel's links, the state files and the published status.
// Four are fine: kept (a valid session stored, every link but lo down, the status active),
// restored (a started session deliberately ended, the links that were up are up again, the status
// idle), not_started (the start died before it saved anything) and failed_open (as restored, by
// the fail-open path, so links that were down came up too). Any other outcome (stuck_offline,
// session_lost, unsettled, setup_failed) goes to $OUT/failures with what the iteration left.
constexpr const char* crashScript = R"SH(
# Enough links that taking them down or bringing them back lasts a while: a kill at a random
# moment then often lands in the middle of it.
makeLinks
UP_BEFORE="uplink0 bridge0"
DOWN_BEFORE="spare0"
for ((n = 0; n < 8; n++)); do
  ip link add "fill$n" type veth peer name "fillpeer$n" || unavailable "veth links are not available here"
  UP_BEFORE+=" fill$n"
  DOWN_BEFORE+=" fillpeer$n"
done
for link in $UP_BEFORE; do echo "link set $link up"; done >"$OUT/up.batch"
for link in $DOWN_BEFORE; do echo "link set $link down"; done >"$OUT/down.batch"
ip -batch "$OUT/up.batch" || exit 91
ALL="lo $UP_BEFORE $DOWN_BEFORE"
BASELINE=$(states $ALL)
KINDS=(start enforce restore recover)
RANDOM=$SEED
# Restarts and settling may include a tick that skipped a held lock: room for a periodic tick.
SETTLE_LIMIT=300

# A delay of 0 to 50 ms in microsecond steps.
randomDelay() { printf '0.%06d' $(((RANDOM * 32768 + RANDOM) % 50001)); }
storedExpiration() {
  sed -nE 's/.*"expirationDate":([-+.0-9eE]+).*/\1/p' "$STATE/session.json" 2>/dev/null
}
expiredAt() {
  awk -v expiration="$1" -v now="$EPOCHREALTIME" 'BEGIN { exit !(now - 978307200 >= expiration) }'
}
killDaemon() {
  kill -KILL "$DAEMON" 2>/dev/null
  wait "$DAEMON" 2>/dev/null
  DAEMON=
}
# runKilled DELAY COMMAND...: runs the command and SIGKILLs it DELAY seconds later; OP is its exit
# status, 137 when the kill came first. A run that found a tick holding the lock is repeated.
runKilled() {
  local delay=$1 pid tries
  shift
  for ((tries = 0; tries < 100; tries++)); do
    "$@" >"$OUT/op.out" 2>"$OUT/op.err" &
    pid=$!
    sleep "$delay"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    OP=$?
    [ "$OP" != 11 ] && return 0
  done
}
published() { idlePublished || activePublished; }
linksRestored() {
  local link
  for link in $UP_BEFORE; do linkUp "$link" || return 1; done
}
linksLocked() {
  local link
  for link in $UP_BEFORE $DOWN_BEFORE; do linkDown "$link" || return 1; done
}
someUp() {
  local link
  for link; do linkUp "$link" && return 0; done
  return 1
}
upLinks() { ip -o link show up | sed -E 's/^[0-9]+: ([^:@]+).*/\1/' | paste -sd, -; }

# classify: sets OUTCOME and DETAIL; true once the outcome is one the daemon may rest in.
classify() {
  OUTCOME=unsettled
  DETAIL=-
  if [ -e "$STATE/recovery-pending.json" ]; then
    DETAIL=recovery-pending
    return 1
  fi
  if [ -e "$STATE/session.json" ]; then
    local expiration
    expiration=$(storedExpiration)
    if [ -z "$expiration" ]; then
      DETAIL=undecodable-session
      return 1
    fi
    if expiredAt "$expiration"; then
      linksRestored || OUTCOME=stuck_offline
      DETAIL=expired-session-stored
      return 1
    fi
    if ! linksLocked; then
      OUTCOME=session_lost
      DETAIL=links-up-during-session
      return 1
    fi
    activePublished || { DETAIL=status-not-active; return 1; }
    OUTCOME=kept
    return 0
  fi
  if ! linksRestored; then
    OUTCOME=stuck_offline
    DETAIL=no-session-links-down
    return 1
  fi
  if [ "$STARTED" = yes ] && [ "$ENDED_BY" = nothing ]; then
    OUTCOME=session_lost
    DETAIL=session-vanished
    return 1
  fi
  idlePublished || { DETAIL=status-not-idle; return 1; }
  if [ "$STARTED" = no ]; then
    OUTCOME=not_started
  elif someUp $DOWN_BEFORE; then
    OUTCOME=failed_open
  else
    OUTCOME=restored
  fi
  return 0
}

# sessionStarted: the session the daemon kinds work on; false when it could not be started.
sessionStarted() {
  startSession setup
  SETUP=$(cat "$OUT/setup.status")
  case $SETUP in
    0 | 9) STARTED=yes ;;
    *) return 1 ;;
  esac
}

# crash KIND DELAY: the operation and its kill; the daemon is down afterwards.
crash() {
  case $1 in
    start)
      runKilled "$2" "$HELPER" --start --duration 300
      case $OP in 0 | 9) STARTED=yes ;; esac
      killDaemon
      ;;
    enforce)
      # Something outside keeps bringing the links up while the daemon keeps taking them down.
      sessionStarted || return 1
      rm -f "$OUT/stop-flapping"
      (while [ ! -e "$OUT/stop-flapping" ]; do ip -batch "$OUT/up.batch"; done) &
      local flapper=$!
      sleep "$2"
      killDaemon
      touch "$OUT/stop-flapping"
      wait "$flapper"
      ;;
    restore)
      # The shortest session the command line accepts lasts five minutes: this one is made to
      # end a second after the daemon comes back, and the kill lands DELAY after 25 ms before
      # the expiration, so before, during or after the restore.
      ENDED_BY=expiry
      sessionStarted || return 1
      killDaemon
      endIn 1
      local expires
      expires=$(storedExpiration)
      startDaemon
      sleep "$(awk -v at="$expires" -v now="$EPOCHREALTIME" -v delay="$2" \
        'BEGIN { wait = at + 978307200 - 0.025 - now + delay; printf "%.6f", wait < 0 ? 0 : wait }')"
      killDaemon
      ;;
    recover)
      ENDED_BY=recover
      sessionStarted || return 1
      runKilled "$2" env NUBRIK_FORCE=YES "$HELPER" --recover
      killDaemon
      ;;
  esac
}

: >"$OUT/iterations"
: >"$OUT/failures"
for ((i = 1; i <= ITERATIONS; i++)); do
  kind=${KINDS[RANDOM % ${#KINDS[@]}]}
  delay=$(randomDelay)
  STARTED=no ENDED_BY=nothing OP=- SETUP=- OUTCOME=setup_failed DETAIL=-

  startDaemon
  waitFor "iteration $i: the idle status" idlePublished
  if [ "$(states $ALL)" != "$BASELINE" ]; then
    DETAIL=baseline
  elif ! crash "$kind" "$delay"; then
    DETAIL=start-failed
    killDaemon
  else
    startDaemon
    WAIT_LIMIT=$SETTLE_LIMIT waitFor "iteration $i: a final status" published
    WAIT_LIMIT=$SETTLE_LIMIT waitFor "iteration $i: a settled outcome ($kind)" classify
  fi
  line="i=$i kind=$kind delay=$delay op=$OP setup=$SETUP outcome=$OUTCOME detail=$DETAIL up=$(upLinks)"
  case $OUTCOME in
    kept | restored | not_started | failed_open) ;;
    *) { echo "$line"; echo "files: $(ls -A "$STATE" | paste -sd' ')"; cat "$LOG" 2>/dev/null; } >>"$OUT/failures" ;;
  esac

  # A clean start for the next one: whatever is owed is restored, then no state is left at all.
  [ -n "${DAEMON:-}" ] && stopDaemon
  recover reset
  find "$STATE" -mindepth 1 ! -name transaction.lock -delete
  ip -batch "$OUT/up.batch" && ip -batch "$OUT/down.batch" || exit 91
  : >"$LOG"
  [ "$(cat "$OUT/reset.status")" = 0 ] || echo "$line: recover between iterations failed" >>"$OUT/failures"
  echo "$OUTCOME" >>"$OUT/iterations"
done
sort "$OUT/iterations" | uniq -c | paste -sd' ' >"$OUT/summary"
finish
)SH";

TEST_F(CrashConsistencyTest, KilledOperationsNeitherStrandTheMachineNorLoseASession) {
  const unsigned long iterations = environmentNumber("NUBRIK_CRASH_ITERATIONS", defaultIterations);
  ASSERT_GT(iterations, 0u);
  const unsigned long seed = environmentNumber("NUBRIK_CRASH_SEED", std::random_device()() % 32768);
  std::cout << "crash consistency: NUBRIK_CRASH_SEED=" << seed
            << " NUBRIK_CRASH_ITERATIONS=" << iterations << std::endl;
  RecordProperty("seed", std::to_string(seed));

  // A settled iteration takes about a second; a stuck one waits out its bounds (some 30 s).
  const int timeoutSeconds = static_cast<int>(120 + 40 * iterations);
  runIsolated("ITERATIONS=" + std::to_string(iterations) + "\nSEED=" + std::to_string(seed) + "\n" +
                  crashScript,
              timeoutSeconds);
  if (!ran()) return;

  const std::string summary = "seed=" + std::to_string(seed) + " outcomes: " + read("summary");
  std::cout << summary << std::endl;
  RecordProperty("outcomes", summary);
  const std::string outcomes = read("iterations");
  EXPECT_EQ(static_cast<unsigned long>(std::count(outcomes.begin(), outcomes.end(), '\n')),
            iterations)
      << read("script.log");
  EXPECT_EQ(read("failures"), "") << summary;
}

}  // namespace
}  // namespace nubrik
