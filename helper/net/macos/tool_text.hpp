#pragma once

// Text rules the tool-output parsers rely on: UTF-8 decoding, the tools' notion of white space,
// and the case- and diacritic-insensitive matching used to recognise names.

#include <optional>
#include <string>
#include <string_view>

#include "core/utf8_text.hpp"

namespace nubrik::macos {

// Space separators (U+0020, U+00A0, U+1680, U+2000..U+200A, U+202F, U+205F, U+3000) and tab.
bool isHorizontalSpace(char32_t scalar);
// The above plus the line breaks U+000A..U+000D, U+0085, U+2028 and U+2029.
bool isSpaceOrNewline(char32_t scalar);

// `text` without leading and trailing horizontal space (spaces and tabs; line breaks are kept).
std::string trimSpaces(std::string_view text);
// `text` without leading and trailing horizontal space and line breaks.
std::string trimSpacesAndNewlines(std::string_view text);

// Whether the scalar counts as a letter, mark or digit. Exact for ASCII and Latin-1; above that
// an approximation that takes every assigned-looking scalar as alphanumeric except the blocks of
// spaces, punctuation, symbols, controls, private use and noncharacters listed in the source.
bool isAlphanumericScalar(char32_t scalar);

// Simple case folding (ASCII, Latin-1, Latin Extended-A, basic Greek and Cyrillic). With
// `ignoreDiacritics`, combining marks are dropped and precomposed Latin letters lose their marks.
std::u32string foldForMatching(std::u32string_view text, bool ignoreDiacritics);

// Whether `needle` (ASCII) occurs in `haystack` ignoring case, and optionally diacritics.
// A haystack that is not UTF-8 is matched byte-wise with ASCII case folding only.
bool containsFolded(std::string_view haystack, std::string_view needle, bool ignoreDiacritics);

}  // namespace nubrik::macos
