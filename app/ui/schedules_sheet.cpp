#include "app/ui/schedules_sheet.hpp"

#include <QAbstractButton>
#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "app/schedule_editing_texts.hpp"
#include "app/schedule_editor.hpp"
#include "app/ui/schedule_edit_form.hpp"
#include "app/ui/schedule_row.hpp"
#include "app/ui/schedule_sheet_parts.hpp"

namespace nubrik {

namespace {

// The list scrolls beyond this height, so that the sheet stays within a small screen even with
// the most schedules a user can keep.
constexpr int maximumListHeight = 264;

// A scroll area as tall as its content, up to a limit; beyond it, it scrolls.
class BoundedScrollArea final : public QScrollArea {
 public:
  BoundedScrollArea(int maximumHeight, QWidget* parent)
      : QScrollArea(parent), maximumHeight_(maximumHeight) {}

  QSize sizeHint() const override {
    QSize hint = QScrollArea::sizeHint();
    if (!widget()) return hint;
    const int frame = 2 * frameWidth();
    // The content's width is the sheet's, whether or not this has been laid out yet.
    const int width = SheetStyle::wideWidth - 2 * SheetStyle::padding - frame;
    const int content = widget()->hasHeightForWidth() ? widget()->heightForWidth(width)
                                                      : widget()->sizeHint().height();
    hint.setHeight(std::min(content, maximumHeight_) + frame);
    return hint;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // The content's height is this one's size hint: a change of it is a change of this.
    if (watched == widget() && event->type() == QEvent::LayoutRequest) updateGeometry();
    return QScrollArea::eventFilter(watched, event);
  }

 private:
  int maximumHeight_;
};

QLabel* wrappedLabel(const QString& text, const QString& name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setWordWrap(true);
  label->setTextFormat(Qt::PlainText);
  return label;
}

QLabel* noteLabel(std::string_view text, const QString& name, QWidget* parent) {
  auto* label = wrappedLabel(qtText(text), name, parent);
  QFont font = label->font();
  font.setPointSizeF(font.pointSizeF() * 0.9);
  label->setFont(font);
  label->setForegroundRole(QPalette::PlaceholderText);
  return label;
}

}  // namespace

ScheduleEditorSheet::ScheduleEditorSheet(QWidget* parent, std::unique_ptr<ScheduleEditor> editor,
                                         bool editingAvailable)
    : Sheet(parent, QStringLiteral("calendar"), qtText(schedule_texts::sheetTitle), QString(),
            Width::wide),
      editor_(std::move(editor)),
      editingAvailable_(editingAvailable) {
  setObjectName("scheduleEditorSheet");

  notReadyNote_ = wrappedLabel(qtText(schedule_texts::helperNotReadyNote),
                               QStringLiteral("helperNotReadyNote"), this);
  notReadyNote_->setAlignment(Qt::AlignHCenter);
  body()->addWidget(notReadyNote_);

  loading_ = new QProgressBar(this);
  loading_->setObjectName("loadingIndicator");
  loading_->setRange(0, 0);
  loading_->setTextVisible(false);
  loading_->setAccessibleName(QStringLiteral("Loading"));
  body()->addWidget(loading_);

  loadFailed_ = wrappedLabel(QString(), QStringLiteral("loadFailedMessage"), this);
  loadFailed_->setAlignment(Qt::AlignHCenter);
  body()->addWidget(loadFailed_);

  // The list screen.
  listPage_ = new QWidget(this);
  listPage_->setObjectName("listPage");
  auto* page = new QVBoxLayout(listPage_);
  page->setContentsMargins(0, 0, 0, 0);
  page->setSpacing(12);

  empty_ = new QWidget(listPage_);
  auto* empty = new QVBoxLayout(empty_);
  empty->setContentsMargins(0, 8, 0, 8);
  auto* emptyTitle =
      wrappedLabel(qtText(schedule_texts::emptyTitle), QStringLiteral("emptyTitle"), empty_);
  QFont titleFont = emptyTitle->font();
  titleFont.setBold(true);
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.1);
  emptyTitle->setFont(titleFont);
  emptyTitle->setAlignment(Qt::AlignHCenter);
  empty->addWidget(emptyTitle);
  auto* emptyMessage =
      wrappedLabel(qtText(schedule_texts::emptyMessage), QStringLiteral("emptyMessage"), empty_);
  emptyMessage->setAlignment(Qt::AlignHCenter);
  empty->addWidget(emptyMessage);
  page->addWidget(empty_);

