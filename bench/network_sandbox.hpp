#pragma once

// The throwaway world the bench runs in: private network and mount namespaces, empty tmpfs over
// every directory the daemon writes, and a set of links of the kinds a machine has. Nothing of
// it is visible on the host, and it disappears with the process.

#include <optional>
#include <string>
#include <vector>

namespace nubrik::bench {

struct SandboxLink {
  std::string name;
  std::string kind;  // "veth", "bridge", "tap", or "dummy" / "ifb" for the stand-ins
};

// Moves this (still single-threaded) process into fresh network and mount namespaces and
// mounts tmpfs over /var/lib, /var/log and /run. Returns why it cannot when the process is not
// root or the kernel refuses namespaces (a reason to skip); throws std::runtime_error when a
// later step fails.
std::optional<std::string> enterPrivateNamespaces();

// Brings lo up and creates `count` links (veth pairs, two bridges, two taps), all down, with the
// ip tool. Throws std::runtime_error naming the command that failed.
std::vector<SandboxLink> createSandboxLinks(size_t count);

// Adds stand-in links (dummy, or ifb where the kernel has no dummy driver), all down, until
// `links` holds `total`; one ip process for all of them. Throws std::runtime_error.
void addStandInLinks(std::vector<SandboxLink>& links, size_t total);

}  // namespace nubrik::bench
