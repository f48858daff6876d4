#include "core/peer_authorization.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace nubrik {
namespace {

const std::string team = "TEAM123";

TEST(AuthorizePeer, ChecksInOrderAndTheFirstFailureDecides) {
  const PeerIdentity good{"com.nubrik.app", team, true};
  const auto noExpectation =
      PeerAuthorization::rejected("expected Team ID unavailable; refusing to authorize");
  const auto wrongIdentifier = PeerAuthorization::rejected("peer identifier mismatch");
  const auto wrongTeam = PeerAuthorization::rejected("peer Team ID mismatch");
  using Case = std::tuple<PeerIdentity, std::optional<std::string>, PeerAuthorization>;
  const std::vector<Case> cases = {
      {good, team, PeerAuthorization::authorized()},
      // A missing expectation rejects even a perfect peer.
      {good, std::nullopt, noExpectation},
      {good, "", noExpectation},
      // Everything wrong: the anchor is checked first.
      {{"other", "OTHER", false},
       team,
       PeerAuthorization::rejected("peer has no Apple/developer signing anchor")},
      {{"other", "OTHER", true}, team, wrongIdentifier},
      {{std::nullopt, team, true}, team, wrongIdentifier},
      {{"com.nubrik.app", "OTHER", true}, team, wrongTeam},
      {{"com.nubrik.app", std::nullopt, true}, team, wrongTeam},
  };
  for (const auto& [peer, expectedTeam, expected] : cases) {
    EXPECT_EQ(authorizePeer(peer, "com.nubrik.app", expectedTeam), expected);
  }
}

TEST(InstallationPlaces, PrefixAndIdentifierFollowTheLayout) {
  EXPECT_EQ(installationPrefixOf("/usr/bin/tamsel"), "/usr");
  EXPECT_EQ(installationPrefixOf("/opt/n/libexec/nubrik/com.nubrik.helper"), "/opt/n");
  EXPECT_EQ(installationPrefixOf("/bin/tamsel"), "");
  EXPECT_FALSE(installationPrefixOf("/usr/bin/tamsel2"));
  EXPECT_FALSE(installationPrefixOf("/work/build/bin/com.nubrik.helper"));
  EXPECT_FALSE(installationPrefixOf("usr/bin/tamsel"));
  EXPECT_FALSE(installationPrefixOf("/usr/../usr/bin/tamsel"));
  EXPECT_EQ(installationPrefixOf("/opt/n/libexec/nubrik/tamsel-desktop"), "/opt/n");
  EXPECT_FALSE(installationPrefixOf("/opt/n/bin/tamsel-desktop"));

  EXPECT_EQ(identifierForExecutable("/usr/bin/tamsel", "/usr"), "com.nubrik.app");
  EXPECT_EQ(identifierForExecutable("/usr/libexec/nubrik/com.nubrik.helper", "/usr"),
            "com.nubrik.helper");
  // The desktop program has a place of its own, and it is not the app's.
  EXPECT_EQ(identifierForExecutable("/usr/libexec/nubrik/tamsel-desktop", "/usr"),
            "com.nubrik.app.desktop");
  EXPECT_FALSE(identifierForExecutable("/usr/bin/tamsel-desktop", "/usr"));
  // Only the checker's own installation counts.
  EXPECT_FALSE(identifierForExecutable("/usr/local/bin/tamsel", "/usr"));
  EXPECT_FALSE(identifierForExecutable("/usrx/bin/tamsel", "/usr"));
  EXPECT_FALSE(identifierForExecutable("/usr//bin/tamsel", "/usr"));
}

// A file system in memory: every path is a root-owned directory 0755 unless listed.
class FakeFiles {
 public:
  void file(const std::string& path, uid_t owner = 0, mode_t mode = 0755, gid_t group = 0) {
    entries_[path] =
        PathStatus{false, false, true, owner, static_cast<mode_t>(S_IFREG | mode), group};
  }
  void directory(const std::string& path, uid_t owner, mode_t mode) {
    entries_[path] = PathStatus{false, true, false, owner, static_cast<mode_t>(S_IFDIR | mode)};
  }
  void symlink(const std::string& path) {
    entries_[path] = PathStatus{true, false, false, 0, static_cast<mode_t>(S_IFLNK | 0777)};
  }
  void missing(const std::string& path) { missing_.push_back(path); }
  void link(const std::string& path, const std::string& target) { links_[path] = target; }

  CodeIdentity identity(std::optional<std::string> teamID = team) {
    return CodeIdentity({
        [this](const std::string& path) -> std::optional<PathStatus> {
          stated.push_back(path);
          for (const auto& gone : missing_)
            if (gone == path) return std::nullopt;
          if (auto found = entries_.find(path); found != entries_.end()) return found->second;
          return PathStatus{false, true, false, 0, static_cast<mode_t>(S_IFDIR | 0755)};
        },
        [this](const std::string& path) -> std::optional<std::string> {
          if (auto found = links_.find(path); found != links_.end()) return found->second;
          return std::nullopt;
        },
        std::move(teamID),
    });
  }

