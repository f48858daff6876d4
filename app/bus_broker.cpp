#include "app/bus_broker.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>

#include "core/unique_fd.hpp"

namespace nubrik {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes an address value may carry without escaping.
bool optionallyEscaped(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         std::strchr("-_/.\\*", c) != nullptr;
}

std::optional<std::string> unescapeValue(std::string_view value) {
  std::string decoded;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '%') {
      if (i + 2 >= value.size()) return std::nullopt;
      const int high = hexValue(value[i + 1]);
      const int low = hexValue(value[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      decoded.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else if (optionallyEscaped(c)) {
      decoded.push_back(c);
    } else {
      return std::nullopt;
    }
  }
  return decoded;
}

[[noreturn]] void exitBroker() {
  ::_exit(0);
}

void closeAllDescriptorsBut(int keep) {
  const auto closeRange = [](unsigned first, unsigned last) {
    if (first > last) return;
    if (::close_range(first, last, 0) == 0) return;
    // Kernels before close_range: close one by one up to the limit of descriptors.
    rlimit limit{};
    unsigned end = 65536;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        limit.rlim_cur < end) {
      end = static_cast<unsigned>(limit.rlim_cur);
    }
    for (unsigned fd = first; fd <= last && fd < end; ++fd) ::close(static_cast<int>(fd));
  };
  if (keep > 0) closeRange(0, static_cast<unsigned>(keep) - 1);
  closeRange(static_cast<unsigned>(keep) + 1, ~0U);
}

void ignoreSignal(int number) {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  ::sigaction(number, &action, nullptr);
}

// One reply: 0 and the descriptor, or the errno value alone.
bool sendReply(int channel, int error, int connection) {
  char code = static_cast<char>(error == 0 ? 0 : (error > 0 && error < 256 ? error : EIO));
  iovec data{&code, 1};
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  if (error == 0) {
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &connection, sizeof connection);
  }
  for (;;) {
    if (::sendmsg(channel, &message, MSG_NOSIGNAL) == 1) return true;
    if (errno != EINTR) return false;
  }
}

// The broker's whole life, in the child: only system calls from here on, since the parent may
// have had other threads when it forked.
[[noreturn]] void serve(int channel, const sockaddr_un& bus) {
  closeAllDescriptorsBut(channel);
  for (const int number : {SIGINT, SIGQUIT, SIGHUP, SIGPIPE}) ignoreSignal(number);
  // Holds no directory of the user's busy.
  if (::chdir("/") != 0) exitBroker();
  for (;;) {
    // Two bytes, so that a longer message shows as one.
    char request[2];
    const ssize_t got = ::recv(channel, request, sizeof request, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got != 1 || request[0] != brokerRequestByte) exitBroker();
    int error = 0;
    UniqueFd connection(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!connection.valid()) {
      error = errno;
    } else if (::connect(connection.get(), reinterpret_cast<const sockaddr*>(&bus), sizeof bus) !=
               0) {
      error = errno;
    }
    const bool sent = sendReply(channel, error, connection.get());
    connection.reset();
    if (!sent) exitBroker();
  }
}

}  // namespace

std::optional<std::string> unixSocketPathOfAddress(std::string_view address) {
  constexpr std::string_view transport = "unix:";
  if (!address.starts_with(transport)) return std::nullopt;
  std::string_view rest = address.substr(transport.size());
  // A list of addresses would leave the choice to whoever reads it next.
  if (rest.find(';') != std::string_view::npos) return std::nullopt;
  std::optional<std::string> path;
  bool guid = false;
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    const std::string_view pair = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    const std::size_t equals = pair.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    const std::string_view key = pair.substr(0, equals);
    const auto value = unescapeValue(pair.substr(equals + 1));
    if (!value) return std::nullopt;
    if (key == "path" && !path) {
      path = *value;
    } else if (key == "guid" && !guid) {
      // The bus daemon's identity; the client checks it, the broker need not.
      guid = true;
    } else {
      return std::nullopt;
    }
  }
  if (!path || path->empty() || path->front() != '/' || path->find('\0') != std::string::npos ||
      path->size() >= sizeof(sockaddr_un{}.sun_path)) {
    return std::nullopt;
  }
  return path;
}

std::optional<std::string> brokerBusSocketPath(bool secureExecution, const char* systemBusAddress) {
  if (secureExecution || systemBusAddress == nullptr || *systemBusAddress == '\0') {
    return std::string(systemBusSocketPath);
  }
  return unixSocketPathOfAddress(systemBusAddress);
}

BrokerProcess startBusBroker(const std::string& busSocketPath) {
  // Everything the child needs is prepared here: after the fork it makes system calls only.
  sockaddr_un bus{};
  bus.sun_family = AF_UNIX;
  if (busSocketPath.empty()) {
    throw std::system_error(EINVAL, std::generic_category(), "bus socket path");
  }
  if (busSocketPath.size() >= sizeof bus.sun_path) {
    throw std::system_error(ENAMETOOLONG, std::generic_category(), "bus socket path");
  }
  std::memcpy(bus.sun_path, busSocketPath.data(), busSocketPath.size());

  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
    throw std::system_error(errno, std::generic_category(), "socketpair");
  }
  UniqueFd first(pair[0]);
  const UniqueFd theirs(pair[1]);
  // Started with a standard descriptor closed, the pair could take its place; the desktop
  // program must find its end apart from them.
  UniqueFd ours(::fcntl(first.get(), F_DUPFD_CLOEXEC, 3));
  if (!ours.valid()) throw std::system_error(errno, std::generic_category(), "fcntl");
  first.reset();
  const pid_t pid = ::fork();
  if (pid < 0) throw std::system_error(errno, std::generic_category(), "fork");
  if (pid == 0) serve(theirs.get(), bus);
  return {pid, ours.release()};
}

}  // namespace nubrik
