// The tray item: its menu for each kind of status, and its icons side by side.
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QWidget>
#include <string>
#include <vector>

#include "app/menu_bar_presentation.hpp"
#include "app/ui/tray_icon.hpp"
#include "tools/screenshots/screenshot_sheets.hpp"

namespace nubrik::test {
namespace {

const Date trayNow = dateFromUnixSeconds(1'800'000'000);

std::string fixedTime(Date) {
  return "4:05 PM";
}

MenuBarPresentation idle() {
  return menuBarPresentation(GuiStatus::confirmedIdle(), false, trayNow, fixedTime);
}

MenuBarPresentation active(double remainingSeconds, bool earlyUnlockPending = false) {
  const Date expiration = addSeconds(trayNow, remainingSeconds);
  return menuBarPresentation(
      GuiStatus::confirmedActive(expiration, static_cast<std::int64_t>(remainingSeconds)),
      earlyUnlockPending, trayNow, fixedTime);
}

MenuBarPresentation unavailable() {
  return menuBarPresentation(GuiStatus::unavailable(StatusUnavailableReason::missing), false,
                             trayNow, fixedTime);
}

void renderMenus(const SaveScreenshot& save) {
  const struct {
    const char* name;
    MenuBarPresentation presentation;
  } menus[] = {
      {"tray-menu-idle", idle()},
      {"tray-menu-active", active(3900)},
      {"tray-menu-active-early-unlock", active(3900, true)},
      {"tray-menu-unavailable", unavailable()},
  };
  for (const auto& shown : menus) {
    TrayIcon tray;
    tray.setPresentation(shown.presentation);
    tray.setCheckForUpdatesEnabled(true);
    QMenu* menu = tray.menu();
    menu->popup(QPoint(0, 0));
    save(menu, QString::fromLatin1(shown.name));
    menu->hide();
  }
}

// Each icon at the size of a panel and enlarged, with the status it stands for beneath.
void renderIcons(const SaveScreenshot& save) {
  const struct {
    const char* caption;
    MenuBarPresentation presentation;
  } icons[] = {
      {"Online", idle()},  {"1h 05m", active(3900)},       {"42m", active(42 * 60 + 10)},
      {"<1m", active(25)}, {"Unavailable", unavailable()},
  };
  QWidget strip;
  strip.setObjectName(QStringLiteral("trayIconStrip"));
  auto* grid = new QGridLayout(&strip);
  grid->setContentsMargins(16, 16, 16, 16);
  grid->setHorizontalSpacing(24);
  grid->setVerticalSpacing(10);
  int column = 0;
  for (const auto& icon : icons) {
    TrayIcon tray;
    tray.setPresentation(icon.presentation);
    const QIcon image = tray.icon();
    int row = 0;
    for (const int size : {22, 48}) {
      auto* picture = new QLabel(&strip);
      picture->setPixmap(image.pixmap(QSize(size, size)));
      picture->setAlignment(Qt::AlignCenter);
      grid->addWidget(picture, row++, column);
    }
    auto* caption = new QLabel(QString::fromLatin1(icon.caption), &strip);
    caption->setTextFormat(Qt::PlainText);
    caption->setAlignment(Qt::AlignCenter);
    grid->addWidget(caption, row, column);
    ++column;
  }
  save(&strip, QStringLiteral("tray-icons"));
}

}  // namespace

void renderTray(const SaveScreenshot& save) {
  renderMenus(save);
  renderIcons(save);
}

}  // namespace nubrik::test
