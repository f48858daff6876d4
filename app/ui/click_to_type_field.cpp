#include "app/ui/click_to_type_field.hpp"

#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <utility>

#include "app/schedule_editing_texts.hpp"
#include "app/ui/schedule_sheet_parts.hpp"

namespace nubrik {

ClickToTypeField::ClickToTypeField(const QString& name, const QString& placeholder, Submit submit,
                                   QWidget* parent)
    : QWidget(parent),
      name_(name),
      submit_(std::move(submit)),
      stack_(new QStackedWidget(this)),
      button_(new QPushButton(stack_)),
      edit_(new QLineEdit(stack_)),
      caption_(new QLabel(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);

  button_->setObjectName("valueButton");
  button_->setFlat(true);
  button_->setAutoDefault(false);
  button_->setToolTip(qtText(schedule_texts::typeValueHelp));
  QFont valueFont = button_->font();
  valueFont.setPointSizeF(valueFont.pointSizeF() * 1.25);
  valueFont.setBold(true);
  button_->setFont(valueFont);
  connect(button_, &QPushButton::clicked, this, &ClickToTypeField::beginTyping);

  edit_->setObjectName("valueEdit");
  edit_->setPlaceholderText(placeholder);
  edit_->setAlignment(Qt::AlignCenter);
  edit_->setFont(valueFont);
  edit_->setAccessibleName(name);
  edit_->installEventFilter(this);

  stack_->addWidget(button_);
  stack_->addWidget(edit_);
  stack_->setCurrentWidget(button_);
  layout->addWidget(stack_);

  caption_->setObjectName("valueCaption");
  caption_->setAlignment(Qt::AlignHCenter);
  QFont captionFont = caption_->font();
  captionFont.setPointSizeF(captionFont.pointSizeF() * 0.85);
  caption_->setFont(captionFont);
  // The caption comes and goes with typing; its place stays so that the form does not jump.
  QSizePolicy policy = caption_->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  caption_->setSizePolicy(policy);
  caption_->hide();
  layout->addWidget(caption_);

  setFocusProxy(button_);
}

void ClickToTypeField::setValue(const QString& shown, const QString& editText) {
  shown_ = shown;
  editText_ = editText;
  button_->setText(shown);
  button_->setAccessibleName(name_ + ": " + shown);
}

bool ClickToTypeField::isTyping() const {
  return stack_->currentWidget() == edit_;
}

void ClickToTypeField::beginTyping() {
  if (isTyping()) return;
  edit_->setText(editText_);
  stack_->setCurrentWidget(edit_);
  setFocusProxy(edit_);
  showCaption(false);
  edit_->setFocus(Qt::OtherFocusReason);
  edit_->selectAll();
}

void ClickToTypeField::endTyping() {
  if (!isTyping()) return;
  const bool hadFocus = edit_->hasFocus();
  // The button is current before the line edit loses its focus, so that the focus change is not
  // taken for a submission.
  stack_->setCurrentWidget(button_);
  setFocusProxy(button_);
  caption_->hide();
  if (hadFocus) button_->setFocus(Qt::OtherFocusReason);
}

void ClickToTypeField::submitTyped() {
  if (!isTyping()) return;
  if (submit_ && submit_(edit_->text())) {
    endTyping();
  } else {
    showCaption(true);
  }
}

void ClickToTypeField::showCaption(bool invalid) {
  caption_->setText(
      qtText(invalid ? schedule_texts::typedValueInvalid : schedule_texts::typingHint));
  showAsError(caption_, invalid);
  caption_->show();
  edit_->setAccessibleDescription(caption_->text());
}

bool ClickToTypeField::eventFilter(QObject* watched, QEvent* event) {
  if (watched != edit_) return QWidget::eventFilter(watched, event);
  if (event->type() == QEvent::KeyPress) {
    const auto key = static_cast<QKeyEvent*>(event)->key();
    // Return and Escape belong to the field while typing, not to the sheet's default and
    // cancel buttons.
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      submitTyped();
      return true;
    }
    if (key == Qt::Key_Escape) {
      endTyping();
      return true;
    }
  } else if (event->type() == QEvent::FocusOut) {
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    // Moving on to another control finishes the value; the window losing focus does not.
    if (reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason ||
        reason == Qt::BacktabFocusReason) {
      submitTyped();
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace nubrik
