#include "app/duration.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace nubrik {
namespace {

TEST(ParseDuration, Table) {
  struct Case {
    std::string text;
    std::optional<int> minutes;
  };
  const std::vector<Case> cases = {
      // The documented examples.
      {"90", 90},
      {"1:15", 75},
      {"1h", 60},
      {"1h30m", 90},
      {"1h 30", 90},
      {"24:00", 1440},
      {"4", std::nullopt},
      {"0:04", std::nullopt},
      {"1:60", std::nullopt},
      {"1:-5", std::nullopt},
      {"24:01", std::nullopt},
      {"1h1h", std::nullopt},
      {"30m5", std::nullopt},
      {"abc", std::nullopt},
      {"", std::nullopt},
      // Bounds in every form.
      {"5", 5},
      {"1440", 1440},
      {"1441", std::nullopt},
      {"0:05", 5},
      {"5m", 5},
      {"4m", std::nullopt},
      {"24h", 1440},
      {"23h60m", 1440},
      {"23h61m", std::nullopt},
      {"1440m", 1440},
      {"1441m", std::nullopt},
      // Blanks and case.
      {"  90  ", 90},
      {"\t90\t", 90},
      {"\xC2\xA0"
       "90\xE3\x80\x80",
       90},
      {"90\n", std::nullopt},
      {"1H30M", 90},
      {"1 h 30 m", 90},
      {"1h\t30", std::nullopt},
      // Colon form details.
      {"1:5", 65},
      {"+1:+5", 65},
      {"-0:05", 5},
      {"-1:30", std::nullopt},
      {":30", std::nullopt},
      {"1:", std::nullopt},
      {"1:2:3", std::nullopt},
      {"1: 30", std::nullopt},
      // Plain form takes a sign, the unit form does not.
      {"+90", 90},
      {"-90", std::nullopt},
      {"+1h", std::nullopt},
      // Unit form details.
      {"30m1h", 90},
      {"2m30", std::nullopt},
      {"h", std::nullopt},
      {"m30", std::nullopt},
      {"1 30", std::nullopt},
      {"1h30m30", std::nullopt},
      {"1.5h", std::nullopt},
      {"\xD9\xA3h", std::nullopt},
      // Huge numbers are invalid, never wrapped around into range.
      {"9223372036854775807", std::nullopt},
      {"9223372036854775808", std::nullopt},
      {"153722867280912930:5", std::nullopt},
      {"307445734561825860h", std::nullopt},
      {"99999999999999999999m", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parseDuration(c.text), c.minutes) << "\"" << c.text << "\"";
  }
}

}  // namespace
}  // namespace nubrik
