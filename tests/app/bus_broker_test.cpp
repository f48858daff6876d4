#include "app/bus_broker.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nubrik {
namespace {

TEST(BrokerBusSocket, OnlyOneSocketPathInTheFileSystem) {
  struct Case {
    std::string address;
    std::optional<std::string> path;
  };
  const std::vector<Case> cases = {
      {"unix:path=/run/dbus/system_bus_socket", "/run/dbus/system_bus_socket"},
      {"unix:guid=4f2c1a,path=/tmp/x/bus", "/tmp/x/bus"},
      {"unix:path=/tmp/a%20b/bus%2c1", "/tmp/a b/bus,1"},
      {"unix:path=/tmp/a%2", std::nullopt},
      {"unix:path=/tmp/a%zz", std::nullopt},
      {"unix:path=/tmp/a b", std::nullopt},
      {"unix:path=/tmp/a%00b", std::nullopt},
      {"unix:path=relative/bus", std::nullopt},
      {"unix:path=", std::nullopt},
      {"unix:path=/" + std::string(107, 'a'), std::nullopt},
      {"unix:path=/" + std::string(106, 'a'), "/" + std::string(106, 'a')},
      {"unix:abstract=/tmp/dbus-1", std::nullopt},
      {"unix:path=/a,abstract=/b", std::nullopt},
      {"unix:path=/a,path=/b", std::nullopt},
      {"unix:path=/a;unix:path=/b", std::nullopt},
      {"unix:path", std::nullopt},
      {"tcp:host=localhost,port=1", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(unixSocketPathOfAddress(c.address), c.path) << c.address;
  }
}

TEST(BrokerBusSocket, ASecureProcessUsesTheSystemBusWhateverItIsTold) {
  EXPECT_EQ(brokerBusSocketPath(true, "unix:path=/tmp/evil"), "/run/dbus/system_bus_socket");
  EXPECT_EQ(brokerBusSocketPath(true, "tcp:host=x"), "/run/dbus/system_bus_socket");
  EXPECT_EQ(brokerBusSocketPath(false, nullptr), "/run/dbus/system_bus_socket");
  EXPECT_EQ(brokerBusSocketPath(false, ""), "/run/dbus/system_bus_socket");
  EXPECT_EQ(brokerBusSocketPath(false, "unix:path=/tmp/bus"), "/tmp/bus");
  EXPECT_EQ(brokerBusSocketPath(false, "unix:abstract=/tmp/bus"), std::nullopt);
}

}  // namespace
}  // namespace nubrik
