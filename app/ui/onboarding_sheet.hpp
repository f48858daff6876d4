#pragma once

#include "app/onboarding.hpp"
#include "app/ui/sheet.hpp"

namespace nubrik {

// "How Tamsel works": the four points, and "Got it", which remembers that they were seen.
class OnboardingSheet final : public Sheet {
  Q_OBJECT

 public:
  // `store` must outlive the sheet.
  OnboardingSheet(QWidget* parent, OnboardingStore& store);

  QPushButton* gotItButton() const { return gotIt_; }

 private:
  OnboardingStore& store_;
  QPushButton* gotIt_;
};

}  // namespace nubrik
