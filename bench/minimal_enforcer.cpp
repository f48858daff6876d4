#include "bench/minimal_enforcer.hpp"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>
#include <vector>

namespace nubrik::bench {

namespace {

[[noreturn]] void throwErrno(const char* what, int error = errno) {
  throw std::system_error(error, std::generic_category(), what);
}

struct LinkRequest {
  nlmsghdr header;
  ifinfomsg info;
};

}  // namespace

MinimalEnforcer::MinimalEnforcer() {
  socket_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (socket_ < 0) throwErrno("socket(NETLINK_ROUTE)");
  sockaddr_nl address{};
  address.nl_family = AF_NETLINK;
  address.nl_groups = RTMGRP_LINK;
  if (::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    ::close(socket_);
    throwErrno("bind(RTMGRP_LINK)", error);
  }
  // Room for a burst of notifications; an overflow would lose the one to act on.
  const int bytes = 4 * 1024 * 1024;
  (void)::setsockopt(socket_, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes);
  stop_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stop_ < 0) {
    const int error = errno;
    ::close(socket_);
    throwErrno("eventfd", error);
  }
  thread_ = std::thread([this] { run(); });
}

MinimalEnforcer::~MinimalEnforcer() {
  const uint64_t one = 1;
  (void)::write(stop_, &one, sizeof one);
  thread_.join();
  ::close(stop_);
  ::close(socket_);
}

void MinimalEnforcer::bringDown(int index) {
  // No acknowledgement asked for: the next notification tells whether it worked, and the
  // kernel still reports a refusal on this socket, where it is read and ignored.
  LinkRequest request{};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = RTM_NEWLINK;
  request.header.nlmsg_flags = NLM_F_REQUEST;
  request.info.ifi_family = AF_UNSPEC;
  request.info.ifi_index = index;
  request.info.ifi_flags = 0;
  request.info.ifi_change = IFF_UP;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(socket_, &request, sizeof request, 0, reinterpret_cast<const sockaddr*>(&kernel),
               sizeof kernel) == static_cast<ssize_t>(sizeof request)) {
    ++corrections_;
  }
}

void MinimalEnforcer::run() {
  threadId_ = ::gettid();
  std::vector<char> buffer(32 * 1024);
  pollfd watched[2] = {{socket_, POLLIN, 0}, {stop_, POLLIN, 0}};
  for (;;) {
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      failed_ = true;
      return;
    }
    if ((watched[1].revents & POLLIN) != 0) return;
    for (;;) {
      const ssize_t received = ::recv(socket_, buffer.data(), buffer.size(), MSG_DONTWAIT);
      if (received < 0) {
        if (errno == EINTR) continue;
        if (errno == ENOBUFS) {
          ++overflows_;
          continue;
        }
        break;  // EAGAIN: everything queued has been handled
      }
      int remaining = static_cast<int>(received);
      for (auto* message = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(message, remaining);
           message = NLMSG_NEXT(message, remaining)) {
        if (message->nlmsg_type != RTM_NEWLINK) continue;
        const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(message));
        if ((info->ifi_flags & IFF_UP) != 0 && (info->ifi_flags & IFF_LOOPBACK) == 0) {
          bringDown(info->ifi_index);
        }
      }
    }
  }
}

}  // namespace nubrik::bench
