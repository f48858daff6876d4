#pragma once

#include <QDialog>
#include <QString>

class QBoxLayout;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace nubrik {

// Layout constants shared by every sheet, in device-independent pixels.
struct SheetStyle {
  static constexpr int width = 400;
  static constexpr int wideWidth = 520;
  static constexpr int padding = 28;
  static constexpr int spacing = 20;
};

// The top of every sheet: a symbol, a title and a message.
class SheetHeader final : public QWidget {
  Q_OBJECT

 public:
  SheetHeader(const QString& symbolName, const QString& title, const QString& message,
              QWidget* parent = nullptr);

  QLabel* titleLabel() const { return title_; }
  QLabel* messageLabel() const { return message_; }
  void setMessage(const QString& message);

 private:
  QLabel* title_;
  QLabel* message_;
};

// A window-modal dialog over the main window, laid out as the app's sheets are: the header, then
// whatever the sheet puts into body(), then a row of buttons aligned to the right.
class Sheet : public QDialog {
  Q_OBJECT

 public:
  enum class Width { regular, wide };

  Sheet(QWidget* parent, const QString& symbolName, const QString& title, const QString& message,
        Width width = Width::regular);

  SheetHeader* header() const { return header_; }
  // Where the sheet's own content goes, between the header and the buttons.
  QVBoxLayout* body() const { return body_; }
  // The button row; the last button added is the rightmost.
  QHBoxLayout* buttons() const { return buttons_; }
  // Adds a button to the row. The default button answers Return.
  QPushButton* addButton(const QString& text, bool isDefault = false);

 private:
  SheetHeader* header_;
  QVBoxLayout* body_;
  QHBoxLayout* buttons_;
};

}  // namespace nubrik
