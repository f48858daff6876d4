#include "app/ui/glowing_countdown.hpp"

#include <QApplication>
#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <cmath>

namespace nubrik {

namespace {

// One breath every four seconds at a few frames a second: slow enough to be calm and to cost
// next to nothing while the window stays open for hours.
constexpr int breathFrameMilliseconds = 125;
constexpr int framesPerBreath = 32;
constexpr double numeralPointScale = 3.6;
constexpr double pi = 3.14159265358979323846;

}  // namespace

GlowingCountdown::GlowingCountdown(QWidget* parent) : QWidget(parent), breath_(new QTimer(this)) {
  setAccessibleName("Countdown");
  breath_->setInterval(breathFrameMilliseconds);
  connect(breath_, &QTimer::timeout, this, [this] {
    phase_ = (phase_ + 1) % framesPerBreath;
    update();
  });
}

bool GlowingCountdown::isAnimated() const {
  return QApplication::isEffectEnabled(Qt::UI_General);
}

void GlowingCountdown::setTexts(const QString& numerals, const QString& label) {
  if (numerals == numerals_ && label == label_) return;
  const bool widthMayChange = numerals.size() != numerals_.size();
  numerals_ = numerals;
  label_ = label;
  setAccessibleDescription(label_);
  if (widthMayChange) updateGeometry();
  update();
}

QFont GlowingCountdown::numeralFont() const {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPointSizeF(QWidget::font().pointSizeF() * numeralPointScale);
  font.setWeight(QFont::Light);
  return font;
}

QSize GlowingCountdown::sizeHint() const {
  const QFontMetrics numeralMetrics(numeralFont());
  const QFontMetrics labelMetrics(font());
  const int width = std::max(numeralMetrics.horizontalAdvance("00:00:00"),
                             labelMetrics.horizontalAdvance("00h 00m remaining"));
  return {width + 48, numeralMetrics.height() + labelMetrics.height() + 32};
}

QSize GlowingCountdown::minimumSizeHint() const {
  return sizeHint();
}

void GlowingCountdown::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (isAnimated()) breath_->start();
}

void GlowingCountdown::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  breath_->stop();
}

void GlowingCountdown::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QFont font = numeralFont();
  const QFontMetrics metrics(font);
  const QFontMetrics labelMetrics(QWidget::font());
  const int numeralHeight = metrics.height();
  const int top = (height() - numeralHeight - labelMetrics.height() - 8) / 2;
  const QRect numeralRect(0, top, width(), numeralHeight);

  // The glow: the numerals' outline stroked wide and faint, under the crisp text.
  const double breath = isAnimated() && breath_->isActive()
                            ? 0.5 + 0.5 * std::sin(2 * pi * phase_ / framesPerBreath)
                            : 0.6;
  QColor glow = palette().color(QPalette::Highlight);
  QPainterPath path;
  const int textWidth = metrics.horizontalAdvance(numerals_);
  path.addText((width() - textWidth) / 2.0, top + metrics.ascent(), font, numerals_);
  for (const auto& [strokeWidth, alpha] : {std::pair{14.0, 0.10}, {8.0, 0.16}, {4.0, 0.24}}) {
    glow.setAlphaF(alpha * (0.55 + 0.45 * breath));
    painter.strokePath(path, QPen(glow, strokeWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  }
  painter.setFont(font);
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(numeralRect, Qt::AlignHCenter | Qt::AlignVCenter, numerals_);

  painter.setFont(QWidget::font());
  QColor labelColor = palette().color(QPalette::WindowText);
  labelColor.setAlphaF(0.7);
  painter.setPen(labelColor);
  painter.drawText(QRect(0, numeralRect.bottom() + 8, width(), labelMetrics.height()),
                   Qt::AlignHCenter, label_);
}

}  // namespace nubrik
