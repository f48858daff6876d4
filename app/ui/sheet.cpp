#include "app/ui/sheet.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/screen_parts.hpp"
#include "app/ui/symbol_icons.hpp"

namespace nubrik {

namespace {

constexpr int headerSymbolSize = 40;

}  // namespace

SheetHeader::SheetHeader(const QString& symbolName, const QString& title, const QString& message,
                         QWidget* parent)
    : QWidget(parent), title_(new QLabel(title, this)), message_(new QLabel(message, this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(8);

  auto* symbol = new QLabel(this);
  symbol->setPixmap(symbolIcon(symbolName).pixmap(headerSymbolSize, headerSymbolSize));
  symbol->setAlignment(Qt::AlignHCenter);
  // The symbol repeats the title; a screen reader reads the title only.
  symbol->setAccessibleName(QString());
  layout->addWidget(symbol);

  QFont titleFont = title_->font();
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.35);
  titleFont.setBold(true);
  title_->setFont(titleFont);
  title_->setAlignment(Qt::AlignHCenter);
  title_->setWordWrap(true);
  title_->setObjectName("sheetTitle");
  layout->addWidget(title_);

  message_->setAlignment(Qt::AlignHCenter);
  message_->setWordWrap(true);
  message_->setObjectName("sheetMessage");
  message_->setTextFormat(Qt::PlainText);
  message_->setVisible(!message.isEmpty());
  layout->addWidget(message_);
}

void SheetHeader::setMessage(const QString& message) {
  message_->setText(message);
  message_->setVisible(!message.isEmpty());
}

Sheet::Sheet(QWidget* parent, const QString& symbolName, const QString& title,
             const QString& message, Width width)
    : QDialog(parent) {
  setWindowModality(Qt::WindowModal);
  setWindowTitle(title);
  setAccessibleName(title);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(SheetStyle::padding, SheetStyle::padding, SheetStyle::padding,
                             SheetStyle::padding);
  layout->setSpacing(SheetStyle::spacing);
  // The sheet is as tall as its content needs, never taller, and exactly as wide as its style.
  layout->setSizeConstraint(QLayout::SetFixedSize);
  const int contentWidth =
      (width == Width::wide ? SheetStyle::wideWidth : SheetStyle::width) - 2 * SheetStyle::padding;
  layout->addSpacerItem(new QSpacerItem(contentWidth, 0, QSizePolicy::Fixed, QSizePolicy::Fixed));

  header_ = new SheetHeader(symbolName, title, message, this);
  layout->addWidget(header_);

  body_ = new QVBoxLayout;
  body_->setSpacing(12);
  layout->addLayout(body_);

  buttons_ = new QHBoxLayout;
  buttons_->addStretch(1);
  layout->addLayout(buttons_);
}

QPushButton* Sheet::addButton(const QString& text, bool isDefault) {
  auto* button = new QPushButton(buttonTitle(text), this);
  button->setAccessibleName(text);
  button->setAutoDefault(false);
  button->setDefault(isDefault);
  buttons_->addWidget(button);
  return button;
}

}  // namespace nubrik
