#include "app/ui/setup_sheet.hpp"

#include <gtest/gtest.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <chrono>
#include <functional>
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

// A sheet over a controller with fake operations, refreshed on every change.
struct SheetHarness {
  explicit SheetHarness(Reach target, std::function<GuiStatus()> windowStatus = {})
      : sheet(nullptr, setup, std::move(windowStatus)) {
    setup.setOnChange([this] { sheet.refresh(); });
    reach(target, fakes, setup);
  }
  Fakes fakes;
  HelperSetup setup{fakes.dependencies()};
  SetupSheet sheet;
};

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
    SheetHarness h(c.reach);
    EXPECT_EQ(h.sheet.statusLine()->text().toStdString(), c.statusLine);
    EXPECT_EQ(visibleButtons(h.sheet), c.buttons);
  }
}

TEST(SetupSheetTest, RepairIsOfferedOnlyWhileTheWindowsStatusAllowsIt) {
  GuiStatus windowStatus =
      GuiStatus::confirmedActive(dateFromUnixSeconds(1'800'000'000) + std::chrono::minutes(5), 300);
  SheetHarness h(Reach::healthCheckFailed, [&] { return windowStatus; });
  EXPECT_TRUE(h.sheet.button(Action::repair)->isHidden());
  EXPECT_TRUE(h.sheet.button(Action::checkAgain)->isDefault());

  // The session ends; the next refresh of the sheet offers the repair.
  windowStatus = GuiStatus::confirmedIdle();
  h.sheet.refresh();
  EXPECT_FALSE(h.sheet.button(Action::repair)->isHidden());
  EXPECT_TRUE(h.sheet.button(Action::repair)->isDefault());
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
    SheetHarness h(c.reach);
    h.fakes.calls.clear();
    h.sheet.button(c.action)->click();
    EXPECT_EQ(h.fakes.calls, c.calls);
    EXPECT_EQ(h.setup.isWorking(), c.working);
    EXPECT_EQ(h.sheet.button(c.action)->isEnabled(), !c.working);
  }
}

TEST(SetupSheetTest, DoneAndCloseCloseTheSheet) {
  for (const char* name : {"doneButton", "closeButton"}) {
    SCOPED_TRACE(name);
    SheetHarness h(Reach::installedReady);
    h.sheet.show();
    ASSERT_TRUE(h.sheet.isVisible());
    h.fakes.calls.clear();
    h.sheet.findChild<QPushButton*>(QString::fromLatin1(name))->click();
    EXPECT_FALSE(h.sheet.isVisible());
    EXPECT_TRUE(h.fakes.calls.empty());  // closing asks the controller for nothing
  }
}

}  // namespace
}  // namespace nubrik
