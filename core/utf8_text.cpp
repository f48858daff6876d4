#include "core/utf8_text.hpp"

namespace nubrik {

size_t decodeUtf8Scalar(std::string_view text, size_t pos, char32_t& scalar) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) {
    scalar = lead;
    return 1;
  }
  size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    value = lead & 0x1F;
    minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    value = lead & 0x0F;
    minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    value = lead & 0x07;
    minimum = 0x10000;
  } else {
    return 0;
  }
  if (pos + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    const unsigned char next = byte(pos + i);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  scalar = value;
  return length;
}

std::optional<std::u32string> decodeUtf8(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    char32_t scalar = 0;
    const size_t length = decodeUtf8Scalar(text, pos, scalar);
    if (length == 0) return std::nullopt;
    out.push_back(scalar);
    pos += length;
  }
  return out;
}

bool isValidUtf8(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    char32_t scalar = 0;
    const size_t length = decodeUtf8Scalar(text, pos, scalar);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

}  // namespace nubrik
