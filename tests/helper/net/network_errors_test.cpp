#include "helper/net/network_errors.hpp"

#include <gtest/gtest.h>

namespace nubrik {
namespace {

TEST(NetworkErrors, DescribeThemselvesInTheirDefaultTextualForm) {
  EXPECT_STREQ(NetworkQueryError::commandFailed("/usr/sbin/networksetup", 4).what(),
               R"(commandFailed(executable: "/usr/sbin/networksetup", status: 4))");
  EXPECT_STREQ(NetworkStateError::commandFailed("/sbin/ifconfig", -1).what(),
               R"(commandFailed(executable: "/sbin/ifconfig", status: -1))");
  EXPECT_STREQ(NetworkStateError::malformedOutput("listallnetworkservices").what(),
               R"(malformedOutput(command: "listallnetworkservices"))");
  EXPECT_STREQ(NetworkSystemError::systemCallFailed("RTM_GETLINK", 19).what(),
               R"(systemCallFailed(operation: "RTM_GETLINK", errno: 19))");
  EXPECT_STREQ(NetworkSystemError::noSuchObject("phy0").what(), R"(noSuchObject(name: "phy0"))");
}

TEST(NetworkErrors, EscapeNamesSoThatALogLineCannotBeForged) {
  EXPECT_STREQ(NetworkSystemError::noSuchObject("a\"b\\c\nd\x01").what(),
               R"(noSuchObject(name: "a\"b\\c\nd\u{1}"))");
}

TEST(NetworkErrors, CompareByCaseAndValues) {
  EXPECT_EQ(NetworkStateError::malformedOutput("ifconfig"),
            NetworkStateError::malformedOutput("ifconfig"));
  EXPECT_FALSE(NetworkStateError::malformedOutput("ifconfig") ==
               NetworkStateError::malformedOutput("getairportpower"));
  EXPECT_FALSE(NetworkStateError::commandFailed("/sbin/ifconfig", 1) ==
               NetworkStateError::commandFailed("/sbin/ifconfig", 2));
  EXPECT_EQ(NetworkQueryError::commandFailed("/sbin/ifconfig", 1),
            NetworkQueryError::commandFailed("/sbin/ifconfig", 1));
  EXPECT_FALSE(NetworkSystemError::systemCallFailed("RTM_GETLINK", 19) ==
               NetworkSystemError::systemCallFailed("RTM_SETLINK", 19));
}

}  // namespace
}  // namespace nubrik
