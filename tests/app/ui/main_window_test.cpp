#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>

#include "app/main_view.hpp"
#include "app/ui/glowing_countdown.hpp"
#include "app/ui/session_sheets.hpp"
#include "tests/app/ui/main_window_fixture.hpp"

namespace nubrik::test {
namespace {

TEST(MainWindow, EachScreenShowsTheTextsOfItsStatus) {
  MainWindowFixture fixture;
  MainWindow* window = fixture.openWindow();

  fixture.read(MainWindowFixture::idle());
  EXPECT_EQ(window->currentScreen()->objectName(), "idleScreen");
  EXPECT_EQ(fixture.text("idleHeading"), "Go offline for");
  EXPECT_EQ(fixture.text("durationCaption"), "Back online at 10:30");
  EXPECT_EQ(fixture.find<QPushButton>("durationReadout")->text(), "1 hr");

  fixture.read(MainWindowFixture::active(3725));
  EXPECT_EQ(window->currentScreen()->objectName(), "activeScreen");
  EXPECT_EQ(fixture.text("activeHeading"), "Offline");
  EXPECT_EQ(fixture.text("backOnlineLabel"), "Back online at 10:30");
  EXPECT_EQ(fixture.text("closingNote"), "Closing this window does not end the session.");
  // The numerals count from the real clock to the expiration; their shape is what matters here.
  EXPECT_TRUE(fixture.find<GlowingCountdown>("countdown")->label().endsWith(" remaining"));

  fixture.read(MainWindowFixture::active(3725, true));
  EXPECT_EQ(fixture.text("earlyUnlockPendingLabel"), "Early unlock in progress");
  EXPECT_EQ(fixture.find<QPushButton>("cancelEarlyUnlockButton")->accessibleName(),
            "Cancel Request & Resume Session");

  fixture.read(MainWindowFixture::active(-5));
  EXPECT_EQ(window->currentScreen()->objectName(), "restoringScreen");
  EXPECT_EQ(fixture.text("restoringScreenLabel"), "Restoring your connection…");

  fixture.now = addSeconds(fixtureNow, 120);
  fixture.read(MainWindowFixture::unavailable(StatusUnavailableReason::missing));
  EXPECT_EQ(window->currentScreen()->objectName(), "unavailableScreen");
  EXPECT_EQ(fixture.text("unavailableHeading"), "Helper status unavailable.");
  EXPECT_FALSE(fixture.text("unavailableDetail").isEmpty());
  const int reads = fixture.statusReads;
  fixture.find<QPushButton>("retryButton")->click();
  EXPECT_EQ(fixture.statusReads, reads + 1);
}

// Whether a start may go out is session_controls_test's; here, the press through the confirmation
// reaches the client once, and the window shows the start until its outcome is in.
TEST(MainWindow, GoOfflineConfirmsAndASecondPressWhileOneIsInFlightSendsNothing) {
  MainWindowFixture fixture;
  fixture.openWindow();
  fixture.read(MainWindowFixture::idle());
  auto* goOffline = fixture.find<QPushButton>("goOfflineButton");
  goOffline->click();
  auto* sheet = qobject_cast<ConfirmStartSheet*>(fixture.window->openSheet());
  ASSERT_NE(sheet, nullptr);
  EXPECT_TRUE(sheet->header()->messageLabel()->text().startsWith(
      "Your computer will have no network access until 10:30.\n"));
  auto* start = sheet->findChild<QPushButton*>("startOfflineSessionButton");
  start->click();
  start->click();
  EXPECT_FALSE(goOffline->isEnabled());
  ASSERT_EQ(fixture.connections.size(), 1u);
  auto& connection = *fixture.connections[0];
  EXPECT_EQ(connection.sent, std::vector<std::string>{"HealthCheck"});
  connection.healthReply(nubrikXPCProtocolVersion, std::string(nubrikHelperVersion), 0);
  EXPECT_EQ(connection.sent, (std::vector<std::string>{"HealthCheck", "StartSessionWithDuration"}));
  EXPECT_EQ(connection.startDuration, 3600.0);
  fixture.now = addSeconds(fixtureNow, 10);
  fixture.read(MainWindowFixture::unavailable(StatusUnavailableReason::busy));
  EXPECT_EQ(fixture.window->currentScreen()->objectName(), "startingScreen");

  // Once the outcome is in, a failure is shown and the next start may go out.
  connection.startReply(5, 0, "A session is already active.");
  EXPECT_FALSE(fixture.window->view().isStarting());
  auto* alert = fixture.window->findChild<QDialog*>("startErrorAlert");
  ASSERT_NE(alert, nullptr);
  EXPECT_EQ(alert->windowTitle(), "Could not start session");
}

TEST(MainWindow, TheEarlyUnlockSheetSendsTheRequestAndShowsTheHelpersAnswer) {
  MainWindowFixture fixture;
  fixture.openWindow();
  fixture.read(MainWindowFixture::active(3600));
  fixture.find<QPushButton>("requestEarlyUnlockButton")->click();
  auto* sheet = qobject_cast<EarlyUnlockSheet*>(fixture.window->openSheet());
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->header()->titleLabel()->text(), "Request early unlock?");
  sheet->findChild<QPushButton*>("requestEarlyUnlockConfirmButton")->click();
  ASSERT_EQ(fixture.connections.size(), 1u);
  EXPECT_EQ(fixture.connections[0]->sent, std::vector<std::string>{"RequestEarlyUnlock"});
  // Busy: the control cannot send a second request.
  EXPECT_FALSE(fixture.find<QPushButton>("requestEarlyUnlockButton")->isEnabled());
  const int reads = fixture.statusReads;
  fixture.connections[0]->earlyUnlockReply(5, 0, "Refused for a reason.");
  EXPECT_TRUE(fixture.find<QPushButton>("requestEarlyUnlockButton")->isEnabled());
  EXPECT_EQ(fixture.text("earlyUnlockMessage"), "Refused for a reason.");
  EXPECT_EQ(fixture.statusReads, reads + 1);
}

TEST(MainWindow, OnboardingNeverOpensOverAConfirmedActiveSession) {
  {
    MainWindowFixture fixture;
    fixture.onboardingSeen = false;
    fixture.openWindow();
    // A tick whose reading has not arrived yet decides nothing.
    fixture.deferReads = true;
    fixture.window->view().tick();
    EXPECT_EQ(fixture.onboardingOpened, 0);
    ASSERT_EQ(fixture.deferred.size(), 1u);
    fixture.deferred[0](MainWindowFixture::active(3600));
    fixture.deferReads = false;
    fixture.read(MainWindowFixture::idle());
    EXPECT_EQ(fixture.onboardingOpened, 0);
  }
  {
    MainWindowFixture fixture;
    fixture.onboardingSeen = false;
    fixture.openWindow();
    fixture.read(MainWindowFixture::idle());
    EXPECT_EQ(fixture.onboardingOpened, 1);
    fixture.read(MainWindowFixture::idle());
    EXPECT_EQ(fixture.onboardingOpened, 1);
  }
}

TEST(MainWindow, ClosingTheWindowNeverCallsTheClient) {
  MainWindowFixture fixture;
  fixture.openWindow();
  fixture.window->show();
  fixture.read(MainWindowFixture::active(3600));
  fixture.find<QPushButton>("hideWindowButton")->click();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(fixture.window.isNull());
  EXPECT_TRUE(fixture.connections.empty());
}

TEST(MainWindow, TypedDurationsAreTakenOnReturnOrExplained) {
  MainWindowFixture fixture;
  fixture.openWindow();
  fixture.read(MainWindowFixture::idle());
  fixture.find<QPushButton>("presetCustom")->click();
  auto* entry = fixture.find<QLineEdit>("durationEntry");
  EXPECT_EQ(entry->text(), "1:00");
  EXPECT_EQ(fixture.text("durationCaption"), "Type a time like 1:15, then press Return");
  entry->clear();
  QTest::keyClicks(entry, "4");
  QTest::keyClick(entry, Qt::Key_Return);
  EXPECT_EQ(fixture.text("durationCaption"), "Enter 5 minutes to 24 hours, like 1:15 or 90");
  EXPECT_EQ(fixture.window->view().selectedMinutes(), 60);
  entry->clear();
  QTest::keyClicks(entry, "1h30");
  QTest::keyClick(entry, Qt::Key_Return);
  EXPECT_EQ(fixture.window->view().selectedMinutes(), 90);
  EXPECT_EQ(fixture.find<QPushButton>("durationReadout")->text(), "1 hr 30 min");
  fixture.find<QPushButton>("decreaseButton")->click();
  EXPECT_EQ(fixture.window->view().selectedMinutes(), 85);
}

// Every control a person can reach has a name a screen reader can say and takes keyboard focus.
TEST(MainWindow, EveryControlHasAnAccessibleNameAndTakesFocus) {
  MainWindowFixture fixture;
  fixture.openWindow();
  fixture.read(MainWindowFixture::active(3600));
  fixture.window->showEarlyUnlock();
  std::vector<QWidget*> roots{fixture.window, fixture.window->openSheet()};
  roots.push_back(new ConfirmStartSheet(fixture.window, "10:30"));
  for (QWidget* root : roots) {
    for (auto* control : root->findChildren<QAbstractButton*>()) {
      SCOPED_TRACE(control->objectName().toStdString());
      EXPECT_FALSE(control->accessibleName().isEmpty() && control->text().isEmpty());
      EXPECT_NE(control->focusPolicy(), Qt::NoFocus);
    }
    for (auto* entry : root->findChildren<QLineEdit*>()) {
      EXPECT_FALSE(entry->accessibleName().isEmpty()) << entry->objectName().toStdString();
    }
  }
}

}  // namespace
}  // namespace nubrik::test
