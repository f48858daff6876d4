// The desktop program's end of the bus broker, against a broker played by the test over a real
// socket pair.
#include "app/broker_client.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "app/bus_broker.hpp"
#include "tests/support/scoped_environment.hpp"

namespace nubrik {
namespace {

TEST(BrokerFd, OnlyAPlainNumberAboveTheStandardDescriptors) {
  EXPECT_EQ(parseBrokerFd("3"), 3);
  EXPECT_EQ(parseBrokerFd("2147483647"), 2147483647);
  for (const char* text : {"", "2", "-3", "+3", " 3", "3x", "0x10", "2147483648"}) {
    EXPECT_EQ(parseBrokerFd(text), std::nullopt) << text;
  }
}

struct Pair {
  int ours = -1;
  int theirs = -1;
  explicit Pair(int type) {
    int fds[2];
    if (::socketpair(AF_UNIX, type, 0, fds) == 0) {
      ours = fds[0];
      theirs = fds[1];
    }
  }
  ~Pair() {
    if (ours >= 0) ::close(ours);
    if (theirs >= 0) ::close(theirs);
  }
};

TEST(BrokerFd, OnlyAnOpenUnixSeqpacketSocketIsAdopted) {
  Pair stream(SOCK_STREAM);
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const int closed = ::dup(pipeFds[0]);
  ::close(closed);
  for (const int fd : {stream.ours, pipeFds[0], closed}) {
    EXPECT_THROW(adoptBrokerFd(fd), std::runtime_error) << fd;
  }
  ::close(pipeFds[0]);
  ::close(pipeFds[1]);

  Pair seqpacket(SOCK_SEQPACKET);
  UniqueFd adopted = adoptBrokerFd(seqpacket.ours);
  seqpacket.ours = -1;
  EXPECT_EQ(::fcntl(adopted.get(), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
}

TEST(BrokerFromEnvironment, AbsentMeansNoBrokerAndABadValueIsRemovedAndRefused) {
  {
    test::ScopedEnvironment unset(brokerFdVariable, nullptr);
    EXPECT_EQ(BrokerClient::fromEnvironment(), nullptr);
  }
  Pair stream(SOCK_STREAM);
  for (const std::string& value :
       {std::string("x"), std::string("1"), std::to_string(stream.ours)}) {
    test::ScopedEnvironment set(brokerFdVariable, value.c_str());
    EXPECT_THROW(BrokerClient::fromEnvironment(), std::runtime_error) << value;
    EXPECT_EQ(::getenv(brokerFdVariable), nullptr) << value;
  }
}

// Reads one request on the broker's side; true when it was exactly the request byte.
bool readRequest(int fd) {
  char bytes[4];
  return ::recv(fd, bytes, sizeof bytes, 0) == 1 && bytes[0] == brokerRequestByte;
}

void reply(int fd, char code, std::vector<int> passed = {}) {
  iovec data{&code, 1};
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  std::vector<char> control(CMSG_SPACE(sizeof(int) * passed.size()));
  if (!passed.empty()) {
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int) * passed.size());
    std::memcpy(CMSG_DATA(header), passed.data(), sizeof(int) * passed.size());
  }
  ASSERT_EQ(::sendmsg(fd, &message, 0), 1);
}

// A refused connect() through a real broker is bus_broker_test's; here, the passed socket arrives
// close-on-exec and whole.
TEST(BrokerClient, HandsOnThePassedConnectionCloseOnExec) {
  Pair channel(SOCK_SEQPACKET);
  BrokerClient client{UniqueFd(channel.ours)};
  channel.ours = -1;
  Pair connection(SOCK_STREAM);

  reply(channel.theirs, 0, {connection.ours});
  const int fd = client.requestConnection();
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(readRequest(channel.theirs));
  EXPECT_EQ(::fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  ASSERT_EQ(::write(connection.theirs, "x", 1), 1);
  char byte = 0;
  EXPECT_EQ(::read(fd, &byte, 1), 1);
  ::close(fd);
}

TEST(BrokerClient, AReplyOutOfTurnOrAGoneBrokerBreaksTheClientForGood) {
  struct Case {
    const char* what;
    std::function<void(int broker, int spare)> answer;
    int error;
  };
  const std::vector<Case> cases = {
      {"success without a descriptor", [](int b, int) { reply(b, 0); }, -EPROTO},
      {"an error with a descriptor", [](int b, int s) { reply(b, EIO, {s}); }, -EPROTO},
      {"two descriptors",
       [](int b, int s) {
         reply(b, 0, {s, s});
       },
       -EPROTO},
      {"a longer reply", [](int b, int) { ASSERT_EQ(::send(b, "ab", 2, 0), 2); }, -EPROTO},
      {"the broker went before the request", [](int b, int) { ::shutdown(b, SHUT_RDWR); }, -EPIPE},
      {"the broker went after the request", [](int b, int) { ::shutdown(b, SHUT_WR); },
       -ECONNRESET},
  };
  for (const Case& c : cases) {
    Pair channel(SOCK_SEQPACKET);
    BrokerClient client{UniqueFd(channel.ours)};
    channel.ours = -1;
    Pair spare(SOCK_STREAM);
    c.answer(channel.theirs, spare.ours);
    EXPECT_EQ(client.requestConnection(), c.error) << c.what;
    // The broker sees its peer gone (and so ends), and the client asks no more.
    char byte = 0;
    while (::recv(channel.theirs, &byte, 1, MSG_DONTWAIT) > 0) {
    }
    EXPECT_EQ(::recv(channel.theirs, &byte, 1, MSG_DONTWAIT), 0) << c.what;
    EXPECT_EQ(client.requestConnection(), -ENOTCONN) << c.what;
  }
}

}  // namespace
}  // namespace nubrik
