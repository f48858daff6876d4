#include "core/uuid.hpp"

#include <gtest/gtest.h>

#include <regex>

namespace nubrik {
namespace {

TEST(UUID, IsFreshRandomAndCanonicalUpperCase) {
  const std::regex canonical(
      "^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
  const std::string first = newUUIDString();
  EXPECT_TRUE(std::regex_match(first, canonical)) << first;
  EXPECT_NE(first, newUUIDString());
}

}  // namespace
}  // namespace nubrik
