#pragma once

#include <QString>
#include <QWidget>

class QTimer;

namespace nubrik {

// The active screen's countdown: large numerals with a soft glow that breathes slowly, and the
// remaining-time label under them. The glow holds still when the desktop has turned animations
// off. The owner sets the texts; this only draws them.
class GlowingCountdown final : public QWidget {
  Q_OBJECT

 public:
  explicit GlowingCountdown(QWidget* parent = nullptr);

  void setTexts(const QString& numerals, const QString& label);
  QString numerals() const { return numerals_; }
  QString label() const { return label_; }
  // Whether the glow moves; false when the desktop asks for reduced motion.
  bool isAnimated() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QFont numeralFont() const;

  QString numerals_;
  QString label_;
  QTimer* breath_;
  int phase_ = 0;
};

}  // namespace nubrik
