#include "app/ui/onboarding_sheet.hpp"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStringList>

#include "app/ui/settings_onboarding_store.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

TEST(OnboardingSheetTest, ShowsTheFourPointsAndGotItRemembersThemSeen) {
  TempDir dir;
  QSettings settings(QString::fromStdString(dir.file("tamsel.conf")), QSettings::IniFormat);
  SettingsOnboardingStore store(&settings);
  ASSERT_FALSE(store.hasSeenOnboarding());
  {
    // Dismissed without "Got it": not seen.
    OnboardingSheet dismissed(nullptr, store);
    dismissed.show();
    dismissed.reject();
    EXPECT_FALSE(store.hasSeenOnboarding());
  }

  OnboardingSheet sheet(nullptr, store);
  QStringList titles;
  for (const QLabel* title : sheet.findChildren<QLabel*>(QStringLiteral("onboardingPointTitle"))) {
    titles << title->text();
  }
  EXPECT_EQ(titles, (QStringList{"Choose a duration", "No instant cancel", "Early unlock",
                                 "Automatic return"}));
  EXPECT_EQ(sheet.header()->titleLabel()->text(), QStringLiteral("How Tamsel works"));
  EXPECT_TRUE(sheet.gotItButton()->isDefault());

  sheet.show();
  sheet.gotItButton()->click();
  EXPECT_FALSE(sheet.isVisible());
  EXPECT_EQ(sheet.result(), QDialog::Accepted);
  EXPECT_TRUE(store.hasSeenOnboarding());

  // Written through: another reader of the same file sees the flag under its key.
  QSettings reread(QString::fromStdString(dir.file("tamsel.conf")), QSettings::IniFormat);
  EXPECT_TRUE(reread.value(QStringLiteral("nubrik.onboardingSeen.v1")).toBool());
}

}  // namespace
}  // namespace nubrik
