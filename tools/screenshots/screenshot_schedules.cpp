// The schedules sheet, its edit form and the question before a save that goes offline at once,
// over an editor whose helper answers when told to, on the UTC calendar.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/schedule_editor.hpp"
#include "app/ui/click_to_type_field.hpp"
#include "app/ui/schedule_edit_form.hpp"
#include "app/ui/schedule_row.hpp"
#include "app/ui/schedules_sheet.hpp"
#include "core/xpc_result_codes.hpp"
#include "tests/app/schedule_editor_fakes.hpp"
#include "tools/screenshots/screenshot_sheets.hpp"

namespace nubrik::test {
namespace {

using List = std::vector<RecurringSchedule>;

// Tuesdays at 9:00 for an hour, weekdays over lunch, and weekend mornings switched off.
const List threeSchedules = {
    {"A", {3}, 9 * 60, 60, true},
    {"B", {2, 3, 4, 5, 6}, 12 * 60 + 30, 90, true},
    {"C", {1, 7}, 8 * 60, 150, false},
};

struct SchedulesHarness {
  explicit SchedulesHarness(bool editingAvailable = true, Date now = quietTime) {
    fakes.now = now;
    sheet = std::make_unique<ScheduleEditorSheet>(
        nullptr, std::make_unique<ScheduleEditor>(fakes.dependencies()), editingAvailable);
    // The first load starts when the sheet is first shown.
    sheet->show();
  }

  void answerLoad(ScheduleLoadOutcome outcome) { fakes.loads.back()(std::move(outcome)); }
  void answerSave(ScheduleSaveOutcome outcome) { fakes.saves.back()(std::move(outcome)); }
  void click(const char* name) const { sheet->findChild<QAbstractButton*>(name)->click(); }

  ScheduleEditorFakes fakes;
  std::unique_ptr<ScheduleEditorSheet> sheet;
};

void renderSheetStates(const SaveScreenshot& save) {
  {
    SchedulesHarness h;
    save(h.sheet.get(), "sheet-schedules-loading");
  }
  {
    SchedulesHarness h;
    h.answerLoad(ScheduleLoadOutcome::helperUnavailable());
    save(h.sheet.get(), "sheet-schedules-load-failed");
  }
  {
    SchedulesHarness h;
    h.answerLoad(ScheduleLoadOutcome::loaded({}));
    save(h.sheet.get(), "sheet-schedules-empty");
  }
  {
    SchedulesHarness h;
    h.answerLoad(ScheduleLoadOutcome::loaded(threeSchedules));
    save(h.sheet.get(), "sheet-schedules-list");
  }
  {
    SchedulesHarness h;
    h.answerLoad(ScheduleLoadOutcome::loaded(threeSchedules));
    h.sheet->rows()[2]->enabledSwitch()->click();
    h.click("saveButton");
    h.answerSave(ScheduleSaveOutcome::refused(
        std::string(scheduleDefaultMessage(ScheduleResultCode::failed))));
    save(h.sheet.get(), "sheet-schedules-save-refused");
  }
  {
    SchedulesHarness h(false);
    save(h.sheet.get(), "sheet-schedules-helper-not-ready");
  }
}

void renderEditForm(const SaveScreenshot& save) {
  {
    SchedulesHarness h;
    h.answerLoad(ScheduleLoadOutcome::loaded({}));
    h.click("addScheduleButton");
    save(h.sheet->editForm(), "sheet-schedule-form-new");
  }
  {
    SchedulesHarness h;
    h.answerLoad(ScheduleLoadOutcome::loaded(threeSchedules));
    h.sheet->rows()[1]->editButton()->click();
    save(h.sheet->editForm(), "sheet-schedule-form-edit");
  }
  {
    SchedulesHarness h;
    h.answerLoad(ScheduleLoadOutcome::loaded(threeSchedules));
    h.sheet->rows()[0]->editButton()->click();
    ScheduleEditForm* form = h.sheet->editForm();
    const std::set<std::int64_t> days = h.sheet->editor().state().draft->schedule.weekdays;
    for (const std::int64_t day : days) form->dayToggle(static_cast<int>(day))->click();
    save(form, "sheet-schedule-form-no-day");
  }
  {
    SchedulesHarness h;
    h.answerLoad(ScheduleLoadOutcome::loaded({}));
    h.click("addScheduleButton");
    ScheduleEditForm* form = h.sheet->editForm();
    form->startField()->valueButton()->click();
    form->startField()->lineEdit()->setText(QStringLiteral("9:60"));
    QTest::keyClick(form->startField()->lineEdit(), Qt::Key_Return);
    save(form, "sheet-schedule-form-invalid");
  }
}

void renderStartWarning(const SaveScreenshot& save) {
  SchedulesHarness h(true, mondayMorning);
  // Monday 09:00 for an hour, switched on while its window is open.
  h.answerLoad(ScheduleLoadOutcome::loaded({{"A", {2}, 9 * 60, 60, false}}));
  h.sheet->rows()[0]->enabledSwitch()->click();
  h.click("saveButton");
  save(h.sheet->startWarning(), "sheet-schedules-start-warning");
}

}  // namespace

void renderScheduleSheets(const SaveScreenshot& save) {
  renderSheetStates(save);
  renderEditForm(save);
  renderStartWarning(save);
}

}  // namespace nubrik::test
