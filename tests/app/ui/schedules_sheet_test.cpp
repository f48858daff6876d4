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

using test::mondayMorning;
using test::quietTime;

RecurringSchedule schedule(std::string id, std::set<std::int64_t> weekdays = {3},
                           bool enabled = true) {
  return RecurringSchedule{std::move(id), std::move(weekdays), 540, 60, enabled};
}

// The sheet over an editor whose helper the test answers, on the UTC calendar.
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
  struct Case {
    const char* locale;
    int firstWeekday;
    const char* time;
  };
  for (const Case& c : {Case{"C", 2, "21:15"}, Case{"de_DE", 2, "21:15"}, Case{"en_US", 1, ""}}) {
    SCOPED_TRACE(c.locale);
    const QLocale locale(QString::fromLatin1(c.locale));
    const CalendarLocale days = calendarLocale(locale);
    EXPECT_EQ(days.firstWeekday, c.firstWeekday);
    EXPECT_EQ(days.shortName(1), locale.dayName(Qt::Sunday, QLocale::ShortFormat).toStdString());
    EXPECT_EQ(days.shortName(7), locale.dayName(Qt::Saturday, QLocale::ShortFormat).toStdString());
    EXPECT_EQ(longWeekdayName(locale, 2), locale.dayName(Qt::Monday, QLocale::LongFormat));
    // No seconds, whatever the locale.
    const std::string time = localeMinuteString(locale)(1275);
    if (*c.time) {
      EXPECT_EQ(time, c.time);
    }
    EXPECT_EQ(time.find(":00"), std::string::npos) << time;
  }
}

TEST(ScheduleEditorSheetTest, LoadingShowsProgressAndAFailedLoadIsRetried) {
  SheetHarness h;
  ASSERT_EQ(h.loads.size(), 1u);
  EXPECT_TRUE(h.shown("loadingIndicator"));
  EXPECT_FALSE(h.shown("listPage"));
  EXPECT_FALSE(h.shown("saveButton"));

  h.loads[0](ScheduleLoadOutcome::helperUnavailable());
  EXPECT_FALSE(h.shown("loadingIndicator"));
  EXPECT_TRUE(h.shown("loadFailedMessage"));
  EXPECT_EQ(h.labelText("loadFailedMessage"),
            "The helper is unavailable. Make sure it is installed and running.");
  EXPECT_TRUE(h.shown("closeButton"));
  ASSERT_TRUE(h.shown("retryButton"));

  h.click("retryButton");
  ASSERT_EQ(h.loads.size(), 2u);
  EXPECT_TRUE(h.shown("loadingIndicator"));
  EXPECT_FALSE(h.shown("retryButton"));

  // An empty list: the empty state, the notes, and nothing to save.
  h.loads[1](ScheduleLoadOutcome::loaded({}));
  EXPECT_TRUE(h.shown("listPage"));
  EXPECT_TRUE(h.shown("emptyTitle"));
  EXPECT_EQ(h.labelText("emptyTitle"), "No schedules yet");
  EXPECT_EQ(h.labelText("emptyMessage"),
            "Add one and Tamsel goes offline for you, on the days you pick.");
  EXPECT_EQ(h.labelText("sleepNote"),
            "If your computer is asleep at the start time, the session starts when it wakes, for "
            "the rest of the window, if at least 15 minutes remain.");
  EXPECT_EQ(h.labelText("loginNote"),
            "While a schedule is on, Tamsel opens when you log in, so you can see the countdown.");
  EXPECT_FALSE(h.shown("scheduleList"));
  EXPECT_FALSE(h.shown("saveMessage"));
  EXPECT_TRUE(h.find("addScheduleButton")->isEnabled());
  EXPECT_FALSE(h.find("saveButton")->isEnabled());
}

TEST(ScheduleEditorSheetTest, WithoutAReadyHelperTheSheetLoadsNothing) {
  SheetHarness h(false);
  EXPECT_TRUE(h.loads.empty());
  EXPECT_TRUE(h.shown("helperNotReadyNote"));
  EXPECT_TRUE(h.shown("closeButton"));
  EXPECT_FALSE(h.shown("loadingIndicator"));
  EXPECT_FALSE(h.shown("saveButton"));
}

