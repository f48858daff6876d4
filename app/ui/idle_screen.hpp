#pragma once

#include <QWidget>
#include <vector>

#include "app/menu_bar_presentation.hpp"

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace nubrik {

class MainView;

// The idle screen: the duration to go offline for, its steppers, presets and typed entry, the
// "Go Offline" button and the footer that opens the sheets.
class IdleScreen final : public QWidget {
  Q_OBJECT

 public:
  IdleScreen(MainView& view, TimeString timeString, QWidget* parent = nullptr);

  // Draws the view's current state.
  void render();

 signals:
  void goOfflineRequested();
  void howItWorksRequested();
  void schedulesRequested();
  void setupRequested();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* makeDurationRow();
  QWidget* makePresetRow();
  QWidget* makeFooter();

  MainView& view_;
  TimeString timeString_;
  QLabel* heading_;
  QStackedWidget* readoutStack_;
  QPushButton* readout_;
  QLineEdit* entry_;
  QLabel* caption_;
  QPushButton* goOffline_;
  std::vector<std::pair<int, QPushButton*>> presets_;
  QPushButton* custom_;
};

}  // namespace nubrik
