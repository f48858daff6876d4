#include "core/peer_authorization.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "core/nubrik_xpc.hpp"

namespace nubrik {

namespace {

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Only the kernel's canonical form is judged: absolute, no empty, "." or ".." components and no
// trailing slash. Anything else could name one file under two spellings.
bool isCanonicalAbsolute(std::string_view path) {
  if (path.size() < 2 || path.front() != '/' || path.back() == '/') return false;
  std::size_t start = 1;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view component = path.substr(start, end - start);
    if (component.empty() || component == "." || component == "..") return false;
    start = end + 1;
  }
  return true;
}

// Writable by nobody but the owner, and the owner is root.
bool rootOnly(const PathStatus& status) {
  return status.owner == 0 && (status.mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::optional<PathStatus> lstatPath(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
  PathStatus status;
  status.isSymlink = S_ISLNK(info.st_mode);
  status.isDirectory = S_ISDIR(info.st_mode);
  status.isRegularFile = S_ISREG(info.st_mode);
  status.owner = info.st_uid;
  status.mode = info.st_mode;
  status.group = info.st_gid;
  return status;
}

std::optional<std::string> readLinkTarget(const std::string& path) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = ::readlink(path.c_str(), buffer.data(), buffer.size());
    if (length < 0) return std::nullopt;
    if (static_cast<std::size_t>(length) < buffer.size()) {
      return std::string(buffer.data(), static_cast<std::size_t>(length));
    }
    if (buffer.size() >= 65536) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
}

std::optional<std::string> builtTeamID() {
#ifdef NUBRIK_TEAM_ID
  const std::string teamID = NUBRIK_TEAM_ID;
  if (!teamID.empty()) return teamID;
#endif
  return std::nullopt;
}

}  // namespace

PeerAuthorization PeerAuthorization::authorized() {
  return {Kind::authorized, {}};
}

PeerAuthorization PeerAuthorization::rejected(std::string reason) {
  return {Kind::rejected, std::move(reason)};
}

std::ostream& operator<<(std::ostream& out, const PeerAuthorization& authorization) {
  if (authorization.isAuthorized()) return out << "authorized";
  return out << "rejected(reason: \"" << authorization.reason << "\")";
}

PeerAuthorization authorizePeer(const PeerIdentity& peer, std::string_view expectedIdentifier,
                                const std::optional<std::string>& expectedTeamID) {
  if (!expectedTeamID || expectedTeamID->empty()) {
    return PeerAuthorization::rejected(std::string(peerRejectedNoExpectedTeamID));
  }
  if (!peer.hasAnchor) return PeerAuthorization::rejected(std::string(peerRejectedNoAnchor));
  if (!peer.identifier || *peer.identifier != expectedIdentifier) {
    return PeerAuthorization::rejected(std::string(peerRejectedIdentifier));
  }
  if (!peer.teamID || *peer.teamID != *expectedTeamID) {
    return PeerAuthorization::rejected(std::string(peerRejectedTeamID));
  }
  return PeerAuthorization::authorized();
}

std::optional<std::string> installationPrefixOf(std::string_view executablePath) {
  if (!isCanonicalAbsolute(executablePath)) return std::nullopt;
  for (const std::string_view place :
       {appExecutableInstallPath, helperExecutableInstallPath, desktopExecutableInstallPath}) {
    if (endsWith(executablePath, place)) {
      return std::string(executablePath.substr(0, executablePath.size() - place.size()));
    }
  }
  return std::nullopt;
}

std::optional<std::string> identifierForExecutable(std::string_view executablePath,
                                                   std::string_view prefix) {
  if (!isCanonicalAbsolute(executablePath)) return std::nullopt;
  if (executablePath.substr(0, prefix.size()) != prefix) return std::nullopt;
  const std::string_view place = executablePath.substr(prefix.size());
  if (place == appExecutableInstallPath) return std::string(NubrikXPC::appIdentifier);
  if (place == helperExecutableInstallPath) return std::string(NubrikXPC::helperIdentifier);
  if (place == desktopExecutableInstallPath) return std::string(NubrikXPC::desktopIdentifier);
  return std::nullopt;
}

CodeIdentity::CodeIdentity(CodeIdentityDependencies dependencies)
    : dependencies_(std::move(dependencies)) {}

CodeIdentity CodeIdentity::production() {
  return CodeIdentity({lstatPath, readLinkTarget, builtTeamID()});
}

std::optional<std::string> CodeIdentity::currentTeamID() {
  return production().selfIdentity().teamID;
}

std::optional<std::string> CodeIdentity::selfExecutable() const {
  std::optional<std::string> self = dependencies_.readLink("/proc/self/exe");
  // A package upgrade replaces the executable while the process runs (the helper keeps running
  // through a session), and the kernel then names it "<path> (deleted)". The process was started
  // from that place and still belongs to the installation there. Only the process's own link
  // is read this way: a caller is judged by the file that is in place.
  constexpr std::string_view replaced = " (deleted)";
  if (self && self->ends_with(replaced)) self->resize(self->size() - replaced.size());
  return self;
}

std::optional<std::string> CodeIdentity::installationPrefix() const {
  const auto self = selfExecutable();
  if (!self) return std::nullopt;
  return installationPrefixOf(*self);
}

PeerIdentity CodeIdentity::selfIdentity() const {
  const auto self = selfExecutable();
  if (!self) return {};
  return identityAgainst(*self, installationPrefixOf(*self));
}

std::optional<std::string> CodeIdentity::executableOfProcess(pid_t pid) const {
  if (pid <= 0) return std::nullopt;
  // /proc/PID/exe is a magic link: reading it names the executable the process runs, so it is
  // the one link the rule follows.
  return dependencies_.readLink("/proc/" + std::to_string(pid) + "/exe");
}

PeerIdentity CodeIdentity::identityOfProcess(pid_t pid) const {
  const auto executable = executableOfProcess(pid);
  if (!executable) return {};
  return identityOfExecutable(*executable);
}

PeerIdentity CodeIdentity::identityOfExecutable(std::string_view executablePath) const {
  return identityAgainst(executablePath, installationPrefix());
}

bool CodeIdentity::hasTrustedAnchor(std::string_view executablePath) const {
  if (!isCanonicalAbsolute(executablePath)) return false;
  const auto file = dependencies_.statPath(std::string(executablePath));
  if (!file || file->isSymlink || !file->isRegularFile || !rootOnly(*file)) return false;
  // Every directory on the way down could otherwise let its owner swap the executable.
  std::string_view directory = executablePath;
  for (;;) {
    const std::size_t slash = directory.rfind('/');
    directory = slash == 0 ? std::string_view("/") : directory.substr(0, slash);
    const auto status = dependencies_.statPath(std::string(directory));
    if (!status || status->isSymlink || !status->isDirectory || !rootOnly(*status)) return false;
    if (directory == "/") return true;
  }
}

std::optional<gid_t> CodeIdentity::appGroup() const {
  const auto prefix = installationPrefix();
  if (!prefix) return std::nullopt;
  const std::string app = *prefix + std::string(appExecutableInstallPath);
  if (!hasTrustedAnchor(app)) return std::nullopt;
  const auto status = dependencies_.statPath(app);
  // Root's group is no mark at all: every root process carries it.
  if (!status || (status->mode & S_ISGID) == 0 || status->group == 0) return std::nullopt;
  return status->group;
}

PeerIdentity CodeIdentity::identityAgainst(std::string_view executablePath,
                                           const std::optional<std::string>& prefix) const {
  PeerIdentity identity;
  if (prefix) identity.identifier = identifierForExecutable(executablePath, *prefix);
  identity.hasAnchor = hasTrustedAnchor(executablePath);
  const auto& teamID = dependencies_.builtTeamID;
  if (identity.hasAnchor && identity.identifier && teamID && !teamID->empty()) {
    identity.teamID = teamID;
  }
  return identity;
}

}  // namespace nubrik
