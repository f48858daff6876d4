#include "app/ui/screen_parts.hpp"

#include <QLabel>
#include <QPushButton>

#include "app/ui/symbol_icons.hpp"

namespace nubrik {

QLabel* makeSymbolLabel(const QString& symbolName, int size, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setPixmap(symbolIcon(symbolName).pixmap(size, size));
  label->setAlignment(Qt::AlignHCenter);
  // Decoration only: the text beside it says the same.
  label->setAccessibleName(QString());
  return label;
}

QLabel* makeTextLabel(const QString& text, double fontScale, bool bold, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QFont font = label->font();
  font.setPointSizeF(font.pointSizeF() * fontScale);
  font.setBold(bold);
  label->setFont(font);
  label->setAlignment(Qt::AlignHCenter);
  label->setWordWrap(true);
  label->setTextFormat(Qt::PlainText);
  return label;
}

QString shortTimeText(const QLocale& locale, QTime time) {
  if (locale.language() == QLocale::C) return time.toString(QStringLiteral("HH:mm"));
  return locale.toString(time, QLocale::ShortFormat);
}

QString buttonTitle(const QString& text) {
  QString title = text;
  return title.replace('&', "&&");
}

QPushButton* makeButton(const QString& text, QWidget* parent, const QString& accessibleName) {
  auto* button = new QPushButton(buttonTitle(text), parent);
  button->setAccessibleName(accessibleName.isEmpty() ? text : accessibleName);
  button->setAutoDefault(false);
  return button;
}

QPushButton* makePrimaryButton(const QString& text, QWidget* parent) {
  auto* button = makeButton(text, parent);
  QFont font = button->font();
  font.setPointSizeF(font.pointSizeF() * 1.15);
  font.setBold(true);
  button->setFont(font);
  button->setMinimumHeight(40);
  button->setMinimumWidth(200);
  button->setDefault(true);
  return button;
}

}  // namespace nubrik