TEST(ScheduleEditorSheetTest, ARowsControlsChangeTheWorkingList) {
  SheetHarness h;
  h.openWith({schedule("A"), schedule("B", {2, 3, 4, 5, 6}), schedule("C", {1, 7}, false)});
  ASSERT_EQ(h.sheet->rows().size(), 3u);
  ScheduleRow* first = h.sheet->rows()[0];
  const QString summary = first->summaryLabel()->text();
  // Tuesday only, in the locale's words.
  EXPECT_TRUE(summary.startsWith(QLocale().dayName(Qt::Tuesday, QLocale::ShortFormat) +
                                 QString::fromUtf8(" \xC2\xB7 ")))
      << summary.toStdString();
  EXPECT_EQ(first->enabledSwitch()->accessibleName(), "Enabled: " + summary);
  EXPECT_EQ(first->editButton()->accessibleName(), "Edit schedule: " + summary);
  EXPECT_EQ(first->deleteButton()->accessibleName(), "Delete schedule: " + summary);
  EXPECT_EQ(first->deleteButton()->text(), "Delete");
  EXPECT_TRUE(first->enabledSwitch()->isChecked());
  EXPECT_FALSE(h.sheet->rows()[2]->enabledSwitch()->isChecked());
  EXPECT_FALSE(h.find("saveButton")->isEnabled());

  first->enabledSwitch()->click();
  EXPECT_FALSE(h.state().schedules[0].isEnabled);
  EXPECT_FALSE(h.sheet->rows()[0]->enabledSwitch()->isChecked());
  EXPECT_TRUE(h.find("saveButton")->isEnabled());

  h.sheet->rows()[1]->deleteButton()->click();
  EXPECT_EQ(h.state().schedules, (List{schedule("A", {3}, false), schedule("C", {1, 7}, false)}));
  ASSERT_EQ(h.sheet->rows().size(), 2u);
  EXPECT_TRUE(h.sheet->rows()[1]->summaryLabel()->text().startsWith("Weekends"));

  h.sheet->rows()[1]->editButton()->click();
  ASSERT_TRUE(h.state().draft);
  EXPECT_EQ(h.state().draft->schedule.id, "C");
  ASSERT_NE(h.sheet->editForm(), nullptr);
  EXPECT_TRUE(h.sheet->editForm()->isVisible());
  EXPECT_EQ(h.sheet->editForm()->header()->titleLabel()->text(), "Edit Schedule");
  // Nothing reaches the helper before a save.
  EXPECT_TRUE(h.sent.empty());
}

TEST(ScheduleEditorSheetTest, TheFormTypesStepsAndPicksDaysIntoTheDraft) {
  SheetHarness h;
  h.openWith({});
  h.click("addScheduleButton");
  ScheduleEditForm* form = h.sheet->editForm();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->header()->titleLabel()->text(), "New Schedule");
  EXPECT_EQ(form->findChild<QToolButton*>("durationLaterButton")->toolTip(),
            "Later or longer: 1 hr 5 min");
  EXPECT_EQ(form->findChild<QToolButton*>("durationEarlierButton")->toolTip(),
            "Earlier or shorter: 55 min");

  struct Case {
    ClickToTypeField* field;
    QString invalid;
    QString valid;
    std::int64_t RecurringSchedule::*value;
    std::int64_t before;
    std::int64_t after;
  };
  const std::vector<Case> cases = {
      {form->startField(), "9:60", "21:15", &RecurringSchedule::startMinute, 540, 1275},
      {form->durationField(), "4", "1:15", &RecurringSchedule::durationMinutes, 60, 75},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.valid.toStdString());
    c.field->valueButton()->click();
    ASSERT_TRUE(c.field->isTyping());
    EXPECT_EQ(c.field->captionLabel()->text(), "Return to finish");
    c.field->lineEdit()->setText(c.invalid);
    pressKey(c.field->lineEdit(), Qt::Key_Return);
    EXPECT_TRUE(c.field->isTyping());
    EXPECT_TRUE(c.field->captionLabel()->isVisible());
    EXPECT_EQ(c.field->captionLabel()->text(), "Not valid");
    EXPECT_EQ(h.state().draft->schedule.*c.value, c.before);
    // Return belonged to the field, not to the form's "Done".
    EXPECT_TRUE(form->isVisible());

    c.field->lineEdit()->setText(c.valid);
    pressKey(c.field->lineEdit(), Qt::Key_Return);
    EXPECT_FALSE(c.field->isTyping());
    EXPECT_EQ(h.state().draft->schedule.*c.value, c.after);

    // Escape ends typing and keeps the value; the form stays open.
    c.field->valueButton()->click();
    c.field->lineEdit()->setText(c.invalid);
    pressKey(c.field->lineEdit(), Qt::Key_Escape);
    EXPECT_FALSE(c.field->isTyping());
    EXPECT_EQ(h.state().draft->schedule.*c.value, c.after);
    EXPECT_TRUE(form->isVisible());
  }

  form->findChild<QToolButton*>("startLaterButton")->click();
  EXPECT_EQ(h.state().draft->schedule.startMinute, 1280);
  form->findChild<QToolButton*>("durationEarlierButton")->click();
  EXPECT_EQ(h.state().draft->schedule.durationMinutes, 70);

  auto* warning = form->findChild<QLabel*>("pickADayWarning");
  EXPECT_FALSE(warning->isVisible());
  for (int weekday : {2, 3, 4, 5, 6}) form->dayToggle(weekday)->click();
  EXPECT_TRUE(h.state().draft->schedule.weekdays.empty());
  EXPECT_TRUE(warning->isVisible());
  EXPECT_EQ(warning->text(), "Pick at least one day.");
  form->dayToggle(7)->click();
  EXPECT_FALSE(warning->isVisible());

  form->findChild<QPushButton*>("doneButton")->click();
  EXPECT_EQ(h.sheet->editForm(), nullptr);
  EXPECT_EQ(h.state().schedules, (List{RecurringSchedule{"NEW-1", {7}, 1280, 70, true}}));
  ASSERT_EQ(h.sheet->rows().size(), 1u);
  EXPECT_FALSE(h.shown("emptyTitle"));
}

