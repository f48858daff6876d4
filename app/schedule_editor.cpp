#include "app/schedule_editor.hpp"

#include <algorithm>
#include <chrono>
#include <utility>

#include "app/duration.hpp"
#include "app/session_client.hpp"
#include "core/uuid.hpp"
#include "core/xpc_result_codes.hpp"

namespace nubrik {

namespace {

std::string helperUnavailableMessage() {
  return std::string(xpcDefaultMessage(XPCStartResultCode::helperUnavailable));
}

}  // namespace

ScheduleEditorDependencies ScheduleEditorDependencies::production(
    const SessionClient& client, std::function<void(const ScheduleList&)> syncLoginItem) {
  ScheduleEditorDependencies dependencies;
  dependencies.fetchSchedules = [client](LoadCompletion completion) {
    client.fetchSchedules(SessionClient::xpcRequestTimeout, std::move(completion));
  };
  dependencies.saveSchedules = [client](const ScheduleList& schedules, SaveCompletion completion) {
    client.saveSchedules(schedules, SessionClient::xpcRequestTimeout, std::move(completion));
  };
  dependencies.now = [] { return std::chrono::system_clock::now(); };
  dependencies.calendar = systemCalendar();
  dependencies.newID = [] { return newUUIDString(); };
  dependencies.syncLoginItem = std::move(syncLoginItem);
  return dependencies;
}

ScheduleEditor::ScheduleEditor(ScheduleEditorDependencies dependencies)
    : dependencies_(std::move(dependencies)), self_(std::make_shared<ScheduleEditor*>(this)) {}

ScheduleEditor::~ScheduleEditor() = default;

void ScheduleEditor::setChangeHandler(std::function<void()> handler) {
  changeHandler_ = std::move(handler);
}

void ScheduleEditor::setCloseHandler(std::function<void()> handler) {
  closeHandler_ = std::move(handler);
}

void ScheduleEditor::changed() {
  if (changeHandler_) changeHandler_();
}

void ScheduleEditor::open() {
  if (opened_) return;
  opened_ = true;
  startLoad();
}

bool ScheduleEditor::retry() {
  if (state_.phase.kind != ScheduleEditorPhase::Kind::loadFailed) return false;
  startLoad();
  return true;
}

void ScheduleEditor::startLoad() {
  state_.phase = ScheduleEditorPhase::loading();
  changed();
  std::weak_ptr<ScheduleEditor*> weak = self_;
  dependencies_.fetchSchedules([weak](ScheduleLoadOutcome outcome) {
    if (auto self = weak.lock()) (*self)->finishLoad(std::move(outcome));
  });
}

void ScheduleEditor::finishLoad(ScheduleLoadOutcome outcome) {
  // One load at a time: an answer that is not awaited is a stray.
  if (state_.phase.kind != ScheduleEditorPhase::Kind::loading) return;
  switch (outcome.kind) {
    case ScheduleLoadOutcome::Kind::loaded:
      state_.schedules = outcome.schedules;
      state_.loadedSchedules = std::move(outcome.schedules);
      state_.phase = ScheduleEditorPhase::editing();
      break;
    case ScheduleLoadOutcome::Kind::failed:
      state_.phase = ScheduleEditorPhase::loadFailed(std::move(outcome.message));
      break;
    case ScheduleLoadOutcome::Kind::helperUnavailable:
      state_.phase = ScheduleEditorPhase::loadFailed(helperUnavailableMessage());
      break;
  }
  changed();
}

bool ScheduleEditor::listIsEditable() const {
  return state_.phase.kind == ScheduleEditorPhase::Kind::editing && !state_.saving &&
         !state_.draft && !state_.showingStartWarning;
}

bool ScheduleEditor::canAddSchedule() const {
  return listIsEditable() && state_.schedules.size() < scheduleMaxCount;
}

bool ScheduleEditor::addSchedule() {
  if (!canAddSchedule()) return false;
  state_.draft = ScheduleDraft{makeDefaultSchedule(dependencies_.newID()), true};
  changed();
  return true;
}

bool ScheduleEditor::editSchedule(std::string_view id) {
  if (!listIsEditable()) return false;
  const auto found = std::find_if(state_.schedules.begin(), state_.schedules.end(),
                                  [id](const RecurringSchedule& s) { return s.id == id; });
  if (found == state_.schedules.end()) return false;
  state_.draft = ScheduleDraft{*found, false};
  changed();
  return true;
}

bool ScheduleEditor::setScheduleEnabled(std::string_view id, bool enabled) {
  if (!listIsEditable()) return false;
  const auto found = std::find_if(state_.schedules.begin(), state_.schedules.end(),
                                  [id](const RecurringSchedule& s) { return s.id == id; });
  if (found == state_.schedules.end() || found->isEnabled == enabled) return false;
  found->isEnabled = enabled;
  changed();
  return true;
}

bool ScheduleEditor::deleteSchedule(std::string_view id) {
  if (!listIsEditable()) return false;
  const auto found = std::find_if(state_.schedules.begin(), state_.schedules.end(),
                                  [id](const RecurringSchedule& s) { return s.id == id; });
  if (found == state_.schedules.end()) return false;
  state_.schedules.erase(found);
  changed();
  return true;
}

bool ScheduleEditor::setDraftWeekday(std::int64_t weekday, bool chosen) {
  if (!state_.draft || weekday < 1 || weekday > 7) return false;
  auto& weekdays = state_.draft->schedule.weekdays;
  if (weekdays.contains(weekday) == chosen) return true;
  if (chosen) {
    weekdays.insert(weekday);
  } else {
    weekdays.erase(weekday);
  }
  changed();
  return true;
}

bool ScheduleEditor::setDraftStartMinute(std::int64_t minute) {
  if (!state_.draft || minute < 0 || minute > 1439) return false;
  if (state_.draft->schedule.startMinute != minute) {
    state_.draft->schedule.startMinute = minute;
    changed();
  }
  return true;
}

bool ScheduleEditor::stepDraftStart(bool increase) {
  if (!state_.draft) return false;
  return setDraftStartMinute(steppedScheduleStart(state_.draft->schedule.startMinute, increase));
}

bool ScheduleEditor::enterDraftStart(std::string_view text) {
  if (!state_.draft) return false;
  const auto minute = parseScheduleTime(text);
  return minute && setDraftStartMinute(*minute);
}

bool ScheduleEditor::setDraftDurationMinutes(std::int64_t minutes) {
  if (!state_.draft || minutes < minimumSessionMinutes || minutes > maximumSessionMinutes) {
    return false;
  }
  if (state_.draft->schedule.durationMinutes != minutes) {
    state_.draft->schedule.durationMinutes = minutes;
    changed();
  }
  return true;
}

bool ScheduleEditor::stepDraftDuration(bool increase) {
  if (!state_.draft) return false;
  // A duration the helper sent from outside the range is brought into it by the first step.
  const auto minutes = static_cast<int>(std::clamp<std::int64_t>(
      state_.draft->schedule.durationMinutes, 0, maximumSessionMinutes + 5));
  return setDraftDurationMinutes(steppedDuration(minutes, increase));
}

bool ScheduleEditor::enterDraftDuration(std::string_view text) {
  if (!state_.draft) return false;
  const auto minutes = parseDuration(text);
  return minutes && setDraftDurationMinutes(*minutes);
}

bool ScheduleEditor::commitDraft() {
  if (!state_.draft) return false;
  const RecurringSchedule schedule = std::move(state_.draft->schedule);
  state_.draft.reset();
  state_.schedules = scheduleListApplying(schedule, std::move(state_.schedules));
  state_.lastEditedID = schedule.id;
  changed();
  return true;
}

bool ScheduleEditor::cancelDraft() {
  if (!state_.draft) return false;
  state_.draft.reset();
  changed();
  return true;
}

bool ScheduleEditor::saveIsEnabled() const {
  return scheduleSaveIsEnabled(state_.phase, state_.schedules, state_.saving,
                               state_.loadedSchedules) &&
         !state_.draft && !state_.showingStartWarning;
}

bool ScheduleEditor::save() {
  if (!saveIsEnabled()) return false;
  if (scheduleSaveStartsSession(state_.loadedSchedules, state_.schedules, dependencies_.now(),
                                *dependencies_.calendar)) {
    state_.showingStartWarning = true;
    changed();
    return true;
  }
  send();
  return true;
}

bool ScheduleEditor::confirmStartWarning() {
  if (!state_.showingStartWarning) return false;
  state_.showingStartWarning = false;
  send();
  return true;
}

bool ScheduleEditor::dismissStartWarning() {
  if (!state_.showingStartWarning) return false;
  state_.showingStartWarning = false;
  changed();
  return true;
}

void ScheduleEditor::send() {
  if (auto error = scheduleListError(state_.schedules)) {
    state_.saveMessage = std::move(error);
    changed();
    return;
  }
  state_.saving = true;
  state_.saveMessage.reset();
  changed();
  // The login item follows the list the helper accepted, even when the sheet has been closed
  // before the answer came.
  std::weak_ptr<ScheduleEditor*> weak = self_;
  auto sent = std::make_shared<const std::vector<RecurringSchedule>>(state_.schedules);
  dependencies_.saveSchedules(
      *sent, [weak, sent, sync = dependencies_.syncLoginItem](ScheduleSaveOutcome outcome) {
        if (outcome.kind == ScheduleSaveOutcome::Kind::saved && sync) sync(*sent);
        if (auto self = weak.lock()) (*self)->finishSave(outcome, *sent);
      });
}

void ScheduleEditor::finishSave(const ScheduleSaveOutcome& outcome,
                                const std::vector<RecurringSchedule>& sent) {
  if (!state_.saving) return;
  state_.saving = false;
  switch (outcome.kind) {
    case ScheduleSaveOutcome::Kind::refused:
      state_.saveMessage = outcome.message;
      break;
    case ScheduleSaveOutcome::Kind::helperUnavailable:
      state_.saveMessage = helperUnavailableMessage();
      break;
    case ScheduleSaveOutcome::Kind::saved:
      state_.loadedSchedules = sent;
      break;
  }
  changed();
  if (outcome.kind == ScheduleSaveOutcome::Kind::saved && closeHandler_) closeHandler_();
}

}  // namespace nubrik
