#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nubrik {

// Where a person writes when the help guide does not help.
inline constexpr std::string_view nubrikSupportAddress = "support@nubrik.app";

// The largest help guide the app reads; anything longer is not the guide it ships.
inline constexpr std::size_t helpGuideSizeLimit = 1024 * 1024;

// One line of the help guide as the help sheet shows it.
struct HelpGuideLine {
  enum class Kind { heading, code, body };
  Kind kind;
  std::string text;

  bool operator==(const HelpGuideLine&) const = default;
};

// The guide's Markdown cut into lines to show: a line beginning with "```" opens or closes a code
// block and is not shown; inside a code block every line is code as it stands, blank ones too;
// outside, a line beginning with "#" is a heading without its leading "#" and spaces, a blank
// line is dropped, and every other line is body text as it stands.
std::vector<HelpGuideLine> helpGuideLines(std::string_view text);

// What the help sheet shows when there is no guide to show.
std::string helpGuideFallback();

// The guide at `path`, read as UTF-8; none when it is missing, unreadable, empty, longer than
// helpGuideSizeLimit or not UTF-8 (the sheet then shows the fallback).
std::optional<std::string> helpGuideText(const std::string& path);

// A body line made ready for a reader of inline Markdown that would otherwise take some lines
// for blocks: leading spaces and tabs become no-break spaces (kept, and never an indented code
// block), and a block marker at the start (a list bullet or number, a quote, a heading, a rule,
// a table) is escaped so that it shows as written.
std::string inlineMarkdownSource(std::string_view line);

}  // namespace nubrik
