#include "bench/link_control.hpp"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace nubrik::bench {

namespace {

[[noreturn]] void throwErrno(const char* what, int error = errno) {
  throw std::system_error(error, std::generic_category(), what);
}

int openRouteSocket(uint32_t groups) {
  const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd < 0) throwErrno("socket(NETLINK_ROUTE)");
  sockaddr_nl address{};
  address.nl_family = AF_NETLINK;
  address.nl_groups = groups;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    ::close(fd);
    throwErrno("bind(NETLINK_ROUTE)", error);
  }
  return fd;
}

struct LinkRequest {
  nlmsghdr header;
  ifinfomsg info;
};

// A datagram large enough for any reply or notification about these links. Heap storage is
// aligned for nlmsghdr.
constexpr size_t datagramBytes = 32 * 1024;

}  // namespace

int64_t monotonicNanoseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

int linkIndex(const std::string& name) {
  const unsigned int index = ::if_nametoindex(name.c_str());
  if (index == 0) throwErrno(("if_nametoindex " + name).c_str());
  return static_cast<int>(index);
}

LinkControl::LinkControl() : fd_(openRouteSocket(0)), buffer_(datagramBytes) {}

LinkControl::~LinkControl() {
  ::close(fd_);
}

void LinkControl::setUp(int index, bool up) {
  LinkRequest request{};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = RTM_NEWLINK;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK;
  request.info.ifi_family = AF_UNSPEC;
  request.info.ifi_index = index;
  request.info.ifi_flags = up ? IFF_UP : 0;
  request.info.ifi_change = IFF_UP;
  exchange(&request, sizeof request, nullptr);
}

bool LinkControl::isUp(int index) {
  LinkRequest request{};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = RTM_GETLINK;
  request.header.nlmsg_flags = NLM_F_REQUEST;
  request.info.ifi_family = AF_UNSPEC;
  request.info.ifi_index = index;
  bool up = false;
  exchange(&request, sizeof request, &up);
  return up;
}

void LinkControl::exchange(void* request, size_t length, bool* up) {
  auto* header = static_cast<nlmsghdr*>(request);
  header->nlmsg_seq = ++sequence_;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(fd_, request, length, 0, reinterpret_cast<const sockaddr*>(&kernel),
               sizeof kernel) != static_cast<ssize_t>(length)) {
    throwErrno("sendto(NETLINK_ROUTE)");
  }
  char* const buffer = buffer_.data();
  for (;;) {
    const ssize_t received = ::recv(fd_, buffer, buffer_.size(), 0);
    if (received < 0) {
      if (errno == EINTR) continue;
      throwErrno("recv(NETLINK_ROUTE)");
    }
    int remaining = static_cast<int>(received);
    for (auto* reply = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(reply, remaining);
         reply = NLMSG_NEXT(reply, remaining)) {
      if (reply->nlmsg_seq != sequence_) continue;
      if (reply->nlmsg_type == NLMSG_ERROR) {
        const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(reply));
        if (error->error != 0) throwErrno("RTM_NEWLINK", -error->error);
        return;
      }
      if (reply->nlmsg_type == RTM_NEWLINK && up != nullptr) {
        const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(reply));
        *up = (info->ifi_flags & IFF_UP) != 0;
        return;
      }
    }
  }
}

LinkDumper::LinkDumper() : fd_(openRouteSocket(0)), buffer_(datagramBytes) {}

LinkDumper::~LinkDumper() {
  ::close(fd_);
}

