#include "app/duration.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string>

namespace nubrik {

namespace {

// Tabs and the Unicode space separators, in UTF-8. Line breaks are not blanks here.
constexpr std::array<std::string_view, 17> blanks = {
    " ",
    "\t",
    "\xC2\xA0",
    "\xE1\x9A\x80",
    "\xE2\x80\x80",
    "\xE2\x80\x81",
    "\xE2\x80\x82",
    "\xE2\x80\x83",
    "\xE2\x80\x84",
    "\xE2\x80\x85",
    "\xE2\x80\x86",
    "\xE2\x80\x87",
    "\xE2\x80\x88",
    "\xE2\x80\x89",
    "\xE2\x80\x8A",
    "\xE2\x80\xAF",
    "\xE2\x81\x9F",
};
constexpr std::string_view ideographicSpace = "\xE3\x80\x80";

std::size_t leadingBlank(std::string_view text) {
  for (const std::string_view blank : blanks) {
    if (text.starts_with(blank)) return blank.size();
  }
  return text.starts_with(ideographicSpace) ? ideographicSpace.size() : 0;
}

std::size_t trailingBlank(std::string_view text) {
  for (const std::string_view blank : blanks) {
    if (text.ends_with(blank)) return blank.size();
  }
  return text.ends_with(ideographicSpace) ? ideographicSpace.size() : 0;
}

std::string_view trimmed(std::string_view text) {
  while (std::size_t size = leadingBlank(text)) text.remove_prefix(size);
  while (std::size_t size = trailingBlank(text)) text.remove_suffix(size);
  return text;
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::optional<std::int64_t> parseInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t magnitude = 0;
  constexpr std::uint64_t limit = std::uint64_t{1} << 63;
  for (const char c : text) {
    if (!isDigit(c)) return std::nullopt;
    if (magnitude > (limit - static_cast<std::uint64_t>(c - '0')) / 10) return std::nullopt;
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (negative) {
    return magnitude == limit ? std::numeric_limits<std::int64_t>::min()
                              : -static_cast<std::int64_t>(magnitude);
  }
  if (magnitude == limit) return std::nullopt;
  return static_cast<std::int64_t>(magnitude);
}

namespace {

std::optional<std::int64_t> colonForm(std::string_view text, std::size_t colon) {
  const std::string_view hoursText = text.substr(0, colon);
  const std::string_view minutesText = text.substr(colon + 1);
  if (hoursText.empty() || minutesText.empty()) return std::nullopt;
  const auto hours = parseInteger(hoursText);
  const auto minutes = parseInteger(minutesText);
  if (!hours || !minutes || *hours < 0 || *minutes < 0 || *minutes > 59) return std::nullopt;
  std::int64_t value = 0;
  if (__builtin_mul_overflow(*hours, 60, &value) ||
      __builtin_add_overflow(value, *minutes, &value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::int64_t> unitForm(std::string_view text) {
  std::string buffer;
  std::int64_t total = 0;
  bool sawHours = false;
  bool sawMinutes = false;
  for (const char c : text) {
    if (isDigit(c)) {
      buffer.push_back(c);
      if (!parseInteger(buffer)) return std::nullopt;
    } else if (c == ' ') {
      continue;
    } else if (c == 'h' || c == 'm') {
      bool& seen = c == 'h' ? sawHours : sawMinutes;
      if (seen || buffer.empty()) return std::nullopt;
      std::int64_t value = *parseInteger(buffer);
      if (c == 'h' && __builtin_mul_overflow(value, 60, &value)) return std::nullopt;
      if (__builtin_add_overflow(total, value, &total)) return std::nullopt;
      seen = true;
      buffer.clear();
    } else {
      return std::nullopt;
    }
  }
  if (!buffer.empty()) {
    // Only "1h30" leaves a bare number that can be read as minutes.
    if (!sawHours || sawMinutes) return std::nullopt;
    if (__builtin_add_overflow(total, *parseInteger(buffer), &total)) return std::nullopt;
  }
  return total;
}

}  // namespace

std::optional<int> parseDuration(std::string_view text) {
  std::string lowered(trimmed(text));
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  std::optional<std::int64_t> minutes;
  if (const std::size_t colon = lowered.find(':'); colon != std::string::npos) {
    minutes = colonForm(lowered, colon);
  } else if (const auto plain = parseInteger(lowered)) {
    minutes = plain;
  } else {
    minutes = unitForm(lowered);
  }
  if (!minutes || *minutes < minimumSessionMinutes || *minutes > maximumSessionMinutes) {
    return std::nullopt;
  }
  return static_cast<int>(*minutes);
}

std::string durationDisplay(int minutes) {
  if (minutes < 60) return std::to_string(minutes) + " min";
  const std::string hours = std::to_string(minutes / 60) + " hr";
  if (minutes % 60 == 0) return hours;
  return hours + " " + std::to_string(minutes % 60) + " min";
}

int steppedDuration(int minutes, bool increase) {
  constexpr int step = 5;
  // Clamp before stepping so that no input, however far out of range, can overflow.
  const int current =
      std::clamp(minutes, minimumSessionMinutes - step, maximumSessionMinutes + step);
  return std::clamp(increase ? current + step : current - step, minimumSessionMinutes,
                    maximumSessionMinutes);
}

}  // namespace nubrik
