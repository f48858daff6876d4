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

PeerAuthorization rejected(std::string_view reason) {
  return PeerAuthorization::rejected(std::string(reason));
}

struct Case {
  std::string name;
  pid_t pid;
  uid_t uid;
  PeerAuthorization expected;
  std::map<std::string, PathStatus> overrides = {};
};

void check(const std::vector<Case>& cases, bool clientIsPrivileged,
           const std::string& expectedTeamID = "TEAM0001") {
  for (const auto& c : cases) {
    Installation installation;
    installation.overrides = c.overrides;
    const HelperOwnerCheck check =
        helperOwnerCheck(expectedTeamID, installation.identity(), clientIsPrivileged);
    EXPECT_EQ(check(c.pid, c.uid), c.expected) << c.name;
  }
}

// How an identity earns its anchor and Team ID is the peer authorization's own test; here, what
// the owner check asks of it.
TEST(HelperOwnerCheck, OnlyThisInstallationsRootHelperIsTrusted) {
  check({{"the helper", 42, 0, PeerAuthorization::authorized()},
         {"the helper as a user", 42, 1000, rejected(ownerNotRootReason)},
         {"the app itself", 43, 0, rejected(peerRejectedIdentifier)},
         {"another installation's helper", 44, 0, rejected(peerRejectedIdentifier)},
         {"an unknown process", 45, 0, rejected(peerRejectedNoAnchor)}},
        /*clientIsPrivileged=*/true);
  check({{"another team", 42, 0, rejected(peerRejectedTeamID)}}, true, "TEAM0002");
}

// A user's app cannot read a root process's executable (pid 45 here). It then trusts a root owner
// of the name as long as this installation's own helper is in place and trusted.
TEST(HelperOwnerCheck, AnUnprivilegedAppReliesOnTheInstalledHelperAndARootOwner) {
  const PathStatus groupWritable{false, true, false, 0, S_IFDIR | 0775};
  check({{"root owner, executable hidden", 45, 0, PeerAuthorization::authorized()},
         {"user owner", 45, 1000, rejected(ownerNotRootReason)},
         {"installed helper in a writable tree",
          45,
          0,
          rejected(peerRejectedNoAnchor),
          {{"/opt/nubrik/libexec", groupWritable}}},
         {"a readable executable is still judged itself", 44, 0, rejected(peerRejectedIdentifier)}},
        /*clientIsPrivileged=*/false);
}

}  // namespace
}  // namespace nubrik
