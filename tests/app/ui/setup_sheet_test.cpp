#include "app/ui/setup_sheet.hpp"

#include <gtest/gtest.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <functional>
#include <string>
#include <vector>

#include "tests/app/helper_setup_fakes.hpp"

namespace nubrik {
namespace {

using Action = HelperSetupAction;
using Fakes = test::HelperSetupFakes;
using Reach = std::function<void(Fakes&, HelperSetup&)>;

// Which state offers which buttons is the controller's decision table (helper_setup_state_test);
// here, that the sheet draws what it is given and that its buttons reach the controller.
Reach registered(HealthProbeResult health) {
  return [health](Fakes& fakes, HelperSetup& setup) {
    fakes.registration = RegistrationStatus::enabled;
    setup.refresh();
    ASSERT_TRUE(fakes.answerProbe(health));
  };
}
const Reach notInstalled = [](Fakes&, HelperSetup&) {};
const Reach approvalRequired = [](Fakes& fakes, HelperSetup& setup) {
  fakes.registration = RegistrationStatus::requiresApproval;
  setup.refresh();
};
const Reach updateAvailable = registered(HealthProbeResult::ready("0.9"));
const Reach healthCheckFailed = registered(HealthProbeResult::failed());

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

std::vector<Shown> visibleButtons(const SetupSheet& sheet) {
  std::vector<Shown> shown;
  for (int i = 0; i < sheet.buttons()->count(); ++i) {
    const auto* button = qobject_cast<QPushButton*>(sheet.buttons()->itemAt(i)->widget());
    if (button == nullptr || button->isHidden()) continue;
    shown.push_back({button->text().toStdString(), button->isEnabled(), button->isDefault()});
  }
  return shown;
}

struct SheetHarness {
  explicit SheetHarness(const Reach& reach) : sheet(nullptr, setup, {}) {
    setup.setOnChange([this] { sheet.refresh(); });
    reach(fakes, setup);
  }
  Fakes fakes;
  HelperSetup setup{fakes.dependencies()};
  SetupSheet sheet;
};

TEST(SetupSheetTest, DrawsTheStatusLineAndTheOfferedButtonsTheFirstEnabledOneDefault) {
  SheetHarness h(approvalRequired);
  EXPECT_EQ(h.sheet.statusLine()->text().toStdString(), helperApprovalMessage);
  EXPECT_EQ(visibleButtons(h.sheet), (std::vector<Shown>{{"Close", true, false},
                                                         {"Check Again", true, false},
                                                         {"Open Login Items", true, true}}));

  // While an operation works nothing is the default.
  SheetHarness updating(updateAvailable);
  updating.setup.updateHelper();
  EXPECT_EQ(visibleButtons(updating.sheet), (std::vector<Shown>{{"Close", true, false},
                                                                {"Check Again", false, false},
                                                                {"Updating…", false, false}}));
}

TEST(SetupSheetTest, EachButtonCallsItsOperation) {
  const Reach registrationFailed = [](Fakes& fakes, HelperSetup& setup) {
    fakes.developerHelper = true;
    setup.install();
    fakes.developerHelper = false;
  };
  struct Case {
    const char* name;
    Reach reach;
    Action action;
    std::vector<std::string> calls;
    bool working;
  };
  const std::vector<Case> cases = {
      {"install", notInstalled, Action::install, {"status", "register"}, true},
      {"try again", registrationFailed, Action::tryAgain, {"status", "register"}, true},
      {"update", updateAvailable, Action::update, {"restart"}, true},
      {"repair", healthCheckFailed, Action::repair, {"status", "unregister"}, true},
      {"open login items", approvalRequired, Action::openLoginItems, {"openLoginItems"}, false},
      {"check again", healthCheckFailed, Action::checkAgain, {"status", "probe"}, false},
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
    SheetHarness h(registered(HealthProbeResult::ready(nubrikHelperVersion)));
    h.sheet.show();
    h.fakes.calls.clear();
    h.sheet.findChild<QPushButton*>(QString::fromLatin1(name))->click();
    EXPECT_FALSE(h.sheet.isVisible());
    EXPECT_TRUE(h.fakes.calls.empty());  // closing asks the controller for nothing
  }
}

}  // namespace
}  // namespace nubrik
