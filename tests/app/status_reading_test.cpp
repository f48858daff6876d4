#include "app/status_reading.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "core/public_status.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {

namespace {

using Kind = StatusObservation::Kind;

GuiStatus unavailable(StatusUnavailableReason reason) {
  return GuiStatus::unavailable(reason);
}

// 2030-01-01 00:00:00 UTC in stored form.
constexpr double expirationSeconds = 915148800.0;
const Date expiration = dateFromReferenceSeconds(expirationSeconds);

// The generation lies beside a given status file, even one named like the production file.
TEST(StatusFilePaths, PairTheStatusFileWithItsGeneration) {
  const std::string run = "/var/run/nubrik-status.json";
  EXPECT_EQ(statusFilePaths(std::nullopt, std::nullopt),
            (StatusFilePaths{run, "/var/run/nubrik-generation.json"}));
  EXPECT_EQ(statusFilePaths("/tmp/x/nubrik-status.json", std::nullopt),
            (StatusFilePaths{"/tmp/x/nubrik-status.json", "/tmp/x/generation.json"}));
  EXPECT_EQ(statusFilePaths(std::nullopt, "/elsewhere/gen.json"),
            (StatusFilePaths{run, "/elsewhere/gen.json"}));
}

TEST(StatusDetail, ReducesAnObservationToTheAppsStatus) {
  const GuiStatusDetail idle{GuiStatus::confirmedIdle(), false};
  const GuiStatusDetail malformed{unavailable(StatusUnavailableReason::malformed), false};
  struct Case {
    const char* name;
    StatusObservation observation;
    GuiStatusDetail expected;
  };
  const std::vector<Case> cases = {
      {"missing", {Kind::missing, {}}, {unavailable(StatusUnavailableReason::missing), false}},
      {"busy", {Kind::busy, {}}, {unavailable(StatusUnavailableReason::busy), false}},
      {"idle", {Kind::snapshot, R"({"active":false})"}, idle},
      {"idle ignores a stray early unlock",
       {Kind::snapshot, R"({"active":false,"earlyUnlockPending":true})"},
       idle},
      {"active",
       {Kind::snapshot, R"({"active":true,"expirationDate":915148800,"remainingSeconds":600})"},
       {GuiStatus::confirmedActive(expiration, 600), false}},
      {"active with an early unlock",
       {Kind::snapshot, R"({"active":true,"expirationDate":915148800,"remainingSeconds":60,)"
                        R"("earlyUnlockPending":true})"},
       {GuiStatus::confirmedActive(expiration, 60), true}},
      {"the helper's pending shape", {Kind::snapshot, R"({"active":true})"}, malformed},
      {"empty file", {Kind::snapshot, ""}, malformed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(statusDetail(c.observation), c.expected);
  }
}

// A status without its generation is not believed; the generation file beside it decides, and an
// explicit generation file takes precedence.
TEST(FetchStatusDetail, TheGenerationDecidesWhetherTheStatusCounts) {
  TempDir dir;
  const std::string status = dir.file("status.json");
  EXPECT_EQ(fetchStatus(status), unavailable(StatusUnavailableReason::missing));
  dir.write("status.json", R"({"active":true,"expirationDate":915148800,"remainingSeconds":600})");
  EXPECT_EQ(fetchStatus(status), unavailable(StatusUnavailableReason::busy));

  dir.write("generation.json", encodeGeneration({"3F2504E0-4F89-11D3-9A0C-0305E82C3301", 8}));
  EXPECT_EQ(fetchStatusDetail(status),
            (GuiStatusDetail{GuiStatus::confirmedActive(expiration, 600), false}));
  dir.write("other-generation.json", encodeGeneration({"3F2504E0-4F89-11D3-9A0C-0305E82C3301", 9}));
  EXPECT_EQ(fetchStatus(status, dir.file("other-generation.json")),
            unavailable(StatusUnavailableReason::busy));
}

TEST(SettledStatusDetail, RereadsOnlyWhileBusy) {
  const GuiStatusDetail busy{unavailable(StatusUnavailableReason::busy), false};
  const GuiStatusDetail idle{GuiStatus::confirmedIdle(), false};
  const GuiStatusDetail missing{unavailable(StatusUnavailableReason::missing), false};
  struct Case {
    const char* name;
    int retries;
    std::vector<GuiStatusDetail> readings;
    GuiStatusDetail expected;
    int reads;
  };
  const std::vector<Case> cases = {
      {"clear at once", 2, {idle}, idle, 1},
      {"another unavailable reason is not retried", 2, {missing}, missing, 1},
      {"clears on the second re-read", 2, {busy, busy, idle}, idle, 3},
      {"still busy after two re-reads", 2, {busy, busy, busy, idle}, busy, 3},
      {"no retries", 0, {busy, idle}, busy, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int reads = 0;
    int waits = 0;
    const GuiStatusDetail result = settledStatusDetail(
        c.retries, [&] { ++waits; }, [&] { return c.readings.at(reads++); });
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(reads, c.reads);
    EXPECT_EQ(waits, c.reads - 1) << "one wait before each re-read";
  }
}

TEST(DisplayedRemainingSeconds, TruncatesTowardZeroAndNeverGoesBelowZero) {
  const Date at = dateFromReferenceSeconds(800'000'000.0);
  for (const auto& [ahead, expected] : std::vector<std::pair<double, std::int64_t>>{
           {-0.5, 0}, {0.999, 0}, {1.0, 1}, {3600.4, 3600}}) {
    EXPECT_EQ(displayedRemainingSeconds(addSeconds(at, ahead), at), expected) << ahead;
  }
}

TEST(UnavailableDetailText, ExplainsEachReasonUnlessApprovalIsWaiting) {
  struct Case {
    StatusUnavailableReason reason;
    std::string_view text;
  };
  const std::vector<Case> cases = {
      {StatusUnavailableReason::missing,
       "The helper status file is missing. Make sure Tamsel's helper is installed, then try "
       "again."},
      {StatusUnavailableReason::unreadable, "The helper status file could not be read. Try again."},
      {StatusUnavailableReason::malformed,
       "The helper status did not have the expected format. Try again."},
      {StatusUnavailableReason::busy, "The helper is changing state. Try again in a moment."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(rawValue(c.reason));
    EXPECT_EQ(unavailableDetailText(c.reason, false), c.text);
    EXPECT_EQ(unavailableDetailText(c.reason, true),
              "Turn Tamsel on in Login Items to finish setup. If your computer is offline, this "
              "brings your internet back.");
  }
}

}  // namespace
}  // namespace nubrik
