#include "helper/daemon/change_source.hpp"

#include <errno.h>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_arp.h>
#include <linux/netlink.h>
#include <linux/rfkill.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <system_error>
#include <utility>

namespace nubrik {

namespace {

constexpr const char* rfkillDevice = "/dev/rfkill";

// The link announced by one RTM_NEWLINK message; false when the message does not parse.
bool parseLink(const nlmsghdr* header, LinkChange& link) {
  if (header->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg))) return false;
  ifinfomsg info;
  std::memcpy(&info, NLMSG_DATA(header), sizeof info);
  link.index = info.ifi_index;
  link.up = (info.ifi_flags & IFF_UP) != 0;
  link.loopback = info.ifi_type == ARPHRD_LOOPBACK;
  int remaining = static_cast<int>(header->nlmsg_len - NLMSG_LENGTH(sizeof(ifinfomsg)));
  // IFLA_RTA: the attributes follow the aligned ifinfomsg.
  for (auto* attribute = reinterpret_cast<const rtattr*>(
           reinterpret_cast<const char*>(NLMSG_DATA(header)) + NLMSG_ALIGN(sizeof(ifinfomsg)));
       RTA_OK(attribute, remaining); attribute = RTA_NEXT(attribute, remaining)) {
    if (attribute->rta_type != IFLA_IFNAME) continue;
    const auto* name = static_cast<const char*>(RTA_DATA(attribute));
    const std::size_t length = RTA_PAYLOAD(attribute);
    const void* end = std::memchr(name, '\0', length);
    if (end == nullptr) return false;
    link.name.assign(name, static_cast<const char*>(end));
    return !link.name.empty() && link.name.size() < IFNAMSIZ && link.index > 0;
  }
  return false;
}

// NLMSG_OK, with the message's unsigned length compared to the remainder as an unsigned number.
bool messageFits(const nlmsghdr* header, int remaining) {
  return remaining >= static_cast<int>(sizeof(nlmsghdr)) && header->nlmsg_len >= sizeof(nlmsghdr) &&
         header->nlmsg_len <= static_cast<unsigned>(remaining);
}

}  // namespace

void parseLinkMessages(const void* data, std::size_t size, ChangeBatch& batch) {
  int remaining = static_cast<int>(std::min<std::size_t>(size, 1 << 30));
  const auto* header = static_cast<const nlmsghdr*>(data);
  for (; messageFits(header, remaining); header = NLMSG_NEXT(header, remaining)) {
    if (header->nlmsg_type == NLMSG_ERROR || header->nlmsg_type == NLMSG_OVERRUN) {
      batch.untold = true;
    } else if (header->nlmsg_type == RTM_NEWLINK) {
      LinkChange link;
      if (parseLink(header, link)) {
        batch.links.push_back(std::move(link));
      } else {
        batch.untold = true;
      }
    } else if (header->nlmsg_type == RTM_NEWADDR || header->nlmsg_type == RTM_DELADDR) {
      // Not acted on directly, but worth a look by the tick.
      batch.untold = true;
    }
    // A link's removal (RTM_DELLINK) takes nothing online.
  }
  if (remaining != 0) batch.untold = true;  // a message cut short
}

void parseRfkillEvents(const void* data, std::size_t size, ChangeBatch& batch) {
  // Every kernel since 2.6.31 sends at least the first eight bytes; newer ones append fields.
  constexpr std::size_t minimum = offsetof(rfkill_event, hard) + sizeof(rfkill_event::hard);
  if (size < minimum) {
    batch.untold = true;
    return;
  }
  rfkill_event event{};
  std::memcpy(&event, data, std::min(size, sizeof event));
  if (event.op == RFKILL_OP_DEL) return;
  if (event.type != RFKILL_TYPE_WLAN && event.type != RFKILL_TYPE_ALL) return;
  if (event.soft == 0 && event.hard == 0) batch.radioUnblocked = true;
}

ChangeSource::ChangeSource(sd_event* event, UniqueFd fd, Kind kind,
                           std::function<void(const ChangeBatch&)> onChange)
    : fd_(std::move(fd)), kind_(kind), onChange_(std::move(onChange)) {
  const int result =
      sd_event_add_io(event, out(source_), fd_.get(), EPOLLIN, &ChangeSource::onReadable, this);
  if (result < 0) throw std::system_error(-result, std::generic_category(), "sd_event_add_io");
}

bool ChangeSource::drain(ChangeBatch& batch) {
  // Netlink datagrams of link announcements are a few kilobytes; rfkill reads one event each.
  alignas(nlmsghdr) std::array<char, 32768> buffer;
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
      // The kernel dropped messages because the queue overflowed: what changed is not known.
      if (errno == ENOBUFS) {
        batch.untold = true;
        continue;
      }
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    // End of stream: the descriptor would stay readable forever.
    if (received == 0) return false;
    const auto size = static_cast<std::size_t>(received);
    if (kind_ == Kind::rfkill) {
      parseRfkillEvents(buffer.data(), std::min(size, buffer.size()), batch);
      continue;
    }
    // Any local process may unicast to our port; only the kernel speaks for the network.
    if (sender.nl_pid != 0) continue;
    if (size > buffer.size()) {
      batch.untold = true;  // truncated
      continue;
    }
    parseLinkMessages(buffer.data(), size, batch);
  }
}

int ChangeSource::onReadable(sd_event_source* source, int, uint32_t, void* userdata) {
  auto* self = static_cast<ChangeSource*>(userdata);
  ChangeBatch batch;
  // A descriptor that fails keeps signalling readable; stop watching it rather than spin. The
  // periodic tick still covers what it would have reported.
  if (!self->drain(batch)) {
    (void)sd_event_source_set_enabled(source, SD_EVENT_OFF);
    batch.untold = true;
  }
  if (!batch.empty() && self->onChange_) self->onChange_(batch);
  return 0;
}

std::unique_ptr<ChangeSource> openNetlinkChangeSource(
    sd_event* event, std::function<void(const ChangeBatch&)> onChange) {
  UniqueFd fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE));
  if (!fd.valid()) return nullptr;
  sockaddr_nl address{};
  address.nl_family = AF_NETLINK;
  // Links, and IPv4 addresses, which a link going down leaves in place: the daemon's own changes
  // announce nothing but the links it took down. Routes, which a link going down takes with it,
  // are left out.
  address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR;
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

std::unique_ptr<ChangeSource> openRfkillChangeSource(
    sd_event* event, std::function<void(const ChangeBatch&)> onChange) {
  UniqueFd fd(::open(rfkillDevice, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
  if (!fd.valid()) return nullptr;
  try {
    return std::make_unique<ChangeSource>(event, std::move(fd), ChangeSource::Kind::rfkill,
                                          std::move(onChange));
  } catch (const std::system_error&) {
    return nullptr;
  }
}

}  // namespace nubrik
