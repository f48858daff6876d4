// The installed app drives the installed helper over the system bus: a health check, a session
// that takes the links down, the countdown in the status, an early unlock requested and
// cancelled, and the helper's refusals passed on with their own texts. A user without privileges
// is served too, although the kernel hides the helper's executable from it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "core/nubrik_xpc.hpp"
#include "tests/e2e/bus_harness.hpp"

namespace nubrik {
namespace {

class BusSessionTest : public test::BusTest {
 protected:
  // The published status that `tamsel status --json` printed as NAME, which must have succeeded.
  nlohmann::json json(const std::string& name) const {
    EXPECT_EQ(statusOf(name), 0) << name << ": " << read(name + ".out");
    const nlohmann::json value = nlohmann::json::parse(read(name + ".out"), nullptr, false);
    EXPECT_TRUE(value.is_object()) << name << ": " << read(name + ".out");
    return value.is_object() ? value : nlohmann::json::object();
  }
};

TEST_F(BusSessionTest, InstalledAppStartsUnlocksAndCancelsOverTheBus) {
  runOnBus(R"SH(
busWithHelper

record health "$TAMSEL" health
record nobodyHealth asNobody "$TAMSEL" health
recordStatus nobodyStatus asNobody "$TAMSEL" status

record start "$TAMSEL" start 20m
states v0 v1 >"$OUT/after-start"
recordStatus status "$TAMSEL" status
recordStatus statusJson "$TAMSEL" status --json
record again "$TAMSEL" start 20m

record unlock "$TAMSEL" unlock
recordStatus unlockJson "$TAMSEL" status --json
record unlockAgain "$TAMSEL" unlock

record cancel "$TAMSEL" cancel-unlock
recordStatus cancelJson "$TAMSEL" status --json
record cancelAgain "$TAMSEL" cancel-unlock
states v0 v1 >"$OUT/after-cancel"
finish
)SH");
  if (!ran()) return;

  const std::string ready =
      std::string("The helper is ready (version ") + nubrikHelperVersion + ").\n";
  expectCommand("health", 0, ready, "");
  expectCommand("nobodyHealth", 0, ready, "");
  expectCommand("nobodyStatus", 0, "Online.\n", "");

  EXPECT_EQ(statusOf("start"), 0) << read("start.err");
  std::smatch backOnline;
  const std::string started = read("start.out");
  ASSERT_TRUE(
      std::regex_match(started, backOnline,
                       std::regex(R"(Offline session started\. Back online at (\d\d:\d\d)\.\n)")))
      << started;
  EXPECT_EQ(read("after-start"), "v0=down v1=down\n");

  // The countdown ends where the start said it would.
  EXPECT_EQ(statusOf("status"), 0);
  EXPECT_TRUE(std::regex_match(
      read("status.out"),
      std::regex(R"(Offline for 19:[0-5]\d more \(until )" + backOnline[1].str() + R"(\)\.\n)")))
      << read("status.out");
  const nlohmann::json active = json("statusJson");
  EXPECT_EQ(active.value("active", false), true);
  EXPECT_GT(active.value("remainingSeconds", 0), 1140);
  EXPECT_LE(active.value("remainingSeconds", 0), 1200);
  EXPECT_FALSE(active.value("earlyUnlockPending", false));
  const double end = active.value("expirationDate", 0.0);
  expectCommand("again", 1, "", "error: A session is already active.\n");

  expectCommand("unlock", 0,
                "Early unlock requested. The network will be restored in 15 minutes unless you "
                "cancel.\n",
                "");
  const nlohmann::json unlocking = json("unlockJson");
  EXPECT_EQ(unlocking.value("earlyUnlockPending", false), true) << read("unlockJson.out");
  EXPECT_GT(unlocking.value("remainingSeconds", 0), 840);
  EXPECT_LE(unlocking.value("remainingSeconds", 0), 900);
  expectCommand("unlockAgain", 1, "", "error: An early unlock is already counting down.\n");

  expectCommand("cancel", 0, "Early unlock cancelled. The session continues.\n", "");
  // The session is back to its original end, and still offline.
  const nlohmann::json resumed = json("cancelJson");
  EXPECT_FALSE(resumed.value("earlyUnlockPending", false)) << read("cancelJson.out");
  EXPECT_DOUBLE_EQ(resumed.value("expirationDate", 0.0), end);
  EXPECT_GT(resumed.value("remainingSeconds", 0), 1140);
  expectCommand("cancelAgain", 1, "", "error: No early unlock is pending.\n");
  EXPECT_EQ(read("after-cancel"), "v0=down v1=down\n");

  EXPECT_EQ(statusOf("daemon"), 0);
}

}  // namespace
}  // namespace nubrik
