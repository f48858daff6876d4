#pragma once

#include <memory>

#include "app/onboarding.hpp"

class QSettings;

namespace nubrik {

// The onboarding flag in the app's own settings (organisation "Nubrik", application "Tamsel").
class SettingsOnboardingStore final : public OnboardingStore {
 public:
  SettingsOnboardingStore();
  // Keeps the flag in `settings`, which must outlive the store.
  explicit SettingsOnboardingStore(QSettings* settings);
  ~SettingsOnboardingStore() override;
  SettingsOnboardingStore(const SettingsOnboardingStore&) = delete;
  SettingsOnboardingStore& operator=(const SettingsOnboardingStore&) = delete;

  bool hasSeenOnboarding() const override;
  void markOnboardingSeen() override;

 private:
  std::unique_ptr<QSettings> owned_;
  QSettings* settings_;
};

}  // namespace nubrik
