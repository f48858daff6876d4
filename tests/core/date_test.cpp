#include "core/date.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace nubrik {
namespace {

using std::chrono::microseconds;
using std::chrono::seconds;

TEST(DateText, FormatsUtcWholeSecondsTruncatingTowardTheEarlierSecond) {
  const Date date = dateFromUnixSeconds(1796489491.9);  // 2026-12-05 16:51:31.9 UTC
  EXPECT_EQ(iso8601UTC(date), "2026-12-05T16:51:31Z");
  EXPECT_EQ(utcTimestampWithOffset(date), "2026-12-05 16:51:31 +0000");
  // Before 1970 the fraction still belongs to the earlier second.
  EXPECT_EQ(iso8601UTC(dateFromUnixSeconds(-0.5)), "1969-12-31T23:59:59Z");
  EXPECT_EQ(iso8601UTC(Date::max()), "2262-04-11T23:47:16Z");
}

TEST(DateConversion, ReferenceDateIsTheStartOf2001) {
  EXPECT_EQ(dateFromReferenceSeconds(0), dateFromUnixSeconds(978307200));
  EXPECT_EQ(iso8601UTC(dateFromReferenceSeconds(0)), "2001-01-01T00:00:00Z");
  EXPECT_DOUBLE_EQ(secondsSinceReferenceDate(dateFromUnixSeconds(978307260.25)), 60.25);
  EXPECT_EQ(addSeconds(dateFromReferenceSeconds(0), -0.25), dateFromReferenceSeconds(-0.25));
}

TEST(DateConversion, MicrosecondDatesSurviveTheStoredForm) {
  const Date base = dateFromUnixSeconds(1796489491);
  for (const auto offset : {microseconds(0), microseconds(1), microseconds(123456),
                            microseconds(999999), microseconds(-7)}) {
    const Date date = base + offset;
    EXPECT_EQ(dateFromReferenceSeconds(secondsSinceReferenceDate(date)), date);
    EXPECT_EQ(dateFromUnixSeconds(secondsSince1970(date)), date);
  }
}

TEST(DateConversion, OutOfRangeSecondsSaturateInsteadOfOverflowing) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(dateFromReferenceSeconds(1e300), Date::max());
  EXPECT_EQ(dateFromReferenceSeconds(-1e300), Date::min());
  EXPECT_EQ(dateFromUnixSeconds(inf), Date::max());
  EXPECT_EQ(dateFromUnixSeconds(-inf), Date::min());
  EXPECT_EQ(dateFromUnixSeconds(std::nan("")), Date{});
  EXPECT_EQ(addSeconds(Date::max() - seconds(1), 10), Date::max());
  EXPECT_EQ(addSeconds(Date::min() + seconds(1), -10), Date::min());
  EXPECT_EQ(addSeconds(Date{}, 1e300), Date::max());

  const double span = secondsBetween(Date::min(), Date::max());
  EXPECT_TRUE(std::isfinite(span));
  EXPECT_GT(span, 1.8e10);
  EXPECT_DOUBLE_EQ(secondsBetween(Date::max(), Date::min()), -span);
}

}  // namespace
}  // namespace nubrik
