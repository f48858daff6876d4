#pragma once

#include <QFrame>
#include <QString>

class QAbstractButton;
class QCheckBox;
class QLabel;

namespace nubrik {

// One schedule in the schedules sheet's list: its summary, its "Enabled" switch, and the buttons
// to edit and delete it. The row only reports what the user did; the sheet asks the editor.
class ScheduleRow final : public QFrame {
  Q_OBJECT

 public:
  ScheduleRow(const QString& summary, bool enabled, QWidget* parent = nullptr);

  // Shows the schedule as it now is; the controls' accessible names follow the summary.
  void setSchedule(const QString& summary, bool enabled);

  QLabel* summaryLabel() const { return summary_; }
  QCheckBox* enabledSwitch() const { return switch_; }
  QAbstractButton* editButton() const { return edit_; }
  QAbstractButton* deleteButton() const { return delete_; }

 signals:
  void enabledToggled(bool enabled);
  void editRequested();
  void deleteRequested();

 private:
  QLabel* summary_;
  QCheckBox* switch_;
  QAbstractButton* edit_;
  QAbstractButton* delete_;
};

}  // namespace nubrik
