#include "helper/net/macos/macos_network_switches.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "helper/net/macos/network_parsers.hpp"
#include "helper/net/network_errors.hpp"
#include "tests/support/scoped_environment.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

using macos::ShellResult;
using ::testing::ElementsAre;

using Command = std::vector<std::string>;  // executable, then arguments

// Answers each command line with a canned result and records what was run.
class FakeTools {
 public:
  void answer(Command command, ShellResult result) { answers_[std::move(command)] = result; }

  macos::ShellRunner runner() {
    return [this](const std::string& executable, const std::vector<std::string>& arguments) {
      Command command{executable};
      command.insert(command.end(), arguments.begin(), arguments.end());
      runs.push_back(command);
      const auto found = answers_.find(command);
      return found == answers_.end() ? ShellResult{"", -1} : found->second;
    };
  }

  std::vector<Command> runs;

 private:
  std::map<Command, ShellResult> answers_;
};

const std::string services =
    "An asterisk (*) denotes that a network service is disabled.\nWi-Fi\n*Thunderbolt Bridge\n"
    "USB Loopback\n";
const std::string ports =
    "Hardware Port: Ethernet\nDevice: en0\n\nHardware Port: Wi-Fi\n"
    "Device: en1\n";

TEST(MacosNetworkSwitches, ListingsRunTheToolOnceAndParseItsOutput) {
  FakeTools tools;
  tools.answer({"/usr/sbin/networksetup", "-listallnetworkservices"}, {services, 0});
  tools.answer({"/sbin/ifconfig", "-l"}, {"lo0 en0 en1\n", 0});
  tools.answer({"/usr/sbin/networksetup", "-listallhardwareports"}, {ports, 0});
  const macos::ShellRunner runner = tools.runner();

  EXPECT_THAT(macos::discoverEnabledServices(runner), ElementsAre("Wi-Fi", "USB Loopback"));
  EXPECT_THAT(macos::discoverAllServices(runner), ElementsAre("Wi-Fi", "Thunderbolt Bridge"));
  EXPECT_THAT(macos::discoverSnapshotServices(runner),
              ElementsAre("Wi-Fi", "Thunderbolt Bridge", "USB Loopback"));
  EXPECT_THAT(macos::discoverInterfaces(runner), ElementsAre("en0", "en1"));
  EXPECT_THAT(macos::discoverSnapshotInterfaces(runner), ElementsAre("lo0", "en0", "en1"));
  EXPECT_THAT(macos::discoverWifiDevices(runner), ElementsAre("en1"));
  EXPECT_EQ(tools.runs.size(), 6u);
}

// A reading takes the services' states from the listing's asterisks and asks each device.
TEST(MacosNetworkSwitches, ReadingsCarryEachSwitchsState) {
  FakeTools tools;
  tools.answer({"/usr/sbin/networksetup", "-listallnetworkservices"}, {services, 0});
  tools.answer({"/usr/sbin/networksetup", "-listallhardwareports"}, {ports, 0});
  tools.answer({"/usr/sbin/networksetup", "-getairportpower", "en1"}, {"garbage\n", 0});
  tools.answer({"/sbin/ifconfig", "-l"}, {"lo0 en0\n", 0});
  tools.answer({"/sbin/ifconfig", "en0"}, {"en0: flags=8863<UP,BROADCAST> mtu 1500\n", 0});
  MacosNetworkSwitches network(tools.runner());
  EXPECT_THAT(
      network.read(SwitchKind::service, Listing::switchable),
      ElementsAre(SwitchReading{"Wi-Fi", true}, SwitchReading{"Thunderbolt Bridge", false}));
  EXPECT_THAT(network.read(SwitchKind::wifi, Listing::switchable),
              ElementsAre(SwitchReading{"en1", std::nullopt}));
  EXPECT_THAT(network.read(SwitchKind::interface, Listing::switchable),
              ElementsAre(SwitchReading{"en0", true}));
}

TEST(MacosNetworkSwitches, SparesExactlyTheNamesBeginningLo) {
  for (const char* name : {"lo", "lobby0"}) EXPECT_TRUE(macos::sparesInterface(name)) << name;
  for (const char* name : {"LO0", "ylo0", "l"}) EXPECT_FALSE(macos::sparesInterface(name)) << name;
}

