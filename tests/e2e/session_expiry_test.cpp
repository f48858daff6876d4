// The end of a session with the real daemon: a session found when the daemon starts brings the
// network back at the expiration instant, not at the next periodic tick and never before it, and
// a session whose expiration has passed is restored by the next tick, including a link that
// appeared while it ran.
#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "core/date.hpp"
#include "core/session.hpp"
#include "tests/e2e/namespace_harness.hpp"

namespace nubrik {
namespace {

class SessionExpiryTest : public test::NamespaceTest {};

struct LinkEvent {
  double unixSeconds = 0;
  bool up = false;
};

// The events of one link in the output of `ip -ts monitor link` (time stamps in UTC).
std::vector<LinkEvent> linkEvents(const std::string& monitor, const std::string& link) {
  static const std::regex event(
      R"(^\[(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)(\.\d+)\] \d+: ([^:@ ]+)[^<]*<([^>]*)>)");
  std::vector<LinkEvent> events;
  size_t begin = 0;
  while (begin < monitor.size()) {
    size_t end = monitor.find('\n', begin);
    if (end == std::string::npos) end = monitor.size();
    const std::string line = monitor.substr(begin, end - begin);
    begin = end + 1;
    std::smatch match;
    if (!std::regex_search(line, match, event) || match[8] != link) continue;
    std::tm fields{};
    fields.tm_year = std::stoi(match[1]) - 1900;
    fields.tm_mon = std::stoi(match[2]) - 1;
    fields.tm_mday = std::stoi(match[3]);
    fields.tm_hour = std::stoi(match[4]);
    fields.tm_min = std::stoi(match[5]);
    fields.tm_sec = std::stoi(match[6]);
    const std::string flags = "," + match[9].str() + ",";
    events.push_back({static_cast<double>(::timegm(&fields)) + std::stod("0" + match[7].str()),
                      flags.find(",UP,") != std::string::npos});
  }
  return events;
}

// The first instant the link was seen up again after having been seen down.
std::optional<double> firstUpAfterDown(const std::vector<LinkEvent>& events) {
  bool sawDown = false;
  for (const LinkEvent& event : events) {
    if (!event.up) sawDown = true;
    if (event.up && sawDown) return event.unixSeconds;
  }
  return std::nullopt;
}

TEST_F(SessionExpiryTest, NetworkComesBackAtTheExpirationAndAnExpiredSessionAtTheNextTick) {
  // A session written as the start would have written it, ending three seconds after it is put in
  // place (the script sets the dates then, so a slow namespace setup cannot eat the margin): the
  // shortest session the command line accepts lasts five minutes.
  OfflineSession session;
  session.id = "3F2504E0-4F89-11D3-9A0C-0305E82C3301";
  session.startDate = dateFromReferenceSeconds(0);
  session.expirationDate = dateFromReferenceSeconds(300);
  session.interfaces =
      std::vector<InterfaceState>{{"lo", true}, {"uplink0", true}, {"spare0", false}};
  out.write("expiring.json", encodeSession(session));

  runIsolated(R"SH(
ip link add uplink0 type veth peer name spare0 || unavailable "veth links are not available here"
ip link set uplink0 up || exit 91
ALL="lo uplink0 spare0"
ip -ts monitor link >"$OUT/monitor" 2>&1 &
MONITOR=$!
MTU=1400
monitorReady() {
  grep -q '^\[.*spare0@uplink0: .* mtu 14' "$OUT/monitor" && return 0
  MTU=$((MTU + 1))
  ip link set dev spare0 mtu $MTU
  return 1
}
waitFor "the link monitor" monitorReady

# The links as the session left them, and then a daemon that finds the session at its start.
expires=$(awk -v now="$EPOCHREALTIME" 'BEGIN { printf "%.6f", now + 3 }')
awk -v unix="$expires" 'BEGIN { printf "%.6f %.6f", unix - 978307200 - 300, unix - 978307200 }' |
  { read -r start end
    sed -E -e "s/\"startDate\":[-+.0-9eE]+/\"startDate\":$start/" \
      -e "s/\"expirationDate\":[-+.0-9eE]+/\"expirationDate\":$end/" "$OUT/expiring.json" \
      >"$OUT/expiring-now.json"; }
installPrivate "$OUT/expiring-now.json" "$STATE/session.json"
echo "$expires" >"$OUT/expires-at"
ip link set uplink0 down || exit 91
startDaemon
waitFor "the restoration" logHas "restoration: succeeded; session deleted, network restored"
kill "$MONITOR"
waitFor "the idle status" idlePublished
states $ALL >"$OUT/after-expiry"
ls -A "$STATE" >"$OUT/state-after-expiry"

startSession
ip tuntap add tap0 mode tap || unavailable "tap links are not available here"
states $ALL tap0 >"$OUT/during"
endIn -1
nudge
waitFor "the second restoration" \
  logHasTimes 2 "restoration: succeeded; session deleted, network restored"
waitFor "the idle status" idlePublished
states $ALL tap0 >"$OUT/after-moved"
ls -A "$STATE" >"$OUT/state-after-moved"
finish
)SH");
  if (!ran()) return;

  double expirationUnix = 0;
  ASSERT_EQ(std::sscanf(read("expires-at").c_str(), "%lf", &expirationUnix), 1);
  EXPECT_NEAR(secondsSince1970(decodeSession(read("expiring-now.json")).expirationDate),
              expirationUnix, 1e-5);

  const std::optional<double> upAt = firstUpAfterDown(linkEvents(read("monitor"), "uplink0"));
  ASSERT_TRUE(upAt.has_value()) << read("monitor");
  EXPECT_GE(*upAt, expirationUnix) << "restored before the session expired";
  EXPECT_LE(*upAt, expirationUnix + 1.0) << "restored late";
  EXPECT_EQ(read("after-expiry"), "lo=up uplink0=up spare0=down\n");
  EXPECT_EQ(read("state-after-expiry"), "transaction.lock\n");

  expectCommand("start", 0, "", "");
  EXPECT_EQ(read("during"), "lo=up uplink0=down spare0=down tap0=down\n");
  const OfflineSession moved = decodeSession(read("moved.json"));
  EXPECT_LT(secondsSince1970(moved.expirationDate), secondsSince1970(moved.startDate) + 300.0);
  EXPECT_EQ(read("after-moved"), "lo=up uplink0=up spare0=down tap0=up\n");
  EXPECT_EQ(read("state-after-moved"), "transaction.lock\n");

  EXPECT_EQ(logCount("daemon: session expired; restoring transactionally"), 2u) << read("log");
  EXPECT_EQ(logCount("restoration: succeeded; session deleted, network restored"), 2u);
  expectLogged("restoration: restoring expired session 3F2504E0-4F89-11D3-9A0C-0305E82C3301");
  expectLogged("restoration: brought interface tap0 up added during session");
  EXPECT_EQ(statusOf("daemon"), 0);
}

}  // namespace
}  // namespace nubrik
