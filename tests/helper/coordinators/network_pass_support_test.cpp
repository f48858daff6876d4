#include "helper/coordinators/network_pass_support.hpp"

#include <gtest/gtest.h>

namespace nubrik {
namespace {

TEST(NetworkNames, LoopbackServicesAndLoInterfacesAreRecognised) {
  for (const char* name : {"Loopback Service", "my LOOPBACK", "xloopbackx"}) {
    EXPECT_TRUE(containsLoopback(name)) << name;
  }
  for (const char* name : {"Loop back", "loopbac", "Wi-Fi", ""}) {
    EXPECT_FALSE(containsLoopback(name)) << name;
  }
  for (const char* name : {"lo", "lo0", "lo1"}) EXPECT_TRUE(beginsWithLo(name)) << name;
  for (const char* name : {"LO0", "en0", "ylo0", "l", ""}) EXPECT_FALSE(beginsWithLo(name)) << name;
}

}  // namespace
}  // namespace nubrik
