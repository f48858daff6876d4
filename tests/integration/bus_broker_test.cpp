// The bus broker against a real dbus-daemon: the connections it hands out work, and the bus
// records the broker, not the process that speaks on them.
#include "app/bus_broker.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/broker_client.hpp"
#include "tests/support/private_system_bus.hpp"

namespace nubrik {
namespace {

struct BusDeleter {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using BusHandle = std::unique_ptr<sd_bus, BusDeleter>;

// The pid the bus daemon reports for a connection, asked both ways the helper may ask.
struct ReportedPids {
  std::optional<uint32_t> unixProcessID;
  std::optional<uint32_t> credentialsProcessID;
};

ReportedPids reportedPids(sd_bus* asker, const char* unique) {
  ReportedPids pids;
  sd_bus_error error{};
  sd_bus_message* reply = nullptr;
  uint32_t pid = 0;
  if (sd_bus_call_method(asker, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus", "GetConnectionUnixProcessID", &error, &reply, "s",
                         unique) >= 0 &&
      sd_bus_message_read(reply, "u", &pid) >= 0) {
    pids.unixProcessID = pid;
  }
  reply = sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  if (sd_bus_call_method(asker, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus", "GetConnectionCredentials", &error, &reply, "s",
                         unique) >= 0 &&
      sd_bus_message_enter_container(reply, 'a', "{sv}") >= 0) {
    while (sd_bus_message_enter_container(reply, 'e', "sv") > 0) {
      const char* key = nullptr;
      if (sd_bus_message_read(reply, "s", &key) < 0) break;
      if (std::string(key) == "ProcessID" && sd_bus_message_read(reply, "v", "u", &pid) >= 0) {
        pids.credentialsProcessID = pid;
      } else if (sd_bus_message_skip(reply, "v") < 0) {
        break;
      }
      if (sd_bus_message_exit_container(reply) < 0) break;
    }
  }
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  return pids;
}

// The broker's exit status once it has ended; -1 when it is still running after a bound far
// beyond anything it needs (it is then killed, so that the test fails rather than hangs).
int waitForExit(pid_t pid) {
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidfd < 0) return -1;
  pollfd ended{pidfd, POLLIN, 0};
  int polled = 0;
  do {
    polled = ::poll(&ended, 1, 30'000);
  } while (polled < 0 && errno == EINTR);
  ::close(pidfd);
  if (polled != 1) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (polled != 1) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::size_t openDescriptors(pid_t pid) {
  DIR* dir = ::opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
  if (dir == nullptr) return 0;
  std::size_t count = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  ::closedir(dir);
  return count;
}

class BusBrokerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bus.running()) GTEST_SKIP() << bus.failure();
    // The address dbus-daemon prints is one the broker of a build can follow.
    ASSERT_EQ(brokerBusSocketPath(false, bus.address().c_str()), bus.socketPath());
  }

  test::PrivateSystemBus bus;
};

TEST_F(BusBrokerTest, TheBusSeesTheBrokerOnEveryConnectionItHandsOut) {
  const BrokerProcess broker = startBusBroker(bus.socketPath());
  ASSERT_GT(broker.pid, 0);
  EXPECT_GE(broker.socket, 3);
  EXPECT_EQ(::fcntl(broker.socket, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  // The opener holds the only reference to the client.
  BusOpener open = BrokerClient::opener(std::make_shared<BrokerClient>(UniqueFd(broker.socket)));

  sd_bus* first = nullptr;
  sd_bus* second = nullptr;
  ASSERT_EQ(open(&first), 0);
  const BusHandle firstHandle(first);
  ASSERT_EQ(open(&second), 0);
  const BusHandle secondHandle(second);
  const char* firstName = nullptr;
  const char* secondName = nullptr;
  // The bus answered Hello on each.
  ASSERT_GE(sd_bus_get_unique_name(first, &firstName), 0);
  ASSERT_GE(sd_bus_get_unique_name(second, &secondName), 0);
  EXPECT_STRNE(firstName, secondName);

  for (const char* name : {firstName, secondName}) {
    const ReportedPids pids = reportedPids(first, name);
    EXPECT_EQ(pids.unixProcessID, static_cast<uint32_t>(broker.pid)) << name;
    EXPECT_EQ(pids.credentialsProcessID, static_cast<uint32_t>(broker.pid)) << name;
    EXPECT_NE(pids.unixProcessID, static_cast<uint32_t>(::getpid())) << name;
  }
  // Between requests the broker holds its socket and nothing else.
  EXPECT_EQ(openDescriptors(broker.pid), 1u);

  // The broker ends with its peer; the connections it made live on.
  open = nullptr;
  EXPECT_EQ(waitForExit(broker.pid), 0);
  EXPECT_GE(sd_bus_call_method(first, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "GetId", nullptr, nullptr, ""),
            0);
}

TEST_F(BusBrokerTest, AFailedConnectIsReportedAndTheBrokerServesOn) {
  const BrokerProcess broker = startBusBroker(bus.socketPath() + ".missing");
  BrokerClient client{UniqueFd(broker.socket)};
  EXPECT_EQ(client.requestConnection(), -ENOENT);
  EXPECT_EQ(client.requestConnection(), -ENOENT);
  EXPECT_EQ(::kill(broker.pid, 0), 0);
  ::kill(broker.pid, SIGTERM);
  EXPECT_EQ(waitForExit(broker.pid), 128 + SIGTERM);
}

TEST_F(BusBrokerTest, AnythingButARequestEndsTheBroker) {
  const BrokerProcess broker = startBusBroker(bus.socketPath());
  ASSERT_EQ(::send(broker.socket, "cc", 2, 0), 2);
  EXPECT_EQ(waitForExit(broker.pid), 0);
  ::close(broker.socket);
}

}  // namespace
}  // namespace nubrik
