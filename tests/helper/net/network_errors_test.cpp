#include "helper/net/network_errors.hpp"

#include <gtest/gtest.h>

namespace nubrik {
namespace {

TEST(NetworkErrors, DescribeThemselvesInTheirDefaultTextualForm) {
  EXPECT_STREQ(NetworkQueryError::commandFailed("/usr/sbin/networksetup", 4).what(),
               R"(commandFailed(executable: "/usr/sbin/networksetup", status: 4))");
  EXPECT_STREQ(NetworkStateError::malformedOutput("listallnetworkservices").what(),
               R"(malformedOutput(command: "listallnetworkservices"))");
  EXPECT_STREQ(NetworkSystemError::systemCallFailed("RTM_GETLINK", 19).what(),
               R"(systemCallFailed(operation: "RTM_GETLINK", errno: 19))");
  // Names are escaped so that a log line cannot be forged.
  EXPECT_STREQ(NetworkSystemError::noSuchObject("a\"b\\c\nd\x01").what(),
               R"(noSuchObject(name: "a\"b\\c\nd\u{1}"))");
}

}  // namespace
}  // namespace nubrik
