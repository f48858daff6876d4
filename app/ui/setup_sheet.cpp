#include "app/ui/setup_sheet.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <chrono>
#include <utility>
#include <vector>

namespace nubrik {

namespace {

// Each action's button and its object name, left to right after "Close": the secondary
// "Check Again", then the one main action a state offers.
struct ButtonPlace {
  HelperSetupAction action;
  const char* objectName;
};
constexpr ButtonPlace buttonOrder[] = {
    {HelperSetupAction::checkAgain, "checkAgainButton"},
    {HelperSetupAction::openLoginItems, "openLoginItemsButton"},
    {HelperSetupAction::install, "installButton"},
    {HelperSetupAction::tryAgain, "tryAgainButton"},
    {HelperSetupAction::update, "updateButton"},
    {HelperSetupAction::repair, "repairButton"},
    {HelperSetupAction::done, "doneButton"},
};

}  // namespace

SetupSheet::SetupSheet(QWidget* parent, HelperSetup& setup,
                       std::function<GuiStatus()> currentStatus)
    : Sheet(parent, QStringLiteral("lock.shield.fill"), QStringLiteral("Helper Setup"),
            QStringLiteral("Tamsel requires elevated privileges because network configuration is "
                           "controlled by the system.")),
      setup_(setup),
      currentStatus_(std::move(currentStatus)) {
  setObjectName(QStringLiteral("setupSheet"));

  statusLine_ = new QLabel(this);
  statusLine_->setObjectName(QStringLiteral("setupStatusLine"));
  statusLine_->setTextFormat(Qt::PlainText);
  statusLine_->setWordWrap(true);
  statusLine_->setAlignment(Qt::AlignHCenter);
  // Error messages are worth copying into a report.
  statusLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  body()->addWidget(statusLine_);

  // "Close" stands apart, at the left; the actions gather at the right.
  close_ = addButton(QStringLiteral("Close"));
  close_->setObjectName(QStringLiteral("closeButton"));
  buttons()->removeWidget(close_);
  buttons()->insertWidget(0, close_);
  connect(close_, &QPushButton::clicked, this, &QDialog::reject);

  for (const ButtonPlace& place : buttonOrder) {
    QPushButton* button = addButton(QString());
    button->setObjectName(QString::fromLatin1(place.objectName));
    button->hide();
    const HelperSetupAction action = place.action;
    connect(button, &QPushButton::clicked, this, [this, action] { run(action); });
    buttons_[action] = button;
  }
  refresh();
}

void SetupSheet::refresh() {
  const HelperSetupDependencies& deps = setup_.dependencies();
  const bool repairMatters = setup_.state().kind == HelperSetupState::Kind::healthCheckFailed;
  // The status is read only when it decides something: a read may touch the helper's files.
  GuiStatus status = GuiStatus::confirmedIdle();
  if (repairMatters && currentStatus_) {
    status = currentStatus_();
  } else if (repairMatters && deps.publicStatus) {
    status = deps.publicStatus();
  }
  const Date now = deps.now ? deps.now() : std::chrono::system_clock::now();
  const std::vector<HelperSetupActionButton> offered =
      helperSetupActions(setup_.state(), setup_.isWorking(), status, now);

  const QString line = QString::fromStdString(helperSetupStatusLine(setup_.state()));
  statusLine_->setText(line);
  statusLine_->setAccessibleName(line);

  for (auto& [action, button] : buttons_) {
    button->hide();
    button->setDefault(false);
  }
  QPushButton* main = nullptr;
  for (const HelperSetupActionButton& offer : offered) {
    QPushButton* button = buttons_.at(offer.action);
    const QString title = QString::fromStdString(offer.title);
    button->setText(title);
    button->setAccessibleName(title);
    button->setEnabled(offer.enabled);
    button->show();
    if (main == nullptr && offer.enabled) main = button;
  }
  // Return presses the first action the state offers while it can be pressed.
  if (main != nullptr) main->setDefault(true);
}

void SetupSheet::run(HelperSetupAction action) {
  switch (action) {
    case HelperSetupAction::install:
    case HelperSetupAction::tryAgain:
      setup_.install();
      break;
    case HelperSetupAction::update:
      setup_.updateHelper();
      break;
    case HelperSetupAction::repair:
      setup_.repairHelper();
      break;
    case HelperSetupAction::openLoginItems:
      setup_.openLoginItems();
      break;
    case HelperSetupAction::checkAgain:
      setup_.refresh();
      break;
    case HelperSetupAction::done:
      accept();
      return;
  }
  // The controller reports most changes itself; an operation it ignored reports none.
  refresh();
}

}  // namespace nubrik
