#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/schedule_editing.hpp"
#include "app/schedule_outcomes.hpp"
#include "core/calendar.hpp"
#include "core/date.hpp"
#include "core/recurring_schedule.hpp"

namespace nubrik {

class SessionClient;

// What the editor needs from the rest of the app. Completions run on the main queue.
struct ScheduleEditorDependencies {
  using LoadCompletion = std::function<void(ScheduleLoadOutcome)>;
  using SaveCompletion = std::function<void(ScheduleSaveOutcome)>;
  using ScheduleList = std::vector<RecurringSchedule>;

  // Reads the helper's list.
  std::function<void(LoadCompletion)> fetchSchedules;
  // Replaces the helper's list with this one.
  std::function<void(const ScheduleList&, SaveCompletion)> saveSchedules;
  std::function<Date()> now;
  std::shared_ptr<const Calendar> calendar;
  // A fresh identifier for a new schedule.
  std::function<std::string()> newID;
  // Brings the login item in line with a list the helper has just accepted.
  std::function<void(const ScheduleList&)> syncLoginItem;

  // Requests through the session client with its request time-out, the system clock and
  // calendar, random UUIDs, and the given login-item synchronisation.
  static ScheduleEditorDependencies production(
      const SessionClient& client, std::function<void(const ScheduleList&)> syncLoginItem);
};

// Everything the schedules sheet shows.
struct ScheduleEditorState {
  ScheduleEditorPhase phase;
  // The working list: the user's edits, not yet sent.
  std::vector<RecurringSchedule> schedules;
  // The list as last read from (or saved to) the helper.
  std::vector<RecurringSchedule> loadedSchedules;
  // The schedule open in the edit form; its changes reach the working list only with Done.
  std::optional<ScheduleDraft> draft;
  // The row to keep in view after an edit.
  std::optional<std::string> lastEditedID;
  bool saving = false;
  // Shown under the list: why the last save did not go through.
  std::optional<std::string> saveMessage;
  // The question before a save that would take the computer offline at once.
  bool showingStartWarning = false;

  bool operator==(const ScheduleEditorState&) const = default;
};

// The schedules sheet's working copy of the helper's schedules: load, edit in a draft, save the
// whole list in one request. Lives on the main thread; every change is announced through the
// change handler. The list changes only while editing, with no draft open, no save in flight and
// no question pending, so the list that is saved is the list the user saw.
class ScheduleEditor {
 public:
  explicit ScheduleEditor(ScheduleEditorDependencies dependencies);
  ~ScheduleEditor();
  ScheduleEditor(const ScheduleEditor&) = delete;
  ScheduleEditor& operator=(const ScheduleEditor&) = delete;

  // Called after every change of state().
  void setChangeHandler(std::function<void()> handler);
  // Called when the sheet should close: the helper has accepted the list.
  void setCloseHandler(std::function<void()> handler);

  const ScheduleEditorState& state() const { return state_; }

  // Starts the first load; later calls do nothing.
  void open();
  // Loads again after a failed load.
  bool retry();

  // List screen. Each returns whether it changed anything.
  bool canAddSchedule() const;
  // Opens a default schedule with a fresh identifier as a new draft.
  bool addSchedule();
  // Opens a copy of the schedule with that id as a draft.
  bool editSchedule(std::string_view id);
  bool setScheduleEnabled(std::string_view id, bool enabled);
  bool deleteSchedule(std::string_view id);

  // Edit form. Each returns whether the value was taken; values out of range (and typed texts
  // that are not values) are refused and leave the draft as it was.
  bool setDraftWeekday(std::int64_t weekday, bool chosen);
  bool setDraftStartMinute(std::int64_t minute);
  bool stepDraftStart(bool increase);
  // A typed start time; false (the old value kept) when it is not one.
  bool enterDraftStart(std::string_view text);
  bool setDraftDurationMinutes(std::int64_t minutes);
  // One 5-minute step of the duration, as the main window's stepper steps.
  bool stepDraftDuration(bool increase);
  // A typed duration; false (the old value kept) when it is not one.
  bool enterDraftDuration(std::string_view text);
  // Done: writes the draft into the working list and closes the form.
  bool commitDraft();
  // Cancel: drops the draft.
  bool cancelDraft();

  // Saving.
  bool saveIsEnabled() const;
  // Asks first when the save would start a session now; otherwise sends at once.
  bool save();
  // "Save and Go Offline".
  bool confirmStartWarning();
  // "Cancel" in the question: nothing is saved.
  bool dismissStartWarning();

 private:
  bool listIsEditable() const;
  void startLoad();
  void send();
  void finishLoad(ScheduleLoadOutcome outcome);
  void finishSave(const ScheduleSaveOutcome& outcome, const std::vector<RecurringSchedule>& sent);
  void changed();

  ScheduleEditorDependencies dependencies_;
  ScheduleEditorState state_;
  bool opened_ = false;
  std::function<void()> changeHandler_;
  std::function<void()> closeHandler_;
  // Completions hold this weakly: an answer for a closed sheet touches nothing.
  std::shared_ptr<ScheduleEditor*> self_;
};

}  // namespace nubrik
