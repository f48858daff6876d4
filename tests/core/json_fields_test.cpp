#include "core/json_fields.hpp"

#include <gtest/gtest.h>

namespace nubrik {
namespace {

TEST(JsonFields, MissingAndNullAreAbsentForOptionalsAndErrorsForRequired) {
  const json::Value object = json::parseObject(R"({"a":null,"b":true})");
  EXPECT_EQ(json::optionalBool(object, "a"), std::nullopt);
  EXPECT_EQ(json::optionalBool(object, "zz"), std::nullopt);
  EXPECT_EQ(json::optionalBool(object, "b"), true);
  EXPECT_THROW(json::optionalString(object, "b"), DecodingError);
  try {
    json::requiredBool(object, "a");
    FAIL() << "null accepted";
  } catch (const DecodingError& error) {
    EXPECT_STREQ(error.what(), "\"a\" is null");
  }
  try {
    json::withContext("services[1]", [&] { return json::requiredString(object, "b"); });
    FAIL() << "boolean accepted as string";
  } catch (const DecodingError& error) {
    EXPECT_STREQ(error.what(), "services[1]: \"b\" is not a string");
  }
}

TEST(JsonFields, DatesSaturateAtTheEndsOfTheirRange) {
  const json::Value object = json::parseObject(R"({"far":1e300,"past":-1e300})");
  EXPECT_EQ(json::requiredDate(object, "far"), Date::max());
  EXPECT_EQ(json::requiredDate(object, "past"), Date::min());
  // Beyond the double range the parser itself refuses the number.
  EXPECT_THROW(json::parseObject(R"({"x":1e400})"), DecodingError);
}

}  // namespace
}  // namespace nubrik
