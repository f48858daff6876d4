#pragma once

#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/main_view.hpp"
#include "app/menu_bar_presentation.hpp"
class QStackedWidget;
class QTimer;

namespace nubrik {

class ActiveScreen;
class IdleScreen;
class ProgressScreen;
class UnavailableScreen;

// Everything the main window needs from the app.
struct MainWindowContext {
  MainViewDependencies view;
  // Times of day as the window shows them.
  TimeString timeString;
  // Whether the person has seen how the app works; none: never show it by itself.
  std::function<bool()> onboardingSeen;
  // The sheets the window opens, each made fresh with the window as its parent.
  std::function<QDialog*(QWidget* parent)> makeSetupSheet;
  std::function<QDialog*(QWidget* parent)> makeSchedulesSheet;
  std::function<QDialog*(QWidget* parent)> makeOnboardingSheet;
  std::function<QDialog*(QWidget* parent)> makeHelpSheet;
  // Whether the window ticks by itself once a second (tests tick by hand).
  bool runsTickTimer = true;
};

// The window "main": one of five screens for the helper's status, and the sheets over it. It
// holds no session: closing it ends nothing, and it is made anew each time it is opened.
class MainWindow final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int minimumWidth = 440;
  static constexpr int minimumHeight = 480;

  explicit MainWindow(MainWindowContext context, QWidget* parent = nullptr);
  ~MainWindow() override;

  MainView& view() { return *view_; }
  // The screen on show, for tests and the screenshot program.
  QWidget* currentScreen() const;
  // The sheet on show, if any.
  QDialog* openSheet() const { return sheet_; }

  // Redraws after the helper setup changed.
  void setupChanged();
  void showHelp();
  void showSchedules();
  void showSetup();
  void showOnboarding();
  void showConfirmStart();
  void showEarlyUnlock();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void render();
  // Opens one sheet at a time; a request while another is open is dropped.
  void openSheet(QDialog* sheet);
  void maybeOpenOnboarding();
  void showStartError();

  MainWindowContext context_;
  std::unique_ptr<MainView> view_;
  QStackedWidget* screens_;
  IdleScreen* idle_;
  ProgressScreen* starting_;
  ActiveScreen* active_;
  ProgressScreen* restoring_;
  UnavailableScreen* unavailable_;
  QTimer* tick_;
  QPointer<QDialog> sheet_;
  bool startErrorShown_ = false;
  bool onboardingConsidered_ = false;
};

}  // namespace nubrik
