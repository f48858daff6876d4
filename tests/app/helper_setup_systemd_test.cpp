#include "app/helper_setup_systemd.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <string>
#include <vector>

namespace nubrik {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// systemd's manager with canned answers per request; requests without one succeed.
struct CannedSystemd {
  std::map<std::string, SystemdCallResult> answers;
  std::vector<std::string> calls;

  SystemdCallResult answer(const std::string& call) {
    calls.push_back(call);
    const auto found = answers.find(call.substr(0, call.find(' ')));
    return found == answers.end() ? SystemdCallResult::success() : found->second;
  }

  SystemdUnits units() {
    SystemdUnits units;
    const auto on = [this](const char* member) {
      return [this, member](const std::string& unit) { return answer(member + (" " + unit)); };
    };
    units.getUnitFileState = on("GetUnitFileState");
    units.enableUnitFiles = on("EnableUnitFiles");
    units.disableUnitFiles = on("DisableUnitFiles");
    units.reload = [this] { return answer("Reload"); };
    units.startUnit = on("StartUnit");
    units.stopUnit = on("StopUnit");
    return units;
  }
};

const std::string unit = "com.nubrik.helper.service";

// What systemd answers on the bus, and the order of the calls, are the bus test's; here, each
// branch of what the app makes of the answers.
TEST(HelperServiceStatus, MapsEveryUnitFileState) {
  struct Case {
    SystemdCallResult answer;
    RegistrationStatus status;
  };
  const std::vector<Case> cases = {
      {SystemdCallResult::unitFileState("enabled"), RegistrationStatus::enabled},
      {SystemdCallResult::unitFileState("enabled-runtime"), RegistrationStatus::notRegistered},
      {SystemdCallResult::unitFileState("not-found"), RegistrationStatus::notFound},
      {SystemdCallResult::unitFileState("static"), RegistrationStatus::unknown},
      {SystemdCallResult::unitFileState("Enabled"), RegistrationStatus::unknown},
      {SystemdCallResult::error("org.freedesktop.DBus.Error.FileNotFound",
                                "No such file or directory"),
       RegistrationStatus::notFound},
      {SystemdCallResult::error("org.freedesktop.systemd1.NoSuchUnit"),
       RegistrationStatus::notFound},
      {SystemdCallResult::error("org.freedesktop.DBus.Error.AccessDenied"),
       RegistrationStatus::unknown},
  };
  for (const Case& c : cases) {
    CannedSystemd systemd;
    systemd.answers["GetUnitFileState"] = c.answer;
    EXPECT_EQ(helperServiceStatus(systemd.units()), c.status)
        << c.answer.state << c.answer.errorName << c.answer.transportError;
    EXPECT_THAT(systemd.calls, ElementsAre("GetUnitFileState " + unit));
  }
}

TEST(HelperServiceErrors, SayWhatWentWrong) {
  const std::string refused(systemdAuthorizationRefusedMessage);
  struct Case {
    SystemdCallResult failure;
    std::string message;
  };
  const std::vector<Case> cases = {
      {SystemdCallResult::error("org.freedesktop.DBus.Error.AccessDenied", "Access denied"),
       refused},
      {SystemdCallResult::error("org.freedesktop.DBus.Error.FileNotFound"),
       "The helper's service com.nubrik.helper.service is not installed."},
      {SystemdCallResult::error("org.freedesktop.systemd1.UnitMasked", "Unit is masked."),
       "The helper's service com.nubrik.helper.service is masked. Unmask it with systemctl "
       "unmask com.nubrik.helper.service, then try again."},
      {SystemdCallResult::error("org.freedesktop.DBus.Error.NoReply", "Method call timed out"),
       "systemd did not answer in time."},
      {SystemdCallResult::error("org.example.Odd", "no stop"),
       "systemd refused the request: no stop."},
      {SystemdCallResult::error("org.example.Odd"),
       "systemd refused the request: org.example.Odd."},
      {SystemdCallResult::transportFailure(ETIMEDOUT), "systemd did not answer in time."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(registrationErrorFor(c.failure).message, c.message) << c.failure.errorName;
  }
}

TEST(RegisterHelperService, StopsAtTheFirstFailure) {
  struct Case {
    std::string failing;
    size_t callsMade;
  };
  for (const Case& c : {Case{"EnableUnitFiles", 1}, Case{"Reload", 2}, Case{"StartUnit", 3}}) {
    CannedSystemd systemd;
    systemd.answers[c.failing] =
        SystemdCallResult::error("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired",
                                 "Interactive authentication required.");
    const auto error = registerHelperService(systemd.units());
    ASSERT_TRUE(error.has_value()) << c.failing;
    EXPECT_EQ(error->message, "Administrator authorization was refused or cancelled.");
    EXPECT_EQ(systemd.calls.size(), c.callsMade) << c.failing;
  }
}

TEST(RegisterHelperService, AUnitWithNothingToEnableIsAFailure) {
  CannedSystemd systemd;
  SystemdCallResult nothing;
  nothing.carriesInstallInfo = false;
  systemd.answers["EnableUnitFiles"] = nothing;
  const auto error = registerHelperService(systemd.units());
  ASSERT_TRUE(error.has_value());
  EXPECT_THAT(error->message, HasSubstr("cannot be enabled"));
  EXPECT_EQ(systemd.calls.size(), 1u);
}

// A unit already gone is unregistered; a refused stop changes nothing further.
TEST(UnregisterHelperService, AGoneUnitIsUnregisteredARefusalStopsAtOnce) {
  CannedSystemd gone;
  gone.answers["StopUnit"] = SystemdCallResult::error("org.freedesktop.systemd1.NoSuchUnit");
  gone.answers["DisableUnitFiles"] =
      SystemdCallResult::error("org.freedesktop.DBus.Error.FileNotFound");
  EXPECT_EQ(unregisterHelperService(gone.units()), std::nullopt);
  EXPECT_EQ(gone.calls.size(), 3u);

  for (const char* failing : {"StopUnit", "DisableUnitFiles"}) {
    CannedSystemd systemd;
    systemd.answers[failing] =
        SystemdCallResult::error("org.freedesktop.PolicyKit1.Error.Cancelled");
    const auto error = unregisterHelperService(systemd.units());
    ASSERT_TRUE(error.has_value()) << failing;
    EXPECT_EQ(error->message, systemdAuthorizationRefusedMessage);
    EXPECT_EQ(systemd.calls.back(), std::string(failing) + " " + unit);
  }
}

}  // namespace
}  // namespace nubrik
