#include "app/ui/schedule_row.hpp"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>

#include "app/schedule_editing_texts.hpp"
#include "app/ui/schedule_sheet_parts.hpp"
#include "app/ui/symbol_icons.hpp"

namespace nubrik {

namespace {

// A check box drawn as an on/off switch. It stays a check box for everything else: keyboard,
// accessibility, the toggled signal.
class SwitchBox final : public QCheckBox {
 public:
  explicit SwitchBox(QWidget* parent) : QCheckBox(parent) {
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  }

  QSize sizeHint() const override { return {40, 24}; }
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) painter.setOpacity(0.45);
    const QRectF track = QRectF(rect()).adjusted(2, 2, -2, -2);
    const qreal radius = track.height() / 2;
    const QColor on = palette().color(QPalette::Highlight);
    const QColor off = palette().color(QPalette::Mid);
    painter.setPen(Qt::NoPen);
    painter.setBrush(isChecked() ? on : off);
    painter.drawRoundedRect(track, radius, radius);
    if (hasFocus()) {
      painter.setBrush(Qt::NoBrush);
      painter.setPen(QPen(on.darker(130), 1.5));
      painter.drawRoundedRect(track.adjusted(-1, -1, 1, 1), radius + 1, radius + 1);
    }
    const qreal knob = track.height() - 4;
    const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
  }
};

QToolButton* makeSymbolButton(const char* symbol, const QString& fallbackText, QWidget* parent) {
  auto* button = new QToolButton(parent);
  const QIcon icon = symbolIcon(std::string_view(symbol));
  if (icon.isNull()) {
    button->setText(fallbackText);
  } else {
    button->setIcon(icon);
  }
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::StrongFocus);
  return button;
}

}  // namespace

ScheduleRow::ScheduleRow(const QString& summary, bool enabled, QWidget* parent)
    : QFrame(parent), summary_(new QLabel(this)) {
  setObjectName("scheduleRow");
  setFrameShape(QFrame::StyledPanel);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(12, 6, 6, 6);
  layout->setSpacing(8);

  summary_->setObjectName("summaryLabel");
  summary_->setWordWrap(true);
  summary_->setTextFormat(Qt::PlainText);
  summary_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  layout->addWidget(summary_, 1);

  switch_ = new SwitchBox(this);
  switch_->setObjectName("enabledSwitch");
  switch_->setToolTip(qtText(schedule_texts::enabled));
  layout->addWidget(switch_);
  connect(switch_, &QCheckBox::clicked, this, &ScheduleRow::enabledToggled);

  auto* edit = makeSymbolButton("pencil", QStringLiteral("Edit"), this);
  edit->setObjectName("editButton");
  edit_ = edit;
  layout->addWidget(edit);
  connect(edit, &QToolButton::clicked, this, &ScheduleRow::editRequested);

  auto* remove = makeSymbolButton("trash", qtText(schedule_texts::deleteTitle), this);
  remove->setObjectName("deleteButton");
  remove->setText(qtText(schedule_texts::deleteTitle));
  remove->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  delete_ = remove;
  layout->addWidget(remove);
  connect(remove, &QToolButton::clicked, this, &ScheduleRow::deleteRequested);

  setSchedule(summary, enabled);
}

void ScheduleRow::setSchedule(const QString& summary, bool enabled) {
  summary_->setText(summary);
  // A schedule that is off reads as such before its switch is found.
  summary_->setForegroundRole(enabled ? QPalette::WindowText : QPalette::PlaceholderText);
  switch_->setChecked(enabled);
  switch_->setAccessibleName(qtText(schedule_texts::enabledFor) + summary);
  edit_->setAccessibleName(qtText(schedule_texts::editFor) + summary);
  edit_->setToolTip(qtText(schedule_texts::editFor) + summary);
  delete_->setAccessibleName(qtText(schedule_texts::deleteFor) + summary);
}

}  // namespace nubrik
