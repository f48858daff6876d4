#include "helper/service/xpc_client_validator.hpp"

#include <algorithm>
#include <memory>
#include <utility>

#include "core/nubrik_xpc.hpp"
#include "helper/log/log.hpp"

namespace nubrik {

namespace {

XPCClientValidator validatorWith(const std::optional<std::string>& teamID,
                                 std::shared_ptr<const CodeIdentity> identity, LogOperation log) {
  const std::optional<std::string> requirement =
      NubrikXPC::codeSigningRequirement(NubrikXPC::appIdentifier, teamID);
  if (!requirement) {
    return {[log](const XPCCaller&) {
      if (log) log(xpcFailClosedLogLine);
      return false;
    }};
  }
  return {[teamID, identity = std::move(identity), log](const XPCCaller& caller) {
    // Read for every caller, like the executable: it follows the installation as it is now.
    const std::optional<gid_t> appGroup = identity->appGroup();
    if (!appGroup) {
      if (log) log(xpcNoAppGroupLogLine);
      return false;
    }
    // A credential that cannot be read proves nothing about the caller.
    if (!caller.pid || !caller.uid || !caller.groups || !caller.stillSamePeer) return false;
    // The executable behind the pid can be borrowed: a process may connect and then exec the
    // app, or run the app with a library of its own. The group the app gains at exec, recorded
    // by the bus when the connection was made, cannot: the first never had it while connecting,
    // and the loader ignores preloads in a setgid process.
    if (std::find(caller.groups->begin(), caller.groups->end(), *appGroup) ==
        caller.groups->end()) {
      return false;
    }
    const PeerIdentity peer = identity->identityOfProcess(*caller.pid);
    if (!authorizePeer(peer, NubrikXPC::appIdentifier, teamID).isAuthorized()) return false;
    return caller.stillSamePeer();
  }};
}

}  // namespace

XPCClientValidator XPCClientValidator::production(LogOperation log) {
  return production(CodeIdentity::currentTeamID(), std::move(log));
}

XPCClientValidator XPCClientValidator::production(const std::optional<std::string>& teamID,
                                                  LogOperation log) {
  return validatorWith(teamID, std::make_shared<const CodeIdentity>(CodeIdentity::production()),
                       std::move(log));
}

XPCClientValidator XPCClientValidator::withCodeIdentityForTest(
    const std::optional<std::string>& teamID, CodeIdentity identity, LogOperation log) {
  return validatorWith(teamID, std::make_shared<const CodeIdentity>(std::move(identity)),
                       std::move(log));
}

}  // namespace nubrik
