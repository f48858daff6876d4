#include "helper/coordinators/network_pass_support.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

namespace nubrik {
namespace {

TEST(NetworkNames, LoopbackServicesAreRecognised) {
  for (const char* name : {"Loopback Service", "my LOOPBACK", "xloopbackx"}) {
    EXPECT_TRUE(containsLoopback(name)) << name;
  }
  for (const char* name : {"Loop back", "loopbac", "Wi-Fi", ""}) {
    EXPECT_FALSE(containsLoopback(name)) << name;
  }
}

TEST(NetworkNames, OnlyARuleThatAnswersYesSparesAnInterface) {
  const SparePredicate onlyLo = [](const std::string& name) { return name == "lo"; };
  const SparePredicate failing = [](const std::string&) -> bool { throw std::logic_error("x"); };
  EXPECT_TRUE(isSpared(onlyLo, "lo"));
  EXPECT_FALSE(isSpared(onlyLo, "lo1"));
  EXPECT_FALSE(isSpared(failing, "lo"));
  EXPECT_FALSE(isSpared(SparePredicate(), "lo"));
}

}  // namespace
}  // namespace nubrik
