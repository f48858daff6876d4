#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nubrik {

// The shortest and longest session a user can ask for, in minutes.
inline constexpr int minimumSessionMinutes = 5;
inline constexpr int maximumSessionMinutes = 1440;

// A typed session duration in minutes, or none when the text is not one. Accepted forms, after
// trimming blanks and ignoring case: hours:minutes ("1:15"), plain minutes ("90"), and numbers with
// the units h and m ("1h30m", "1h 30", "45m"; each unit at most once, a bare trailing number only
// after h). The result lies in 5...1440.
std::optional<int> parseDuration(std::string_view text);

// A base-10 integer: an optional sign, then one or more digits, nothing else, within int64; none
// otherwise. Every typed number of the app goes through this one reading.
std::optional<std::int64_t> parseInteger(std::string_view text);

// A duration for people: "45 min", "2 hr", "1 hr 15 min".
std::string durationDisplay(int minutes);

// One 5-minute step up or down, kept within minimumSessionMinutes...maximumSessionMinutes.
int steppedDuration(int minutes, bool increase);

}  // namespace nubrik
