#include "app/desktop_launch.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "app/command_line.hpp"

namespace nubrik {
namespace {

TEST(DesktopProgramPath, TheInstallationDecidesAndOnlyABuildLooksBesideItself) {
  struct Case {
    const char* what;
    std::string self;
    bool secure;
    std::set<std::string> files;
    std::optional<std::string> expected;
  };
  const std::string installed = "/usr/libexec/nubrik/tamsel-desktop";
  const std::vector<Case> cases = {
      {"installed and setgid", "/usr/bin/tamsel", true, {installed}, installed},
      // The installed program has one place, even while it is missing.
      {"installed, the program missing",
       "/usr/bin/tamsel",
       true,
       {"/usr/bin/tamsel-desktop"},
       installed},
      {"another prefix", "/opt/n/bin/tamsel", true, {}, "/opt/n" + installed.substr(4)},
      {"installed without the bit", "/usr/bin/tamsel", false, {installed}, installed},
      {"a build tree", "/work/build/bin/tamsel", false, {}, "/work/build/bin/tamsel-desktop"},
      {"a copy under another name", "/home/u/t2", false, {}, "/home/u/tamsel-desktop"},
      // With privileges there is no looking around: a renamed or replaced tamsel finds nothing.
      {"setgid under another name", "/home/u/t2", true, {}, std::nullopt},
      {"setgid and replaced since it started", "/usr/bin/tamsel (deleted)", true, {}, std::nullopt},
      {"no absolute path", "tamsel", false, {}, std::nullopt},
  };
  for (const Case& c : cases) {
    const auto exists = [&c](const std::string& path) { return c.files.contains(path); };
    EXPECT_EQ(desktopProgramPath(c.self, c.secure, exists), c.expected) << c.what;
  }
}

TEST(DesktopEnvironment, DropsModulePathsAndAnyBrokerNumberAndAddsItsOwn) {
  std::vector<std::string> given = {
      "HOME=/home/u", "DISPLAY=:0",        "NUBRIK_BROKER_FD=0",      "QT_QPA_PLATFORMTHEME=gtk3",
      "NOEQUALS",     "QT_PLUGIN_PATHX=1", "XDG_DATA_DIRS=/usr/share"};
  for (const std::string_view name : desktopUnsafeVariables) {
    given.push_back(std::string(name) + "=/home/u/evil");
  }
  EXPECT_EQ(desktopEnvironment(given, 7),
            (std::vector<std::string>{"HOME=/home/u", "DISPLAY=:0", "QT_QPA_PLATFORMTHEME=gtk3",
                                      "QT_PLUGIN_PATHX=1", "XDG_DATA_DIRS=/usr/share",
                                      "NUBRIK_BROKER_FD=7"}));
  EXPECT_EQ(desktopEnvironment({}, 3), (std::vector<std::string>{"NUBRIK_BROKER_FD=3"}));
}

// Each step records itself; a test makes one of them fail. The bus address in the environment is
// one a build would follow, which the installed, setgid tamsel never reads.
struct FakeSystem {
  std::optional<std::string> self = "/usr/bin/tamsel";
  bool secure = true;
  std::optional<std::string> address = "unix:path=/tmp/elsewhere/socket";
  bool brokerFails = false;
  bool dropFails = false;
  int inheritError = 0;
  std::vector<std::string> steps;

  DesktopLaunchDependencies dependencies() {
    return DesktopLaunchDependencies{
        [this] { return self; },
        [this] { return secure; },
        [](const std::string&) { return false; },
        [this] {
          steps.push_back("read address");
          return address;
        },
        [this](const std::string& busSocket) {
          steps.push_back("broker " + busSocket);
          if (brokerFails) throw std::system_error(EAGAIN, std::generic_category(), "fork");
          return BrokerProcess{1234, 9};
        },
        [this] {
          steps.push_back("drop");
          if (dropFails) throw std::runtime_error("the group could be taken back");
        },
        [] { return std::vector<std::string>{}; },
        [this](int fd) {
          steps.push_back("inherit " + std::to_string(fd));
          return inheritError;
        },
        [this](const std::string& path, const std::vector<std::string>&) {
          steps.push_back("exec " + path);
          return ENOENT;
        },
    };
  }

  std::pair<int, std::string> launch() {
    std::ostringstream err;
    const int status = launchDesktop(err, dependencies());
    return {status, err.str()};
  }
};

// A whole launch from the installed tree, and its error when the program is missing, are the
// end-to-end test's.
TEST(LaunchDesktop, ABuildFollowsAUnixPathBusAddressOnly) {
  FakeSystem system;
  system.secure = false;
  system.self = "/work/build/bin/tamsel";
  system.address = "unix:path=/tmp/bus/socket,guid=0123";
  system.launch();
  EXPECT_EQ(system.steps,
            (std::vector<std::string>{"read address", "broker /tmp/bus/socket", "drop", "inherit 9",
                                      "exec /work/build/bin/tamsel-desktop"}));

  system.steps.clear();
  system.address = "unix:abstract=/tmp/dbus-x";
  const auto [status, err] = system.launch();
  EXPECT_EQ(status, tamselExitDesktopUnavailable);
  EXPECT_EQ(err,
            "error: the desktop app can reach the system bus only at a unix:path= address, not "
            "DBUS_SYSTEM_BUS_ADDRESS=unix:abstract=/tmp/dbus-x\n");
  EXPECT_EQ(system.steps, (std::vector<std::string>{"read address"}));
}

TEST(LaunchDesktop, EachFailureStopsTheLaunchWithItsReason) {
  struct Case {
    const char* what;
    std::function<void(FakeSystem&)> breakIt;
    std::vector<std::string> steps;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"no path of its own",
       [](FakeSystem& s) { s.self.reset(); },
       {},
       "error: cannot tell where the desktop app is installed: tamsel runs from an unknown "
       "place\n"},
      {"renamed while setgid",
       [](FakeSystem& s) { s.self = "/usr/bin/t2"; },
       {},
       "error: cannot tell where the desktop app is installed: tamsel runs from /usr/bin/t2\n"},
      {"no broker",
       [](FakeSystem& s) { s.brokerFails = true; },
       {"broker /run/dbus/system_bus_socket"},
       "error: cannot start the bus broker: fork: Resource temporarily unavailable\n"},
      // Nothing is executed while the group might still be held.
      {"the group stays",
       [](FakeSystem& s) { s.dropFails = true; },
       {"broker /run/dbus/system_bus_socket", "drop"},
       "error: cannot give up the group of tamsel: the group could be taken back\n"},
      {"the socket cannot be passed on",
       [](FakeSystem& s) { s.inheritError = EBADF; },
       {"broker /run/dbus/system_bus_socket", "drop", "inherit 9"},
       "error: cannot pass the bus broker on: Bad file descriptor\n"},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    c.breakIt(system);
    const auto [status, err] = system.launch();
    EXPECT_EQ(status, tamselExitDesktopUnavailable) << c.what;
    EXPECT_EQ(err, c.err) << c.what;
    EXPECT_EQ(system.steps, c.steps) << c.what;
  }
}

}  // namespace
}  // namespace nubrik
