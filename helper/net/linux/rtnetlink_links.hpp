#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace nubrik {

// A link as one dump found it: its name and whether its administrative UP flag was set.
struct LinkState {
  std::string name;
  bool up = false;
  bool operator==(const LinkState&) const = default;
};

// The kernel's network links over one rtnetlink socket, opened on first use in the network
// namespace of the calling thread and reopened after any failure. Thread-safe.
class RtnetlinkLinks {
 public:
  RtnetlinkLinks();
  ~RtnetlinkLinks();
  RtnetlinkLinks(const RtnetlinkLinks&) = delete;
  RtnetlinkLinks& operator=(const RtnetlinkLinks&) = delete;

  // Every link in ifindex order with its UP flag, from one dump; the loopback device among them
  // only with includeLoopback. Throws NetworkSystemError when the dump fails and
  // NetworkStateError::malformedOutput("RTM_GETLINK") when it lacks a loopback device or holds
  // an invalid or repeated name; never returns a partial list. Names are the kernel's bytes,
  // whatever their encoding.
  std::vector<LinkState> linkStates(bool includeLoopback = true);

  // Whether the name is the loopback device's now. The device is known by its type (it can be
  // renamed, and any other link may be called "lo..."). Never throws: a name that cannot be
  // checked counts as an ordinary link. A name the last listing gave an ordinary link is answered
  // from that listing, so asking about every listed link costs no system call.
  bool isLoopback(const std::string& name);

  // Sets or clears the UP flag; true only when the kernel acknowledged the change.
  bool setUp(const std::string& name, bool up);

 private:
  struct Socket;
  Socket& socket();
  std::vector<LinkState> dumpLocked(bool includeLoopback);
  std::optional<std::string> nameOfIndex(int index);

  std::mutex mutex_;
  std::unique_ptr<Socket> socket_;
  // Index of every link of the last listing: an ordinary link's name there needs no system call
  // to tell that it is not the loopback device's.
  std::unordered_map<std::string, int> listedIndexes_;
  // Indexes of the loopback device as the last listing found it by type. The device cannot be
  // deleted or moved to another namespace, so its index stays valid; its name is read live.
  std::vector<int> loopbackIndexes_;
};

}  // namespace nubrik
