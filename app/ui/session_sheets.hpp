#pragma once

#include <QString>

#include "app/ui/sheet.hpp"

class QPushButton;

namespace nubrik {

// "Go offline?": the last word before a session starts, since it cannot be ended at once.
class ConfirmStartSheet final : public Sheet {
  Q_OBJECT

 public:
  // `backOnlineTime`: when the session would end, as the window shows times.
  ConfirmStartSheet(QWidget* parent, const QString& backOnlineTime);

  static QString messageFor(const QString& backOnlineTime);

 signals:
  // "Start Offline Session"; the window decides whether a start may go out.
  void startRequested();

 private:
  QPushButton* start_;
};

// "Request early unlock?": the cooldown explained before the request goes out.
class EarlyUnlockSheet final : public Sheet {
  Q_OBJECT

 public:
  explicit EarlyUnlockSheet(QWidget* parent);

 signals:
  void requestConfirmed();
};

}  // namespace nubrik