TEST(ScheduleEditorSheetTest, ASaveThatStartsASessionNowIsSentOnlyWhenConfirmed) {
  SheetHarness h;
  h.now = mondayMorning;
  // Monday 09:00 for an hour, switched on while its window is open.
  h.openWith({schedule("A", {2}, false)});
  h.sheet->rows()[0]->enabledSwitch()->click();

  h.click("saveButton");
  Sheet* warning = h.sheet->startWarning();
  ASSERT_NE(warning, nullptr);
  EXPECT_TRUE(warning->isVisible());
  EXPECT_EQ(warning->header()->titleLabel()->text(), "Go offline now?");
  EXPECT_EQ(warning->header()->messageLabel()->text(),
            "A schedule you saved is active right now. Your computer will go offline shortly and "
            "stay offline until the end of its window. You cannot end this instantly.");
  warning->findChild<QPushButton*>("startWarningCancelButton")->click();
  EXPECT_EQ(h.sheet->startWarning(), nullptr);
  EXPECT_TRUE(h.sent.empty());
  EXPECT_TRUE(h.state().schedules[0].isEnabled);

  h.click("saveButton");
  ASSERT_NE(h.sheet->startWarning(), nullptr);
  h.sheet->startWarning()->findChild<QPushButton*>("startWarningConfirmButton")->click();
  ASSERT_EQ(h.sent.size(), 1u);
  EXPECT_EQ(h.sent[0], (List{schedule("A", {2}, true)}));
  EXPECT_FALSE(h.find("saveButton")->isEnabled());

  h.saves[0](ScheduleSaveOutcome::saved());
  EXPECT_FALSE(h.sheet->isVisible());
  EXPECT_EQ(h.sheet->result(), QDialog::Accepted);
}

TEST(ScheduleEditorSheetTest, ARefusedSaveShowsWhyAndCanBeTriedAgain) {
  SheetHarness h;
  h.openWith({schedule("A")});
  h.sheet->rows()[0]->deleteButton()->click();
  h.click("saveButton");
  ASSERT_EQ(h.sent.size(), 1u);
  EXPECT_TRUE(h.sent[0].empty());

  h.saves[0](ScheduleSaveOutcome::refused("The helper could not save the schedules."));
  EXPECT_TRUE(h.sheet->isVisible());
  EXPECT_TRUE(h.shown("saveMessage"));
  EXPECT_EQ(h.labelText("saveMessage"), "The helper could not save the schedules.");
  EXPECT_TRUE(h.find("saveButton")->isEnabled());
}

}  // namespace
}  // namespace nubrik
