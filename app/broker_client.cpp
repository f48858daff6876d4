#include "app/broker_client.hpp"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

#include "app/bus_broker.hpp"
#include "core/sd_handles.hpp"
#include "core/unique_fd.hpp"

namespace nubrik {

namespace {

int socketOption(int fd, int option) {
  int value = 0;
  socklen_t size = sizeof value;
  if (::getsockopt(fd, SOL_SOCKET, option, &value, &size) != 0) return -1;
  return value;
}

// The descriptor passed with a reply: -1 when none came, -2 when more than one did (all of them
// are closed then).
int takePassedDescriptor(msghdr& message) {
  int passed = -1;
  bool several = false;
  for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
       header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS) continue;
    const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (std::size_t i = 0; i < count; ++i) {
      int fd = -1;
      std::memcpy(&fd, CMSG_DATA(header) + i * sizeof(int), sizeof fd);
      if (passed < 0) {
        passed = fd;
      } else {
        ::close(fd);
        several = true;
      }
    }
  }
  if (!several) return passed;
  ::close(passed);
  return -2;
}

}  // namespace

std::optional<int> parseBrokerFd(std::string_view text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 3) return std::nullopt;
  return value;
}

UniqueFd adoptBrokerFd(int fd) {
  const int flags = ::fcntl(fd, F_GETFD);
  if (flags < 0) throw std::runtime_error("descriptor " + std::to_string(fd) + " is not open");
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISSOCK(info.st_mode) ||
      socketOption(fd, SO_DOMAIN) != AF_UNIX || socketOption(fd, SO_TYPE) != SOCK_SEQPACKET) {
    throw std::runtime_error("descriptor " + std::to_string(fd) + " is not the broker's socket");
  }
  if (::fcntl(fd, F_SETFD, flags | FD_CLOEXEC) != 0) {
    throw std::runtime_error("cannot keep descriptor " + std::to_string(fd) +
                             " from children: " + std::strerror(errno));
  }
  return UniqueFd(fd);
}

BrokerClient::BrokerClient(UniqueFd socket) : socket_(std::move(socket)) {}

std::unique_ptr<BrokerClient> BrokerClient::fromEnvironment() {
  const char* value = ::getenv(brokerFdVariable);
  if (value == nullptr) return nullptr;
  const std::string text = value;
  ::unsetenv(brokerFdVariable);
  const std::optional<int> fd = parseBrokerFd(text);
  if (!fd) {
    throw std::runtime_error(std::string(brokerFdVariable) + " is not a descriptor number: \"" +
                             text + "\"");
  }
  auto client = std::make_unique<BrokerClient>(adoptBrokerFd(*fd));
  if (::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0) {
    throw std::runtime_error(std::string("cannot make the process non-dumpable: ") +
                             std::strerror(errno));
  }
  return client;
}

int BrokerClient::fail(int negativeErrno) {
  broken_ = true;
  // The broker sees the end of its socket and goes.
  socket_.reset();
  return negativeErrno;
}

int BrokerClient::requestConnection() {
  const std::lock_guard lock(mutex_);
  if (broken_) return -ENOTCONN;
  const int fd = socket_.get();
  for (;;) {
    if (::send(fd, &brokerRequestByte, 1, MSG_NOSIGNAL) == 1) break;
    if (errno != EINTR) return fail(-errno);
  }
  pollfd ready{fd, POLLIN, 0};
  for (;;) {
    const int polled = ::poll(&ready, 1, brokerReplyTimeoutMs);
    if (polled > 0) break;
    if (polled == 0) return fail(-ETIMEDOUT);
    if (errno != EINTR) return fail(-errno);
  }
  char code[2] = {};
  iovec data{code, sizeof code};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)] = {};
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  ssize_t got = 0;
  do {
    got = ::recvmsg(fd, &message, MSG_CMSG_CLOEXEC);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return fail(-errno);
  const int passed = takePassedDescriptor(message);
  const bool wellFormed = got == 1 && (message.msg_flags & MSG_CTRUNC) == 0 && passed != -2 &&
                          (code[0] == 0) == (passed >= 0);
  if (!wellFormed) {
    if (passed >= 0) ::close(passed);
    return fail(got == 0 ? -ECONNRESET : -EPROTO);
  }
  if (code[0] != 0) return -static_cast<unsigned char>(code[0]);
  return passed;
}

int BrokerClient::openBus(sd_bus** result) {
  const int fd = requestConnection();
  if (fd < 0) return fd;
  UniqueFd connection(fd);
  BusHandle bus;
  int r = sd_bus_new(out(bus));
  if (r < 0) return r;
  r = sd_bus_set_fd(bus.get(), connection.get(), connection.get());
  if (r < 0) return r;
  // From here the bus owns the descriptor and closes it.
  (void)connection.release();
  if ((r = sd_bus_set_bus_client(bus.get(), 1)) < 0 || (r = sd_bus_start(bus.get())) < 0) {
    return r;
  }
  *result = bus.release();
  return 0;
}

BusOpener BrokerClient::opener(std::shared_ptr<BrokerClient> client) {
  return [client = std::move(client)](sd_bus** result) { return client->openBus(result); };
}

}  // namespace nubrik
