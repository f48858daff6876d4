#include "core/session_clock.hpp"

#include <gtest/gtest.h>

namespace nubrik {
namespace {

const Date kStart = dateFromUnixSeconds(1796489491.0);

OfflineSession sessionOf(double seconds) {
  OfflineSession session;
  session.id = "3F2504E0-4F89-11D3-9A0C-0305E82C3301";
  session.startDate = kStart;
  session.expirationDate = addSeconds(kStart, seconds);
  return session;
}

TEST(SessionClock, MeasuresOnTheBootClockOnlyInTheBootOfTheAnchor) {
  OfflineSession session = sessionOf(600);
  session.bootID = "B";
  session.bootTimeAtStart = 1000;
  const Date wall = addSeconds(kStart, -86400);  // set back a day
  EXPECT_EQ(sessionNow(session, wall, BootInstant{"B", 1250}), addSeconds(kStart, 250));
  EXPECT_EQ(sessionNow(session, wall, BootInstant{"C", 1250}), wall);
  EXPECT_EQ(sessionNow(session, wall, std::nullopt), wall);
  // A boot clock behind the anchor cannot belong to the same boot.
  EXPECT_EQ(sessionNow(session, wall, BootInstant{"B", 999}), wall);
  EXPECT_EQ(sessionNow(sessionOf(600), wall, BootInstant{"B", 1250}), wall);
}

TEST(SessionClock, AnchoringCarriesOverOnlyTheTimeThatCanHaveElapsed) {
  const struct {
    double wallOffset;
    double elapsed;
  } cases[] = {{120, 120}, {-3600 * 24 * 365, 0}, {10 * 86400, 600}};
  for (const auto& c : cases) {
    const OfflineSession anchored =
        anchoredToBoot(sessionOf(600), addSeconds(kStart, c.wallOffset), BootInstant{"B", 40});
    EXPECT_EQ(anchored.bootID, "B");
    EXPECT_DOUBLE_EQ(*anchored.bootTimeAtStart, 40 - c.elapsed) << c.wallOffset;
    EXPECT_TRUE(anchoredIn(anchored, BootInstant{"B", 40}));
  }
}

TEST(SessionClock, TheAnchorTravelsWithTheRecordOnlyAsAPair) {
  OfflineSession session = sessionOf(600);
  session.bootID = "0f3c9d52-5a5e-4b57-9e0e-8c3ac1d7f3a1";
  session.bootTimeAtStart = 1234.5;
  EXPECT_EQ(decodeSession(encodeSession(session)), session);

  std::string half = encodeSession(sessionOf(600));
  half.insert(half.size() - 1, ",\"bootID\":\"B\"");
  const OfflineSession decoded = decodeSession(half);
  EXPECT_FALSE(decoded.bootID.has_value());
  EXPECT_FALSE(decoded.bootTimeAtStart.has_value());
}

TEST(SessionClock, ReadsTheKernelsBootClock) {
  const std::optional<BootInstant> first = readBootClock();
  if (!first) GTEST_SKIP() << "no boot ID here";
  EXPECT_EQ(first->bootID.size(), 36u);
  const std::optional<BootInstant> second = readBootClock();
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->bootID, first->bootID);
  EXPECT_GE(second->seconds, first->seconds);
}

}  // namespace
}  // namespace nubrik
