// The boxes of "Check for Updates…": the offer of a newer version and what an install came to.
#include <QMessageBox>
#include <memory>

#include "app/package_kit_results.hpp"
#include "app/ui/update_dialogs.hpp"
#include "tools/screenshots/screenshot_sheets.hpp"

namespace nubrik::test {

void renderUpdateBoxes(const SaveScreenshot& save) {
  const std::unique_ptr<QMessageBox> offer(makeUpdateOfferBox(nullptr, "1.4.0-1", [] {}));
  save(offer.get(), "alert-update-available");
  const std::unique_ptr<QMessageBox> installed(
      makeUpdateNoticeBox(nullptr, {false, updateInstalledText("1.4.0-1")}));
  save(installed.get(), "alert-update-installed");
  const std::unique_ptr<QMessageBox> refused(makeUpdateNoticeBox(
      nullptr, {false, updateInstallFailedText({PackageKitOutcome::notAuthorized, {}})}));
  save(refused.get(), "alert-update-not-authorized");
}

}  // namespace nubrik::test