  list_ = new BoundedScrollArea(maximumListHeight, listPage_);
  list_->setObjectName("scheduleList");
  list_->setFrameShape(QFrame::NoFrame);
  list_->setWidgetResizable(true);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* rows = new QWidget(list_);
  rowsLayout_ = new QVBoxLayout(rows);
  rowsLayout_->setContentsMargins(0, 0, 0, 0);
  rowsLayout_->setSpacing(6);
  rowsLayout_->addStretch(1);
  list_->setWidget(rows);
  page->addWidget(list_);

  add_ = new QPushButton(qtText(schedule_texts::addSchedule), listPage_);
  add_->setObjectName("addScheduleButton");
  add_->setAccessibleName(add_->text());
  add_->setAutoDefault(false);
  connect(add_, &QPushButton::clicked, this, [this] { editor_->addSchedule(); });
  page->addWidget(add_, 0, Qt::AlignLeft);

  page->addWidget(noteLabel(schedule_texts::sleepNote, QStringLiteral("sleepNote"), listPage_));
  page->addWidget(noteLabel(schedule_texts::loginNote, QStringLiteral("loginNote"), listPage_));

  saveMessage_ = wrappedLabel(QString(), QStringLiteral("saveMessage"), listPage_);
  showAsError(saveMessage_);
  page->addWidget(saveMessage_);
  body()->addWidget(listPage_);

  close_ = addButton(qtText(schedule_texts::close));
  close_->setObjectName("closeButton");
  connect(close_, &QPushButton::clicked, this, &QDialog::reject);
  cancel_ = addButton(qtText(schedule_texts::cancel));
  cancel_->setObjectName("cancelButton");
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  retry_ = addButton(qtText(schedule_texts::retry));
  retry_->setObjectName("retryButton");
  connect(retry_, &QPushButton::clicked, this, [this] { editor_->retry(); });
  save_ = addButton(qtText(schedule_texts::save));
  save_->setObjectName("saveButton");
  connect(save_, &QPushButton::clicked, this, [this] { editor_->save(); });

  editor_->setChangeHandler([this] { refresh(); });
  editor_->setCloseHandler([this] { accept(); });
  refresh();
}

ScheduleEditorSheet::~ScheduleEditorSheet() {
  // The dialogs over the sheet call into the editor when they close; they go while it is alive.
  delete form_.data();
  delete warning_.data();
  editor_->setChangeHandler({});
  editor_->setCloseHandler({});
}

void ScheduleEditorSheet::showEvent(QShowEvent* event) {
  Sheet::showEvent(event);
  if (editingAvailable_) editor_->open();
}

void ScheduleEditorSheet::refresh() {
  const ScheduleEditorState& state = editor_->state();
  using Kind = ScheduleEditorPhase::Kind;
  const bool loading = editingAvailable_ && state.phase.kind == Kind::loading;
  const bool failed = editingAvailable_ && state.phase.kind == Kind::loadFailed;
  const bool editing = editingAvailable_ && state.phase.kind == Kind::editing;

  notReadyNote_->setVisible(!editingAvailable_);
  loading_->setVisible(loading);
  loadFailed_->setVisible(failed);
  if (failed) loadFailed_->setText(QString::fromStdString(state.phase.message));
  listPage_->setVisible(editing);

  close_->setVisible(!editingAvailable_ || failed);
  cancel_->setVisible(loading || editing);
  retry_->setVisible(failed);
  save_->setVisible(editing);
  save_->setEnabled(editor_->saveIsEnabled());
  if (failed) {
    retry_->setDefault(true);
  } else if (editing) {
    save_->setDefault(true);
  } else {
    close_->setDefault(!editingAvailable_);
  }

  if (editing) showList(state);
  showForm(state);
  showStartWarning(editing && state.showingStartWarning);
}

void ScheduleEditorSheet::showList(const ScheduleEditorState& state) {
  empty_->setVisible(state.schedules.empty());
  list_->setVisible(!state.schedules.empty());
  showRows(state);
  add_->setEnabled(editor_->canAddSchedule());
  saveMessage_->setVisible(state.saveMessage.has_value());
  saveMessage_->setText(state.saveMessage ? QString::fromStdString(*state.saveMessage) : QString());
  list_->updateGeometry();
}

