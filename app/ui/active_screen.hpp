#pragma once

#include <QWidget>

#include "app/menu_bar_presentation.hpp"

class QLabel;
class QPushButton;
class QTimer;

namespace nubrik {

class GlowingCountdown;
class MainView;

// The active screen: the countdown, when the network comes back, the early-unlock control and
// the reminder that closing the window ends nothing.
class ActiveScreen final : public QWidget {
  Q_OBJECT

 public:
  ActiveScreen(MainView& view, TimeString timeString, QWidget* parent = nullptr);

  void render();
  GlowingCountdown* countdown() const { return countdown_; }

 signals:
  void earlyUnlockRequested();
  void hideWindowRequested();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  // Redraws the numerals and arms the next redraw on the countdown's schedule.
  void redrawCountdown();

  MainView& view_;
  TimeString timeString_;
  GlowingCountdown* countdown_;
  QLabel* backOnline_;
  QLabel* pending_;
  QPushButton* request_;
  QPushButton* cancel_;
  QLabel* message_;
  QTimer* redraw_;
};

}  // namespace nubrik
