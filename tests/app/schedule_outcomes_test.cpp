#include "app/schedule_outcomes.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nubrik {
namespace {

const std::string validPayload =
    R"([{"id":"A","weekdays":[2,4],"startMinute":540,"durationMinutes":90,"isEnabled":true}])";

TEST(ScheduleLoadOutcome, ReplyTable) {
  struct Case {
    std::int64_t code;
    std::string payload;
    std::string message;
    ScheduleLoadOutcome expected;
  };
  const std::vector<Case> cases = {
      {0, validPayload, "Schedules saved.",
       ScheduleLoadOutcome::loaded({RecurringSchedule{"A", {2, 4}, 540, 90, true}})},
      {0, "[]", "", ScheduleLoadOutcome::loaded({})},
      // Code 0 with anything but an array of schedules is a helper fault, whatever it says.
      {0, "", "Schedules saved.",
       ScheduleLoadOutcome::failed("The helper returned schedules in an unexpected format.")},
      {0, R"([{"id":"A"}])", "",
       ScheduleLoadOutcome::failed("The helper returned schedules in an unexpected format.")},
      // A known failure code: the message, or that code's own text (the texts are the wire
      // contract's, checked there).
      {5, "", "", ScheduleLoadOutcome::failed("The helper could not save the schedules.")},
      {1, "", "custom", ScheduleLoadOutcome::failed("custom")},
      // An unknown code never shows the helper's text.
      {6, validPayload, "custom",
       ScheduleLoadOutcome::failed("Helper returned an unrecognized response.")},
      {-1, "", "", ScheduleLoadOutcome::failed("Helper returned an unrecognized response.")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scheduleLoadOutcome(c.code, c.payload, c.message), c.expected)
        << c.code << " " << c.payload << " " << c.message;
  }
}

TEST(ScheduleSaveOutcome, ReplyTable) {
  struct Case {
    std::int64_t code;
    std::string message;
    ScheduleSaveOutcome expected;
  };
  const std::vector<Case> cases = {
      {0, "Schedules saved.", ScheduleSaveOutcome::saved()},
      {1, "", ScheduleSaveOutcome::refused("The schedules were not valid.")},
      {5, "", ScheduleSaveOutcome::refused("The helper could not save the schedules.")},
      {2, "custom", ScheduleSaveOutcome::refused("custom")},
      {6, "custom", ScheduleSaveOutcome::refused("Helper returned an unrecognized response.")},
      {-7, "", ScheduleSaveOutcome::refused("Helper returned an unrecognized response.")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scheduleSaveOutcome(c.code, c.message), c.expected) << c.code << " " << c.message;
  }
}

TEST(EncodeSchedulesPayload, RoundTripsAndRefusesWhatCannotBeSent) {
  const std::vector<RecurringSchedule> schedules = {RecurringSchedule{"A", {1}, 0, 5, false},
                                                    RecurringSchedule{"B", {7}, 1439, 1440, true}};
  const auto payload = encodeSchedulesPayload(schedules);
  ASSERT_TRUE(payload);
  EXPECT_EQ(decodeSchedules(*payload), schedules);
  EXPECT_EQ(encodeSchedulesPayload({}), "[]");
  EXPECT_EQ(encodeSchedulesPayload({RecurringSchedule{std::string(70000, 'x'), {1}, 0, 5, true}}),
            std::nullopt);
  // Text that is not UTF-8 has no JSON form.
  EXPECT_EQ(encodeSchedulesPayload({RecurringSchedule{"\xff", {1}, 0, 5, true}}), std::nullopt);
}

}  // namespace
}  // namespace nubrik
