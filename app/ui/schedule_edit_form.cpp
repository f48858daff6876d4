#include "app/ui/schedule_edit_form.hpp"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>
#include <limits>

#include "app/duration.hpp"
#include "app/schedule_editing_texts.hpp"
#include "app/schedule_editor.hpp"
#include "app/ui/click_to_type_field.hpp"
#include "app/ui/schedule_sheet_parts.hpp"

namespace nubrik {

namespace {

// A chosen day stands out from the others at a glance, in the window's highlight colour.
const char* const dayToggleStyle =
    "QToolButton { border: 1px solid palette(mid); border-radius: 6px; padding: 4px 2px;"
    " background: palette(button); color: palette(button-text); }"
    "QToolButton:checked { background: palette(highlight); color: palette(highlighted-text);"
    " border-color: palette(highlight); }"
    "QToolButton:focus { border: 2px solid palette(highlight); }"
    "QToolButton:checked:focus { border-color: palette(dark); }";

QString titleFor(const ScheduleDraft& draft) {
  return qtText(draft.isNew ? schedule_texts::newScheduleTitle : schedule_texts::editScheduleTitle);
}

QLabel* sectionLabel(std::string_view text, QWidget* parent) {
  auto* label = new QLabel(qtText(text), parent);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

QToolButton* stepButton(const QString& symbolText, const QString& name, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setText(symbolText);
  button->setFixedSize(32, 32);
  button->setFocusPolicy(Qt::StrongFocus);
  return button;
}

void setStepHelp(QToolButton* button, std::string_view help, const std::string& value) {
  const QString text = qtText(help) + QString::fromStdString(value);
  button->setToolTip(text);
  button->setAccessibleName(text);
}

// The duration a step gives, from wherever the draft's duration stands (a list from the helper
// may hold one outside the range; a step brings it back in).
int durationAfterStep(std::int64_t minutes, bool increase) {
  return steppedDuration(
      static_cast<int>(std::clamp<std::int64_t>(minutes, 0, maximumSessionMinutes + 5)), increase);
}

}  // namespace

ScheduleEditForm::ScheduleEditForm(QWidget* parent, ScheduleEditor& editor, const QLocale& locale)
    : Sheet(parent, QStringLiteral("calendar"), qtText(schedule_texts::newScheduleTitle),
            QString()),
      editor_(editor),
      calendarLocale_(calendarLocale(locale)),
      minuteString_(localeMinuteString(locale)),
      weekOrder_(weekdaysInWeekOrder(calendarLocale_.firstWeekday)) {
  setObjectName("scheduleEditForm");

  // Days.
  body()->addWidget(sectionLabel(schedule_texts::repeatOn, this));
  auto* days = new QHBoxLayout;
  days->setSpacing(4);
  for (std::size_t i = 0; i < weekOrder_.size(); ++i) {
    const int weekday = weekOrder_[i];
    auto* toggle = new QToolButton(this);
    toggle->setObjectName(QStringLiteral("dayToggle%1").arg(weekday));
    toggle->setText(qtText(calendarLocale_.shortName(weekday)));
    toggle->setAccessibleName(longWeekdayName(locale, weekday));
    toggle->setCheckable(true);
    toggle->setFocusPolicy(Qt::StrongFocus);
    toggle->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    toggle->setMinimumHeight(30);
    toggle->setStyleSheet(QString::fromLatin1(dayToggleStyle));
    connect(toggle, &QToolButton::clicked, this,
            [this, weekday](bool chosen) { editor_.setDraftWeekday(weekday, chosen); });
    days->addWidget(toggle);
    dayToggles_[i] = toggle;
  }
  body()->addLayout(days);

  pickADay_ = new QLabel(qtText(schedule_texts::pickADay), this);
  pickADay_->setObjectName("pickADayWarning");
  showAsError(pickADay_);
  QSizePolicy keepPlace = pickADay_->sizePolicy();
  keepPlace.setRetainSizeWhenHidden(true);
  pickADay_->setSizePolicy(keepPlace);
  body()->addWidget(pickADay_);

  // Start and duration.
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(6);
  grid->setColumnStretch(2, 1);
  startField_ = new ClickToTypeField(
      qtText(schedule_texts::startLabel), qtText(schedule_texts::startHint),
      [this](const QString& text) { return editor_.enterDraftStart(text.toStdString()); }, this);
  startField_->setObjectName("startField");
  start_ = addValueRow(grid, 0, schedule_texts::startLabel, QStringLiteral("start"), startField_);
  durationField_ = new ClickToTypeField(
      qtText(schedule_texts::durationLabel), qtText(schedule_texts::durationHint),
      [this](const QString& text) { return editor_.enterDraftDuration(text.toStdString()); }, this);
  durationField_->setObjectName("durationField");
  duration_ = addValueRow(grid, 1, schedule_texts::durationLabel, QStringLiteral("duration"),
                          durationField_);
  connect(start_.down, &QToolButton::clicked, this, [this] { editor_.stepDraftStart(false); });
  connect(start_.up, &QToolButton::clicked, this, [this] { editor_.stepDraftStart(true); });
  connect(duration_.down, &QToolButton::clicked, this,
          [this] { editor_.stepDraftDuration(false); });
  connect(duration_.up, &QToolButton::clicked, this, [this] { editor_.stepDraftDuration(true); });
  body()->addLayout(grid);

  endText_ = new QLabel(this);
  endText_->setObjectName("endText");
  endText_->setAlignment(Qt::AlignHCenter);
  endText_->setWordWrap(true);
  body()->addWidget(endText_);

  auto* cancel = addButton(qtText(schedule_texts::cancel));
  cancel->setObjectName("draftCancelButton");
  connect(cancel, &QPushButton::clicked, this, [this] { editor_.cancelDraft(); });
  auto* done = addButton(qtText(schedule_texts::done), true);
  done->setObjectName("doneButton");
  connect(done, &QPushButton::clicked, this, [this] { editor_.commitDraft(); });
}

ScheduleEditForm::ValueRow ScheduleEditForm::addValueRow(QGridLayout* grid, int row,
                                                         std::string_view label,
                                                         const QString& name,
                                                         ClickToTypeField* field) {
  auto* title = new QLabel(qtText(label), this);
  title->setBuddy(field);
  // Centred on the value, above the caption's reserved line.
  grid->addWidget(title, row, 0, Qt::AlignLeft | Qt::AlignTop);
  ValueRow result;
  result.down = stepButton(QStringLiteral("\u2212"), name + "EarlierButton", this);
  result.field = field;
  result.up = stepButton(QStringLiteral("+"), name + "LaterButton", this);
  grid->addWidget(result.down, row, 1, Qt::AlignTop);
  grid->addWidget(field, row, 2);
  grid->addWidget(result.up, row, 3, Qt::AlignTop);
  title->setMinimumHeight(result.down->height());
  return result;
}

QToolButton* ScheduleEditForm::dayToggle(int weekday) const {
  for (std::size_t i = 0; i < weekOrder_.size(); ++i) {
    if (weekOrder_[i] == weekday) return dayToggles_[i];
  }
  return nullptr;
}

void ScheduleEditForm::showDraft(const ScheduleDraft& draft) {
  const RecurringSchedule& schedule = draft.schedule;
  const QString title = titleFor(draft);
  header()->titleLabel()->setText(title);
  setWindowTitle(title);
  setAccessibleName(title);

  for (std::size_t i = 0; i < weekOrder_.size(); ++i) {
    dayToggles_[i]->setChecked(schedule.weekdays.contains(weekOrder_[i]));
  }
  pickADay_->setVisible(schedule.weekdays.empty());

  startField_->setValue(QString::fromStdString(minuteString_(schedule.startMinute)),
                        QString::fromStdString(scheduleStartEditText(schedule.startMinute)));
  setStepHelp(start_.down, schedule_texts::stepDownHelp,
              minuteString_(steppedScheduleStart(schedule.startMinute, false)));
  setStepHelp(start_.up, schedule_texts::stepUpHelp,
              minuteString_(steppedScheduleStart(schedule.startMinute, true)));

  const int shown = static_cast<int>(
      std::clamp<std::int64_t>(schedule.durationMinutes, 0, std::numeric_limits<int>::max()));
  durationField_->setValue(
      QString::fromStdString(durationDisplay(shown)),
      QString::fromStdString(scheduleDurationEditText(schedule.durationMinutes)));
  setStepHelp(duration_.down, schedule_texts::stepDownHelp,
              durationDisplay(durationAfterStep(schedule.durationMinutes, false)));
  setStepHelp(duration_.up, schedule_texts::stepUpHelp,
              durationDisplay(durationAfterStep(schedule.durationMinutes, true)));

  endText_->setText(QString::fromStdString(
      scheduleEndText(schedule.startMinute, schedule.durationMinutes, minuteString_)));
}

}  // namespace nubrik
