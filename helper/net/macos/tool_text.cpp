#include "helper/net/macos/tool_text.hpp"

#include <cstdint>

namespace nubrik::macos {

namespace {

bool isCombiningMark(char32_t c) {
  return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) ||
         (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
         (c >= 0xFE20 && c <= 0xFE2F);
}

bool inRange(char32_t c, char32_t low, char32_t high) {
  return c >= low && c <= high;
}

char32_t lowercased(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 0x20;
  if (c < 0x80) return c;
  if (inRange(c, 0xC0, 0xDE) && c != 0xD7) return c + 0x20;
  if (inRange(c, 0x100, 0x17F)) {
    if (c == 0x130) return U'i';
    if (c == 0x178) return 0xFF;
    if (c == 0x17F) return U's';
    if (c == 0x131 || c == 0x138 || c == 0x149) return c;
    const bool oddIsUpper = inRange(c, 0x139, 0x148) || inRange(c, 0x179, 0x17E);
    const bool isUpper = oddIsUpper ? (c % 2 == 1) : (c % 2 == 0);
    return isUpper ? c + 1 : c;
  }
  if (inRange(c, 0x391, 0x3A9) && c != 0x3A2) return c + 0x20;
  if (inRange(c, 0x410, 0x42F)) return c + 0x20;
  if (inRange(c, 0x400, 0x40F)) return c + 0x50;
  return c;
}

// Base letters of the precomposed Latin letters, '.' where a letter has no canonical
// decomposition (strokes, ligatures, dotless forms).
constexpr std::string_view latin1LowerBases = "aaaaaa.ceeeeiiii.nooooo..uuuuy.y";  // U+00E0..
constexpr std::string_view latinExtendedABases =
    "AaAaAaCcCcCcCcDd..EeEeEeEeEeGgGgGgGgHh..IiIiIiIiI...JjKk.LlLlLl....NnNnNn...OoOo"
    "Oo..RrRrRrSsSsSsSsTtTt..UuUuUuUuUuUuWwYyYZzZzZz.";  // U+0100..U+017F
static_assert(latin1LowerBases.size() == 0x20 && latinExtendedABases.size() == 0x80);

char32_t withoutDiacritic(char32_t c) {
  char base = '.';
  if (inRange(c, 0xE0, 0xFF)) {
    base = latin1LowerBases[c - 0xE0];
  } else if (inRange(c, 0x100, 0x17F)) {
    base = latinExtendedABases[c - 0x100];
  }
  if (base == '.') return c;
  return lowercased(static_cast<char32_t>(base));
}

std::string asciiLowercased(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
  }
  return out;
}

}  // namespace

bool isHorizontalSpace(char32_t c) {
  return c == U' ' || c == U'\t' || c == 0xA0 || c == 0x1680 || inRange(c, 0x2000, 0x200A) ||
         c == 0x202F || c == 0x205F || c == 0x3000;
}

