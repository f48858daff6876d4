// The helper-setup sheet in each state, over a controller whose registration status is answered
// at once and whose probes, registrations and restarts wait unanswered where a state needs them to.
#include <functional>
#include <utility>

#include "app/helper_setup.hpp"
#include "app/ui/setup_sheet.hpp"
#include "core/nubrik_xpc.hpp"
#include "tests/app/helper_setup_fakes.hpp"
#include "tools/screenshots/screenshot_sheets.hpp"

namespace nubrik::test {
namespace {

// The shared fakes, and the helper registered with its health check answering `health`.
struct SetupFakes : HelperSetupFakes {
  void registeredWith(HelperSetup& setup, HealthProbeResult health) {
    registration = RegistrationStatus::enabled;
    setup.refresh();
    answerProbe(std::move(health));
  }
};

struct SetupState {
  const char* name;
  std::function<void(SetupFakes&, HelperSetup&)> reach;
};

const SetupState setupStates[] = {
    {"not-installed", [](SetupFakes&, HelperSetup&) {}},
    {"installing", [](SetupFakes&, HelperSetup& setup) { setup.install(); }},
    {"registration-failed",
     [](SetupFakes& fakes, HelperSetup& setup) {
       fakes.developerHelper = true;
       setup.install();
     }},
    {"approval-required",
     [](SetupFakes& fakes, HelperSetup& setup) {
       fakes.registration = RegistrationStatus::requiresApproval;
       setup.refresh();
     }},
    {"installed-ready",
     [](SetupFakes& fakes, HelperSetup& setup) {
       fakes.registeredWith(setup, HealthProbeResult::ready(nubrikHelperVersion));
     }},
    {"update-available",
     [](SetupFakes& fakes, HelperSetup& setup) {
       fakes.registeredWith(setup, HealthProbeResult::ready("0.9"));
     }},
    {"updating",
     [](SetupFakes& fakes, HelperSetup& setup) {
       fakes.registeredWith(setup, HealthProbeResult::ready("0.9"));
       setup.updateHelper();
     }},
    {"health-check-failed",
     [](SetupFakes& fakes, HelperSetup& setup) {
       fakes.registeredWith(setup, HealthProbeResult::failed());
     }},
    {"repairing",
     [](SetupFakes& fakes, HelperSetup& setup) {
       fakes.registeredWith(setup, HealthProbeResult::failed());
       setup.repairHelper();
     }},
    {"version-incompatible",
     [](SetupFakes& fakes, HelperSetup& setup) {
       fakes.registeredWith(setup, HealthProbeResult::versionMismatch(2, nubrikXPCProtocolVersion));
     }},
    {"app-update-required",
     [](SetupFakes& fakes, HelperSetup& setup) {
       fakes.registeredWith(setup, HealthProbeResult::versionMismatch(nubrikXPCProtocolVersion + 1,
                                                                      nubrikXPCProtocolVersion));
     }},
};

}  // namespace

void renderSetupSheets(const SaveScreenshot& save) {
  for (const SetupState& state : setupStates) {
    SetupFakes fakes;
    HelperSetup setup(fakes.dependencies());
    SetupSheet sheet(nullptr, setup);
    setup.setOnChange([&] { sheet.refresh(); });
    state.reach(fakes, setup);
    save(&sheet, QStringLiteral("sheet-setup-") + QString::fromLatin1(state.name));
    setup.setOnChange({});
  }
}

}  // namespace nubrik::test
