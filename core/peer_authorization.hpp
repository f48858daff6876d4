#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace nubrik {

// Who is on the other end of a request, as far as the system can vouch for it.
struct PeerIdentity {
  // The identifier of the executable's place in the installation ("com.nubrik.app", ...).
  std::optional<std::string> identifier;
  // The publisher ID, granted only to executables of a trusted installation.
  std::optional<std::string> teamID;
  // The executable and every directory above it are root-owned and writable by root alone.
  bool hasAnchor = false;

  bool operator==(const PeerIdentity&) const = default;
};

// authorized, or rejected with a reason.
struct PeerAuthorization {
  enum class Kind { authorized, rejected };
  Kind kind = Kind::rejected;
  // rejected only.
  std::string reason;

  bool operator==(const PeerAuthorization&) const = default;
  bool isAuthorized() const { return kind == Kind::authorized; }
  static PeerAuthorization authorized();
  static PeerAuthorization rejected(std::string reason);
};

std::ostream& operator<<(std::ostream& out, const PeerAuthorization& authorization);

// The rejection reasons of authorizePeer, in the order of its checks.
inline constexpr std::string_view peerRejectedNoExpectedTeamID =
    "expected Team ID unavailable; refusing to authorize";
inline constexpr std::string_view peerRejectedNoAnchor =
    "peer has no Apple/developer signing anchor";
inline constexpr std::string_view peerRejectedIdentifier = "peer identifier mismatch";
inline constexpr std::string_view peerRejectedTeamID = "peer Team ID mismatch";

// The first failing check decides: no (or empty) expected Team ID, no anchor, identifier absent
// or different, Team ID absent or different; otherwise authorized.
PeerAuthorization authorizePeer(const PeerIdentity& peer, std::string_view expectedIdentifier,
                                const std::optional<std::string>& expectedTeamID);

// What the identity rule needs of one path component (lstat, never following a link).
struct PathStatus {
  bool isSymlink = false;
  bool isDirectory = false;
  bool isRegularFile = false;
  uid_t owner = 0;
  mode_t mode = 0;
  gid_t group = 0;
};

// Executables of an installation under <prefix>, relative to the prefix.
inline constexpr std::string_view appExecutableInstallPath = "/bin/tamsel";
inline constexpr std::string_view helperExecutableInstallPath = "/libexec/nubrik/com.nubrik.helper";
inline constexpr std::string_view desktopExecutableInstallPath = "/libexec/nubrik/tamsel-desktop";

// The prefix of an installation that holds this executable at one of its known places
// ("/usr" for "/usr/bin/tamsel"), or none. The path must be absolute.
std::optional<std::string> installationPrefixOf(std::string_view executablePath);
// The identifier of an executable's place in the installation under prefix: <prefix>/bin/tamsel
// -> "com.nubrik.app", <prefix>/libexec/nubrik/com.nubrik.helper -> "com.nubrik.helper",
// <prefix>/libexec/nubrik/tamsel-desktop -> "com.nubrik.app.desktop", else none.
std::optional<std::string> identifierForExecutable(std::string_view executablePath,
                                                   std::string_view prefix);

// The operations through which CodeIdentity sees the file system.
struct CodeIdentityDependencies {
  // lstat of one path; none when it cannot be read.
  std::function<std::optional<PathStatus>(const std::string& path)> statPath;
  // The target of a (magic) link such as /proc/self/exe or /proc/PID/exe; none when unreadable.
  std::function<std::optional<std::string>(const std::string& path)> readLink;
  // The publisher ID of this build (NUBRIK_TEAM_ID); none or empty grants nobody an ID.
  std::optional<std::string> builtTeamID;
};

// The Linux stand-in for code-signing identity: an executable is who its place in this
// installation says it is, provided nobody but root could have put it there.
class CodeIdentity {
 public:
  explicit CodeIdentity(CodeIdentityDependencies dependencies);
  static CodeIdentity production();

  // The Team ID of the running process: none unless it runs from a trusted installation.
  static std::optional<std::string> currentTeamID();

  // The executable the running process was started from (/proc/self/exe), also after an
  // upgrade has replaced it on disk; none when it cannot be read.
  std::optional<std::string> selfExecutable() const;
  // The installation prefix of the running process, from /proc/self/exe.
  std::optional<std::string> installationPrefix() const;
  // The identity of the running process (what currentTeamID() reads).
  PeerIdentity selfIdentity() const;
  // The identity of the executable of process pid (/proc/PID/exe), judged against this
  // process's installation; an unreadable link gives an identity with nothing.
  // The executable a process runs, from /proc/PID/exe; none when it cannot be read (a process
  // that is gone, or one the caller may not inspect).
  std::optional<std::string> executableOfProcess(pid_t pid) const;
  PeerIdentity identityOfProcess(pid_t pid) const;
  // The identity of the executable at an absolute path, judged against this installation.
  PeerIdentity identityOfExecutable(std::string_view executablePath) const;
  // The executable is a regular file and it and every directory above it are root-owned, not
  // symbolic links, and not writable by group or others.
  bool hasTrustedAnchor(std::string_view executablePath) const;
  // The group this installation's app runs with: the group of <prefix>/bin/tamsel when that file
  // has a trusted anchor and is setgid to a group other than root's; none otherwise (the daemon
  // then refuses every caller). The group is granted by the kernel at exec, so a connection
  // opened before an exec of the app, or by any other program, does not carry it.
  std::optional<gid_t> appGroup() const;

  const CodeIdentityDependencies& dependencies() const { return dependencies_; }

 private:
  PeerIdentity identityAgainst(std::string_view executablePath,
                               const std::optional<std::string>& prefix) const;

  CodeIdentityDependencies dependencies_;
};

}  // namespace nubrik
