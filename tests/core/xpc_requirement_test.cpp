#include <gtest/gtest.h>

#include "core/nubrik_xpc.hpp"

namespace nubrik {
namespace {

TEST(XPCRequirement, IsBuiltFromIdentifierAndTeamID) {
  const auto requirement = NubrikXPC::codeSigningRequirement("com.nubrik.app", "ABCDE12345");
  ASSERT_TRUE(requirement);
  EXPECT_EQ(*requirement,
            "identifier \"com.nubrik.app\" and anchor apple generic and certificate "
            "leaf[subject.OU] = \"ABCDE12345\"");
}

TEST(XPCRequirement, QuotesAreRemovedSoNoValueCanEscapeItsQuotes) {
  const auto requirement =
      NubrikXPC::codeSigningRequirement("com.nubrik.app\" or anchor trusted \"", "\"TEAM\"\"1");
  ASSERT_TRUE(requirement);
  EXPECT_EQ(*requirement,
            "identifier \"com.nubrik.app or anchor trusted \" and anchor apple generic and "
            "certificate leaf[subject.OU] = \"TEAM1\"");
}

TEST(XPCRequirement, NoneWithoutAUsableTeamIDOrIdentifier) {
  EXPECT_FALSE(NubrikXPC::codeSigningRequirement("com.nubrik.app", std::nullopt));
  EXPECT_FALSE(NubrikXPC::codeSigningRequirement("com.nubrik.app", ""));
  EXPECT_FALSE(NubrikXPC::codeSigningRequirement("com.nubrik.app", "\"\"\""));
  EXPECT_FALSE(NubrikXPC::codeSigningRequirement("", "TEAM"));
  EXPECT_FALSE(NubrikXPC::codeSigningRequirement("\"", "TEAM"));
}

}  // namespace
}  // namespace nubrik
