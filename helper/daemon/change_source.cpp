#include "helper/daemon/change_source.hpp"

#include <errno.h>
#include <fcntl.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <system_error>
#include <utility>

namespace nubrik {

namespace {

constexpr const char* rfkillDevice = "/dev/rfkill";

}  // namespace

ChangeSource::ChangeSource(sd_event* event, UniqueFd fd, Kind kind, std::function<void()> onChange)
    : fd_(std::move(fd)), kind_(kind), onChange_(std::move(onChange)) {
  const int result =
      sd_event_add_io(event, out(source_), fd_.get(), EPOLLIN, &ChangeSource::onReadable, this);
  if (result < 0) throw std::system_error(-result, std::generic_category(), "sd_event_add_io");
}

ChangeSource::Drained ChangeSource::drain() {
  // The content is never parsed; a truncated read is as good as a whole one.
  std::array<char, 16384> buffer;
  Drained drained;
  for (;;) {
    ssize_t received;
    sockaddr_nl sender{};
    if (kind_ == Kind::netlink) {
      socklen_t length = sizeof sender;
      received = ::recvfrom(fd_.get(), buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC,
                            reinterpret_cast<sockaddr*>(&sender), &length);
    } else {
      received = ::read(fd_.get(), buffer.data(), buffer.size());
    }
    if (received < 0) {
      if (errno == EINTR) continue;
      // The kernel dropped messages because the queue overflowed: something did change.
      if (errno == ENOBUFS) {
        drained.changed = true;
        continue;
      }
      drained.broken = errno != EAGAIN && errno != EWOULDBLOCK;
      return drained;
    }
    // End of stream: the descriptor would stay readable forever.
    if (received == 0) {
      drained.broken = true;
      return drained;
    }
    // Any local process may unicast to our port; only the kernel speaks for the network.
    if (kind_ == Kind::netlink && sender.nl_pid != 0) continue;
    drained.changed = true;
  }
}

int ChangeSource::onReadable(sd_event_source* source, int, uint32_t, void* userdata) {
  auto* self = static_cast<ChangeSource*>(userdata);
  const Drained drained = self->drain();
  // A descriptor that fails keeps signalling readable; stop watching it rather than spin. The
  // periodic tick still covers what it would have reported.
  if (drained.broken) (void)sd_event_source_set_enabled(source, SD_EVENT_OFF);
  if ((drained.changed || drained.broken) && self->onChange_) self->onChange_();
  return 0;
}

std::unique_ptr<ChangeSource> openNetlinkChangeSource(sd_event* event,
                                                      std::function<void()> onChange) {
  UniqueFd fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE));
  if (!fd.valid()) return nullptr;
  sockaddr_nl address{};
  address.nl_family = AF_NETLINK;
  address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE;
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return nullptr;
  }
  try {
    return std::make_unique<ChangeSource>(event, std::move(fd), ChangeSource::Kind::netlink,
                                          std::move(onChange));
  } catch (const std::system_error&) {
    return nullptr;
  }
}

std::unique_ptr<ChangeSource> openRfkillChangeSource(sd_event* event,
                                                     std::function<void()> onChange) {
  UniqueFd fd(::open(rfkillDevice, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
  if (!fd.valid()) return nullptr;
  try {
    return std::make_unique<ChangeSource>(event, std::move(fd), ChangeSource::Kind::stream,
                                          std::move(onChange));
  } catch (const std::system_error&) {
    return nullptr;
  }
}

}  // namespace nubrik
