#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/peer_authorization.hpp"
#include "helper/log/log.hpp"

namespace nubrik {

// The sender of one request as the bus daemon reports it.
struct XPCCaller {
  // The sender's unique bus name (":1.42").
  std::string sender;
  // None when the credential could not be read.
  std::optional<pid_t> pid;
  std::optional<uid_t> uid;
  // The groups the bus daemon recorded when the caller connected (its effective group and its
  // supplementary groups then), not the ones its process has now.
  std::optional<std::vector<gid_t>> groups;
  // True while the process that sent the request still runs under pid and still holds the
  // connection; asked after the executable has been judged, so a recycled pid cannot pass.
  std::function<bool()> stillSamePeer;
};

// Decides whether a request may reach a handler.
struct XPCClientValidator {
  std::function<bool(const XPCCaller& caller)> shouldAccept;

  // The production rule with the daemon's own Team ID, read once now; refusals go to the log.
  static XPCClientValidator production(LogOperation log);
  // The production rule with this Team ID: only the app of this installation, under the same
  // Team ID, with its anchor, and connected while it ran with the app's setgid group. Without a
  // Team ID, or without an app installed setgid to a group of its own, every caller is refused
  // and each refusal logged.
  static XPCClientValidator production(const std::optional<std::string>& teamID, LogOperation log);
  // The production rule judging executables and the app's group through another view of the
  // file system.
  static XPCClientValidator withCodeIdentityForTest(const std::optional<std::string>& teamID,
                                                    CodeIdentity identity, LogOperation log);
};

// The line logged for each refused caller when the daemon has no Team ID.
inline constexpr const char* xpcFailClosedLogLine =
    "xpc: no Team ID available for client requirement; refusing client (fail closed)";
// The line logged for each refused caller when the installed app is not setgid to a group of its
// own, so no caller can show that it connected as the app.
inline constexpr const char* xpcNoAppGroupLogLine =
    "xpc: the installed tamsel is not setgid to a group of its own; refusing client (fail closed)";

}  // namespace nubrik
