#include "app/ui/setup_sheet.hpp"

#include <gtest/gtest.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "core/nubrik_xpc.hpp"
#include "tests/app/helper_setup_fakes.hpp"

namespace nubrik {
namespace {

using Action = HelperSetupAction;

using Fakes = test::HelperSetupFakes;

// How a controller reaches each state the sheet shows.
enum class Reach {
  notInstalled,
  registrationFailed,
  approvalRequired,
  installedReady,
  updateAvailable,
  healthCheckFailed,
  versionIncompatible,
  appUpdateRequired,
  installing,
  updating,
  repairing,
};

void reach(Reach target, Fakes& fakes, HelperSetup& setup) {
  const auto refreshWith = [&](HealthProbeResult health) {
    fakes.registration = RegistrationStatus::enabled;
    setup.refresh();
    ASSERT_TRUE(fakes.answerProbe(std::move(health)));
  };
  switch (target) {
    case Reach::notInstalled:
      break;
    case Reach::registrationFailed:
      fakes.developerHelper = true;
      setup.install();
      fakes.developerHelper = false;
      break;
    case Reach::approvalRequired:
      fakes.registration = RegistrationStatus::requiresApproval;
      setup.refresh();
      break;
    case Reach::installedReady:
      refreshWith(HealthProbeResult::ready(nubrikHelperVersion));
      break;
    case Reach::updateAvailable:
      refreshWith(HealthProbeResult::ready("0.9"));
      break;
    case Reach::healthCheckFailed:
      refreshWith(HealthProbeResult::failed());
      break;
    case Reach::versionIncompatible:
      refreshWith(HealthProbeResult::versionMismatch(2, 5));
      break;
    case Reach::appUpdateRequired:
      refreshWith(HealthProbeResult::versionMismatch(9, nubrikXPCProtocolVersion));
      break;
    case Reach::installing:
      setup.install();
      break;
    case Reach::updating:
      reach(Reach::updateAvailable, fakes, setup);
      setup.updateHelper();
      break;
    case Reach::repairing:
      reach(Reach::healthCheckFailed, fakes, setup);
      setup.repairHelper();
      break;
  }
}

struct Shown {
  std::string title;
  bool enabled;
  bool isDefault;
  bool operator==(const Shown&) const = default;
};

void PrintTo(const Shown& shown, std::ostream* out) {
  *out << '"' << shown.title << '"' << (shown.enabled ? "" : " disabled")
       << (shown.isDefault ? " default" : "");
}

// The visible buttons of the button row, left to right.
std::vector<Shown> visibleButtons(const SetupSheet& sheet) {
  std::vector<Shown> shown;
  for (int i = 0; i < sheet.buttons()->count(); ++i) {
    const auto* button = qobject_cast<QPushButton*>(sheet.buttons()->itemAt(i)->widget());
    if (button == nullptr || button->isHidden()) continue;
    shown.push_back({button->text().toStdString(), button->isEnabled(), button->isDefault()});
  }
  return shown;
}

TEST(SetupSheetTest, ShowsTheStatusLineAndTheButtonsOfEachState) {
  const Shown close{"Close", true, false};
  const Shown checkAgain{"Check Again", true, false};
  const Shown checkAgainOff{"Check Again", false, false};
  struct Case {
    const char* name;
    Reach reach;
    std::string statusLine;
    std::vector<Shown> buttons;
  };
  const std::vector<Case> cases = {
      {"not installed",
       Reach::notInstalled,
       "The helper is not installed.",
       {close, {"Install Helper", true, true}}},
      {"registration failed",
       Reach::registrationFailed,
       "Installation failed: " + std::string(developerHelperExistsMessage),
       {close, {"Try Again", true, true}}},
      {"approval required",
       Reach::approvalRequired,
       std::string(helperApprovalMessage),
       {close, checkAgain, {"Open Login Items", true, true}}},
      {"ready",
       Reach::installedReady,
       "The helper is installed and ready.",
       {close, {"Done", true, true}}},
      {"update available",
       Reach::updateAvailable,
       std::string(helperOutOfDateMessage),
       {close, checkAgain, {"Update Helper", true, true}}},
      {"health check failed",
       Reach::healthCheckFailed,
       "The helper is registered but did not respond to a health check. " +
           std::string(helperManualTransitionGuidance),
       {close, checkAgain, {"Repair Helper", true, true}}},
      {"version incompatible",
       Reach::versionIncompatible,
       "The helper protocol version (2) is incompatible with this app (5). " +
           std::string(helperManualTransitionGuidance),
       {close, {"Check Again", true, true}}},
      {"app update required",
       Reach::appUpdateRequired,
       std::string(appOlderThanHelperMessage),
       {close, {"Check Again", true, true}}},
      {"installing",
       Reach::installing,
       "The helper is not installed.",
       {close, {"Installing…", false, false}}},
      {"updating",
       Reach::updating,
       std::string(helperOutOfDateMessage),
       {close, checkAgainOff, {"Updating…", false, false}}},
      {"repairing",
       Reach::repairing,
       "The helper is registered but did not respond to a health check. " +
           std::string(helperManualTransitionGuidance),
       {close, checkAgainOff, {"Repairing…", false, false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fakes fakes;
    HelperSetup setup(fakes.dependencies());
    SetupSheet sheet(nullptr, setup);
    setup.setOnChange([&] { sheet.refresh(); });
    reach(c.reach, fakes, setup);
    EXPECT_EQ(sheet.statusLine()->text().toStdString(), c.statusLine);
    EXPECT_EQ(visibleButtons(sheet), c.buttons);
  }
}

TEST(SetupSheetTest, RepairIsOfferedOnlyWhileTheWindowsStatusAllowsIt) {
  Fakes fakes;
  HelperSetup setup(fakes.dependencies());
  GuiStatus windowStatus = GuiStatus::confirmedActive(fakes.now + std::chrono::minutes(5), 300);
  SetupSheet sheet(nullptr, setup, [&] { return windowStatus; });
  setup.setOnChange([&] { sheet.refresh(); });
  reach(Reach::healthCheckFailed, fakes, setup);
  EXPECT_TRUE(sheet.button(Action::repair)->isHidden());
  EXPECT_TRUE(sheet.button(Action::checkAgain)->isDefault());

  // The session ends; the next refresh of the sheet offers the repair.
  windowStatus = GuiStatus::confirmedIdle();
  sheet.refresh();
  EXPECT_FALSE(sheet.button(Action::repair)->isHidden());
  EXPECT_TRUE(sheet.button(Action::repair)->isDefault());
}

TEST(SetupSheetTest, EachButtonCallsItsOperation) {
  struct Case {
    const char* name;
    Reach reach;
    Action action;
    std::vector<std::string> calls;
    bool working;
  };
  const std::vector<Case> cases = {
      {"install", Reach::notInstalled, Action::install, {"status", "register"}, true},
      {"try again", Reach::registrationFailed, Action::tryAgain, {"status", "register"}, true},
      {"update", Reach::updateAvailable, Action::update, {"restart"}, true},
      {"repair", Reach::healthCheckFailed, Action::repair, {"status", "unregister"}, true},
      {"open login items",
       Reach::approvalRequired,
       Action::openLoginItems,
       {"openLoginItems"},
       false},
      {"check again", Reach::healthCheckFailed, Action::checkAgain, {"status", "probe"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fakes fakes;
    HelperSetup setup(fakes.dependencies());
    SetupSheet sheet(nullptr, setup);
    setup.setOnChange([&] { sheet.refresh(); });
    reach(c.reach, fakes, setup);
    fakes.calls.clear();
    sheet.button(c.action)->click();
    EXPECT_EQ(fakes.calls, c.calls);
    EXPECT_EQ(setup.isWorking(), c.working);
    EXPECT_EQ(sheet.button(c.action)->isEnabled(), !c.working);
  }
}

TEST(SetupSheetTest, DoneAndCloseCloseTheSheet) {
  for (const char* name : {"doneButton", "closeButton"}) {
    SCOPED_TRACE(name);
    Fakes fakes;
    HelperSetup setup(fakes.dependencies());
    SetupSheet sheet(nullptr, setup);
    setup.setOnChange([&] { sheet.refresh(); });
    reach(Reach::installedReady, fakes, setup);
    sheet.show();
    ASSERT_TRUE(sheet.isVisible());
    fakes.calls.clear();
    sheet.findChild<QPushButton*>(QString::fromLatin1(name))->click();
    EXPECT_FALSE(sheet.isVisible());
    // Closing asks the controller for nothing.
    EXPECT_TRUE(fakes.calls.empty());
  }
}

}  // namespace
}  // namespace nubrik
