#include "helper/service/notification_signal.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "core/nubrik_xpc.hpp"
#include "tests/support/private_system_bus.hpp"

namespace nubrik {
namespace {

using Received = std::vector<std::pair<std::string, std::string>>;

// A one-off command's notification reaches a listener on the system bus as the helper's signal.
TEST(SystemBusNotificationSink, ACommandsNotificationReachesTheBus) {
  test::PrivateSystemBus bus;
  if (!bus.running()) GTEST_SKIP() << bus.failure();

  sd_bus* listener = nullptr;
  ASSERT_GE(sd_bus_new(&listener), 0);
  ASSERT_GE(sd_bus_set_address(listener, bus.address().c_str()), 0);
  ASSERT_GE(sd_bus_set_bus_client(listener, 1), 0);
  ASSERT_GE(sd_bus_start(listener), 0);
  Received received;
  const std::string match = std::string("type='signal',interface='") + NubrikXPC::interfaceName +
                            "',member='" + NubrikXPC::notificationSignal + "'";
  ASSERT_GE(sd_bus_add_match(
                listener, nullptr, match.c_str(),
                [](sd_bus_message* message, void* userdata, sd_bus_error*) {
                  const char* title = nullptr;
                  const char* text = nullptr;
                  if (sd_bus_message_read(message, "ss", &title, &text) >= 0) {
                    static_cast<Received*>(userdata)->emplace_back(title, text);
                  }
                  return 0;
                },
                &received),
            0);

  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().c_str(), 1);
  systemBusNotificationSink()("Tamsel", "Offline until 16:05.");
  ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (received.empty() && std::chrono::steady_clock::now() < deadline) {
    if (sd_bus_process(listener, nullptr) > 0) continue;
    (void)sd_bus_wait(listener, 100'000);
  }
  EXPECT_EQ(received, (Received{{"Tamsel", "Offline until 16:05."}}));
  sd_bus_flush_close_unref(listener);
}

}  // namespace
}  // namespace nubrik
