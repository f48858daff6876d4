#include "helper/service/xpc_client_validator.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "helper/service/helper_xpc_service.hpp"

namespace nubrik {
namespace {

const std::string team = "TEAM123";

constexpr gid_t appGroup = 4242;

// An installation under /usr whose app is installed with this mode and group, in which process 42
// runs the app, process 43 something else and process 45 the installation's desktop program.
CodeIdentity installation(mode_t appMode = 02755, gid_t appFileGroup = appGroup) {
  return CodeIdentity({
      [appMode, appFileGroup](const std::string& path) -> std::optional<PathStatus> {
        if (path == "/usr/bin/tamsel") {
          return PathStatus{false,       false, true, 0, static_cast<mode_t>(S_IFREG | appMode),
                            appFileGroup};
        }
        const bool file = path.find("/bin/") != std::string::npos ||
                          path.find("/com.nubrik.helper") != std::string::npos ||
                          path.find("/tamsel-desktop") != std::string::npos;
        return PathStatus{false, !file, file, 0, static_cast<mode_t>(0755)};
      },
      [](const std::string& path) -> std::optional<std::string> {
        if (path == "/proc/self/exe") return "/usr/libexec/nubrik/com.nubrik.helper";
        if (path == "/proc/42/exe") return "/usr/bin/tamsel";
        if (path == "/proc/43/exe") return "/usr/bin/busctl";
        if (path == "/proc/45/exe") return "/usr/libexec/nubrik/tamsel-desktop";
        return std::nullopt;
      },
      team,
  });
}

class ValidatorTest : public ::testing::Test {
 protected:
  XPCClientValidator validatorFor(const std::optional<std::string>& teamID,
                                  CodeIdentity identity = installation()) {
    return XPCClientValidator::withCodeIdentityForTest(teamID, std::move(identity), log);
  }

  // A caller that connected while it carried these groups (by default, as the app does).
  XPCCaller caller(std::optional<pid_t> pid, std::optional<uid_t> uid = 1000,
                   std::optional<std::vector<gid_t>> groups = std::vector<gid_t>{appGroup}) {
    return {":1.7", pid, uid, std::move(groups), [this] {
              ++livenessChecks;
              return stillThere;
            }};
  }