  std::vector<std::string> stated;

 private:
  std::map<std::string, PathStatus> entries_;
  std::vector<std::string> missing_;
  std::map<std::string, std::string> links_;
};

// An installation under /usr, checked from its helper, in which process 42 runs the app.
FakeFiles installed() {
  FakeFiles files;
  files.link("/proc/self/exe", "/usr/libexec/nubrik/com.nubrik.helper");
  files.file("/usr/libexec/nubrik/com.nubrik.helper");
  files.file("/usr/bin/tamsel");
  files.link("/proc/42/exe", "/usr/bin/tamsel");
  return files;
}

class CodeIdentityTest : public ::testing::Test {
 protected:
  FakeFiles files = installed();
};

TEST_F(CodeIdentityTest, TheInstalledAppIsTheAppWithTheTeamID) {
  EXPECT_EQ(files.identity().identityOfProcess(42), (PeerIdentity{"com.nubrik.app", team, true}));
  // Every component was looked at without following links, up to the root.
  EXPECT_EQ(files.stated, (std::vector<std::string>{"/usr/bin/tamsel", "/usr/bin", "/usr", "/"}));
}

TEST_F(CodeIdentityTest, TheDaemonKnowsItsOwnTeamIDAlsoAfterAnUpgradeReplacedItsExecutable) {
  EXPECT_EQ(files.identity().selfIdentity(), (PeerIdentity{"com.nubrik.helper", team, true}));
  EXPECT_EQ(files.identity().installationPrefix(), "/usr");

  // The old helper keeps enforcing a session through an upgrade and must still know the app.
  files.link("/proc/self/exe", "/usr/libexec/nubrik/com.nubrik.helper (deleted)");
  EXPECT_EQ(files.identity().installationPrefix(), "/usr");
  EXPECT_EQ(files.identity().selfIdentity(), (PeerIdentity{"com.nubrik.helper", team, true}));
  EXPECT_EQ(files.identity().identityOfProcess(42), (PeerIdentity{"com.nubrik.app", team, true}));
}

TEST_F(CodeIdentityTest, TheDesktopProgramKnowsItsInstallationButIsNotTheApp) {
  files.link("/proc/self/exe", "/usr/libexec/nubrik/tamsel-desktop");
  files.file("/usr/libexec/nubrik/tamsel-desktop");
  const CodeIdentity identity = files.identity();
  // It can judge its installation's helper and has the Team ID to expect of it, but it is not
  // the app (the validator's test refuses it as a caller).
  EXPECT_EQ(identity.installationPrefix(), "/usr");
  EXPECT_EQ(identity.selfIdentity(), (PeerIdentity{"com.nubrik.app.desktop", team, true}));
  EXPECT_EQ(identity.identityOfExecutable("/usr/libexec/nubrik/com.nubrik.helper"),
            (PeerIdentity{"com.nubrik.helper", team, true}));
}

TEST_F(CodeIdentityTest, AnyWeakLinkInTheChainRemovesAnchorAndTeamID) {
  struct Case {
    const char* what;
    std::function<void(FakeFiles&)> damage;
  };
  const std::vector<Case> cases = {
      {"file owned by a user", [](FakeFiles& f) { f.file("/usr/bin/tamsel", 1000, 0755); }},
      {"file group-writable", [](FakeFiles& f) { f.file("/usr/bin/tamsel", 0, 0775); }},
      {"file world-writable", [](FakeFiles& f) { f.file("/usr/bin/tamsel", 0, 0757); }},
      {"file is a symlink", [](FakeFiles& f) { f.symlink("/usr/bin/tamsel"); }},
      {"file is a directory", [](FakeFiles& f) { f.directory("/usr/bin/tamsel", 0, 0755); }},
      {"file unreadable", [](FakeFiles& f) { f.missing("/usr/bin/tamsel"); }},
      {"parent owned by a user", [](FakeFiles& f) { f.directory("/usr/bin", 1000, 0755); }},
      {"grandparent is a symlink", [](FakeFiles& f) { f.symlink("/usr"); }},
      {"root group-writable", [](FakeFiles& f) { f.directory("/", 0, 0775); }},
      {"ancestor unreadable", [](FakeFiles& f) { f.missing("/usr"); }},
  };
  for (const Case& c : cases) {
    FakeFiles damaged = installed();
    c.damage(damaged);
    const PeerIdentity peer = damaged.identity().identityOfProcess(42);
    EXPECT_EQ(peer, (PeerIdentity{"com.nubrik.app", std::nullopt, false})) << c.what;
  }
}

TEST_F(CodeIdentityTest, ExecutablesOutsideTheInstallationHaveNoIdentifier) {
  files.link("/proc/7/exe", "/usr/bin/python3");
  files.file("/usr/bin/python3");
  files.link("/proc/8/exe", "/usr/local/bin/tamsel");
  files.file("/usr/local/bin/tamsel");
  const CodeIdentity identity = files.identity();
  // Anchored, but not one of ours: no identifier, and so no Team ID either.
  EXPECT_EQ(identity.identityOfProcess(7), (PeerIdentity{std::nullopt, std::nullopt, true}));
  EXPECT_EQ(identity.identityOfProcess(8), (PeerIdentity{std::nullopt, std::nullopt, true}));
  // An executable replaced since the process started.
  files.link("/proc/9/exe", "/usr/bin/tamsel (deleted)");
  files.missing("/usr/bin/tamsel (deleted)");
  EXPECT_EQ(identity.identityOfProcess(9), PeerIdentity{});
  // No readable link, or no process.
  EXPECT_EQ(identity.identityOfProcess(10), PeerIdentity{});
  EXPECT_EQ(identity.identityOfProcess(0), PeerIdentity{});
  EXPECT_EQ(identity.identityOfProcess(-1), PeerIdentity{});
}

TEST_F(CodeIdentityTest, ABuildTreeOrAnUntrustedInstallHasNoTeamIDAndFailsClosed) {
  FakeFiles build;
  build.link("/proc/self/exe", "/work/build/bin/com.nubrik.helper");
  build.link("/proc/42/exe", "/usr/bin/tamsel");
  build.file("/usr/bin/tamsel");
  const CodeIdentity fromBuild = build.identity();
  EXPECT_FALSE(fromBuild.selfIdentity().teamID);
  EXPECT_FALSE(fromBuild.installationPrefix());
  // Without its own installation the checker knows no place, so nobody has an identifier.
  EXPECT_FALSE(fromBuild.identityOfProcess(42).identifier);

  FakeFiles userInstall;
  userInstall.link("/proc/self/exe", "/home/u/p/libexec/nubrik/com.nubrik.helper");
  userInstall.directory("/home/u", 1000, 0755);
  EXPECT_EQ(userInstall.identity().selfIdentity(),
            (PeerIdentity{"com.nubrik.helper", std::nullopt, false}));

  FakeFiles noSelf;
  EXPECT_EQ(noSelf.identity().selfIdentity(), PeerIdentity{});
}

TEST_F(CodeIdentityTest, AnEmptyBuiltTeamIDGrantsNothing) {
  EXPECT_EQ(files.identity("").identityOfProcess(42),
            (PeerIdentity{"com.nubrik.app", std::nullopt, true}));
  EXPECT_EQ(files.identity(std::nullopt).selfIdentity().teamID, std::nullopt);
}

TEST_F(CodeIdentityTest, TheAppGroupIsTheSetgidGroupOfTheTrustedInstalledApp) {
  struct Case {
    const char* what;
    std::function<void(FakeFiles&)> setUp;
    std::optional<gid_t> expected;
  };
  const std::vector<Case> cases = {
      {"setgid to a group of its own",
       [](FakeFiles& f) { f.file("/usr/bin/tamsel", 0, 02755, 4242); }, 4242},
      {"group set but not setgid", [](FakeFiles& f) { f.file("/usr/bin/tamsel", 0, 0755, 4242); },
       std::nullopt},
      {"setgid to root's group", [](FakeFiles& f) { f.file("/usr/bin/tamsel", 0, 02755, 0); },
       std::nullopt},
      // Any weakness of the anchor (all of them are tested above) leaves no group.
      {"setgid but owned by a user",
       [](FakeFiles& f) { f.file("/usr/bin/tamsel", 1000, 02755, 4242); }, std::nullopt},
      // Only this installation's app counts, however well another is installed.
      {"setgid, but the checker runs from a build tree",
       [](FakeFiles& f) {
         f.file("/usr/bin/tamsel", 0, 02755, 4242);
         f.link("/proc/self/exe", "/work/build/bin/com.nubrik.helper");
       },
       std::nullopt},
  };
  for (const Case& c : cases) {
    FakeFiles installation = installed();
    c.setUp(installation);
    EXPECT_EQ(installation.identity().appGroup(), c.expected) << c.what;
  }
}

TEST(CodeIdentityProduction, ATestBinaryOutsideAnInstallationHasNoTeamID) {
  // This test runs from the build tree, which is no installation.
  EXPECT_EQ(CodeIdentity::currentTeamID(), std::nullopt);
  // A sticky, world-writable directory anchors nothing placed in it.
  EXPECT_FALSE(CodeIdentity::production().hasTrustedAnchor("/tmp/tamsel"));
  EXPECT_FALSE(CodeIdentity::production().hasTrustedAnchor("/tmp"));
  EXPECT_EQ(CodeIdentity::production().appGroup(), std::nullopt);
}

}  // namespace
}  // namespace nubrik
