#include "app/login_item_autostart.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/scoped_environment.hpp"
#include "tests/support/scoped_umask.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

using test::ScopedEnvironment;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::vector<std::string> names(const std::string& dir) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    found.push_back(entry.path().filename());
  }
  return found;
}

struct stat lstatOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info;
}

// Sets a restrictive umask for the scope, so that modes show what the code chose.

class AutostartEntry : public ::testing::Test {
 protected:
  std::string configHome() const { return dir_.file("config"); }
  std::string autostartDir() const { return configHome() + "/autostart"; }
  std::string entryPath() const { return autostartDir() + "/tamsel.desktop"; }
  void makeAutostartDir(mode_t mode = 0700) {
    ASSERT_EQ(::mkdir(configHome().c_str(), mode), 0);
    ASSERT_EQ(::mkdir(autostartDir().c_str(), mode), 0);
  }

  TempDir dir_;
  const std::string program_ = "/usr/bin/tamsel";
};

TEST_F(AutostartEntry, RegisteringCreatesTheDirectoriesAndAnEntryOthersCanRead) {
  const test::ScopedUmask mask(077);
  EXPECT_EQ(autostartStatus(configHome()), RegistrationStatus::notRegistered);
  registerAutostart(configHome(), program_);

  EXPECT_EQ(lstatOf(configHome()).st_mode & 07777, 0700u);
  EXPECT_EQ(lstatOf(autostartDir()).st_mode & 07777, 0700u);
  EXPECT_EQ(lstatOf(entryPath()).st_mode, S_IFREG | 0644u);
  EXPECT_EQ(dir_.read("config/autostart/tamsel.desktop"),
            "[Desktop Entry]\nType=Application\nName=Tamsel\nIcon=tamsel\nExec=/usr/bin/tamsel\n"
            "Terminal=false\nNoDisplay=false\nX-GNOME-Autostart-enabled=true\n");
  EXPECT_THAT(names(autostartDir()), ElementsAre("tamsel.desktop"));
  EXPECT_EQ(autostartStatus(configHome()), RegistrationStatus::enabled);
}

TEST_F(AutostartEntry, RegisteringAgainReplacesTheEntryWholeAndKeepsTheDirectorysMode) {
  makeAutostartDir(0755);
  dir_.write("config/autostart/tamsel.desktop",
             "[Desktop Entry]\nName=Old\nExec=/opt/old/tamsel --with a long tail of arguments\n");
  const ino_t before = lstatOf(entryPath()).st_ino;
  registerAutostart(configHome(), "/opt/new/tamsel");
  EXPECT_NE(lstatOf(entryPath()).st_ino, before);
  EXPECT_THAT(dir_.read("config/autostart/tamsel.desktop"), HasSubstr("Exec=/opt/new/tamsel\n"));
  EXPECT_THAT(names(autostartDir()), ElementsAre("tamsel.desktop"));
  EXPECT_EQ(lstatOf(autostartDir()).st_mode & 07777, 0755u);
}

TEST_F(AutostartEntry, APlantedLinkIsReplacedNotFollowed) {
  makeAutostartDir();
  dir_.write("victim", "untouched");
  ASSERT_EQ(::symlink(dir_.file("victim").c_str(), entryPath().c_str()), 0);

  EXPECT_EQ(autostartStatus(configHome()), RegistrationStatus::notRegistered);
  registerAutostart(configHome(), program_);
  EXPECT_TRUE(S_ISREG(lstatOf(entryPath()).st_mode));
  EXPECT_EQ(dir_.read("victim"), "untouched");
  EXPECT_EQ(autostartStatus(configHome()), RegistrationStatus::enabled);

  // Removing a link removes the link only.
  ::unlink(entryPath().c_str());
  ASSERT_EQ(::symlink(dir_.file("victim").c_str(), entryPath().c_str()), 0);
  unregisterAutostart(configHome());
  EXPECT_THAT(names(autostartDir()), ::testing::IsEmpty());
  EXPECT_EQ(dir_.read("victim"), "untouched");
}

