#pragma once

#include <systemd/sd-event.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/sd_handles.hpp"
#include "core/unique_fd.hpp"

namespace nubrik {

// A link as the kernel announced it: its index, name, and whether it is administratively up.
struct LinkChange {
  int index = 0;
  std::string name;
  bool up = false;
  bool loopback = false;  // of the loopback type, whatever its name
  bool operator==(const LinkChange&) const = default;
};

// What one wake-up of a change source told.
struct ChangeBatch {
  std::vector<LinkChange> links;  // the kernel's link announcements, in order
  bool radioUnblocked = false;  // an rfkill switch is (or was added) neither soft- nor hard-blocked
  // Something changed that is not acted on directly (an address), or may have changed without
  // the messages saying what (lost, garbled).
  bool untold = false;
  bool empty() const { return links.empty() && !radioUnblocked && !untold; }
};

// Adds the link announcements (RTM_NEWLINK) among one datagram's netlink messages to the batch;
// an address change, or a message that does not parse, marks the batch untold. Never reads past the
// given bytes.
void parseLinkMessages(const void* data, std::size_t size, ChangeBatch& batch);

// Adds what one read of rfkill events says to the batch: an event that leaves a radio unblocked
// marks it; bytes that are not whole events mark it untold.
void parseRfkillEvents(const void* data, std::size_t size, ChangeBatch& batch);

// A descriptor whose readable events tell of network changes. On each wake-up the source drains
// everything queued, parses it, and reports one batch (none when nothing in it matters).
class ChangeSource {
 public:
  enum class Kind {
    // rtnetlink link announcements: only messages sent by the kernel count.
    netlink,
    // The rfkill event device.
    rfkill,
  };

  // Throws std::system_error when the loop refuses the descriptor.
  ChangeSource(sd_event* event, UniqueFd fd, Kind kind,
               std::function<void(const ChangeBatch&)> onChange);

  int fd() const { return fd_.get(); }

 private:
  static int onReadable(sd_event_source* source, int fd, uint32_t events, void* userdata);
  // Reads until nothing is left; false when the descriptor failed or reached its end.
  bool drain(ChangeBatch& batch);

  UniqueFd fd_;
  Kind kind_;
  std::function<void(const ChangeBatch&)> onChange_;
  EventSourceHandle source_;
};

// The rtnetlink socket subscribed to link and IPv4 address changes; none when the socket cannot be
// opened or registered.
std::unique_ptr<ChangeSource> openNetlinkChangeSource(
    sd_event* event, std::function<void(const ChangeBatch&)> onChange);
// The rfkill event device; none where it does not exist or cannot be opened.
std::unique_ptr<ChangeSource> openRfkillChangeSource(
    sd_event* event, std::function<void(const ChangeBatch&)> onChange);

}  // namespace nubrik
