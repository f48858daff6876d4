#pragma once

#include <QWidget>

class QLabel;

namespace nubrik {

class MainView;

// "Starting your offline session…" and "Restoring your connection…": a line and a progress
// indicator while the helper works.
class ProgressScreen final : public QWidget {
  Q_OBJECT

 public:
  ProgressScreen(const QString& text, const QString& objectName, QWidget* parent = nullptr);
};

// The helper's status could not be read: why, and the two ways on.
class UnavailableScreen final : public QWidget {
  Q_OBJECT

 public:
  explicit UnavailableScreen(QWidget* parent = nullptr);

  void setDetail(const QString& detail);

 signals:
  void retryRequested();
  void setupRequested();

 private:
  QLabel* detail_;
};

}  // namespace nubrik
