#include "app/desktop_notifications.hpp"

#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/session_completion.hpp"
#include "tests/integration/client_bus_fixture.hpp"
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
};

// The desktop's notification service, as far as the app sees it: it records each Notify and
// answers with an id, or, when told to, never answers.
class NotificationService {
 public:
  NotificationService(const std::string& address, bool answers) : answers_(answers) {
    server_.call([&] {
      if (sd_bus_new(&bus_) < 0 || sd_bus_set_address(bus_, address.c_str()) < 0 ||
          sd_bus_set_bus_client(bus_, 1) < 0 || sd_bus_start(bus_) < 0 ||
          sd_bus_attach_event(bus_, server_.event(), SD_EVENT_PRIORITY_NORMAL) < 0 ||
          sd_bus_add_object_vtable(bus_, nullptr, "/org/freedesktop/Notifications",
                                   "org.freedesktop.Notifications", vtable, this) < 0 ||
          sd_bus_request_name(bus_, "org.freedesktop.Notifications", 0) < 0) {
        failed_ = true;
      }
    });
  }
  ~NotificationService() {
    server_.call([&] {
      for (sd_bus_message* held : unanswered_) sd_bus_message_unref(held);
      sd_bus_detach_event(bus_);
      sd_bus_flush_close_unref(bus_);
    });
  }

  bool failed() const { return failed_; }
  std::vector<NotifyCall> calls() {
    std::lock_guard guard(mutex_);
    return calls_;
  }

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
    {
      std::lock_guard guard(self->mutex_);
      self->calls_.push_back(std::move(call));
    }
    if (!self->answers_) {
      // Kept unanswered until the service goes, as a hung desktop would.
      self->unanswered_.push_back(sd_bus_message_ref(message));
      return 1;
    }
    return sd_bus_reply_method_return(message, "u", 7u);
  }

  static constexpr sd_bus_vtable vtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("Notify", "susssasa{sv}i", "u", onNotify, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_VTABLE_END,
  };

  test::ServerThread server_;
  sd_bus* bus_ = nullptr;
  bool answers_;
  bool failed_ = false;
  std::mutex mutex_;
  std::vector<NotifyCall> calls_;
  std::vector<sd_bus_message*> unanswered_;
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
  const NotifyCall& call = calls[0];
  EXPECT_EQ(call.appName, "Tamsel");
  EXPECT_EQ(call.replacesID, 0u);
  EXPECT_EQ(call.icon, "");
  EXPECT_EQ(call.summary, "Tamsel");
  EXPECT_EQ(call.body, "Your computer is back online.");
  EXPECT_TRUE(call.actions.empty());
  EXPECT_EQ(call.expireTimeout, -1);
  ASSERT_EQ(call.hints.size(), 2u);
  EXPECT_EQ(call.hints.at("desktop-entry"), "tamsel");
  const std::string id = call.hints.at("x-nubrik-id"), prefix = "session-completed-";
  EXPECT_EQ(id.rfind(prefix, 0), 0u);
  EXPECT_EQ(id.size(), prefix.size() + 36);
  EXPECT_EQ(id.find_first_of("abcdef", prefix.size()), std::string::npos) << "upper case";
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
