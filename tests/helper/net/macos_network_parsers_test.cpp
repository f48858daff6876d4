#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "helper/net/macos/network_parsers.hpp"
#include "helper/net/macos/tool_text.hpp"
#include "helper/net/network_errors.hpp"

namespace nubrik::macos {
namespace {

using ::testing::ElementsAre;

const std::string banner = "An asterisk (*) denotes that a network service is disabled.\n";

template <typename Parse>
void expectMalformed(Parse parse, const std::string& command) {
  try {
    parse();
    ADD_FAILURE() << "expected malformedOutput(command: \"" << command << "\")";
  } catch (const NetworkStateError& error) {
    EXPECT_EQ(error, NetworkStateError::malformedOutput(command));
  }
}

TEST(ServiceListParser, TrimsStarsAndLeavesLoopbackNamedServicesOutOfTheAllServicesListOnly) {
  const std::string output =
      "\n" + banner + "USB LoopBack\n*Loopback Adapter\n  \tWi-Fi \t\n\n*\t Lo\u0300opback\n   \n";
  EXPECT_THAT(parseSnapshotServiceNames(output),
              ElementsAre("USB LoopBack", "Loopback Adapter", "Wi-Fi", "Lo\u0300opback"));
  EXPECT_THAT(parseServiceList(output), ElementsAre("USB LoopBack", "Wi-Fi"));
  EXPECT_THAT(parseAllServiceNames(output), ElementsAre("Wi-Fi"));
}

TEST(ServiceListParser, RejectsOutputsOfTheWrongShape) {
  const std::vector<std::string> outputs = {
      "Wi-Fi\nEthernet\n",               // no banner
      banner + "Wi-Fi\n*\n",             // a star alone
      banner + "*Loopback\nLoopback\n",  // duplicates count even where loopback is dropped
  };
  for (const std::string& output : outputs) {
    SCOPED_TRACE(output);
    expectMalformed([&] { parseServiceList(output); }, "listallnetworkservices");
    expectMalformed([&] { parseAllServiceNames(output); }, "listallnetworkservices");
    expectMalformed([&] { parseSnapshotServiceNames(output); }, "listallnetworkservices");
  }
}

// Every name goes to a tool as an argument: only letters, marks, digits and a few separators.
TEST(InterfaceListParser, RejectsAListWithoutLo0AnInvalidNameOrARepeatedName) {
  EXPECT_THAT(parseExternalInterfaces("en0\tlo0\r\nlo1  loop2 bridge0:1 vlan_2.a-b\n"),
              ElementsAre("en0", "bridge0:1", "vlan_2.a-b"));
  for (const std::string output : {"en0 en1\n", "lo0 en0 en0\n", "lo0 en0;rm\n"}) {
    SCOPED_TRACE(output);
    expectMalformed([&] { parseSnapshotInterfaces(output); }, "ifconfig");
    expectMalformed([&] { parseExternalInterfaces(output); }, "ifconfig");
  }
  EXPECT_NO_THROW(validateInterfaceToken("e\u0301n0\u7f51"));
  for (const std::string token : {"", "en/0", "en0\u20ac", "en\u00a00", "en0\xc0\x80"}) {
    SCOPED_TRACE(token);
    expectMalformed([&] { validateInterfaceToken(token); }, "ifconfig");
  }
}

TEST(HardwarePortParser, FailsAsAWholeOnAnyIrregularBlock) {
  EXPECT_THAT(parseHardwarePorts("  Hardware Port:  Thunderbolt Bridge \n\tDevice: bridge0\n"
                                 "Ethernet Address: N/A\n\nVLAN Configurations\n====\n"),
              ElementsAre(HardwarePort{"Thunderbolt Bridge", "bridge0"}));
  const std::vector<std::string> outputs = {
      "Hardware Port: Ethernet\nDevice: en0\nHardware Port: Wi-Fi\n",    // no device
      "Hardware Port: Wi-Fi\nDevice: (null)\n",                          // null device
      "Device: en0\nHardware Port: Wi-Fi\nDevice: en1\n",                // orphan device
      "Hardware Port: A\nDevice: en0\nHardware Port: B\nDevice: en0\n",  // device twice
      "VLAN Configurations\n===================\n",                      // no pair
  };
  for (const std::string& output : outputs) {
    SCOPED_TRACE(output);
    expectMalformed([&] { parseHardwarePorts(output); }, "listallhardwareports");
  }
}

TEST(StateParsers, ReadExactlyOneStateAndRejectAnythingElse) {
  EXPECT_THAT(wifiDeviceNames({{"AirPort", "en1"}, {"Ethernet", "en3"}, {"USB wi-fi", "en4"}}),
              ElementsAre("en1", "en4"));
  EXPECT_TRUE(parseWifiPowerState("Wi-Fi Power (en0): ON"));
  EXPECT_FALSE(parseWifiPowerState("AirPort Power (en1): \u00d3ff"));
  expectMalformed([] { parseWifiPowerState("Wi-Fi Power (en0): On\nWi-Fi Power (en1): Off\n"); },
                  "getairportpower");
  EXPECT_TRUE(parseServiceEnabledState(" Enabled\r\n"));
  EXPECT_FALSE(parseServiceEnabledState("Disabled"));
  expectMalformed([] { parseServiceEnabledState("enabled"); }, "getnetworkserviceenabled");
  EXPECT_FALSE(parseInterfaceUpState("x: flags=1<UPLINK,,SETUP> mtu 1 options=1<UP>\n"));
  for (const std::string output : {"ifconfig: interface en9 does not exist\n", "flags<"}) {
    SCOPED_TRACE(output);
    expectMalformed([&] { parseInterfaceUpState(output); }, "ifconfig");
  }
  EXPECT_TRUE(isValidUtf8("plain \u00e9\u4e2d\U0001F600"));
  for (const std::string bad : {"\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe4\xb8"}) {
    EXPECT_FALSE(isValidUtf8(bad)) << bad;
  }
  EXPECT_EQ(trimSpaces("\u3000\t a b\u00a0 \n"), "a b\u00a0 \n");
  EXPECT_EQ(trimSpacesAndNewlines("\u2028 a \r\n\u0085"), "a");
}

}  // namespace
}  // namespace nubrik::macos
