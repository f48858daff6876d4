#include "tools/screenshots/screenshot_sheets.hpp"

#include "app/onboarding.hpp"
#include "app/ui/help_sheet.hpp"
#include "app/ui/onboarding_sheet.hpp"

namespace nubrik::test {
namespace {

// Remembers the onboarding flag for as long as the program runs.
class MemoryOnboardingStore final : public OnboardingStore {
 public:
  bool hasSeenOnboarding() const override { return seen_; }
  void markOnboardingSeen() override { seen_ = true; }

 private:
  bool seen_ = false;
};

void renderOnboarding(const SaveScreenshot& save) {
  MemoryOnboardingStore store;
  OnboardingSheet sheet(nullptr, store);
  save(&sheet, "sheet-onboarding");
}

void renderHelp(const SaveScreenshot& save) {
  const QString guides = QStringLiteral(NUBRIK_SOURCE_DIR "/packaging/doc/");
  HelpSheet guide(nullptr, guides + "RECOVERY.md");
  save(&guide, "sheet-help");
  // A guide that cannot be read: the sheet says where to write instead.
  HelpSheet fallback(nullptr, guides + "no-such-guide.md");
  save(&fallback, "sheet-help-fallback");
}

}  // namespace

void renderOtherSheets(const SaveScreenshot& save) {
  renderSetupSheets(save);
  renderScheduleSheets(save);
  renderOnboarding(save);
  renderHelp(save);
  renderTray(save);
  renderUpdateBoxes(save);
}

}  // namespace nubrik::test
