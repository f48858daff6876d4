#include "helper/net/linux/rfkill_switches.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "helper/net/linux/linux_network_switches.hpp"
#include "helper/net/network_errors.hpp"
#include "tests/helper/net/switch_views.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A tree shaped like /sys/class/rfkill: one directory per switch with its attribute files.
class RfkillTree {
 public:
  RfkillTree() { std::filesystem::create_directory(root()); }

  std::string root() const { return dir_.file("rfkill"); }

  void addSwitch(const std::string& entry, const std::string& type, const std::string& name,
                 const std::string& soft) const {
    std::filesystem::create_directory(root() + "/" + entry);
    write(entry + "/type", type + "\n");
    write(entry + "/name", name + "\n");
    write(entry + "/soft", soft + "\n");
    write(entry + "/hard", "0\n");
  }

  void write(const std::string& relative, const std::string& content) const {
    dir_.write("rfkill/" + relative, content);
  }
  std::string read(const std::string& relative) const { return dir_.read("rfkill/" + relative); }
  const TempDir& dir() const { return dir_; }

  std::unique_ptr<LinuxNetworkSwitches> operations() const {
    return std::make_unique<LinuxNetworkSwitches>(
        LinuxNetworkConfig{root(), dir_.file("no-rfkill-device"),
                           "unix:path=" + dir_.file("no-bus"), dir_.file("no-networkmanager")});
  }

 private:
  TempDir dir_;
};

template <typename Expected, typename Call>
void expectError(Call call, const Expected& expected) {
  try {
    call();
    ADD_FAILURE() << "expected " << expected.what();
  } catch (const Expected& error) {
    EXPECT_EQ(error, expected) << error.what();
  }
}

TEST(RfkillSwitches, ListsWlanSwitchesInIndexOrderWithTheirPower) {
  RfkillTree tree;
  tree.addSwitch("rfkill10", "wlan", "phy1", "1");
  tree.addSwitch("rfkill2", "wlan", "  phy0 ", "0");
  tree.addSwitch("rfkill3", "bluetooth", "hci0", "0");
  tree.addSwitch("rfkill02", "wlan", "not-a-switch", "0");  // not a kernel entry name
  std::filesystem::create_directory(tree.root() + "/power");
  const auto operations = tree.operations();

  EXPECT_THAT(test::names(operations, SwitchKind::wifi), ElementsAre("phy0", "phy1"));
  EXPECT_TRUE(test::stateOf(operations, SwitchKind::wifi, "phy0"));
  EXPECT_EQ(test::optionalStateOf(operations, SwitchKind::wifi, "phy1"), false);
  EXPECT_EQ(test::optionalStateOf(operations, SwitchKind::wifi, "hci0"), std::nullopt);
}

TEST(RfkillSwitches, PowerChangesWriteTheSoftFileOfThatSwitchOnly) {
  RfkillTree tree;
  tree.addSwitch("rfkill0", "wlan", "phy0", "0");
  tree.addSwitch("rfkill1", "wlan", "phy1", "0");
  const auto operations = tree.operations();

  EXPECT_TRUE(test::setSwitch(operations, SwitchKind::wifi, "phy1", false));
  EXPECT_EQ(tree.read("rfkill1/soft"), "1\n");
  EXPECT_EQ(tree.read("rfkill0/soft"), "0\n");
  EXPECT_TRUE(test::setSwitch(operations, SwitchKind::wifi, "phy1", true));
  EXPECT_EQ(tree.read("rfkill1/soft"), "0\n");
  EXPECT_FALSE(test::setSwitch(operations, SwitchKind::wifi, "phy7", false));
}

TEST(RfkillSwitches, AMissingTreeMeansNoWifiDevices) {
  TempDir dir;
  const auto operations = std::make_unique<LinuxNetworkSwitches>(
      LinuxNetworkConfig{dir.file("absent"), dir.file("no-device"), "", dir.file("no-nm")});
  EXPECT_THAT(test::names(operations, SwitchKind::wifi), IsEmpty());
  EXPECT_EQ(test::optionalStateOf(operations, SwitchKind::wifi, "phy0"), std::nullopt);
  EXPECT_FALSE(test::setSwitch(operations, SwitchKind::wifi, "phy0", false));
}

TEST(RfkillSwitches, AGarbledOrAmbiguousWlanEntryFailsTheWholeListing) {
  struct Case {
    const char* what;
    std::function<void(const RfkillTree&)> spoil;
    bool systemError;
  };
  const std::vector<Case> cases = {
      {"soft neither 0 nor 1", [](const RfkillTree& t) { t.write("rfkill5/soft", "2\n"); }, false},
      {"control character in the name",
       [](const RfkillTree& t) { t.write("rfkill5/name", "ph\x1by0\n"); }, false},
      {"name of another wlan switch",
       [](const RfkillTree& t) { t.write("rfkill5/name", "phy0\n"); }, false},
      {"oversized attribute",
       [](const RfkillTree& t) { t.write("rfkill5/name", std::string(5000, 'a')); }, false},
      {"soft missing",
       [](const RfkillTree& t) { std::filesystem::remove(t.root() + "/rfkill5/soft"); }, true},
      {"soft is a FIFO",
       [](const RfkillTree& t) {
         std::filesystem::remove(t.root() + "/rfkill5/soft");
         ASSERT_EQ(::mkfifo((t.root() + "/rfkill5/soft").c_str(), 0600), 0);
       },
       false},
      {"soft is a symbolic link",
       [](const RfkillTree& t) {
         t.dir().write("outside-soft", "0\n");
         std::filesystem::remove(t.root() + "/rfkill5/soft");
         std::filesystem::create_symlink(t.dir().file("outside-soft"), t.root() + "/rfkill5/soft");
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RfkillTree tree;
    tree.addSwitch("rfkill0", "wlan", "phy0", "0");
    tree.addSwitch("rfkill5", "wlan", "phy5", "0");
    c.spoil(tree);
    const auto operations = tree.operations();
    if (c.systemError) {
      EXPECT_THROW(test::names(operations, SwitchKind::wifi), NetworkSystemError);
    } else {
      expectError([&] { test::names(operations, SwitchKind::wifi); },
                  NetworkStateError::malformedOutput("rfkill"));
    }
    EXPECT_EQ(test::optionalStateOf(operations, SwitchKind::wifi, "phy0"), std::nullopt);
    EXPECT_FALSE(test::setSwitch(operations, SwitchKind::wifi, "phy0", false));
    EXPECT_EQ(tree.read("rfkill0/soft"), "0\n");
  }
}

TEST(RfkillSwitches, AnEntryLinkedOutOfATestTreeIsReadButNeverWritten) {
  RfkillTree tree;
  std::filesystem::create_directory(tree.dir().file("elsewhere"));
  tree.dir().write("elsewhere/type", "wlan\n");
  tree.dir().write("elsewhere/name", "phy9\n");
  tree.dir().write("elsewhere/soft", "0\n");
  std::filesystem::create_directory_symlink(tree.dir().file("elsewhere"), tree.root() + "/rfkill9");
  const auto operations = tree.operations();

  EXPECT_THAT(test::names(operations, SwitchKind::wifi), ElementsAre("phy9"));
  EXPECT_FALSE(test::setSwitch(operations, SwitchKind::wifi, "phy9", false));
  EXPECT_EQ(tree.dir().read("elsewhere/soft"), "0\n");
}

}  // namespace
}  // namespace nubrik
