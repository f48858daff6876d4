#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <memory>

#include "app/menu_bar_presentation.hpp"

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace nubrik {

// The app's item in the desktop's system tray: the current presentation's symbol with its
// remaining time drawn in, a tooltip with its lines, and the menu
//   <status line> / <detail line>   (inert)
//   Open Tamsel · Check for Updates… · Help…
//   Quit Tamsel
// It decides nothing: the caller feeds it the presentation and whether updates may be checked,
// and acts on its signals.
class TrayIcon final : public QObject {
  Q_OBJECT

 public:
  explicit TrayIcon(QObject* parent = nullptr);
  ~TrayIcon() override;
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Whether the desktop has a tray to show the item in.
  static bool isAvailable();

  void setPresentation(const MenuBarPresentation& presentation);
  void setCheckForUpdatesEnabled(bool enabled);

  void show();
  void hide();

  QMenu* menu() const { return menu_.get(); }
  QAction* quitAction() const { return quit_; }
  QIcon icon() const;
  QString toolTip() const;
  QSystemTrayIcon* systemTrayIcon() const { return tray_; }

 signals:
  void openRequested();
  void checkForUpdatesRequested();
  void helpRequested();
  void quitRequested();

 private:
  std::unique_ptr<QMenu> menu_;
  QSystemTrayIcon* tray_;
  QAction* statusLine_;
  QAction* detailLine_;
  QAction* checkForUpdates_;
  QAction* quit_;
  MenuBarPresentation shown_;
  bool hasPresentation_ = false;
};

}  // namespace nubrik
