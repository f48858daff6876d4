#pragma once

#include <QLocale>
#include <array>
#include <string_view>

#include "app/schedule_editing.hpp"
#include "app/ui/sheet.hpp"

class QGridLayout;
class QLabel;
class QToolButton;

namespace nubrik {

class ClickToTypeField;
class ScheduleEditor;

// The form over the editor's draft: the days it repeats on, its start and its duration, each
// stepped or typed, and when it ends. Every change goes to the editor at once; the form shows the
// draft the editor then holds. "Done" and "Cancel" ask the editor to keep or drop the draft; the
// schedules sheet closes the form when the draft is gone.
class ScheduleEditForm final : public Sheet {
  Q_OBJECT

 public:
  ScheduleEditForm(QWidget* parent, ScheduleEditor& editor, const QLocale& locale);

  // Shows the draft; a value being typed is left alone.
  void showDraft(const ScheduleDraft& draft);

  QToolButton* dayToggle(int weekday) const;
  ClickToTypeField* startField() const { return startField_; }
  ClickToTypeField* durationField() const { return durationField_; }

 private:
  struct ValueRow {
    QToolButton* down = nullptr;
    ClickToTypeField* field = nullptr;
    QToolButton* up = nullptr;
  };
  // A labelled row of the grid: step down, the value, step up.
  ValueRow addValueRow(QGridLayout* grid, int row, std::string_view label, const QString& name,
                       ClickToTypeField* field);

  ScheduleEditor& editor_;
  CalendarLocale calendarLocale_;
  MinuteString minuteString_;
  // In week order; each knows its weekday from its position in weekOrder_.
  std::array<int, 7> weekOrder_{};
  std::array<QToolButton*, 7> dayToggles_{};
  QLabel* pickADay_;
  ClickToTypeField* startField_;
  ClickToTypeField* durationField_;
  ValueRow start_;
  ValueRow duration_;
  QLabel* endText_;
};

}  // namespace nubrik
