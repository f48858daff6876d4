#include "app/helper_setup_systemd.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/event_loop.hpp"
#include "app/helper_setup_production.hpp"
#include "app/systemd_units.hpp"
#include "tests/integration/fake_bus_service.hpp"
#include "tests/support/private_system_bus.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// systemd's manager object on the test's bus: it records every call as "Member(arguments)",
// with " interactive" when it allows interactive authorization, and answers as told.
class FakeSystemdManager {
 public:
  // `state`: the unit file state GetUnitFileState answers.
  FakeSystemdManager(const std::string& address, std::string state)
      : state_(std::move(state)), service_(address) {
    service_.addObject("/org/freedesktop/systemd1", "org.freedesktop.systemd1.Manager", vtable,
                       this);
  }

  // Starts answering; false when the manager could not be put on the bus.
  bool start() { return service_.start("org.freedesktop.systemd1"); }

  // Set before start(): the member is never answered.
  void hold(const std::string& member) { unanswered_ = member; }
  // Runs (on the fake's thread) after each recorded call.
  void onCall(std::function<void()> observer) { observer_ = std::move(observer); }

  std::vector<std::string> calls() const { return service_.calls(); }

 private:
  static int handle(sd_bus_message* message, void* userdata, sd_bus_error*) {
    return static_cast<FakeSystemdManager*>(userdata)->answer(message);
  }

  int answer(sd_bus_message* message) {
    const std::string member = sd_bus_message_get_member(message);
    std::string call = member + "(";
    const char* signature = sd_bus_message_get_signature(message, 1);
    for (const char* type = signature; type && *type; ++type) {
      if (type != signature) call += ",";
      if (*type == 'a') {
        char** list = nullptr;
        if (sd_bus_message_read_strv(message, &list) < 0) return -EINVAL;
        call += "[";
        for (char** item = list; item && *item; ++item) {
          call += *item;
          free(*item);
        }
        free(list);
        call += "]";
        ++type;
      } else if (*type == 's') {
        const char* text = nullptr;
        if (sd_bus_message_read(message, "s", &text) < 0) return -EINVAL;
        call += text;
      } else if (*type == 'b') {
        int flag = 0;
        if (sd_bus_message_read(message, "b", &flag) < 0) return -EINVAL;
        call += flag ? "true" : "false";
      }
    }
    call += ")";
    if (sd_bus_message_get_allow_interactive_authorization(message) > 0) call += " interactive";
    service_.record(call);
    if (observer_) observer_();

    if (member == unanswered_) return service_.hold(message);
    if (member == "GetUnitFileState") {
      return sd_bus_reply_method_return(message, "s", state_.c_str());
    }
    if (member == "EnableUnitFiles") return sd_bus_reply_method_return(message, "ba(sss)", 1, 0);
    if (member == "DisableUnitFiles") return sd_bus_reply_method_return(message, "a(sss)", 0);
    if (member == "StartUnit" || member == "StopUnit") {
      return sd_bus_reply_method_return(message, "o", "/org/freedesktop/systemd1/job/42");
    }
    return sd_bus_reply_method_return(message, "");
  }

