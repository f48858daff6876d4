#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace nubrik {

// A value shown as a flat button; a click turns it into a line edit for typing an exact value.
// Return hands the text to the owner: a text that is taken ends the typing, one that is not shows
// "Not valid" and stays for correcting, the shown value unchanged. Escape ends the typing without
// a change. Leaving the field hands the text over as Return does.
class ClickToTypeField final : public QWidget {
  Q_OBJECT

 public:
  // Whether the typed text was taken.
  using Submit = std::function<bool(const QString& text)>;

  // `name` is what a screen reader calls the field ("Start"); `placeholder` is shown in the empty
  // line edit ("09:00").
  ClickToTypeField(const QString& name, const QString& placeholder, Submit submit,
                   QWidget* parent = nullptr);

  // The value as shown, and as it is pre-filled when typing begins. Typing in progress is left
  // alone.
  void setValue(const QString& shown, const QString& editText);
  bool isTyping() const;
  void beginTyping();
  void endTyping();

  QPushButton* valueButton() const { return button_; }
  QLineEdit* lineEdit() const { return edit_; }
  // "Return to finish" while typing, "Not valid" after a text that was not taken.
  QLabel* captionLabel() const { return caption_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void submitTyped();
  void showCaption(bool invalid);

  QString name_;
  QString shown_;
  QString editText_;
  Submit submit_;
  QStackedWidget* stack_;
  QPushButton* button_;
  QLineEdit* edit_;
  QLabel* caption_;
};

}  // namespace nubrik
