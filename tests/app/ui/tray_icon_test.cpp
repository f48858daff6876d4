#include "app/ui/tray_icon.hpp"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <chrono>
#include <string>
#include <vector>

#include "app/menu_bar_presentation.hpp"

namespace nubrik {
namespace {

const Date now = dateFromReferenceSeconds(800000000.0);

Date secondsFromNow(double seconds) {
  return now + std::chrono::duration_cast<Date::duration>(std::chrono::duration<double>(seconds));
}

std::string fakeTime(Date) {
  return "4:05 PM";
}

MenuBarPresentation idle() {
  return menuBarPresentation(GuiStatus::confirmedIdle(), false, now, fakeTime);
}

MenuBarPresentation active(double remaining, bool pending = false) {
  return menuBarPresentation(
      GuiStatus::confirmedActive(secondsFromNow(remaining), static_cast<std::int64_t>(remaining)),
      pending, now, fakeTime);
}

MenuBarPresentation unavailable() {
  return menuBarPresentation(GuiStatus::unavailable(StatusUnavailableReason::missing), false, now,
                             fakeTime);
}

struct Entry {
  std::string text;
  bool enabled;
  friend bool operator==(const Entry&, const Entry&) = default;
};

void PrintTo(const Entry& entry, std::ostream* out) {
  *out << (entry.text.empty() ? "----" : entry.text) << (entry.enabled ? "" : " (inert)");
}

std::vector<Entry> visibleEntries(const QMenu& menu) {
  std::vector<Entry> entries;
  for (const QAction* action : menu.actions()) {
    if (!action->isVisible()) continue;
    entries.push_back({action->isSeparator() ? "" : action->text().toStdString(),
                       !action->isSeparator() && action->isEnabled()});
  }
  return entries;
}

// The presentation's texts are its own test; here, how the tray shows them.
TEST(TrayIcon, MenuListsThePresentationsLinesAndTheAppsCommands) {
  const std::vector<Entry> commands = {
      {"", false},          {"Open Tamsel", true}, {"Check for Updates\u2026", false},
      {"Help\u2026", true}, {"", false},           {"Quit Tamsel", true}};
  const auto withLines = [&](std::vector<Entry> lines) {
    lines.insert(lines.end(), commands.begin(), commands.end());
    return lines;
  };
  // One tray through two states, as the app uses it: each state replaces the last completely.
  TrayIcon tray;
  tray.setPresentation(active(2520, true));
  EXPECT_EQ(visibleEntries(*tray.menu()),
            withLines({{"Offline: 42m remaining", false},
                       {"Early unlock in progress \u00B7 back online at 4:05 PM", false}}));
  tray.setPresentation(idle());
  EXPECT_EQ(visibleEntries(*tray.menu()), withLines({{"Online", false}}));
  EXPECT_EQ(tray.toolTip().toStdString(), "Online\nTamsel: online");
  tray.setPresentation(unavailable());
  EXPECT_EQ(tray.toolTip().toStdString(),
            "Status unavailable\nOpen Tamsel for details\nTamsel: status unavailable");
}

TEST(TrayIcon, CommandsAndClicksBecomeSignals) {
  TrayIcon tray;
  tray.setCheckForUpdatesEnabled(true);
  std::vector<std::string> fired;
  QObject::connect(&tray, &TrayIcon::openRequested, [&] { fired.push_back("open"); });
  QObject::connect(&tray, &TrayIcon::checkForUpdatesRequested, [&] { fired.push_back("check"); });
  QObject::connect(&tray, &TrayIcon::helpRequested, [&] { fired.push_back("help"); });
  QObject::connect(&tray, &TrayIcon::quitRequested, [&] { fired.push_back("quit"); });

  for (const char* name : {"openAction", "checkForUpdatesAction", "helpAction", "quitAction"}) {
    QAction* action = tray.menu()->findChild<QAction*>(name);
    ASSERT_NE(action, nullptr) << name;
    action->trigger();
  }
  emit tray.systemTrayIcon()->activated(QSystemTrayIcon::Trigger);
  emit tray.systemTrayIcon()->activated(QSystemTrayIcon::Context);
  emit tray.systemTrayIcon()->activated(QSystemTrayIcon::MiddleClick);
  EXPECT_EQ(fired, (std::vector<std::string>{"open", "check", "help", "quit", "open"}));
}

}  // namespace
}  // namespace nubrik
