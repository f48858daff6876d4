#include "core/recurring_schedule.hpp"

#include <gtest/gtest.h>

#include "core/json_fields.hpp"

namespace nubrik {
namespace {

const RecurringSchedule kWorkday{"A", {2, 3, 4, 5, 6}, 540, 60, true};

TEST(RecurringSchedule, ValidityChecksEveryRangeInclusively) {
  const std::pair<RecurringSchedule, bool> cases[] = {
      {kWorkday, true},
      {{"x", {1, 7}, 1439, 5, false}, true},
      {{"x", {1}, 0, 1440, true}, true},
      {{"", {1}, 0, 60, true}, false},
      {{"x", {}, 0, 60, true}, false},
      {{"x", {0, 1}, 0, 60, true}, false},
      {{"x", {7, 8}, 0, 60, true}, false},
      {{"x", {1}, -1, 60, true}, false},
      {{"x", {1}, 1440, 60, true}, false},
      {{"x", {1}, 0, 4, true}, false},
      {{"x", {1}, 0, 1441, true}, false},
  };
  for (const auto& [schedule, valid] : cases) EXPECT_EQ(schedule.isValid(), valid) << schedule.id;
}

TEST(RecurringSchedule, PayloadRoundTripsAndRejectsWrongTypes) {
  const std::string encoded = encodeSchedules({kWorkday});
  EXPECT_EQ(encoded, R"([{"id":"A","weekdays":[2,3,4,5,6],"startMinute":540,)"
                     R"("durationMinutes":60,"isEnabled":true}])");
  EXPECT_EQ(decodeSchedules(encoded), std::vector<RecurringSchedule>{kWorkday});
  // Decoding does not judge validity; repeated weekdays collapse and unknown keys are ignored.
  EXPECT_EQ(decodeSchedules(R"([{"id":"","weekdays":[9,9,1],"startMinute":-5,)"
                            R"("durationMinutes":0,"isEnabled":false,"colour":"red"}])"),
            (std::vector<RecurringSchedule>{{"", {1, 9}, -5, 0, false}}));

  for (const char* payload : {
           "not json",
           R"({"id":"A"})",
           R"([{"weekdays":[1],"startMinute":0,"durationMinutes":60,"isEnabled":true}])",
           R"([{"id":"A","weekdays":[1],"startMinute":0,"durationMinutes":60,"isEnabled":1}])",
           R"([{"id":"A","weekdays":[1.5],"startMinute":0,"durationMinutes":60,"isEnabled":true}])",
           R"([{"id":"A","weekdays":[1],"startMinute":0,"durationMinutes":null,"isEnabled":true}])",
       }) {
    EXPECT_THROW(decodeSchedules(payload), DecodingError) << payload;
  }
}

TEST(ScheduleState, FiredWindowsAreReferenceSecondsAndBothKeysAreRequired) {
  // Monday 2026-01-05 09:00 in Central European Time is 08:00 UTC.
  const ScheduleState state{{kWorkday}, {{"A", dateFromReferenceSeconds(789292800)}}};
  const std::string encoded = encodeScheduleState(state);
  EXPECT_NE(encoded.find(R"("firedWindows":{"A":789292800.0})"), std::string::npos) << encoded;
  EXPECT_EQ(decodeScheduleState(encoded), state);
  EXPECT_THROW(decodeScheduleState(R"({"schedules":[]})"), DecodingError);
  EXPECT_THROW(decodeScheduleState(R"({"firedWindows":{}})"), DecodingError);
  EXPECT_THROW(decodeScheduleState(R"({"schedules":[],"firedWindows":{"A":"x"}})"), DecodingError);
}

}  // namespace
}  // namespace nubrik
