#include "app/ui/main_window.hpp"

#include <QCloseEvent>
#include <QMessageBox>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/helper_setup.hpp"
#include "app/status_reading.hpp"
#include "app/ui/active_screen.hpp"
#include "app/ui/idle_screen.hpp"
#include "app/ui/session_sheets.hpp"
#include "app/ui/status_screens.hpp"
#include "app/ui/symbol_icons.hpp"

namespace nubrik {

namespace {

constexpr int tickMilliseconds = 1000;

}  // namespace

MainWindow::MainWindow(MainWindowContext context, QWidget* parent)
    : QWidget(parent),
      context_(std::move(context)),
      view_(std::make_unique<MainView>(context_.view)),
      screens_(new QStackedWidget(this)),
      tick_(new QTimer(this)) {
  setObjectName("main");
  setWindowTitle("Tamsel");
  setWindowIcon(applicationIcon());
  setMinimumSize(minimumWidth, minimumHeight);
  setAttribute(Qt::WA_DeleteOnClose);

  idle_ = new IdleScreen(*view_, context_.timeString, screens_);
  starting_ = new ProgressScreen("Starting your offline session…", "startingScreen", screens_);
  active_ = new ActiveScreen(*view_, context_.timeString, screens_);
  restoring_ = new ProgressScreen("Restoring your connection…", "restoringScreen", screens_);
  unavailable_ = new UnavailableScreen(screens_);
  idle_->setObjectName("idleScreen");
  active_->setObjectName("activeScreen");
  unavailable_->setObjectName("unavailableScreen");
  for (QWidget* screen : {static_cast<QWidget*>(idle_), static_cast<QWidget*>(starting_),
                          static_cast<QWidget*>(active_), static_cast<QWidget*>(restoring_),
                          static_cast<QWidget*>(unavailable_)}) {
    screens_->addWidget(screen);
  }
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(screens_);

  connect(idle_, &IdleScreen::goOfflineRequested, this, &MainWindow::showConfirmStart);
  connect(idle_, &IdleScreen::howItWorksRequested, this, &MainWindow::showOnboarding);
  connect(idle_, &IdleScreen::schedulesRequested, this, &MainWindow::showSchedules);
  connect(idle_, &IdleScreen::setupRequested, this, &MainWindow::showSetup);
  connect(active_, &ActiveScreen::earlyUnlockRequested, this, &MainWindow::showEarlyUnlock);
  connect(active_, &ActiveScreen::hideWindowRequested, this, &QWidget::close);
  connect(unavailable_, &UnavailableScreen::retryRequested, this,
          [this] { view_->refreshStatus(); });
  connect(unavailable_, &UnavailableScreen::setupRequested, this, &MainWindow::showSetup);

  view_->setOnChange([this] { render(); });
  tick_->setInterval(tickMilliseconds);
  connect(tick_, &QTimer::timeout, this, [this] { view_->tick(); });
  if (context_.runsTickTimer) {
    tick_->start();
    view_->tick();
  }
  render();
}

MainWindow::~MainWindow() {
  // Readings still on their way find no view.
  view_->setOnChange({});
}

QWidget* MainWindow::currentScreen() const {
  return screens_->currentWidget();
}

void MainWindow::setupChanged() {
  render();
}

void MainWindow::render() {
  switch (view_->screen()) {
    case MainScreen::idle:
      idle_->render();
      screens_->setCurrentWidget(idle_);
      break;
    case MainScreen::starting:
      screens_->setCurrentWidget(starting_);
      break;
    case MainScreen::active:
      active_->render();
      screens_->setCurrentWidget(active_);
      break;
    case MainScreen::restoring:
      screens_->setCurrentWidget(restoring_);
      break;
    case MainScreen::unavailable: {
      const auto reason =
          view_->status().unavailableReason().value_or(StatusUnavailableReason::busy);
      const bool approval = context_.view.setup && context_.view.setup->state().kind ==
                                                       HelperSetupState::Kind::approvalRequired;
      unavailable_->setDetail(QString::fromUtf8(unavailableDetailText(reason, approval).data()));
      screens_->setCurrentWidget(unavailable_);
      break;
    }
  }
  if (view_->startError() && !startErrorShown_) showStartError();
  maybeOpenOnboarding();
}

void MainWindow::maybeOpenOnboarding() {
  // Judged once per window, on its first reading: an active session is never covered by it.
  if (onboardingConsidered_ || !view_->hasReading() || !context_.onboardingSeen) return;
  onboardingConsidered_ = true;
  if (!context_.onboardingSeen() && !view_->status().isConfirmedActive()) showOnboarding();
}

void MainWindow::openSheet(QDialog* sheet) {
  if (!sheet) return;
  if (sheet_) {
    sheet->deleteLater();
    return;
  }
  sheet_ = sheet;
  sheet->setAttribute(Qt::WA_DeleteOnClose);
  sheet->open();
}

void MainWindow::showConfirmStart() {
  if (!view_->goOfflineEnabled()) return;
  const QString time = QString::fromStdString(context_.timeString(view_->wouldBeExpiration()));
  auto* sheet = new ConfirmStartSheet(this, time);
  connect(sheet, &ConfirmStartSheet::startRequested, this, [this] { view_->startSession(); });
  openSheet(sheet);
}

void MainWindow::showEarlyUnlock() {
  auto* sheet = new EarlyUnlockSheet(this);
  connect(sheet, &EarlyUnlockSheet::requestConfirmed, this,
          [this] { view_->requestEarlyUnlock(); });
  openSheet(sheet);
}

void MainWindow::showSetup() {
  if (context_.makeSetupSheet) openSheet(context_.makeSetupSheet(this));
}

void MainWindow::showSchedules() {
  if (context_.makeSchedulesSheet) openSheet(context_.makeSchedulesSheet(this));
}

void MainWindow::showOnboarding() {
  if (context_.makeOnboardingSheet) openSheet(context_.makeOnboardingSheet(this));
}

void MainWindow::showHelp() {
  if (context_.makeHelpSheet) openSheet(context_.makeHelpSheet(this));
}

void MainWindow::showStartError() {
  startErrorShown_ = true;
  auto* alert =
      new QMessageBox(QMessageBox::Warning, "Could not start session",
                      QString::fromStdString(*view_->startError()), QMessageBox::Ok, this);
  alert->setObjectName("startErrorAlert");
  alert->setWindowModality(Qt::WindowModal);
  alert->setAttribute(Qt::WA_DeleteOnClose);
  connect(alert, &QDialog::finished, this, [this] {
    startErrorShown_ = false;
    view_->dismissStartError();
  });
  alert->open();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Nothing is asked of the helper: the session, if any, goes on without the window.
  tick_->stop();
  event->accept();
}

}  // namespace nubrik
