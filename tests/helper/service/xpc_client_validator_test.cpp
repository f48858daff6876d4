#include "helper/service/xpc_client_validator.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "helper/log/log.hpp"
#include "helper/service/helper_xpc_service.hpp"

namespace nubrik {
namespace {

const std::string team = "TEAM123";

// An installation under /usr in which process 42 runs the app and process 43 something else.
CodeIdentity installation() {
  return CodeIdentity({
      [](const std::string& path) -> std::optional<PathStatus> {
        const bool file = path.find("/bin/") != std::string::npos ||
                          path.find("/com.nubrik.helper") != std::string::npos;
        return PathStatus{false, !file, file, 0, static_cast<mode_t>(0755)};
      },
      [](const std::string& path) -> std::optional<std::string> {
        if (path == "/proc/self/exe") return "/usr/libexec/nubrik/com.nubrik.helper";
        if (path == "/proc/42/exe") return "/usr/bin/tamsel";
        if (path == "/proc/43/exe") return "/usr/bin/busctl";
        return std::nullopt;
      },
      team,
  });
}

class ValidatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setLogHandler([this](const std::string& line) { logLines.push_back(line); });
  }
  void TearDown() override { setLogHandler(nullptr); }

  XPCCaller caller(std::optional<pid_t> pid, std::optional<uid_t> uid = 1000) {
    return {":1.7", pid, uid, [this] {
              ++livenessChecks;
              return stillThere;
            }};
  }

  std::vector<std::string> logLines;
  bool stillThere = true;
  int livenessChecks = 0;
};

TEST_F(ValidatorTest, AcceptsOnlyTheAppOfThisInstallation) {
  const auto validator = XPCClientValidator::withCodeIdentityForTest(team, installation());
  EXPECT_TRUE(validator.shouldAccept(caller(42)));
  EXPECT_FALSE(validator.shouldAccept(caller(43)));
  EXPECT_FALSE(validator.shouldAccept(caller(44)));
  EXPECT_TRUE(logLines.empty());
  // Nor under another Team ID.
  EXPECT_FALSE(XPCClientValidator::withCodeIdentityForTest("OTHER", installation())
                   .shouldAccept(caller(42)));
}

TEST_F(ValidatorTest, UnreadableCredentialsAreRefused) {
  const auto validator = XPCClientValidator::withCodeIdentityForTest(team, installation());
  EXPECT_FALSE(validator.shouldAccept(caller(std::nullopt)));
  EXPECT_FALSE(validator.shouldAccept(caller(42, std::nullopt)));
  XPCCaller unpinned = caller(42);
  unpinned.stillSamePeer = nullptr;
  EXPECT_FALSE(validator.shouldAccept(unpinned));
}

TEST_F(ValidatorTest, ACallerThatWentAwayDuringTheCheckIsRefused) {
  const auto validator = XPCClientValidator::withCodeIdentityForTest(team, installation());
  stillThere = false;
  EXPECT_FALSE(validator.shouldAccept(caller(42)));
  // Asked after the executable was judged, so the answer covers that judgement.
  EXPECT_EQ(livenessChecks, 1);
}

TEST_F(ValidatorTest, WithoutATeamIDEveryCallerIsRefusedAndEachRefusalLogged) {
  for (const auto& teamID : {std::optional<std::string>(), std::optional<std::string>("\"")}) {
    logLines.clear();
    const auto validator = XPCClientValidator::withCodeIdentityForTest(teamID, installation());
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
  EXPECT_FALSE(XPCClientValidator::production().shouldAccept(caller(::getpid())));
  // With a Team ID, this executable is still not the installed app.
  EXPECT_FALSE(XPCClientValidator::production(team).shouldAccept(caller(::getpid())));
}

TEST_F(ValidatorTest, TheServiceMakesAFreshObjectPerAcceptedRequest) {
  int made = 0;
  const HelperXPCService service(XPCClientValidator::withCodeIdentityForTest(team, installation()),
                                 [&] {
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
