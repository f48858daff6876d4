#include "app/ui/schedules_sheet.hpp"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QToolButton>
#include <memory>
#include <string>
#include <vector>

#include "app/schedule_editor.hpp"
#include "app/ui/click_to_type_field.hpp"
#include "app/ui/schedule_edit_form.hpp"
#include "app/ui/schedule_row.hpp"
#include "app/ui/schedule_sheet_parts.hpp"
#include "tests/app/schedule_editor_fakes.hpp"

namespace nubrik {
namespace {

using List = std::vector<RecurringSchedule>;

RecurringSchedule schedule(std::string id, std::set<std::int64_t> weekdays = {3},
                           bool enabled = true) {
  return RecurringSchedule{std::move(id), std::move(weekdays), 540, 60, enabled};
}

// The sheet over an editor whose helper the test answers, on the UTC calendar. What the editor
// decides is schedule_editor_test's; here, that presses reach it and its state is drawn.
struct SheetHarness : test::ScheduleEditorFakes {
  explicit SheetHarness(bool editingAvailable = true) {
    sheet = std::make_unique<ScheduleEditorSheet>(
        nullptr, std::make_unique<ScheduleEditor>(dependencies()), editingAvailable);
    sheet->show();
  }

  void openWith(const List& list) { loads.at(0)(ScheduleLoadOutcome::loaded(list)); }

  template <typename T = QWidget>
  T* find(const char* name) const {
    auto* widget = sheet->findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  bool shown(const char* name) const { return find(name)->isVisible(); }
  QString labelText(const char* name) const { return find<QLabel>(name)->text(); }
  void click(const char* name) const { find<QAbstractButton>(name)->click(); }
  const ScheduleEditorState& state() const { return sheet->editor().state(); }

  std::unique_ptr<ScheduleEditorSheet> sheet;
};

void pressKey(QWidget* widget, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(widget, &press);
}

TEST(ScheduleSheetLocaleTest, WeekdaysAreNumberedAsInASchedule) {
  for (const auto& [name, firstWeekday] : {std::pair{"de_DE", 2}, std::pair{"en_US", 1}}) {
    SCOPED_TRACE(name);
    const QLocale locale(QString::fromLatin1(name));
    const CalendarLocale days = calendarLocale(locale);
    EXPECT_EQ(days.firstWeekday, firstWeekday);
    EXPECT_EQ(days.shortName(1), locale.dayName(Qt::Sunday, QLocale::ShortFormat).toStdString());
    EXPECT_EQ(longWeekdayName(locale, 2), locale.dayName(Qt::Monday, QLocale::LongFormat));
    // No seconds, whatever the locale.
    EXPECT_EQ(localeMinuteString(locale)(1275).find(":00"), std::string::npos);
  }
}

TEST(ScheduleEditorSheetTest, TheLoadIsDrawnAndRetriedAndAnEmptyListExplainsItself) {
  SheetHarness h;
  EXPECT_TRUE(h.shown("loadingIndicator"));
  h.loads.at(0)(ScheduleLoadOutcome::helperUnavailable());
  EXPECT_EQ(h.labelText("loadFailedMessage"),
            "The helper is unavailable. Make sure it is installed and running.");
  h.click("retryButton");
  ASSERT_EQ(h.loads.size(), 2u);

  h.loads[1](ScheduleLoadOutcome::loaded({}));
  EXPECT_EQ(h.labelText("emptyTitle"), "No schedules yet");
  EXPECT_EQ(h.labelText("emptyMessage"),
            "Add one and Tamsel goes offline for you, on the days you pick.");
  EXPECT_EQ(h.labelText("sleepNote"),
            "If your computer is asleep at the start time, the session starts when it wakes, for "
            "the rest of the window, if at least 15 minutes remain.");
  EXPECT_EQ(h.labelText("loginNote"),
            "While a schedule is on, Tamsel opens when you log in, so you can see the countdown.");
}

TEST(ScheduleEditorSheetTest, WithoutAReadyHelperTheSheetLoadsNothing) {
  SheetHarness h(false);
  EXPECT_TRUE(h.loads.empty());
  EXPECT_TRUE(h.shown("helperNotReadyNote"));
  EXPECT_FALSE(h.shown("saveButton"));
}

TEST(ScheduleEditorSheetTest, ARowsControlsReachTheEditor) {
  SheetHarness h;
  h.openWith({schedule("A"), schedule("B", {1, 7}, false)});
  ASSERT_EQ(h.sheet->rows().size(), 2u);
  ScheduleRow* first = h.sheet->rows()[0];
  const QString summary = first->summaryLabel()->text();
  EXPECT_TRUE(summary.startsWith(QLocale().dayName(Qt::Tuesday, QLocale::ShortFormat)));
  EXPECT_EQ(first->enabledSwitch()->accessibleName(), "Enabled: " + summary);
  EXPECT_EQ(first->editButton()->accessibleName(), "Edit schedule: " + summary);
  EXPECT_EQ(first->deleteButton()->accessibleName(), "Delete schedule: " + summary);
  EXPECT_FALSE(h.sheet->rows()[1]->enabledSwitch()->isChecked());

  first->enabledSwitch()->click();
  EXPECT_FALSE(h.state().schedules[0].isEnabled);
  EXPECT_TRUE(h.find("saveButton")->isEnabled());
  first->deleteButton()->click();
  EXPECT_EQ(h.state().schedules, List{schedule("B", {1, 7}, false)});
  ASSERT_EQ(h.sheet->rows().size(), 1u);

  h.sheet->rows()[0]->editButton()->click();
  EXPECT_EQ(h.state().draft->schedule.id, "B");
  ASSERT_NE(h.sheet->editForm(), nullptr);
  EXPECT_EQ(h.sheet->editForm()->header()->titleLabel()->text(), "Edit Schedule");
  EXPECT_TRUE(h.sent.empty());
}

TEST(ScheduleEditorSheetTest, TheFormTypesStepsAndPicksDaysIntoTheDraft) {
  SheetHarness h;
  h.openWith({});
  h.click("addScheduleButton");
  ScheduleEditForm* form = h.sheet->editForm();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->header()->titleLabel()->text(), "New Schedule");

