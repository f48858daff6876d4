#include "app/ui/session_sheets.hpp"

#include <QPushButton>

namespace nubrik {

ConfirmStartSheet::ConfirmStartSheet(QWidget* parent, const QString& backOnlineTime)
    : Sheet(parent, "lock.fill", "Go offline?", messageFor(backOnlineTime)) {
  setObjectName("confirmStartSheet");
  auto* cancel = addButton("Cancel");
  cancel->setObjectName("cancelButton");
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  start_ = addButton("Start Offline Session", true);
  start_->setObjectName("startOfflineSessionButton");
  // The sheet stays up until the start has been sent; a second press meets the window's gate.
  connect(start_, &QPushButton::clicked, this, [this] {
    emit startRequested();
    accept();
  });
}

QString ConfirmStartSheet::messageFor(const QString& backOnlineTime) {
  return "Your computer will have no network access until " + backOnlineTime +
         ".\nYou cannot end this session instantly. Leaving early takes a 15-minute cooldown.";
}

EarlyUnlockSheet::EarlyUnlockSheet(QWidget* parent)
    : Sheet(parent, "hourglass", "Request early unlock?",
            "Your computer stays offline for 15 more minutes, then the network is restored "
            "automatically. You can cancel the request until the countdown ends.") {
  setObjectName("earlyUnlockSheet");
  auto* keep = addButton("Keep Session", true);
  keep->setObjectName("keepSessionButton");
  connect(keep, &QPushButton::clicked, this, &QDialog::reject);
  auto* request = addButton("Request Early Unlock");
  request->setObjectName("requestEarlyUnlockConfirmButton");
  connect(request, &QPushButton::clicked, this, [this] {
    emit requestConfirmed();
    accept();
  });
}

}  // namespace nubrik
