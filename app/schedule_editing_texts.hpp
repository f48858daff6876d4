#pragma once

#include <string_view>

// The words of the schedules sheet and its edit form, kept with the logic so that the window and
// the tests read the same texts.
namespace nubrik::schedule_texts {

// Sheet.
inline constexpr std::string_view sheetTitle = "Schedules";
inline constexpr std::string_view retry = "Retry";
inline constexpr std::string_view close = "Close";
inline constexpr std::string_view cancel = "Cancel";
inline constexpr std::string_view save = "Save";
inline constexpr std::string_view addSchedule = "Add Schedule";
inline constexpr std::string_view emptyTitle = "No schedules yet";
inline constexpr std::string_view emptyMessage =
    "Add one and Tamsel goes offline for you, on the days you pick.";
inline constexpr std::string_view sleepNote =
    "If your computer is asleep at the start time, the session starts when it wakes, for the rest "
    "of the window, if at least 15 minutes remain.";
inline constexpr std::string_view loginNote =
    "While a schedule is on, Tamsel opens when you log in, so you can see the countdown.";
// Shown in place of the list while the helper is not installed and ready.
inline constexpr std::string_view helperNotReadyNote =
    "Schedules can be edited once the helper is installed and ready. Open Helper Setup to finish "
    "setting it up, then open Schedules again.";

// Rows: the switch, and the accessibility names of the row's controls (each followed by the
// row's summary).
inline constexpr std::string_view enabled = "Enabled";
inline constexpr std::string_view enabledFor = "Enabled: ";
inline constexpr std::string_view editFor = "Edit schedule: ";
inline constexpr std::string_view deleteFor = "Delete schedule: ";
inline constexpr std::string_view deleteTitle = "Delete";

// The confirmation before a save that takes the computer offline at once.
inline constexpr std::string_view startWarningTitle = "Go offline now?";
inline constexpr std::string_view startWarningMessage =
    "A schedule you saved is active right now. Your computer will go offline shortly and stay "
    "offline until the end of its window. You cannot end this instantly.";
inline constexpr std::string_view startWarningConfirm = "Save and Go Offline";

// Edit form.
inline constexpr std::string_view newScheduleTitle = "New Schedule";
inline constexpr std::string_view editScheduleTitle = "Edit Schedule";
inline constexpr std::string_view done = "Done";
inline constexpr std::string_view repeatOn = "Repeat on";
inline constexpr std::string_view pickADay = "Pick at least one day.";
inline constexpr std::string_view startLabel = "Start";
inline constexpr std::string_view startHint = "09:00";
inline constexpr std::string_view durationLabel = "Duration";
inline constexpr std::string_view durationHint = "1:15";
// The step buttons' help, each followed by a value.
inline constexpr std::string_view stepDownHelp = "Earlier or shorter: ";
inline constexpr std::string_view stepUpHelp = "Later or longer: ";
inline constexpr std::string_view typeValueHelp = "Click to type an exact value";
inline constexpr std::string_view typingHint = "Return to finish";
inline constexpr std::string_view typedValueInvalid = "Not valid";

// Summaries and end texts.
inline constexpr std::string_view everyDay = "Every day";
inline constexpr std::string_view weekdays = "Weekdays";
inline constexpr std::string_view weekends = "Weekends";
inline constexpr std::string_view summarySeparator = " \xC2\xB7 ";
inline constexpr std::string_view backOnlineAt = "Back online at ";
inline constexpr std::string_view nextDay = " the next day";

}  // namespace nubrik::schedule_texts