TEST_F(AutostartEntry, ALinkedAutostartDirectoryIsNotWrittenThrough) {
  ASSERT_EQ(::mkdir(configHome().c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(dir_.file("elsewhere").c_str(), 0700), 0);
  ASSERT_EQ(::symlink(dir_.file("elsewhere").c_str(), autostartDir().c_str()), 0);
  EXPECT_THROW(registerAutostart(configHome(), program_), LoginItemError);
  EXPECT_THAT(names(dir_.file("elsewhere")), ::testing::IsEmpty());
  EXPECT_EQ(autostartStatus(configHome()), RegistrationStatus::unknown);
  EXPECT_THROW(unregisterAutostart(configHome()), LoginItemError);
}

TEST_F(AutostartEntry, StatusReadsWhetherTheUserTurnedItOff) {
  makeAutostartDir();
  struct Case {
    std::string text;
    RegistrationStatus status;
  };
  const std::vector<Case> cases = {
      {"[Desktop Entry]\nExec=tamsel\n", RegistrationStatus::enabled},
      {"[Desktop Entry]\r\n  Hidden = true \r\n", RegistrationStatus::requiresApproval},
      {"[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n", RegistrationStatus::requiresApproval},
      {"# Hidden=true\n[Desktop Entry]\nName=Tamsel\n", RegistrationStatus::enabled},
      {"[Desktop Entry]\nName=Tamsel\n[Desktop Action x]\nHidden=true\n",
       RegistrationStatus::enabled},
      {std::string(70 * 1024, '#'), RegistrationStatus::unknown},
  };
  for (const Case& c : cases) {
    dir_.write("config/autostart/tamsel.desktop", c.text);
    EXPECT_EQ(autostartStatus(configHome()), c.status) << c.text.substr(0, 60);
  }
  ::unlink(entryPath().c_str());
  ASSERT_EQ(::mkdir(entryPath().c_str(), 0700), 0);
  EXPECT_EQ(autostartStatus(configHome()), RegistrationStatus::unknown);
  EXPECT_THROW(registerAutostart(configHome(), program_), LoginItemError);
  EXPECT_THAT(names(autostartDir()), ElementsAre("tamsel.desktop"));
}

TEST_F(AutostartEntry, TheOperationsFollowTheSchedules) {
  const LoginItemDependencies item = autostartLoginItem(configHome(), program_);
  unregisterAutostart(configHome());  // nothing to remove yet
  const std::vector<RecurringSchedule> enabled = {{"a", {2}, 540, 90, true}};
  EXPECT_EQ(applyLoginItem(enabled, item), LoginItemAction::registerItem);
  EXPECT_EQ(applyLoginItem(enabled, item), LoginItemAction::none);
  EXPECT_EQ(applyLoginItem({}, item), LoginItemAction::unregisterItem);
  EXPECT_EQ(item.status(), RegistrationStatus::notRegistered);
  EXPECT_THAT(names(autostartDir()), ::testing::IsEmpty());
}

TEST(AutostartDesktopEntry, QuotesTheProgramPathAsTheExecKeyRequires) {
  struct Case {
    std::string path;
    std::string exec;
  };
  const std::vector<Case> cases = {
      {"/usr/bin/tamsel", "Exec=/usr/bin/tamsel\n"},
      {"/opt/My Apps/tamsel", "Exec=\"/opt/My Apps/tamsel\"\n"},
      {"/opt/100%/tamsel", "Exec=/opt/100%%/tamsel\n"},
      {"/opt/$HOME/tamsel", "Exec=\"/opt/\\\\$HOME/tamsel\"\n"},
      {"/opt/a\\b/tamsel", "Exec=\"/opt/a\\\\\\\\b/tamsel\"\n"},
      {"/opt/\"q\"/tamsel", "Exec=\"/opt/\\\\\"q\\\\\"/tamsel\"\n"},
      {"/opt/caf\xC3\xA9/tamsel", "Exec=/opt/caf\xC3\xA9/tamsel\n"},
  };
  for (const Case& c : cases) {
    EXPECT_THAT(autostartDesktopEntry(c.path), HasSubstr(c.exec)) << c.path;
  }
  for (const std::string bad :
       {"tamsel", "/opt/new\nline", "/opt/\xC3(/tamsel", "/opt/\xED\xA0\x80/tamsel"}) {
    EXPECT_THROW(autostartDesktopEntry(bad), LoginItemError) << bad;
  }
}

TEST(LoginItemProgram, AlwaysTheLauncherNeverTheDesktopProgram) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/usr/libexec/nubrik/tamsel-desktop", "/usr/bin/tamsel"},
      {"/home/dev/build/bin/tamsel-desktop", "/home/dev/build/bin/tamsel"},
      {"/usr/bin/not-tamsel-desktop", "/usr/bin/not-tamsel-desktop"},
      {"", ""},
  };
  for (const auto& [program, expected] : cases) {
    EXPECT_EQ(loginItemProgram(program), expected) << program;
  }
}

TEST(UserConfigHome, FromTheEnvironmentOrThePasswordDatabase) {
  {
    const ScopedEnvironment config("XDG_CONFIG_HOME", "/somewhere/config");
    EXPECT_EQ(userConfigHome(), "/somewhere/config");
  }
  {
    const ScopedEnvironment config("XDG_CONFIG_HOME", "relative/config");
    const ScopedEnvironment home("HOME", "/home/someone/");
    EXPECT_EQ(userConfigHome(), "/home/someone/.config");
  }
  {
    const ScopedEnvironment config("XDG_CONFIG_HOME", "");
    const ScopedEnvironment home("HOME", nullptr);
    const passwd* entry = ::getpwuid(::getuid());
    ASSERT_NE(entry, nullptr);
    const std::string expected =
        std::string(entry->pw_dir) == "/" ? "/.config" : std::string(entry->pw_dir) + "/.config";
    EXPECT_EQ(userConfigHome(), expected);
  }
}

}  // namespace
}  // namespace nubrik
