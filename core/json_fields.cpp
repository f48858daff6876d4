#include "core/json_fields.hpp"

#include <limits>
#include <stdexcept>

namespace nubrik::json {

namespace {

std::string quoted(std::string_view key) {
  std::string text = "\"";
  text += key;
  text += '"';
  return text;
}

[[noreturn]] void wrongType(std::string_view what, const char* expected) {
  throw DecodingError(std::string(what) + " is not " + expected);
}

// Readers name a value by its key in quotes, as it appears in the file.
template <typename Reader>
auto readRequired(const Value& object, std::string_view key, Reader reader) {
  return reader(requiredValue(object, key), quoted(key));
}

template <typename Reader>
auto readOptional(const Value& object, std::string_view key, Reader reader)
    -> std::optional<decltype(reader(object, key))> {
  const Value* value = optionalValue(object, key);
  if (value == nullptr) return std::nullopt;
  return reader(*value, quoted(key));
}

}  // namespace

Value parseObject(std::string_view bytes) {
  Value value;
  try {
    // Strict: no comments, no trailing content; the parser rejects malformed UTF-8 in strings.
    value = Value::parse(bytes.begin(), bytes.end(), nullptr, true, false);
  } catch (const Value::exception& error) {
    throw DecodingError(std::string("not JSON: ") + error.what());
  }
  if (!value.is_object()) throw DecodingError("not a JSON object");
  return value;
}

std::string dumpCompact(const OrderedValue& value) {
  try {
    return value.dump();
  } catch (const OrderedValue::exception& error) {
    throw std::invalid_argument(std::string("cannot encode JSON: ") + error.what());
  }
}

std::string quotedText(std::string_view text) {
  return Value(std::string(text)).dump(-1, ' ', false, Value::error_handler_t::replace);
}

OrderedValue dateValue(Date date) {
  return OrderedValue(secondsSinceReferenceDate(date));
}

const Value* optionalValue(const Value& object, std::string_view key) {
  const auto found = object.find(std::string(key));
  if (found == object.end() || found->is_null()) return nullptr;
  return &*found;
}

const Value& requiredValue(const Value& object, std::string_view key) {
  const auto found = object.find(std::string(key));
  if (found == object.end()) throw DecodingError("missing key " + quoted(key));
  if (found->is_null()) throw DecodingError(quoted(key) + " is null");
  return *found;
}

bool asBool(const Value& value, std::string_view what) {
  if (!value.is_boolean()) wrongType(what, "a boolean");
  return value.get<bool>();
}

std::string asString(const Value& value, std::string_view what) {
  if (!value.is_string()) wrongType(what, "a string");
  return value.get<std::string>();
}

double asNumber(const Value& value, std::string_view what) {
  if (!value.is_number()) wrongType(what, "a number");
  return value.get<double>();
}

std::int64_t asInt64(const Value& value, std::string_view what) {
  if (value.is_number_integer() && !value.is_number_unsigned()) {
    return value.get<std::int64_t>();
  }
  if (value.is_number_unsigned()) {
    const auto unsignedValue = value.get<std::uint64_t>();
    if (unsignedValue > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      wrongType(what, "a signed 64-bit integer");
    }
    return static_cast<std::int64_t>(unsignedValue);
  }
  wrongType(what, "a signed 64-bit integer");
}

std::uint64_t asUInt64(const Value& value, std::string_view what) {
  // Non-negative integers parse as unsigned; negative ones, fractions and integers beyond
  // 64 bits (which the parser turns into floats) are all refused.
  if (!value.is_number_unsigned()) wrongType(what, "an unsigned 64-bit integer");
  return value.get<std::uint64_t>();
}

Date asDate(const Value& value, std::string_view what) {
  return dateFromReferenceSeconds(asNumber(value, what));
}

const Value& asArray(const Value& value, std::string_view what) {
  if (!value.is_array()) wrongType(what, "an array");
  return value;
}

const Value& asObject(const Value& value, std::string_view what) {
  if (!value.is_object()) wrongType(what, "an object");
  return value;
}

bool requiredBool(const Value& object, std::string_view key) {
  return readRequired(object, key, asBool);
}
std::string requiredString(const Value& object, std::string_view key) {
  return readRequired(object, key, asString);
}
double requiredNumber(const Value& object, std::string_view key) {
  return readRequired(object, key, asNumber);
}
std::int64_t requiredInt64(const Value& object, std::string_view key) {
  return readRequired(object, key, asInt64);
}
std::uint64_t requiredUInt64(const Value& object, std::string_view key) {
  return readRequired(object, key, asUInt64);
}
Date requiredDate(const Value& object, std::string_view key) {
  return readRequired(object, key, asDate);
}
const Value& requiredArray(const Value& object, std::string_view key) {
  return asArray(requiredValue(object, key), quoted(key));
}
const Value& requiredObject(const Value& object, std::string_view key) {
  return asObject(requiredValue(object, key), quoted(key));
}

std::optional<bool> optionalBool(const Value& object, std::string_view key) {
  return readOptional(object, key, asBool);
}
std::optional<std::string> optionalString(const Value& object, std::string_view key) {
  return readOptional(object, key, asString);
}
std::optional<double> optionalNumber(const Value& object, std::string_view key) {
  return readOptional(object, key, asNumber);
}
std::optional<std::int64_t> optionalInt64(const Value& object, std::string_view key) {
  return readOptional(object, key, asInt64);
}
std::optional<std::uint64_t> optionalUInt64(const Value& object, std::string_view key) {
  return readOptional(object, key, asUInt64);
}
std::optional<Date> optionalDate(const Value& object, std::string_view key) {
  return readOptional(object, key, asDate);
}
const Value* optionalArray(const Value& object, std::string_view key) {
  const Value* value = optionalValue(object, key);
  if (value == nullptr) return nullptr;
  return &asArray(*value, quoted(key));
}

}  // namespace nubrik::json
