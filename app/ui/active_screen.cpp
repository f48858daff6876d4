#include "app/ui/active_screen.hpp"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

#include "app/countdown.hpp"
#include "app/main_view.hpp"
#include "app/ui/glowing_countdown.hpp"
#include "app/ui/screen_parts.hpp"

namespace nubrik {

namespace {

QString qText(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

ActiveScreen::ActiveScreen(MainView& view, TimeString timeString, QWidget* parent)
    : QWidget(parent), view_(view), timeString_(std::move(timeString)), redraw_(new QTimer(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(28, 24, 28, 20);
  layout->setSpacing(12);
  layout->addStretch(1);
  layout->addWidget(makeSymbolLabel("lock.fill", 44, this));
  auto* offline = makeTextLabel("Offline", 1.3, true, this);
  offline->setObjectName("activeHeading");
  layout->addWidget(offline);
  countdown_ = new GlowingCountdown(this);
  countdown_->setObjectName("countdown");
  layout->addWidget(countdown_);
  backOnline_ = makeTextLabel(QString(), 1.0, false, this);
  backOnline_->setObjectName("backOnlineLabel");
  layout->addWidget(backOnline_);
  layout->addSpacing(8);

  pending_ = makeTextLabel("Early unlock in progress", 1.0, true, this);
  pending_->setObjectName("earlyUnlockPendingLabel");
  layout->addWidget(pending_);
  request_ = makeButton("Request Early Unlock…", this);
  request_->setObjectName("requestEarlyUnlockButton");
  request_->setIcon(QIcon());
  connect(request_, &QPushButton::clicked, this, &ActiveScreen::earlyUnlockRequested);
  layout->addWidget(request_, 0, Qt::AlignHCenter);
  cancel_ = makeButton("Cancel Request & Resume Session", this);
  cancel_->setObjectName("cancelEarlyUnlockButton");
  connect(cancel_, &QPushButton::clicked, this, [this] { view_.cancelEarlyUnlock(); });
  layout->addWidget(cancel_, 0, Qt::AlignHCenter);
  message_ = makeTextLabel(QString(), 0.95, false, this);
  message_->setObjectName("earlyUnlockMessage");
  layout->addWidget(message_);

  layout->addStretch(1);
  auto* note = makeTextLabel("Closing this window does not end the session.", 0.9, false, this);
  note->setObjectName("closingNote");
  note->setForegroundRole(QPalette::PlaceholderText);
  layout->addWidget(note);
  auto* hide = makeButton("Hide Window", this);
  hide->setObjectName("hideWindowButton");
  connect(hide, &QPushButton::clicked, this, &ActiveScreen::hideWindowRequested);
  layout->addWidget(hide, 0, Qt::AlignHCenter);

  redraw_->setSingleShot(true);
  redraw_->setTimerType(Qt::PreciseTimer);
  connect(redraw_, &QTimer::timeout, this, &ActiveScreen::redrawCountdown);
  render();
}

void ActiveScreen::render() {
  const GuiStatus& status = view_.status();
  const auto expiration = status.expirationDate();
  backOnline_->setText(expiration ? qText("Back online at " + timeString_(*expiration))
                                  : QString());
  const EarlyUnlockControl control = view_.earlyUnlock();
  pending_->setVisible(control == EarlyUnlockControl::cancelRequest);
  request_->setVisible(control == EarlyUnlockControl::request);
  cancel_->setVisible(control == EarlyUnlockControl::cancelRequest);
  request_->setEnabled(!view_.earlyUnlockBusy());
  cancel_->setEnabled(!view_.earlyUnlockBusy());
  const auto& message = view_.earlyUnlockMessage();
  message_->setText(message ? qText(*message) : QString());
  message_->setVisible(message.has_value());
  redrawCountdown();
}

void ActiveScreen::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  redrawCountdown();
}

void ActiveScreen::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  redraw_->stop();
}

void ActiveScreen::redrawCountdown() {
  const GuiStatus& status = view_.status();
  const Date at = view_.currentTime();
  countdown_->setTexts(qText(countdownString(status, at)), qText(remainingString(status, at)));
  redraw_->stop();
  const auto expiration = status.expirationDate();
  if (!expiration || !isVisible()) return;
  // Only the next redraw is armed; each one arms the one after it.
  const auto next = CountdownSchedule{*expiration}.entryAfter(at, at);
  if (!next) return;
  const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(*next - at).count();
  redraw_->start(static_cast<int>(std::clamp<long long>(wait, 0, 1000)));
}

}  // namespace nubrik
