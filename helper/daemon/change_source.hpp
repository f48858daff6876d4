#pragma once

#include <systemd/sd-event.h>

#include <functional>
#include <memory>

#include "core/sd_handles.hpp"
#include "core/unique_fd.hpp"

namespace nubrik {

// A descriptor whose readable events mean "the network may have changed". On each wake-up the
// source drains everything queued (the content does not matter, only that something happened)
// and then reports one change.
class ChangeSource {
 public:
  enum class Kind {
    // rtnetlink multicast: only messages sent by the kernel count.
    netlink,
    // A plain event stream such as /dev/rfkill.
    stream,
  };

  // Throws std::system_error when the loop refuses the descriptor.
  ChangeSource(sd_event* event, UniqueFd fd, Kind kind, std::function<void()> onChange);
  ChangeSource(const ChangeSource&) = delete;
  ChangeSource& operator=(const ChangeSource&) = delete;

  int fd() const { return fd_.get(); }

 private:
  static int onReadable(sd_event_source* source, int fd, uint32_t events, void* userdata);
  struct Drained {
    bool changed = false;  // at least one message counts as a change
    bool broken = false;   // the descriptor failed or reached its end
  };
  // Reads until nothing is left.
  Drained drain();

  UniqueFd fd_;
  Kind kind_;
  std::function<void()> onChange_;
  EventSourceHandle source_;
};

// The rtnetlink socket subscribed to link, IPv4 address and IPv4 route changes; none when the
// socket cannot be opened or registered.
std::unique_ptr<ChangeSource> openNetlinkChangeSource(sd_event* event,
                                                      std::function<void()> onChange);
// The rfkill event device; none where it does not exist or cannot be opened.
std::unique_ptr<ChangeSource> openRfkillChangeSource(sd_event* event,
                                                     std::function<void()> onChange);

}  // namespace nubrik