bool isSpaceOrNewline(char32_t c) {
  return isHorizontalSpace(c) || inRange(c, 0x0A, 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

namespace {

std::string trimWith(std::string_view text, bool (*isTrimmed)(char32_t)) {
  size_t begin = 0;
  while (begin < text.size()) {
    char32_t scalar = 0;
    const size_t length = decodeUtf8Scalar(text, begin, scalar);
    if (length == 0 || !isTrimmed(scalar)) break;
    begin += length;
  }
  size_t end = text.size();
  while (end > begin) {
    // Step back to the lead byte of the last scalar (at most four bytes).
    size_t start = end - 1;
    while (start > begin && end - start < 4 &&
           (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
      --start;
    }
    char32_t scalar = 0;
    const size_t length = decodeUtf8Scalar(text, start, scalar);
    if (length != end - start || !isTrimmed(scalar)) break;
    end = start;
  }
  return std::string(text.substr(begin, end - begin));
}

}  // namespace

std::string trimSpaces(std::string_view text) {
  return trimWith(text, isHorizontalSpace);
}

std::string trimSpacesAndNewlines(std::string_view text) {
  return trimWith(text, isSpaceOrNewline);
}

bool isAlphanumericScalar(char32_t c) {
  if (c < 0x80) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  }
  if (c < 0xA0) return false;  // C1 controls
  if (c < 0xC0) {
    // Latin-1 punctuation and symbols, except the ordinal indicators, micro sign, superscript
    // digits and vulgar fractions, which are letters and numbers.
    return c == 0xAA || c == 0xB2 || c == 0xB3 || c == 0xB5 || c == 0xB9 || c == 0xBA ||
           inRange(c, 0xBC, 0xBE);
  }
  if (c == 0xD7 || c == 0xF7) return false;
  if ((c & 0xFFFE) == 0xFFFE || inRange(c, 0xFDD0, 0xFDEF)) return false;  // noncharacters
  struct Range {
    char32_t low;
    char32_t high;
  };
  // Spaces, punctuation, symbols, format characters and private use outside Latin-1.
  static constexpr Range excluded[] = {
      {0x037E, 0x037E},    {0x0387, 0x0387}, {0x055A, 0x055F},   {0x0589, 0x058A},
      {0x05BE, 0x05BE},    {0x05C0, 0x05C0}, {0x05C3, 0x05C3},   {0x05C6, 0x05C6},
      {0x05F3, 0x05F4},    {0x0600, 0x060F}, {0x061B, 0x061F},   {0x066A, 0x066D},
      {0x06D4, 0x06D4},    {0x0964, 0x0965}, {0x0E3F, 0x0E3F},   {0x0E4F, 0x0E4F},
      {0x0E5A, 0x0E5B},    {0x1680, 0x1680}, {0x180E, 0x180E},   {0x2000, 0x206F},
      {0x20A0, 0x20CF},    {0x2190, 0x245F}, {0x2500, 0x2775},   {0x2794, 0x2BFF},
      {0x2E00, 0x2E7F},    {0x3000, 0x3004}, {0x3008, 0x3020},   {0x3030, 0x3030},
      {0x303D, 0x303F},    {0xD800, 0xF8FF}, {0xFE10, 0xFE1F},   {0xFE30, 0xFE6F},
      {0xFEFF, 0xFEFF},    {0xFF00, 0xFF0F}, {0xFF1A, 0xFF20},   {0xFF3B, 0xFF40},
      {0xFF5B, 0xFF65},    {0xFFF0, 0xFFFF}, {0x1F000, 0x1FAFF}, {0xE0000, 0xE007F},
      {0xF0000, 0x10FFFF},
  };
  for (const Range& range : excluded) {
    if (inRange(c, range.low, range.high)) return false;
  }
  return c <= 0x10FFFF;
}

std::u32string foldForMatching(std::u32string_view text, bool ignoreDiacritics) {
  std::u32string out;
  out.reserve(text.size());
  for (const char32_t c : text) {
    if (ignoreDiacritics && isCombiningMark(c)) continue;
    char32_t folded = lowercased(c);
    if (ignoreDiacritics) folded = withoutDiacritic(folded);
    out.push_back(folded);
  }
  return out;
}

bool containsFolded(std::string_view haystack, std::string_view needle, bool ignoreDiacritics) {
  const std::optional<std::u32string> decoded = decodeUtf8(haystack);
  if (!decoded) return asciiLowercased(haystack).find(asciiLowercased(needle)) != std::string::npos;
  const std::u32string foldedHaystack = foldForMatching(*decoded, ignoreDiacritics);
  std::u32string foldedNeedle;
  for (const char c : needle) foldedNeedle.push_back(static_cast<unsigned char>(c));
  foldedNeedle = foldForMatching(foldedNeedle, ignoreDiacritics);
  return foldedHaystack.find(foldedNeedle) != std::u32string::npos;
}

}  // namespace nubrik::macos