const std::vector<std::string>& LinkDumper::dump() {
  names_.clear();
  // Without the statistics, as the daemon asks: they are most of what the kernel would copy.
  struct {
    nlmsghdr header;
    ifinfomsg info;
    rtattr maskAttribute;
    uint32_t mask;
  } request{};
  static_assert(sizeof request == NLMSG_LENGTH(sizeof(ifinfomsg)) + RTA_LENGTH(sizeof(uint32_t)));
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = RTM_GETLINK;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.header.nlmsg_seq = ++sequence_;
  request.info.ifi_family = AF_UNSPEC;
  request.maskAttribute.rta_len = RTA_LENGTH(sizeof(uint32_t));
  request.maskAttribute.rta_type = IFLA_EXT_MASK;
  request.mask = RTEXT_FILTER_SKIP_STATS;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(fd_, &request, sizeof request, 0, reinterpret_cast<const sockaddr*>(&kernel),
               sizeof kernel) != static_cast<ssize_t>(sizeof request)) {
    throwErrno("sendto(RTM_GETLINK dump)");
  }
  char* const buffer = buffer_.data();
  for (;;) {
    const ssize_t received = ::recv(fd_, buffer, buffer_.size(), 0);
    if (received < 0) {
      if (errno == EINTR) continue;
      throwErrno("recv(RTM_GETLINK dump)");
    }
    int remaining = static_cast<int>(received);
    for (auto* reply = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(reply, remaining);
         reply = NLMSG_NEXT(reply, remaining)) {
      if (reply->nlmsg_seq != sequence_) continue;
      if (reply->nlmsg_type == NLMSG_DONE) {
        if ((reply->nlmsg_flags & NLM_F_DUMP_INTR) != 0) throwErrno("RTM_GETLINK dump", EINTR);
        return names_;
      }
      if (reply->nlmsg_type == NLMSG_ERROR) {
        const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(reply));
        throwErrno("RTM_GETLINK dump", error->error != 0 ? -error->error : EPROTO);
      }
      if (reply->nlmsg_type != RTM_NEWLINK) continue;
      const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(reply));
      if ((info->ifi_flags & IFF_LOOPBACK) != 0) continue;
      int attributesLength = static_cast<int>(IFLA_PAYLOAD(reply));
      for (auto* attribute = IFLA_RTA(info); RTA_OK(attribute, attributesLength);
           attribute = RTA_NEXT(attribute, attributesLength)) {
        if (attribute->rta_type != IFLA_IFNAME) continue;
        const auto* name = static_cast<const char*>(RTA_DATA(attribute));
        names_.emplace_back(name, ::strnlen(name, RTA_PAYLOAD(attribute)));
        break;
      }
    }
  }
}

LinkMonitor::LinkMonitor() : fd_(openRouteSocket(RTMGRP_LINK)), buffer_(datagramBytes) {
  // Room for every notification of a burst; an overflow would lose the one being waited for.
  const int bytes = 4 * 1024 * 1024;
  (void)::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes);
}

LinkMonitor::~LinkMonitor() {
  ::close(fd_);
}

void LinkMonitor::drain() {
  char* const buffer = buffer_.data();
  for (;;) {
    const ssize_t received = ::recv(fd_, buffer, buffer_.size(), MSG_DONTWAIT);
    if (received >= 0) continue;
    if (errno == EINTR || errno == ENOBUFS) continue;
    return;
  }
}

std::optional<int64_t> LinkMonitor::waitForDown(int index, int64_t deadline) {
  char* const buffer = buffer_.data();
  for (;;) {
    const ssize_t received = ::recv(fd_, buffer, buffer_.size(), MSG_DONTWAIT);
    if (received < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) throwErrno("recv(RTMGRP_LINK)");
      const int64_t left = deadline - monotonicNanoseconds();
      if (left <= 0) return std::nullopt;
      // The time-out only bounds the wait; the measurement is the clock read after recv.
      pollfd readable{fd_, POLLIN, 0};
      const timespec timeout{static_cast<time_t>(left / 1'000'000'000),
                             static_cast<long>(left % 1'000'000'000)};
      if (::ppoll(&readable, 1, &timeout, nullptr) < 0 && errno != EINTR) throwErrno("ppoll");
      continue;
    }
    const int64_t readAt = monotonicNanoseconds();
    int remaining = static_cast<int>(received);
    for (auto* message = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(message, remaining);
         message = NLMSG_NEXT(message, remaining)) {
      if (message->nlmsg_type != RTM_NEWLINK) continue;
      const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(message));
      if (info->ifi_index == index && (info->ifi_flags & IFF_UP) == 0) return readAt;
    }
  }
}

}  // namespace nubrik::bench
