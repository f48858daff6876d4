#include "app/help_guide.hpp"

#include <algorithm>
#include <cctype>
#include <exception>

#include "core/file_read.hpp"
#include "core/utf8_text.hpp"

namespace nubrik {

namespace {

bool isBlank(std::string_view line) {
  for (const char c : line) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\v' && c != '\f') return false;
  }
  return true;
}

// Where a backslash keeps `line` from opening a block in Markdown (a quote, a heading, a list item,
// a rule or a fence), or npos when it opens none.
std::size_t blockMarkerPosition(std::string_view line) {
  if (line.empty()) return std::string_view::npos;
  const char first = line.front();
  if (first == '>' || first == '#') return 0;
  if (first == '-' || first == '+' || first == '*') {
    if (line.size() == 1 || line[1] == ' ' || line[1] == '\t') return 0;
  }
  if (first == '-' || first == '*' || first == '_') {
    // A rule: three or more of the same mark, spaces and tabs between.
    std::size_t marks = 0;
    bool onlyMarks = true;
    for (const char c : line) {
      if (c == first) {
        ++marks;
      } else if (c != ' ' && c != '\t') {
        onlyMarks = false;
      }
    }
    if (onlyMarks && marks >= 3) return 0;
  }
  if (line.starts_with("~~~") || line.starts_with("```")) return 0;
  std::size_t digits = 0;
  while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[digits])) != 0) {
    ++digits;
  }
  // An ordered list item: up to nine digits, then "." or ")" and a space or the end.
  if (digits > 0 && digits <= 9 && digits < line.size() &&
      (line[digits] == '.' || line[digits] == ')') &&
      (digits + 1 == line.size() || line[digits + 1] == ' ' || line[digits + 1] == '\t')) {
    return digits;
  }
  return std::string_view::npos;
}

}  // namespace

std::vector<HelpGuideLine> helpGuideLines(std::string_view text) {
  std::vector<HelpGuideLine> lines;
  bool inCode = false;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;

    if (line.starts_with("```")) {
      inCode = !inCode;
    } else if (inCode) {
      lines.push_back({HelpGuideLine::Kind::code, std::string(line)});
    } else if (line.starts_with('#')) {
      const std::size_t first = line.find_first_not_of("# ");
      lines.push_back({HelpGuideLine::Kind::heading, first == std::string_view::npos
                                                         ? std::string()
                                                         : std::string(line.substr(first))});
    } else if (!isBlank(line)) {
      lines.push_back({HelpGuideLine::Kind::body, std::string(line)});
    }
  }
  return lines;
}

std::string helpGuideFallback() {
  return "The help guide could not be loaded. Email " + std::string(nubrikSupportAddress) +
         " for help. If your computer is offline, send it from your phone.";
}

std::optional<std::string> helpGuideText(const std::string& path) {
  std::string text;
  try {
    text = readWholeFile(path, helpGuideSizeLimit);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  if (text.empty() || !isValidUtf8(text)) return std::nullopt;
  return text;
}

std::string inlineMarkdownSource(std::string_view line) {
  static constexpr std::string_view noBreakSpace = "\u00A0";
  std::string source;
  std::size_t i = 0;
  for (; i < line.size() && (line[i] == ' ' || line[i] == '\t'); ++i) {
    // A tab stands for the spaces up to the next multiple of four.
    const std::size_t count = line[i] == '\t' ? 4 - (source.size() / noBreakSpace.size()) % 4 : 1;
    for (std::size_t n = 0; n < count; ++n) source += noBreakSpace;
  }
  const std::string_view rest = line.substr(i);
  const std::size_t marker = blockMarkerPosition(rest);
  if (marker == std::string_view::npos) {
    source += rest;
  } else {
    source += rest.substr(0, marker);
    source += '\\';
    source += rest.substr(marker);
  }
  return source;
}

}  // namespace nubrik