TEST(MacosNetworkSwitches, AFailedListingThrowsTheQueryErrorAndAGarbledOneTheStateError) {
  FakeTools tools;
  tools.answer({"/usr/sbin/networksetup", "-listallnetworkservices"}, {services, 4});
  tools.answer({"/sbin/ifconfig", "-l"}, {"en0 en1\n", 0});
  const macos::ShellRunner runner = tools.runner();

  const auto expectThrows = [](const auto& listing, const auto& expected) {
    try {
      listing();
      ADD_FAILURE() << "expected " << expected.what();
    } catch (const std::decay_t<decltype(expected)>& error) {
      EXPECT_EQ(error, expected);
    }
  };
  expectThrows([&] { return macos::discoverAllServices(runner); },
               NetworkQueryError::commandFailed("/usr/sbin/networksetup", 4));
  expectThrows(
      [&] { return macos::discoverWifiDevices(runner); },  // not answered: could not be started
      NetworkQueryError::commandFailed("/usr/sbin/networksetup", -1));
  expectThrows([&] { return macos::discoverInterfaces(runner); },
               NetworkStateError::malformedOutput("ifconfig"));
}

// Each name is passed as one argument; a tool that fails or cannot be started gives nothing.
TEST(MacosNetworkSwitches, QueriesAndChangesTrustOnlyAToolThatExitsWithZero) {
  FakeTools tools;
  tools.answer({"/usr/sbin/networksetup", "-getairportpower", "en1"},
               {"Wi-Fi Power (en1): On\n", 0});
  tools.answer({"/sbin/ifconfig", "en9"}, {"", 1});
  tools.answer({"/usr/sbin/networksetup", "-setnetworkserviceenabled", "Wi-Fi", "off"}, {"", 0});
  tools.answer({"/sbin/ifconfig", "en0", "up"}, {"", 1});
  const macos::ShellRunner runner = tools.runner();

  EXPECT_EQ(macos::wifiPowerState(runner, "en1"), true);
  EXPECT_EQ(macos::interfaceAdminState(runner, "en9"), std::nullopt);
  EXPECT_TRUE(macos::setServiceEnabled(runner, "Wi-Fi", false));
  EXPECT_FALSE(macos::setWifiPower(runner, "en1", true));
  EXPECT_FALSE(macos::setInterfaceUp(runner, "en0", true));
}

// The real process runner, exercised with /bin/sh scripts.
TEST(ShellResult, CapturesStandardOutputAndTheExitStatusButNotStandardError) {
  const ShellResult result = macos::shellResult(
      "/bin/sh", {"-c", "printf 'out %s\\n' \"$1\"; echo err >&2; exit 3", "sh", "two words"});
  EXPECT_EQ(result, (ShellResult{"out two words\n", 3}));
  EXPECT_EQ(macos::shellResult("/bin/sh", {"-c", "kill -9 $$"}).status, 9);
  EXPECT_EQ(macos::shellResult("/bin/sh", {"-c", "printf 'a\\377b'"}), (ShellResult{"", 0}));
}

TEST(ShellResult, OverridesTheLocaleAndKeepsTheRestOfTheEnvironment) {
  const test::ScopedEnvironment lcAll("LC_ALL", "de_DE.UTF-8");
  const test::ScopedEnvironment lang("LANG", nullptr);
  const test::ScopedEnvironment probe("NUBRIK_SHELL_PROBE", "kept");
  const ShellResult result = macos::shellResult(
      "/bin/sh", {"-c", "echo \"$LC_ALL/$LANG/$NUBRIK_SHELL_PROBE\"; env | grep -c '^LC_ALL='"});
  EXPECT_EQ(result, (ShellResult{"C/C/kept\n1\n", 0}));
}

TEST(ShellResult, ReadsLargeOutputsToTheEnd) {
  const ShellResult result = macos::shellResult(
      "/bin/sh", {"-c", "i=0; while [ $i -lt 20000 ]; do echo line$i; i=$((i+1)); done"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output.size(), 188890u);
}

TEST(ShellResult, AToolThatCannotBeStartedGivesStatusMinusOne) {
  TempDir dir;
  dir.write("not-executable", "#!/bin/sh\necho hi\n");
  EXPECT_EQ(macos::shellResult(dir.file("missing"), {}), (ShellResult{"", -1}));
  EXPECT_EQ(macos::shellResult(dir.file("not-executable"), {}), (ShellResult{"", -1}));
  // Without a shell, a path search or an argument split, nothing runs.
  EXPECT_EQ(macos::shellResult("sh", {"-c", "echo hi"}), (ShellResult{"", -1}));
}

}  // namespace
}  // namespace nubrik