  ClickToTypeField* start = form->startField();
  start->valueButton()->click();
  start->lineEdit()->setText("9:60");
  pressKey(start->lineEdit(), Qt::Key_Return);
  EXPECT_TRUE(start->isTyping());
  EXPECT_EQ(start->captionLabel()->text(), "Not valid");
  // Return belonged to the field, not to the form's "Done".
  EXPECT_TRUE(form->isVisible());
  start->lineEdit()->setText("21:15");
  pressKey(start->lineEdit(), Qt::Key_Return);
  EXPECT_FALSE(start->isTyping());
  EXPECT_EQ(h.state().draft->schedule.startMinute, 1275);
  // Escape ends typing and keeps the value.
  start->valueButton()->click();
  start->lineEdit()->setText("1:00");
  pressKey(start->lineEdit(), Qt::Key_Escape);
  EXPECT_FALSE(start->isTyping());
  EXPECT_EQ(h.state().draft->schedule.startMinute, 1275);

  form->findChild<QToolButton*>("durationEarlierButton")->click();
  EXPECT_EQ(h.state().draft->schedule.durationMinutes, 55);
  auto* warning = form->findChild<QLabel*>("pickADayWarning");
  for (int weekday : {2, 3, 4, 5, 6}) form->dayToggle(weekday)->click();
  EXPECT_TRUE(warning->isVisible());
  EXPECT_EQ(warning->text(), "Pick at least one day.");
  form->dayToggle(7)->click();
  EXPECT_FALSE(warning->isVisible());

  form->findChild<QPushButton*>("doneButton")->click();
  EXPECT_EQ(h.sheet->editForm(), nullptr);
  EXPECT_EQ(h.state().schedules, (List{RecurringSchedule{"NEW-1", {7}, 1275, 55, true}}));
  EXPECT_EQ(h.sheet->rows().size(), 1u);
}

TEST(ScheduleEditorSheetTest, ASaveThatStartsASessionNowIsSentOnlyWhenConfirmed) {
  SheetHarness h;
  h.now = test::mondayMorning;
  // Monday 09:00 for an hour, switched on while its window is open.
  h.openWith({schedule("A", {2}, false)});
  h.sheet->rows()[0]->enabledSwitch()->click();

  h.click("saveButton");
  Sheet* warning = h.sheet->startWarning();
  ASSERT_NE(warning, nullptr);
  EXPECT_EQ(warning->header()->titleLabel()->text(), "Go offline now?");
  EXPECT_EQ(warning->header()->messageLabel()->text(),
            "A schedule you saved is active right now. Your computer will go offline shortly and "
            "stay offline until the end of its window. You cannot end this instantly.");
  warning->findChild<QPushButton*>("startWarningCancelButton")->click();
  EXPECT_EQ(h.sheet->startWarning(), nullptr);
  EXPECT_TRUE(h.sent.empty());

  h.click("saveButton");
  h.sheet->startWarning()->findChild<QPushButton*>("startWarningConfirmButton")->click();
  EXPECT_EQ(h.sent, std::vector<List>{{schedule("A", {2}, true)}});
  h.saves.at(0)(ScheduleSaveOutcome::saved());
  EXPECT_EQ(h.sheet->result(), QDialog::Accepted);
}

TEST(ScheduleEditorSheetTest, ARefusedSaveShowsWhy) {
  SheetHarness h;
  h.openWith({schedule("A")});
  h.sheet->rows()[0]->deleteButton()->click();
  h.click("saveButton");
  h.saves.at(0)(ScheduleSaveOutcome::refused("The helper could not save the schedules."));
  EXPECT_TRUE(h.sheet->isVisible());
  EXPECT_EQ(h.labelText("saveMessage"), "The helper could not save the schedules.");
  EXPECT_TRUE(h.find("saveButton")->isEnabled());
}

}  // namespace
}  // namespace nubrik
