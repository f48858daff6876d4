#include "app/duration.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/duration_stepper.hpp"

namespace nubrik {
namespace {

TEST(ParseDuration, Table) {
  // The documented examples, the bounds in every form, blanks and case, and the details of the
  // colon, plain (signed) and unit forms.
  const std::vector<std::pair<std::string, int>> valid = {
      {"90", 90},      {"1:15", 75},  {"1h", 60},       {"1h30m", 90}, {"1h 30", 90},
      {"24:00", 1440}, {"5", 5},      {"23h60m", 1440}, {"0h5m", 5},   {"+5", 5},
      {"\t90\t", 90},  {"1H30M", 90}, {"1 h 30 m", 90}, {"1:5", 65},   {"+1:+5", 65},
      {"-0:05", 5},    {"30m1h", 90}};
  for (const auto& [text, minutes] : valid) EXPECT_EQ(parseDuration(text), minutes) << text;
  EXPECT_EQ(parseDuration("\xC2\xA0"
                          "90\xE3\x80\x80"),
            90);
  const std::vector<std::string> invalid = {
      "4",   "0:04",  "1:60",   "1:-5", "24:01", "1h1h", "30m5",   "abc",
      "",    "1441",  "23h61m", "0h4m", "24h1",  "90\n", "1h\t30", "-1:30",
      ":30", "1:2:3", "-90",    "+1h",  "m30",   "1 30", "1.5h",   "\xD9\xA3h"};
  for (const auto& text : invalid) EXPECT_EQ(parseDuration(text), std::nullopt) << text;
  // Huge numbers are invalid, never wrapped around into range.
  for (const std::string text :
       {"9223372036854775807", "9223372036854775808", "153722867280912930:5", "307445734561825860h",
        "99999999999999999999m"})
    EXPECT_EQ(parseDuration(text), std::nullopt) << text;
}

TEST(DurationDisplay, Table) {
  const std::vector<std::pair<int, std::string>> cases = {
      {5, "5 min"},        {59, "59 min"},  {60, "1 hr"},           {75, "1 hr 15 min"},
      {125, "2 hr 5 min"}, {1440, "24 hr"}, {1439, "23 hr 59 min"},
  };
  for (const auto& [minutes, text] : cases) EXPECT_EQ(durationDisplay(minutes), text) << minutes;
}

TEST(SteppedDuration, StepsByFiveWithinBounds) {
  struct Case {
    int minutes;
    bool increase;
    int result;
  };
  const std::vector<Case> cases = {
      {30, true, 35},     {30, false, 25}, {5, false, 5},         {6, false, 5},
      {1438, true, 1440}, {0, true, 5},    {100000, false, 1440},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(steppedDuration(c.minutes, c.increase), c.result)
        << c.minutes << (c.increase ? " up" : " down");
  }
}

Date at(std::int64_t milliseconds) {
  return dateFromReferenceSeconds(800000000.0) + std::chrono::milliseconds(milliseconds);
}

TEST(DurationStepper, EachStepIsClamped) {
  DurationStepper stepper;
  int minutes = 1440;
  for (int press = 1; press <= 30; ++press)
    minutes = stepper.press(minutes, false, at(press * 100));
  // 9 x 5 + 12 x 10 + 9 x 20 minutes down.
  EXPECT_EQ(minutes, 1440 - 345);
  DurationStepper fast;
  minutes = 20;
  for (int press = 1; press <= 30; ++press) minutes = fast.press(minutes, false, at(press * 100));
  EXPECT_EQ(minutes, 5);
  // Four steps from 1430 reach the top after two and stay there.
  EXPECT_EQ(fast.press(1430, true, at(3050)), 1440);
}

}  // namespace
}  // namespace nubrik