  static constexpr sd_bus_vtable vtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("GetUnitFileState", "s", "s", handle, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_METHOD("EnableUnitFiles", "asbb", "ba(sss)", handle, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_METHOD("DisableUnitFiles", "asb", "a(sss)", handle, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_METHOD("Reload", "", "", handle, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_METHOD("StartUnit", "ss", "o", handle, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_METHOD("StopUnit", "ss", "o", handle, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_VTABLE_END,
  };

  std::string state_;
  std::string unanswered_;
  std::function<void()> observer_;
  test::FakeBusService<> service_;
};

const std::string unit = helperServiceUnitName;

class SystemdOnPrivateBus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bus_.running()) GTEST_SKIP() << "no private bus: " << bus_.failure();
  }

  SystemdUnits units() const { return systemdBusUnits(SystemdBusOptions{bus_.address()}); }

  test::PrivateSystemBus bus_{/*open=*/true};
};

// The order of the calls, where they stop on a refusal and what each state or error means are the
// unit tests'; here their wire form: arguments, and interactive authorization allowed on each.
TEST_F(SystemdOnPrivateBus, ReadsRegistersAndUnregistersWithTheManagersCalls) {
  FakeSystemdManager manager(bus_.address(), "disabled");
  ASSERT_TRUE(manager.start());
  EXPECT_EQ(helperServiceStatus(units()), RegistrationStatus::notRegistered);
  EXPECT_EQ(registerHelperService(units()), std::nullopt);
  EXPECT_EQ(unregisterHelperService(units()), std::nullopt);
  EXPECT_THAT(
      manager.calls(),
      ElementsAre("GetUnitFileState(" + unit + ") interactive",
                  "EnableUnitFiles([" + unit + "],false,false) interactive", "Reload() interactive",
                  "StartUnit(" + unit + ",replace) interactive",
                  "StopUnit(" + unit + ",replace) interactive",
                  "DisableUnitFiles([" + unit + "],false) interactive", "Reload() interactive"));
}

TEST_F(SystemdOnPrivateBus, WithoutSystemdNothingIsRegistered) {
  EXPECT_EQ(helperServiceStatus(units()), RegistrationStatus::unknown);
  const auto error = registerHelperService(units());
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->message, "systemd is not running on the system bus.");

  TempDir dir;
  const SystemdUnits nowhere = systemdBusUnits(SystemdBusOptions{"unix:path=" + dir.file("none")});
  EXPECT_EQ(helperServiceStatus(nowhere), RegistrationStatus::unknown);
  const auto unreachable = registerHelperService(nowhere);
  ASSERT_TRUE(unreachable.has_value());
  EXPECT_THAT(unreachable->message, HasSubstr("Cannot reach systemd on the system bus"));
}

// The production record: the requests run on the worker and answer on the main queue.
class ProductionSetupOnPrivateBus : public SystemdOnPrivateBus {
 protected:
  HelperSetupDependencies dependencies() {
    HelperSetupProductionOptions options = HelperSetupProductionOptions::standard();
    options.bus.address = bus_.address();
    options.developerUnitPath = dir_.file("com.nubrik.helper.service");
    SessionClient client(SessionClientDependencies{
        &loop_, [] { return std::optional<std::string>(); }, nullptr, {}});
    return productionHelperSetupDependencies(
        loop_, client, [] { return GuiStatus::confirmedIdle(); }, options);
  }

  TempDir dir_;
  EventLoop loop_;
};

TEST_F(ProductionSetupOnPrivateBus, AnswersOnTheMainQueue) {
  FakeSystemdManager manager(bus_.address(), "enabled");
  ASSERT_TRUE(manager.start());
  const HelperSetupDependencies deps = dependencies();

  std::optional<RegistrationStatus> status;
  bool onMainQueue = false;
  deps.registrationStatus([&](RegistrationStatus answer) {
    onMainQueue = loop_.isCurrentThread();
    status = answer;
  });
  loop_.runUntil([&] { return status.has_value(); });
  EXPECT_EQ(status, RegistrationStatus::enabled);
  EXPECT_TRUE(onMainQueue);

  std::optional<std::optional<HelperRegistrationError>> unregistered;
  deps.unregisterHelper(
      [&](std::optional<HelperRegistrationError> error) { unregistered = error; });
  loop_.runUntil([&] { return unregistered.has_value(); });
  EXPECT_EQ(*unregistered, std::nullopt);
  EXPECT_EQ(manager.calls().size(), 4u);

  EXPECT_FALSE(deps.developerHelperExists());
  dir_.write("com.nubrik.helper.service", "[Service]\n");
  EXPECT_TRUE(deps.developerHelperExists());
}

TEST_F(ProductionSetupOnPrivateBus, ARequestStillWaitingGivesUpWhenTheRecordGoes) {
  FakeSystemdManager manager(bus_.address(), "disabled");
  manager.hold("EnableUnitFiles");
  bool enableArrived = false;
  manager.onCall([&] { loop_.post([&] { enableArrived = true; }); });
  ASSERT_TRUE(manager.start());

  std::optional<std::optional<HelperRegistrationError>> answer;
  {
    const HelperSetupDependencies deps = dependencies();
    deps.registerHelper([&](std::optional<HelperRegistrationError> error) { answer = error; });
    loop_.runUntil([&] { return enableArrived; });
  }
  // The worker stopped without waiting for an administrator who may never answer.
  loop_.runUntil([&] { return answer.has_value(); });
  ASSERT_TRUE(answer->has_value());
  EXPECT_EQ((*answer)->message, "The request to systemd was cancelled.");
}

}  // namespace
}  // namespace nubrik
