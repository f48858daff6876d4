// NetworkManager installed but not running, as at boot before it starts: its switch is listed,
// read and written in its state file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "helper/net/linux/linux_network_switches.hpp"
#include "helper/net/network_errors.hpp"
#include "tests/helper/net/switch_views.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kService = "NetworkManager";
constexpr const char* kTypical =
    "# written by NetworkManager\n"
    "[main]\n"
    "NetworkingEnabled=true\n"
    "WirelessEnabled=false\n"
    "WWANEnabled=true\n"
    "\n"
    "[other]\n"
    "NetworkingEnabled=true\n";

class PersistedNetworkManager : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(::mkdir(stateDirectory().c_str(), 0755), 0); }

  // No bus at all, so nobody owns NetworkManager's name.
  std::unique_ptr<LinuxNetworkSwitches> operations() const {
    return std::make_unique<LinuxNetworkSwitches>(
        LinuxNetworkConfig{dir_.file("no-rfkill"), dir_.file("no-rfkill-device"),
                           "unix:path=" + dir_.file("no-bus"), stateDirectory()});
  }
  std::string stateDirectory() const { return dir_.file("NetworkManager"); }
  std::string stateFile() const { return stateDirectory() + "/NetworkManager.state"; }
  void writeState(const std::string& bytes, mode_t mode = 0644) const {
    dir_.write("NetworkManager/NetworkManager.state", bytes);
    ASSERT_EQ(::chmod(stateFile().c_str(), mode), 0);
  }
  std::string state() const { return dir_.read("NetworkManager/NetworkManager.state"); }
  mode_t stateMode() const {
    struct stat status {};
    return ::lstat(stateFile().c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
  }
  std::vector<std::string> directoryEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(stateDirectory())) {
      names.push_back(entry.path().filename());
    }
    return names;
  }

  TempDir dir_;
};

TEST_F(PersistedNetworkManager, ListsAndReadsThePersistedSwitch) {
  const struct {
    const char* what;
    std::function<void()> prepare;
    bool enabled;
  } cases[] = {
      {"no state file", [] {}, true},
      {"typical file", [&] { writeState(kTypical); }, true},
      {"switched off", [&] { writeState("[main]\nNetworkingEnabled = false \n"); }, false},
      {"last entry counts",
       [&] { writeState("[main]\nNetworkingEnabled=1\nNetworkingEnabled=0\n"); }, false},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(stateFile());
    c.prepare();
    const auto network = operations();
    EXPECT_THAT(test::names(network, SwitchKind::service), ElementsAre(kService)) << c.what;
    EXPECT_EQ(test::namesOn(network, SwitchKind::service),
              c.enabled ? NameList{kService} : NameList{})
        << c.what;
    EXPECT_EQ(test::stateOf(network, SwitchKind::service, kService), c.enabled) << c.what;
  }
  EXPECT_ANY_THROW(test::stateOf(operations(), SwitchKind::service, "Wi-Fi"));
}

// A file that cannot be trusted fails every reading of the switch as a whole; the service itself
// is still listed, so that restoration and fail-open can turn networking back on.
TEST_F(PersistedNetworkManager, AnUnreadableOrGarbledFileFailsTheReadings) {
  TempDir elsewhere;
  elsewhere.write("target", "[main]\nNetworkingEnabled=true\n");
  const struct {
    const char* what;
    std::function<void()> prepare;
  } cases[] = {
      {"not a boolean", [&] { writeState("[main]\nNetworkingEnabled=maybe\n"); }},
      {"stray line", [&] { writeState("[main]\nNetworkingEnabled=true\ngarbage\n"); }},
      {"symbolic link",
       [&] { ASSERT_EQ(::symlink(elsewhere.file("target").c_str(), stateFile().c_str()), 0); }},
      {"FIFO", [&] { ASSERT_EQ(::mkfifo(stateFile().c_str(), 0644), 0); }},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(stateFile());
    c.prepare();
    const auto network = operations();
    EXPECT_THAT(test::names(network, SwitchKind::service), ElementsAre(kService)) << c.what;
    EXPECT_THAT(test::namesOn(network, SwitchKind::service), IsEmpty()) << c.what;
    EXPECT_ANY_THROW(test::stateOf(network, SwitchKind::service, kService)) << c.what;
  }
}

