#pragma once

// Well-formed UTF-8, as every record and every bus string of the system requires it. Names the
// system reports (links, radio switches, tool output) are bytes until checked here.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace nubrik {

// The Unicode scalars of `text`, or nullopt when it is not well-formed UTF-8 (overlong forms,
// surrogates and values past U+10FFFF are rejected).
std::optional<std::u32string> decodeUtf8(std::string_view text);

bool isValidUtf8(std::string_view text);

// Decodes the scalar starting at text[pos]; returns its length in bytes, or 0 when the bytes
// there are not a well-formed UTF-8 sequence.
size_t decodeUtf8Scalar(std::string_view text, size_t pos, char32_t& scalar);

}  // namespace nubrik
