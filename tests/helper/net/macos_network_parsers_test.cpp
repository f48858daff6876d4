#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "helper/net/macos/network_parsers.hpp"
#include "helper/net/macos/tool_text.hpp"
#include "helper/net/network_errors.hpp"

namespace nubrik::macos {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

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

TEST(ServiceListParser, KeepsEnabledServicesOrAllServicesTrimmedWithoutTheirStar) {
  const std::string output = "\n" + banner + "  \tWi-Fi \t\n\n*\t Thunderbolt Bridge\n   \n";
  EXPECT_THAT(parseServiceList(output), ElementsAre("Wi-Fi"));
  EXPECT_THAT(parseAllServiceNames(output), ElementsAre("Wi-Fi", "Thunderbolt Bridge"));
  EXPECT_THAT(parseSnapshotServiceNames(output), ElementsAre("Wi-Fi", "Thunderbolt Bridge"));
  EXPECT_THAT(parseServiceList(banner), IsEmpty());
}

TEST(ServiceListParser, LoopbackNamedServicesAreOnlyLeftOutOfTheAllServicesList) {
  const std::string output = banner + "USB LoopBack\n*Loopback Adapter\nWi-Fi\n*Lo\u0300opback\n";
  EXPECT_THAT(parseSnapshotServiceNames(output),
              ElementsAre("USB LoopBack", "Loopback Adapter", "Wi-Fi", "Lo\u0300opback"));
  EXPECT_THAT(parseServiceList(output), ElementsAre("USB LoopBack", "Wi-Fi"));
  EXPECT_THAT(parseAllServiceNames(output), ElementsAre("Wi-Fi"));
  EXPECT_THAT(parseServiceLines(output, false), ElementsAre("Wi-Fi"));
}

TEST(ServiceListParser, RejectsOutputsOfTheWrongShape) {
  const std::vector<std::string> outputs = {
      "Wi-Fi\nEthernet\n",               // no banner
      banner + "Wi-Fi\n*\n",             // a star alone
      banner + "Wi-Fi\n*Wi-Fi\n",        // one name enabled and disabled
      banner + "*Loopback\nLoopback\n",  // duplicates count even where loopback is dropped
  };
  for (const std::string& output : outputs) {
    SCOPED_TRACE(output);
    expectMalformed([&] { parseServiceList(output); }, "listallnetworkservices");
    expectMalformed([&] { parseAllServiceNames(output); }, "listallnetworkservices");
    expectMalformed([&] { parseSnapshotServiceNames(output); }, "listallnetworkservices");
  }
}

TEST(InterfaceListParser, ListsEveryNameAndLeavesOutTheLoopbackOnes) {
  const std::string output = "lo0 gif0 stf0 en0 en1 utun0\n";
  EXPECT_THAT(parseSnapshotInterfaces(output),
              ElementsAre("lo0", "gif0", "stf0", "en0", "en1", "utun0"));
  EXPECT_THAT(parseExternalInterfaces(output), ElementsAre("gif0", "stf0", "en0", "en1", "utun0"));
  EXPECT_THAT(parseExternalInterfaces("en0\tlo0\r\nlo1  loop2 bridge0:1 vlan_2.a-b\n"),
              ElementsAre("en0", "bridge0:1", "vlan_2.a-b"));
}

TEST(InterfaceListParser, RejectsAListWithoutLo0AnInvalidNameOrARepeatedName) {
  const std::vector<std::string> outputs = {
      "en0 en1\n", "", "lo0 en/0\n", "lo0 en0 en0\n", "lo0 en0;rm\n", "lo0 \xff\xfe\n",
  };
  for (const std::string& output : outputs) {
    SCOPED_TRACE(output);
    expectMalformed([&] { parseSnapshotInterfaces(output); }, "ifconfig");
    expectMalformed([&] { parseExternalInterfaces(output); }, "ifconfig");
  }
}

TEST(InterfaceTokenValidation, AcceptsUnicodeLettersMarksAndDigitsOnly) {
  for (const std::string token : {"bridge0:1", "a.b-c_d", "e\u0301n0", "\u7f51\u53e32"}) {
    SCOPED_TRACE(token);
    EXPECT_NO_THROW(validateInterfaceToken(token));
  }
  for (const std::string token :
       {"", "en 0", "en/0", "en0\u20ac", "en\u00a00", "en0\xc0\x80", "\U0001F600"}) {
    SCOPED_TRACE(token);
    expectMalformed([&] { validateInterfaceToken(token); }, "ifconfig");
  }
}

TEST(HardwarePortParser, PairsEveryPortWithItsDevice) {
  const std::string output =
      "\nHardware Port: Ethernet\nDevice: en0\nEthernet Address: 3c:22:fb:00:00:01\n\n"
      "Hardware Port: Wi-Fi\nDevice: en1\nEthernet Address: 3c:22:fb:00:00:02\n\n"
      "  Hardware Port:  Thunderbolt Bridge \n\tDevice: bridge0\nEthernet Address: N/A\n\n"
      "VLAN Configurations\n===================\n";
  EXPECT_THAT(parseHardwarePorts(output),
              ElementsAre(HardwarePort{"Ethernet", "en0"}, HardwarePort{"Wi-Fi", "en1"},
                          HardwarePort{"Thunderbolt Bridge", "bridge0"}));
}

TEST(HardwarePortParser, FailsAsAWholeOnAnyIrregularBlock) {
  const std::vector<std::string> outputs = {
      "Hardware Port: Ethernet\nDevice: en0\nHardware Port: Wi-Fi\n",    // no device
      "Hardware Port: Wi-Fi\nDevice: (null)\n",                          // null device
      "Device: en0\nHardware Port: Wi-Fi\nDevice: en1\n",                // orphan device
      "Hardware Port: A\nDevice: en0\nHardware Port: B\nDevice: en0\n",  // device twice
      "Hardware Port: Wi-Fi\nDevice:  \n",                               // empty device
      "VLAN Configurations\n===================\n",                      // no pair
  };
  for (const std::string& output : outputs) {
    SCOPED_TRACE(output);
    expectMalformed([&] { parseHardwarePorts(output); }, "listallhardwareports");
  }
}

TEST(WifiDeviceNames, RecognisesWifiPortsByNameInAnyLetterCase) {
  const std::vector<HardwarePort> ports = {
      {"AirPort", "en1"}, {"WIFI", "en2"}, {"Ethernet", "en3"}, {"USB wi-fi adapter", "en4"}};
  EXPECT_THAT(wifiDeviceNames(ports), ElementsAre("en1", "en2", "en4"));
}

TEST(WifiPowerParser, ReadsOnOrOffAndRejectsBothOrNeither) {
  EXPECT_TRUE(parseWifiPowerState("Wi-Fi Power (en0): ON"));
  EXPECT_FALSE(parseWifiPowerState("AirPort Power (en1): \u00d3ff"));
  for (const std::string output :
       {"Wi-Fi Power (en0): On\nWi-Fi Power (en1): Off\n", "en0 is not a Wi-Fi interface.\n"}) {
    SCOPED_TRACE(output);
    expectMalformed([&] { parseWifiPowerState(output); }, "getairportpower");
  }
}

TEST(ServiceEnabledParser, AcceptsExactlyEnabledOrDisabled) {
  EXPECT_TRUE(parseServiceEnabledState(" Enabled\r\n"));
  EXPECT_FALSE(parseServiceEnabledState("Disabled"));
  for (const std::string output : {"enabled", "Enabled Disabled"}) {
    SCOPED_TRACE(output);
    expectMalformed([&] { parseServiceEnabledState(output); }, "getnetworkserviceenabled");
  }
}

TEST(InterfaceUpParser, LooksForTheExactUpFlag) {
  EXPECT_TRUE(parseInterfaceUpState(
      "en0: flags=8863<UP,BROADCAST,SMART,RUNNING,SIMPLEX,MULTICAST> mtu 1500\n\tether x\n"));
  EXPECT_FALSE(
      parseInterfaceUpState("en1: flags=8822<BROADCAST,SMART,SIMPLEX,MULTICAST> mtu 1500\n"));
  EXPECT_FALSE(parseInterfaceUpState("x: flags=1<UPLINK,,SETUP> mtu 1 options=1<UP>\n"));
  for (const std::string output : {"ifconfig: interface en9 does not exist\n", "<UP>", "flags<"}) {
    SCOPED_TRACE(output);
    expectMalformed([&] { parseInterfaceUpState(output); }, "ifconfig");
  }
}

TEST(ToolText, DecodesOnlyWellFormedUtf8) {
  EXPECT_TRUE(isValidUtf8("plain \u00e9\u4e2d\U0001F600"));
  for (const std::string bad : {"\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe4\xb8"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(isValidUtf8(bad));
  }
  EXPECT_EQ(trimSpaces("\u3000\t a b\u00a0 \n"), "a b\u00a0 \n");
  EXPECT_EQ(trimSpacesAndNewlines("\u2028 a \r\n\u0085"), "a");
}

}  // namespace
}  // namespace nubrik::macos
