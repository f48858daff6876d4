// Runs the real helper binary as root inside private mount, network and PID namespaces with tmpfs
// over every directory it writes, so nothing a test does touches the host's state or links. A
// test hands a bash script to runIsolated(); the script leaves what it saw as files in $OUT, and
// the test asserts on those files afterwards.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.hpp"

namespace nubrik::test {

inline const std::string helperBinary = NUBRIK_BINARY_DIR "/bin/com.nubrik.helper";

// Shared by every script: private state directories, bounded polling and small probes.
inline constexpr const char* namespacePrelude = R"SH(
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
vethPair() {
  ip link add v0 type veth peer name v1 || unavailable "veth links are not available here"
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
)SH";

class NamespaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to create namespaces and mount tmpfs";
    if (::access(helperBinary.c_str(), X_OK) != 0) GTEST_SKIP() << "no helper at " << helperBinary;
    // Mount points for the private tmpfs; the host's own state is never written.
    std::error_code ignored;
    std::filesystem::create_directories("/var/lib/nubrik", ignored);
    std::filesystem::create_directories("/var/log/nubrik", ignored);
  }

  // Runs the script after the prelude, bounded by a time-out (seconds). Skips the test when the
  // namespaces cannot be set up or the script says so; afterwards the body goes on only if ran()
  // is true.
  void runIsolated(const std::string& script, int timeoutSeconds = 120) {
    out.write("script.sh", std::string(namespacePrelude) + script);
    const std::string command = "HELPER='" + helperBinary + "' OUT='" + out.path() +
                                "' timeout --kill-after=5 " + std::to_string(timeoutSeconds) +
                                " unshare --mount --net --pid --fork --mount-proc "
                                "--kill-child /bin/bash '" +
                                out.file("script.sh") + "' >'" + out.file("script.log") + "' 2>&1";
    const int status = std::system(command.c_str());
    if (!std::filesystem::exists(out.file("entered"))) {
      GTEST_SKIP() << "cannot isolate the helper here: " << read("script.log");
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "script failed (" << status << "):\n"
        << read("script.log");
    EXPECT_FALSE(std::filesystem::exists(out.file("timeouts"))) << read("timeouts");
    if (std::filesystem::exists(out.file("skip"))) GTEST_SKIP() << read("skip");
  }

  bool ran() const { return !IsSkipped() && !HasFatalFailure(); }

  std::string read(const std::string& name) const {
    try {
      return out.read(name);
    } catch (const std::exception&) {
      return {};
    }
  }
  int statusOf(const std::string& name) const {
    const std::string text = read(name + ".status");
    return text.empty() ? -1 : std::stoi(text);
  }
  void expectCommand(const std::string& name, int status, const std::string& stdoutText,
                     const std::string& stderrText) const {
    EXPECT_EQ(statusOf(name), status) << name;
    EXPECT_EQ(read(name + ".out"), stdoutText) << name;
    EXPECT_EQ(read(name + ".err"), stderrText) << name;
  }

  // The messages of the log kept by finish() (or of another copy of it in $OUT), without their
  // time stamps, in order.
  std::vector<std::string> logMessages(const std::string& name = "log") const {
    static const std::string marker = " nubrik-helper: ";
    std::vector<std::string> messages;
    const std::string text = read(name);
    size_t begin = 0;
    while (begin < text.size()) {
      size_t end = text.find('\n', begin);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(begin, end - begin);
      const size_t at = line.find(marker);
      messages.push_back(at == std::string::npos ? line : line.substr(at + marker.size()));
      begin = end + 1;
    }
    return messages;
  }
  size_t logCount(const std::string& message, const std::string& name = "log") const {
    const std::vector<std::string> messages = logMessages(name);
    return static_cast<size_t>(std::count(messages.begin(), messages.end(), message));
  }
  // Position of the first log line that is exactly the message; npos when there is none.
  size_t logIndex(const std::string& message) const {
    const std::vector<std::string> messages = logMessages();
    const auto found = std::find(messages.begin(), messages.end(), message);
    return found == messages.end() ? std::string::npos
                                   : static_cast<size_t>(found - messages.begin());
  }
  void expectLogged(const std::string& message) const {
    EXPECT_NE(logIndex(message), std::string::npos) << message << "\nin:\n" << read("log");
  }

  TempDir out;
};

}  // namespace nubrik::test