void ScheduleEditorSheet::showRows(const ScheduleEditorState& state) {
  std::vector<std::string> ids;
  ids.reserve(state.schedules.size());
  for (const auto& schedule : state.schedules) ids.push_back(schedule.id);
  if (ids != rowIDs_) {
    // A row may be the sender of the click that changed the list: it goes once that is over.
    for (ScheduleRow* row : rows_) {
      rowsLayout_->removeWidget(row);
      row->hide();
      row->deleteLater();
    }
    rows_.clear();
    QWidget* container = list_->widget();
    for (const auto& id : ids) {
      auto* row = new ScheduleRow(QString(), false, container);
      rowsLayout_->insertWidget(rowsLayout_->count() - 1, row);
      row->show();
      connect(row, &ScheduleRow::enabledToggled, this, [this, id](bool enabled) {
        // A refusal leaves the list as it was; the switch must say so too.
        if (!editor_->setScheduleEnabled(id, enabled)) refresh();
      });
      connect(row, &ScheduleRow::editRequested, this, [this, id] { editor_->editSchedule(id); });
      connect(row, &ScheduleRow::deleteRequested, this,
              [this, id] { editor_->deleteSchedule(id); });
      rows_.push_back(row);
    }
    rowIDs_ = std::move(ids);
    orderTabs();
  }
  const CalendarLocale days = calendarLocale(locale());
  const MinuteString minuteString = localeMinuteString(locale());
  const bool editable = !state.saving;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const RecurringSchedule& schedule = state.schedules[i];
    rows_[i]->setSchedule(QString::fromStdString(scheduleSummary(schedule, days, minuteString)),
                          schedule.isEnabled);
    rows_[i]->setEnabled(editable);
  }
}

void ScheduleEditorSheet::showForm(const ScheduleEditorState& state) {
  if (state.draft) {
    const bool opening = form_.isNull();
    if (opening) {
      form_ = new ScheduleEditForm(this, *editor_, locale());
      // Escape, or the window closed: the draft is dropped as with "Cancel".
      connect(form_, &QDialog::rejected, this, [this] { editor_->cancelDraft(); });
    }
    form_->showDraft(*state.draft);
    if (opening) form_->open();
    return;
  }
  if (!form_) return;
  ScheduleEditForm* form = form_;
  form_.clear();
  form->disconnect(this);
  form->hide();
  form->deleteLater();
  if (state.lastEditedID) keepInView(*state.lastEditedID);
}

void ScheduleEditorSheet::showStartWarning(bool asked) {
  if (asked && !warning_) {
    auto* warning =
        new Sheet(this, QStringLiteral("lock.fill"), qtText(schedule_texts::startWarningTitle),
                  qtText(schedule_texts::startWarningMessage));
    warning->setObjectName("startWarning");
    auto* cancel = warning->addButton(qtText(schedule_texts::cancel));
    cancel->setObjectName("startWarningCancelButton");
    connect(cancel, &QPushButton::clicked, this, [this] { editor_->dismissStartWarning(); });
    auto* confirm = warning->addButton(qtText(schedule_texts::startWarningConfirm), true);
    confirm->setObjectName("startWarningConfirmButton");
    connect(confirm, &QPushButton::clicked, this, [this] { editor_->confirmStartWarning(); });
    connect(warning, &QDialog::rejected, this, [this] { editor_->dismissStartWarning(); });
    warning_ = warning;
    warning->open();
  } else if (!asked && warning_) {
    Sheet* warning = warning_;
    warning_.clear();
    warning->disconnect(this);
    warning->hide();
    warning->deleteLater();
  }
}

void ScheduleEditorSheet::keepInView(const std::string& id) {
  const auto found = std::find(rowIDs_.begin(), rowIDs_.end(), id);
  if (found == rowIDs_.end()) return;
  ScheduleRow* row = rows_[static_cast<std::size_t>(found - rowIDs_.begin())];
  // The row's place is known once the list is laid out.
  QMetaObject::invokeMethod(
      list_,
      [list = list_, row = QPointer<ScheduleRow>(row)] {
        if (row) list->ensureWidgetVisible(row);
      },
      Qt::QueuedConnection);
}

void ScheduleEditorSheet::orderTabs() {
  QWidget* previous = nullptr;
  const auto chain = [&previous](QWidget* next) {
    if (previous) QWidget::setTabOrder(previous, next);
    previous = next;
  };
  for (ScheduleRow* row : rows_) {
    chain(row->enabledSwitch());
    chain(row->editButton());
    chain(row->deleteButton());
  }
  chain(add_);
  chain(close_);
  chain(cancel_);
  chain(retry_);
  chain(save_);
}

}  // namespace nubrik
