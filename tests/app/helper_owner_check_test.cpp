#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/helper_bus_connection.hpp"

namespace nubrik {
namespace {

// An installation under /opt/nubrik as the check sees it: every path root-owned and root-only
// writable unless the test says otherwise.
struct Installation {
  std::map<std::string, std::string> links = {
      {"/proc/self/exe", "/opt/nubrik/bin/tamsel"},
      {"/proc/42/exe", "/opt/nubrik/libexec/nubrik/com.nubrik.helper"},
      {"/proc/43/exe", "/opt/nubrik/bin/tamsel"},
      {"/proc/44/exe", "/usr/libexec/nubrik/com.nubrik.helper"},
  };
  std::map<std::string, PathStatus> overrides;

  CodeIdentity identity() const {
    return CodeIdentity(CodeIdentityDependencies{
        [this](const std::string& path) -> std::optional<PathStatus> {
          if (auto found = overrides.find(path); found != overrides.end()) return found->second;
          const bool isFile = path.ends_with("com.nubrik.helper") || path.ends_with("tamsel");
          return PathStatus{false, !isFile, isFile, 0,
                            static_cast<mode_t>(isFile ? (S_IFREG | 0755) : (S_IFDIR | 0755))};
        },
        [this](const std::string& path) -> std::optional<std::string> {
          if (auto found = links.find(path); found != links.end()) return found->second;
          return std::nullopt;
        },
        "TEAM0001",
    });
  }
};

TEST(HelperOwnerCheck, OnlyThisInstallationsRootHelperIsTrusted) {
  struct Case {
    std::string name;
    pid_t pid;
    uid_t uid;
    std::string expectedTeamID;
    std::map<std::string, PathStatus> overrides;
    PeerAuthorization expected;
  };
  const PathStatus groupWritable{false, true, false, 0, S_IFDIR | 0775};
  const std::vector<Case> cases = {
      {"the helper", 42, 0, "TEAM0001", {}, PeerAuthorization::authorized()},
      {"the helper as a user",
       42,
       1000,
       "TEAM0001",
       {},
       PeerAuthorization::rejected(std::string(ownerNotRootReason))},
      {"the app itself",
       43,
       0,
       "TEAM0001",
       {},
       PeerAuthorization::rejected(std::string(peerRejectedIdentifier))},
      {"another installation's helper",
       44,
       0,
       "TEAM0001",
       {},
       PeerAuthorization::rejected(std::string(peerRejectedIdentifier))},
      {"an unknown process",
       45,
       0,
       "TEAM0001",
       {},
       PeerAuthorization::rejected(std::string(peerRejectedNoAnchor))},
      {"a tree others can write to",
       42,
       0,
       "TEAM0001",
       {{"/opt/nubrik/libexec", groupWritable}},
       PeerAuthorization::rejected(std::string(peerRejectedNoAnchor))},
      {"another team",
       42,
       0,
       "TEAM0002",
       {},
       PeerAuthorization::rejected(std::string(peerRejectedTeamID))},
      {"no Team ID of our own",
       42,
       0,
       "",
       {},
       PeerAuthorization::rejected(std::string(peerRejectedNoExpectedTeamID))},
  };
  for (const auto& c : cases) {
    Installation installation;
    installation.overrides = c.overrides;
    const HelperOwnerCheck check =
        helperOwnerCheck(c.expectedTeamID, installation.identity(), /*clientIsPrivileged=*/true);
    EXPECT_EQ(check(c.pid, c.uid), c.expected) << c.name;
  }
}

// A user's app cannot read a root process's executable (pid 45 here). It then trusts a root owner
// of the name as long as this installation's own helper is in place and trusted.
TEST(HelperOwnerCheck, AnUnprivilegedAppReliesOnTheInstalledHelperAndARootOwner) {
  struct Case {
    std::string name;
    pid_t pid;
    uid_t uid;
    std::map<std::string, PathStatus> overrides;
    PeerAuthorization expected;
  };
  const PathStatus groupWritable{false, true, false, 0, S_IFDIR | 0775};
  const PathStatus userOwned{false, false, true, 1000, S_IFREG | 0755};
  const std::vector<Case> cases = {
      {"root owner, executable hidden", 45, 0, {}, PeerAuthorization::authorized()},
      {"user owner", 45, 1000, {}, PeerAuthorization::rejected(std::string(ownerNotRootReason))},
      {"installed helper in a writable tree",
       45,
       0,
       {{"/opt/nubrik/libexec", groupWritable}},
       PeerAuthorization::rejected(std::string(peerRejectedNoAnchor))},
      {"installed helper owned by a user",
       45,
       0,
       {{"/opt/nubrik/libexec/nubrik/com.nubrik.helper", userOwned}},
       PeerAuthorization::rejected(std::string(peerRejectedNoAnchor))},
      {"a readable executable is still judged itself",
       44,
       0,
       {},
       PeerAuthorization::rejected(std::string(peerRejectedIdentifier))},
  };
  for (const auto& c : cases) {
    Installation installation;
    installation.overrides = c.overrides;
    const HelperOwnerCheck check =
        helperOwnerCheck("TEAM0001", installation.identity(), /*clientIsPrivileged=*/false);
    EXPECT_EQ(check(c.pid, c.uid), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace nubrik
