#include "core/helper_status.hpp"

#include <gtest/gtest.h>

#include <cstdint>

#include "core/json_fields.hpp"
#include "core/session.hpp"
#include "tests/core/sample_session.hpp"

namespace nubrik {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

using test::noon;
using test::sampleSession;

TEST(HelperStatusDerivation, TruncatesTowardZeroAndNeverGoesNegative) {
  OfflineSession session = sampleSession();
  const auto remainingAt = [&](Date expiration) {
    session.expirationDate = expiration;
    return HelperStatus::derive(session, noon).remainingSeconds;
  };
  EXPECT_EQ(remainingAt(noon + milliseconds(900)), 0);
  EXPECT_EQ(remainingAt(noon - seconds(10)), 0);
  EXPECT_EQ(remainingAt(noon + milliseconds(1500)), 1);
  // Far-away dates saturate when read, so the difference stays finite and in range.
  const auto far = remainingAt(dateFromReferenceSeconds(1e300));
  ASSERT_TRUE(far.has_value());
  EXPECT_GT(*far, 7'000'000'000);
  EXPECT_EQ(remainingAt(dateFromReferenceSeconds(-1e300)), 0);
}

TEST(HelperStatusDerivation, PublishesTheDocumentedShapes) {
  OfflineSession session = sampleSession();
  session.expirationDate = dateFromReferenceSeconds(788962200.5);
  const HelperStatus active = HelperStatus::derive(session, noon);
  EXPECT_EQ(encodeStatus(active),
            R"({"active":true,"expirationDate":788962200.5,"remainingSeconds":600})");

  session.originalExpirationDate = dateFromReferenceSeconds(788965200);
  EXPECT_EQ(encodeStatus(HelperStatus::derive(session, noon)),
            R"({"active":true,"expirationDate":788962200.5,"remainingSeconds":600,)"
            R"("earlyUnlockPending":true})");

  session.active = false;
  EXPECT_EQ(HelperStatus::derive(session, noon), HelperStatus::idle());
  EXPECT_EQ(HelperStatus::derive(std::nullopt, noon), HelperStatus::idle());
  EXPECT_EQ(encodeStatus(HelperStatus::idle()), R"({"active":false})");
  EXPECT_EQ(encodeStatus(HelperStatus::pending()), R"({"active":true})");

  HelperStatus notPending = active;
  notPending.earlyUnlockPending = false;
  EXPECT_EQ(encodeStatus(notPending), encodeStatus(active));
  EXPECT_EQ(decodeStatus(encodeStatus(active)), active);
}

TEST(HelperStatusDecoding, RequiresIntegerRemainingSecondsAndRealBooleans) {
  EXPECT_EQ(decodeStatus(R"({"active":true,"remainingSeconds":-5})").remainingSeconds, -5);
  EXPECT_EQ(
      decodeStatus(R"({"active":true,"remainingSeconds":9223372036854775807})").remainingSeconds,
      INT64_MAX);
  for (const char* text :
       {R"({"active":true,"remainingSeconds":600.5})",
        R"({"active":true,"remainingSeconds":9223372036854775808})",
        R"({"active":true,"remainingSeconds":"600"})", R"({"active":true,"earlyUnlockPending":1})",
        R"({"active":"true"})", R"({"active":null})", R"({"expirationDate":1})"}) {
    EXPECT_THROW(decodeStatus(text), DecodingError) << text;
  }
}

}  // namespace
}  // namespace nubrik
