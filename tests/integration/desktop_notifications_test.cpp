#include "app/desktop_notifications.hpp"

#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/session_completion.hpp"
#include "tests/integration/fake_bus_service.hpp"
#include "tests/support/private_session_bus.hpp"
#include "tests/support/scoped_environment.hpp"

namespace nubrik {
namespace {

// One Notify call as the notification service received it.
struct NotifyCall {
  std::string appName;
  std::uint32_t replacesID = 0;
  std::string icon;
  std::string summary;
  std::string body;
  std::vector<std::string> actions;
  std::map<std::string, std::string> hints;
  std::int32_t expireTimeout = 0;

  bool operator==(const NotifyCall&) const = default;
};

// The desktop's notification service, as far as the app sees it: it records each Notify and
// answers with an id, or, when told to, never answers.
class NotificationService {
 public:
  NotificationService(const std::string& address, bool answers)
      : answers_(answers), service_(address) {
    started_ = service_.addObject("/org/freedesktop/Notifications", "org.freedesktop.Notifications",
                                  vtable, this) &&
               service_.start("org.freedesktop.Notifications");
  }

  bool failed() const { return !started_; }
  std::vector<NotifyCall> calls() const { return service_.calls(); }

 private:
  static int onNotify(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto* self = static_cast<NotificationService*>(userdata);
    NotifyCall call;
    const char* appName = nullptr;
    const char* icon = nullptr;
    const char* summary = nullptr;
    const char* body = nullptr;
    if (sd_bus_message_read(message, "susss", &appName, &call.replacesID, &icon, &summary, &body) <
        0) {
      return -EINVAL;
    }
    call.appName = appName;
    call.icon = icon;
    call.summary = summary;
    call.body = body;
    if (sd_bus_message_enter_container(message, 'a', "s") < 0) return -EINVAL;
    const char* action = nullptr;
    while (sd_bus_message_read(message, "s", &action) > 0) call.actions.emplace_back(action);
    sd_bus_message_exit_container(message);
    if (sd_bus_message_enter_container(message, 'a', "{sv}") < 0) return -EINVAL;
    while (sd_bus_message_enter_container(message, 'e', "sv") > 0) {
      const char* key = nullptr;
      const char* value = nullptr;
      if (sd_bus_message_read(message, "s", &key) < 0 ||
          sd_bus_message_read(message, "v", "s", &value) < 0) {
        return -EINVAL;
      }
      call.hints[key] = value;
      sd_bus_message_exit_container(message);
    }
    sd_bus_message_exit_container(message);
    if (sd_bus_message_read(message, "i", &call.expireTimeout) < 0) return -EINVAL;
    self->service_.record(std::move(call));
    if (!self->answers_) return self->service_.hold(message);
    return sd_bus_reply_method_return(message, "u", 7u);
  }

  static constexpr sd_bus_vtable vtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("Notify", "susssasa{sv}i", "u", onNotify, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_VTABLE_END,
  };

  bool answers_;
  bool started_ = false;
  test::FakeBusService<NotifyCall> service_;
};

class DesktopNotificationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bus.running()) GTEST_SKIP() << bus.failure();
  }
  test::PrivateSessionBus bus;
};

// The production poster finds the session bus the way the desktop announces it.
TEST_F(DesktopNotificationsTest, TheCompletionAlertReachesTheNotificationService) {
  NotificationService service(bus.address(), true);
  ASSERT_FALSE(service.failed());
  test::ScopedEnvironment session("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str());

  SessionCompletionAlert(nullptr, std::make_shared<DesktopNotificationPoster>()).fire();

  const std::vector<NotifyCall> calls = service.calls();
  ASSERT_EQ(calls.size(), 1u);
  NotifyCall call = calls[0];
  // A new id each time: the kind of alert and an upper-case UUID.
  EXPECT_TRUE(
      std::regex_match(call.hints["x-nubrik-id"],
                       std::regex("session-completed-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}")))
      << call.hints["x-nubrik-id"];
  call.hints["x-nubrik-id"] = "ID";
  EXPECT_EQ(call, (NotifyCall{"Tamsel",
                              0,
                              "",
                              "Tamsel",
                              "Your computer is back online.",
                              {},
                              {{"desktop-entry", "tamsel"}, {"x-nubrik-id", "ID"}},
                              -1}));
}

TEST_F(DesktopNotificationsTest, EveryFailureIsAFalseResultWithinTheBound) {
  // No notification service on the bus; no bus at all.
  for (const std::string& address : {bus.address(), bus.unusedAddress()}) {
    auto poster = DesktopNotificationPoster::atAddressForTest(address, 5.0);
    EXPECT_FALSE(poster.post("Tamsel", "Your computer is back online.", "session-completed-X"))
        << address;
  }
  {
    SCOPED_TRACE("a service that never answers");
    NotificationService hung(bus.address(), false);
    ASSERT_FALSE(hung.failed());
    auto poster = DesktopNotificationPoster::atAddressForTest(bus.address(), 0.2);
    EXPECT_FALSE(poster.post("Tamsel", "Your computer is back online.", "session-completed-X"));
    // The call went out and found no answer (the service may see it only after the poster gave
    // up waiting).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (hung.calls().empty() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(hung.calls().size(), 1u);
  }
}

}  // namespace
}  // namespace nubrik
