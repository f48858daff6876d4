#include "helper/net/linux/network_manager_switch.hpp"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include "helper/net/linux/linux_network_switches.hpp"
#include "helper/net/network_errors.hpp"
#include "tests/helper/net/switch_views.hpp"
#include "tests/support/private_system_bus.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

void stopProcess(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

// NetworkManager's networking switch as a separate process on the private bus: the property
// "NetworkingEnabled" and the method Enable(b), which, like the real one, refuses to switch to
// the state it is already in. With `refuseAll` every Enable fails.
class FakeNetworkManager {
 public:
  FakeNetworkManager(const std::string& address, bool enabled, bool refuseAll = false) {
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      serve(address, State{enabled ? 1 : 0, refuseAll}, ready[1]);
      ::_exit(1);
    }
    ::close(ready[1]);
    char byte = 0;
    running_ = pid_ > 0 && ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
  }
  ~FakeNetworkManager() { stopProcess(pid_); }
  bool running() const { return running_; }

 private:
  struct State {
    int enabled;
    bool refuseAll;
  };

  static int getEnabled(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                        void* userdata, sd_bus_error*) {
    return sd_bus_message_append(reply, "b", static_cast<State*>(userdata)->enabled);
  }

  static int enable(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& state = *static_cast<State*>(userdata);
    int on = 0;
    if (const int r = sd_bus_message_read(message, "b", &on); r < 0) return r;
    if (state.refuseAll) {
      return sd_bus_reply_method_errorf(message, "org.freedesktop.NetworkManager.PermissionDenied",
                                        "Not authorized");
    }
    if ((on != 0) == (state.enabled != 0)) {
      return sd_bus_reply_method_errorf(message,
                                        "org.freedesktop.NetworkManager.AlreadyEnabledOrDisabled",
                                        "Already %s", on ? "enabled" : "disabled");
    }
    state.enabled = on != 0;
    return sd_bus_reply_method_return(message, "");
  }

  [[noreturn]] static void serve(const std::string& address, State state, int readyFd) {
    static const sd_bus_vtable vtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_PROPERTY("NetworkingEnabled", "b", getEnabled, 0, 0),
        SD_BUS_METHOD("Enable", "b", "", enable, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_VTABLE_END,
    };
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0 || sd_bus_set_address(bus, address.c_str()) < 0 ||
        sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0 ||
        sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/NetworkManager",
                                 "org.freedesktop.NetworkManager", vtable, &state) < 0 ||
        sd_bus_request_name(bus, "org.freedesktop.NetworkManager", 0) < 0) {
      ::_exit(1);
    }
    const char byte = 1;
    if (::write(readyFd, &byte, 1) != 1) ::_exit(1);
    for (;;) {
      const int processed = sd_bus_process(bus, nullptr);
      if (processed < 0) ::_exit(0);
      if (processed == 0 && sd_bus_wait(bus, UINT64_MAX) < 0) ::_exit(0);
    }
  }

  pid_t pid_ = -1;
  bool running_ = false;
};

std::unique_ptr<LinuxNetworkSwitches> operationsOnBus(const TempDir& dir,
                                                      const std::string& address) {
  return std::make_unique<LinuxNetworkSwitches>(LinuxNetworkConfig{
      dir.file("no-rfkill"), dir.file("no-rfkill-device"), address, dir.file("no-networkmanager")});
}

class NetworkManagerOnPrivateBus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bus_.running()) GTEST_SKIP() << "no private bus: " << bus_.failure();
  }

  const std::string& address() const { return bus_.address(); }

  TempDir dir_;
  test::PrivateSystemBus bus_{/*open=*/true};
};

TEST_F(NetworkManagerOnPrivateBus, ABusWithoutNetworkManagerHasNoServices) {
  const auto operations = operationsOnBus(dir_, address());
  EXPECT_THAT(test::names(operations, SwitchKind::service), IsEmpty());
  EXPECT_EQ(test::optionalStateOf(operations, SwitchKind::service, "NetworkManager"), std::nullopt);
  EXPECT_FALSE(test::setSwitch(operations, SwitchKind::service, "NetworkManager", true));
}

TEST_F(NetworkManagerOnPrivateBus, ListsAndSwitchesTheNetworkingSwitch) {
  FakeNetworkManager manager(address(), true);
  ASSERT_TRUE(manager.running());
  const auto operations = operationsOnBus(dir_, address());

  EXPECT_THAT(test::namesOn(operations, SwitchKind::service), ElementsAre("NetworkManager"));
  EXPECT_TRUE(test::stateOf(operations, SwitchKind::service, "NetworkManager"));

  EXPECT_TRUE(test::setSwitch(operations, SwitchKind::service, "NetworkManager", false));
  EXPECT_FALSE(test::stateOf(operations, SwitchKind::service, "NetworkManager"));
  EXPECT_THAT(test::namesOn(operations, SwitchKind::service), IsEmpty());
  EXPECT_THAT(test::names(operations, SwitchKind::service), ElementsAre("NetworkManager"));

  // Switching to the state it is already in is refused by NetworkManager but is what was asked.
  EXPECT_TRUE(test::setSwitch(operations, SwitchKind::service, "NetworkManager", false));
  EXPECT_TRUE(test::setSwitch(operations, SwitchKind::service, "NetworkManager", true));
  EXPECT_TRUE(test::stateOf(operations, SwitchKind::service, "NetworkManager"));

  EXPECT_FALSE(test::setSwitch(operations, SwitchKind::service, "Wi-Fi", false));
  EXPECT_ANY_THROW(test::stateOf(operations, SwitchKind::service, "Wi-Fi"));
}

TEST_F(NetworkManagerOnPrivateBus, ARefusedChangeIsAFailure) {
  FakeNetworkManager manager(address(), true, /*refuseAll=*/true);
  ASSERT_TRUE(manager.running());
  const auto operations = operationsOnBus(dir_, address());
  EXPECT_FALSE(test::setSwitch(operations, SwitchKind::service, "NetworkManager", false));
  EXPECT_TRUE(test::stateOf(operations, SwitchKind::service, "NetworkManager"));
}

}  // namespace
}  // namespace nubrik