  std::vector<std::string> logLines;
  const LogOperation log = [this](const std::string& line) { logLines.push_back(line); };
  bool stillThere = true;
  int livenessChecks = 0;
};

TEST_F(ValidatorTest, RefusesAProcessWithoutAnExecutableAndTheAppUnderAnotherTeamID) {
  EXPECT_FALSE(validatorFor(team).shouldAccept(caller(44)));
  EXPECT_FALSE(validatorFor("OTHER").shouldAccept(caller(42)));
  EXPECT_TRUE(logLines.empty());
}

TEST_F(ValidatorTest, UnreadableCredentialsAreRefused) {
  const auto validator = validatorFor(team);
  EXPECT_FALSE(validator.shouldAccept(caller(std::nullopt)));
  EXPECT_FALSE(validator.shouldAccept(caller(42, std::nullopt)));
  EXPECT_FALSE(validator.shouldAccept(caller(42, 1000, std::nullopt)));
  XPCCaller unpinned = caller(42);
  unpinned.stillSamePeer = nullptr;
  EXPECT_FALSE(validator.shouldAccept(unpinned));
  EXPECT_TRUE(logLines.empty());
}

// The app's executable behind the pid is not enough: a process can connect and then exec the
// app. Only a connection made while carrying the app's group is served, and the executable must
// still be the app's.
TEST_F(ValidatorTest, TheAppIsServedOnlyOnAConnectionMadeWithItsGroup) {
  struct Case {
    const char* what;
    pid_t pid;
    std::vector<gid_t> groups;
    bool accepted;
  };
  const std::vector<Case> cases = {
      {"the setgid app", 42, {appGroup}, true},
      {"the app run by a user with other groups too", 42, {24, 100, appGroup, 1000}, true},
      {"connected with the user's groups, then exec'd the app", 42, {1000}, false},
      {"no groups at all", 42, {}, false},
      {"a near miss", 42, {appGroup + 1, appGroup - 1}, false},
      {"another program holding the group", 43, {appGroup}, false},
      // The desktop program is part of the installation, but it is not the app.
      {"the desktop program holding the group", 45, {appGroup}, false},
  };
  const auto validator = validatorFor(team);
  for (const Case& c : cases) {
    livenessChecks = 0;
    EXPECT_EQ(validator.shouldAccept(caller(c.pid, 1000, c.groups)), c.accepted) << c.what;
    // Liveness is asked last, about a caller that passed everything else.
    EXPECT_EQ(livenessChecks, c.accepted ? 1 : 0) << c.what;
  }
  // Refusals of callers are not logged; only a daemon that cannot judge anyone says so.
  EXPECT_TRUE(logLines.empty());
}

TEST_F(ValidatorTest, WithoutASetgidAppEveryCallerIsRefusedAndEachRefusalLogged) {
  struct Case {
    const char* what;
    mode_t mode;
    gid_t group;
  };
  const std::vector<Case> cases = {
      {"installed without the setgid bit", 0755, appGroup},
      {"setgid to root's group", 02755, 0},
  };
  for (const Case& c : cases) {
    logLines.clear();
    const auto validator = validatorFor(team, installation(c.mode, c.group));
    // Whatever groups the caller shows: with no group to look for, none proves anything.
    EXPECT_FALSE(validator.shouldAccept(caller(42, 1000, std::vector<gid_t>{c.group}))) << c.what;
    EXPECT_FALSE(validator.shouldAccept(caller(42))) << c.what;
    EXPECT_EQ(logLines, (std::vector<std::string>(
                            2,
                            "xpc: the installed tamsel is not setgid to a group of its own; "
                            "refusing client (fail closed)")))
        << c.what;
  }
  EXPECT_EQ(livenessChecks, 0);
}

TEST_F(ValidatorTest, ACallerThatWentAwayDuringTheCheckIsRefused) {
  const auto validator = validatorFor(team);
  stillThere = false;
  EXPECT_FALSE(validator.shouldAccept(caller(42)));
  // Asked after the executable was judged, so the answer covers that judgement.
  EXPECT_EQ(livenessChecks, 1);
}

TEST_F(ValidatorTest, WithoutATeamIDEveryCallerIsRefusedAndEachRefusalLogged) {
  for (const auto& teamID : {std::optional<std::string>(), std::optional<std::string>("\"")}) {
    logLines.clear();
    const auto validator = validatorFor(teamID);
    EXPECT_FALSE(validator.shouldAccept(caller(42)));
    EXPECT_FALSE(validator.shouldAccept(caller(42)));
    EXPECT_EQ(logLines, (std::vector<std::string>(
                            2,
                            "xpc: no Team ID available for client requirement; refusing "
                            "client (fail closed)")));
  }
  EXPECT_EQ(livenessChecks, 0);
}

TEST_F(ValidatorTest, TheProductionRuleRefusesATestBinary) {
  // Run from the build tree, this process has no Team ID and fails closed.
  EXPECT_FALSE(XPCClientValidator::production(log).shouldAccept(caller(::getpid())));
  // With a Team ID, this executable is still not the installed app.
  EXPECT_FALSE(XPCClientValidator::production(team, log).shouldAccept(caller(::getpid())));
}

TEST_F(ValidatorTest, TheServiceMakesAFreshObjectPerAcceptedRequest) {
  int made = 0;
  const HelperXPCService service(validatorFor(team), [&] {
    ++made;
    return HelperXPCExportedObject{};
  });
  EXPECT_TRUE(service.accept(caller(42)));
  EXPECT_TRUE(service.accept(caller(42)));
  EXPECT_FALSE(service.accept(caller(43)));
  EXPECT_EQ(made, 2);

  const HelperXPCService throwing({[](const XPCCaller&) -> bool { throw 1; }},
                                  [] { return HelperXPCExportedObject{}; });
  EXPECT_FALSE(throwing.accept(caller(42)));
}

}  // namespace
}  // namespace nubrik
