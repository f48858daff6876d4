#include "app/helper_notification_subscriber.hpp"

#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/event_loop.hpp"
#include "core/nubrik_xpc.hpp"
#include "helper/context/helper.hpp"
#include "helper/service/notification_signal.hpp"
#include "tests/integration/client_bus_fixture.hpp"

namespace nubrik {
namespace {

struct Posted {
  std::string title;
  std::string body;
  std::string identifier;
};

class RecordingPoster : public NotificationPoster {
 public:
  bool post(const std::string& title, const std::string& body,
            const std::string& identifier) override {
    posted.push_back({title, body, identifier});
    return true;
  }
  std::vector<Posted> posted;
};

sd_bus* connectTo(const std::string& address) {
  sd_bus* bus = nullptr;
  return HelperXPCListenerOwner::busAtAddressForTest(address)(&bus) >= 0 ? bus : nullptr;
}

// The helper's real bus service owns its name on a private system bus; the app's subscriber
// listens on the test's loop beside impostors that send the same signal.
class HelperNotificationSubscriberTest : public test::ClientBusTest {
 protected:
  // Runs the loop until `done`, or gives up after a while so that a lost signal fails the test
  // rather than hanging it.
  bool runUntil(const std::function<bool()>& done) {
    auto gaveUp = std::make_shared<bool>(false);
    loop.postAfter(10.0, [gaveUp] { *gaveUp = true; });
    loop.runUntil([&] { return done() || *gaveUp; });
    return done();
  }

  EventLoop loop;
  std::shared_ptr<RecordingPoster> poster = std::make_shared<RecordingPoster>();
};

TEST_F(HelperNotificationSubscriberTest, ShowsTheHelpersNotificationsAndNoImpostors) {
  startServer();
  // The subscriber's production bus: the system bus named by the environment (the fixture's).
  HelperNotificationSubscriber subscriber(poster);
  subscriber.start(loop.event());
  ASSERT_TRUE(runUntil([&] { return subscriber.isSubscribed(); }));

  // A witness sees every Notification broadcast, whoever sends it, so the test knows when the bus
  // has routed an impostor's.
  sd_bus* witness = connectTo(bus_.address());
  ASSERT_NE(witness, nullptr);
  std::vector<std::pair<std::string, std::string>> witnessed;
  ASSERT_GE(sd_bus_match_signal(
                witness, nullptr, nullptr, NubrikXPC::objectPath, NubrikXPC::interfaceName,
                NubrikXPC::notificationSignal,
                [](sd_bus_message* message, void* userdata, sd_bus_error*) {
                  const char* title = nullptr;
                  const char* text = nullptr;
                  if (sd_bus_message_read(message, "ss", &title, &text) >= 0) {
                    static_cast<std::vector<std::pair<std::string, std::string>>*>(userdata)
                        ->emplace_back(title, text);
                  }
                  return 0;
                },
                &witnessed),
            0);

  // 1. A process that does not own the helper's name broadcasts the signal, here through the
  //    helper's own one-off-command code, which sends from a connection of its own: it reaches
  //    the bus as the helper's signal, but the app does not show it.
  systemBusNotificationSink()("Tamsel", "From a connection without the helper's name.");
  while (witnessed.empty()) {
    if (sd_bus_process(witness, nullptr) > 0) continue;
    ASSERT_GE(sd_bus_wait(witness, 10'000'000), 0);
  }
  EXPECT_EQ(witnessed.front(),
            std::make_pair(std::string("Tamsel"),
                           std::string("From a connection without the helper's name.")));

  // 2. An impostor addresses the signal to the subscriber's connection directly, which no match
  //    rule filters; the call to the bus after it returns once the bus has passed the signal on.
  sd_bus* impostor = connectTo(bus_.address());
  ASSERT_NE(impostor, nullptr);
  sd_bus_message* direct = nullptr;
  ASSERT_GE(sd_bus_message_new_signal(impostor, &direct, NubrikXPC::objectPath,
                                      NubrikXPC::interfaceName, NubrikXPC::notificationSignal),
            0);
  ASSERT_GE(sd_bus_message_set_destination(direct, subscriber.uniqueNameForTest().c_str()), 0);
  ASSERT_GE(sd_bus_message_append(direct, "ss", "Tamsel", "Addressed to the app directly."), 0);
  ASSERT_GE(sd_bus_send(impostor, direct, nullptr), 0);
  sd_bus_message_unref(direct);
  ASSERT_GE(sd_bus_call_method(impostor, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "GetId", nullptr, nullptr, ""),
            0);

  // 3. The helper itself: the daemon's notification goes out on its listener's connection.
  server_->call([this] { helper_.notify("Tamsel", "Network access restored."); });

  // Whatever the bus delivered of 1 and 2 was queued before 3, so it would be shown by now.
  ASSERT_TRUE(runUntil([&] { return !poster->posted.empty(); }));
  ASSERT_EQ(poster->posted.size(), 1u) << poster->posted.front().body;
  EXPECT_EQ(poster->posted[0].title, "Tamsel");
  EXPECT_EQ(poster->posted[0].body, "Network access restored.");
  const std::string prefix = "helper-notification-";
  EXPECT_EQ(poster->posted[0].identifier.rfind(prefix, 0), 0u);
  EXPECT_EQ(poster->posted[0].identifier.size(), prefix.size() + 36);

  // Each notification is its own.
  server_->call([this] { helper_.notify("Tamsel", "Offline until 16:05."); });
  ASSERT_TRUE(runUntil([&] { return poster->posted.size() == 2; }));
  EXPECT_EQ(poster->posted[1].body, "Offline until 16:05.");
  EXPECT_NE(poster->posted[1].identifier, poster->posted[0].identifier);

  sd_bus_flush_close_unref(impostor);
  sd_bus_flush_close_unref(witness);
  subscriber.stop();
  EXPECT_FALSE(subscriber.isListening());
}

}  // namespace
}  // namespace nubrik
