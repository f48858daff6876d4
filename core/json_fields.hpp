#pragma once

// Strict readers and a compact writer shared by every decoder and encoder of the system's JSON
// records (session, marker, status, generation, schedules, bus payloads). Every reader throws
// DecodingError with a message that names the offending key.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/date.hpp"

namespace nubrik {

// Raised by every decoder when bytes are not the expected record. what() says why.
class DecodingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace nubrik

namespace nubrik::json {

using Value = nlohmann::json;
// Writers build ordered values so that keys appear in the order the record declares them.
using OrderedValue = nlohmann::ordered_json;

// Parses `bytes` as exactly one JSON object (valid UTF-8, nothing but whitespace around it).
Value parseObject(std::string_view bytes);

// Compact text of `value`; throws std::invalid_argument when one of its strings is not UTF-8.
std::string dumpCompact(const OrderedValue& value);

// A date as written: a number of seconds since 2001-01-01 00:00:00 UTC.
OrderedValue dateValue(Date date);

// The value under `key`, or nullptr when the key is missing or null.
const Value* optionalValue(const Value& object, std::string_view key);
// The value under `key`; throws when the key is missing or null.
const Value& requiredValue(const Value& object, std::string_view key);

// Conversions of one value; `what` names it in the error. Each throws on a wrong type.
// A JSON boolean (never 0 or 1).
bool asBool(const Value& value, std::string_view what);
// A JSON string.
std::string asString(const Value& value, std::string_view what);
// Any JSON number, integer or with fraction.
double asNumber(const Value& value, std::string_view what);
// An integer JSON number (no fraction or exponent) within the signed 64-bit range.
std::int64_t asInt64(const Value& value, std::string_view what);
// A non-negative integer JSON number (no fraction or exponent) within the unsigned 64-bit range.
std::uint64_t asUInt64(const Value& value, std::string_view what);
// A number of seconds since 2001-01-01 00:00:00 UTC (saturating at the ends of Date's range).
Date asDate(const Value& value, std::string_view what);
// A JSON array, returned by reference.
const Value& asArray(const Value& value, std::string_view what);
// A JSON object, returned by reference.
const Value& asObject(const Value& value, std::string_view what);

// Required readers: the key is present, not null and of the type.
bool requiredBool(const Value& object, std::string_view key);
std::string requiredString(const Value& object, std::string_view key);
double requiredNumber(const Value& object, std::string_view key);
std::int64_t requiredInt64(const Value& object, std::string_view key);
std::uint64_t requiredUInt64(const Value& object, std::string_view key);
Date requiredDate(const Value& object, std::string_view key);
const Value& requiredArray(const Value& object, std::string_view key);
const Value& requiredObject(const Value& object, std::string_view key);

// Optional readers: a missing key and null both give nullopt; any other value must have the type.
std::optional<bool> optionalBool(const Value& object, std::string_view key);
std::optional<std::string> optionalString(const Value& object, std::string_view key);
std::optional<double> optionalNumber(const Value& object, std::string_view key);
std::optional<std::int64_t> optionalInt64(const Value& object, std::string_view key);
std::optional<std::uint64_t> optionalUInt64(const Value& object, std::string_view key);
std::optional<Date> optionalDate(const Value& object, std::string_view key);
// nullptr when missing or null; otherwise the array.
const Value* optionalArray(const Value& object, std::string_view key);

// `text` as a JSON string literal, for descriptions that quote texts: unambiguous whatever the
// text holds; bytes that are not UTF-8 become U+FFFD rather than failing a diagnostic.
std::string quotedText(std::string_view text);

// Runs `body` and prefixes the message of a DecodingError it throws with `context` (for nested
// records: "services[2]: \"name\" is not a string").
template <typename Body>
auto withContext(std::string_view context, Body&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const DecodingError& error) {
    throw DecodingError(std::string(context) + ": " + error.what());
  }
}

}  // namespace nubrik::json