TEST_F(PersistedNetworkManager, NotInstalledMeansNoServices) {
  std::filesystem::remove(stateDirectory());
  const auto network = operations();
  EXPECT_THAT(test::names(network, SwitchKind::service, Listing::record), IsEmpty());
  EXPECT_ANY_THROW(test::stateOf(network, SwitchKind::service, kService));
  EXPECT_FALSE(test::setSwitch(network, SwitchKind::service, kService, true));
  EXPECT_FALSE(std::filesystem::exists(stateDirectory()));
}

TEST_F(PersistedNetworkManager, SwitchingKeepsEveryOtherByteAndTheMode) {
  writeState(kTypical, 0640);
  const auto network = operations();

  ASSERT_TRUE(test::setSwitch(network, SwitchKind::service, kService, false));
  std::string off = kTypical;
  off.replace(off.find("NetworkingEnabled=true"), 22, "NetworkingEnabled=false");
  EXPECT_EQ(state(), off);
  EXPECT_EQ(stateMode(), 0640);
  EXPECT_FALSE(test::stateOf(network, SwitchKind::service, kService));

  ASSERT_TRUE(test::setSwitch(network, SwitchKind::service, kService, true));
  EXPECT_EQ(state(), kTypical);
  EXPECT_EQ(stateMode(), 0640);
  EXPECT_THAT(directoryEntries(), ElementsAre("NetworkManager.state"));
  EXPECT_FALSE(test::setSwitch(network, SwitchKind::service, "Wi-Fi", true));
}

TEST_F(PersistedNetworkManager, SwitchingAddsTheKeyWhereItIsMissing) {
  const struct {
    const char* what;
    const char* before;  // nullptr: no file
    const char* after;
  } cases[] = {
      {"no file", nullptr, "[main]\nNetworkingEnabled=false\n"},
      {"no key", "[main]\nWirelessEnabled=true\n",
       "[main]\nNetworkingEnabled=false\nWirelessEnabled=true\n"},
      {"no group", "[other]\nx=1", "[other]\nx=1\n\n[main]\nNetworkingEnabled=false\n"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(stateFile());
    if (c.before != nullptr) writeState(c.before, 0600);
    EXPECT_TRUE(test::setSwitch(operations(), SwitchKind::service, kService, false)) << c.what;
    EXPECT_EQ(state(), c.after) << c.what;
    EXPECT_EQ(stateMode(), c.before != nullptr ? 0600 : 0644) << c.what;
  }
}

// Only turning networking on may overwrite what cannot be read back, so failing open is never
// stuck on a damaged file; nothing is ever written through or over a symbolic link.
TEST_F(PersistedNetworkManager, ADamagedFileCanOnlyBeSwitchedOn) {
  const auto network = operations();
  const struct {
    const char* before;
    const char* afterOn;
  } garbled[] = {
      {"[main]\nNetworkingEnabled=maybe\r\n", "[main]\nNetworkingEnabled=true\r\n"},
      {"garbage\n", "garbage\n\n[main]\nNetworkingEnabled=true\n"},
  };
  for (const auto& c : garbled) {
    writeState(c.before);
    EXPECT_FALSE(test::setSwitch(network, SwitchKind::service, kService, false)) << c.before;
    EXPECT_EQ(state(), c.before);
    EXPECT_TRUE(test::setSwitch(network, SwitchKind::service, kService, true)) << c.before;
    EXPECT_EQ(state(), c.afterOn);
  }

  TempDir elsewhere;
  elsewhere.write("target", "[main]\nNetworkingEnabled=false\n");
  std::filesystem::remove(stateFile());
  ASSERT_EQ(::symlink(elsewhere.file("target").c_str(), stateFile().c_str()), 0);
  EXPECT_FALSE(test::setSwitch(network, SwitchKind::service, kService, true));
  EXPECT_FALSE(test::setSwitch(network, SwitchKind::service, kService, false));
  EXPECT_TRUE(std::filesystem::is_symlink(stateFile()));
  EXPECT_EQ(elsewhere.read("target"), "[main]\nNetworkingEnabled=false\n");
}

}  // namespace
}  // namespace nubrik
