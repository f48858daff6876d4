#include "app/ui/settings_onboarding_store.hpp"

#include <QSettings>
#include <QString>

namespace nubrik {

namespace {

QString seenKey() {
  return QString::fromUtf8(nubrikOnboardingSeenKey.data(),
                           static_cast<qsizetype>(nubrikOnboardingSeenKey.size()));
}

}  // namespace

SettingsOnboardingStore::SettingsOnboardingStore()
    : owned_(std::make_unique<QSettings>(QStringLiteral("Nubrik"), QStringLiteral("Tamsel"))),
      settings_(owned_.get()) {}

SettingsOnboardingStore::SettingsOnboardingStore(QSettings* settings) : settings_(settings) {}

SettingsOnboardingStore::~SettingsOnboardingStore() = default;

bool SettingsOnboardingStore::hasSeenOnboarding() const {
  return settings_->value(seenKey(), false).toBool();
}

void SettingsOnboardingStore::markOnboardingSeen() {
  settings_->setValue(seenKey(), true);
  // Written at once: the app may be ended any time after the sheet is dismissed.
  settings_->sync();
}

}  // namespace nubrik
