#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/duration_stepper.hpp"
#include "app/gui_status.hpp"
#include "app/main_queue.hpp"
#include "app/main_screen.hpp"
#include "app/menu_bar_presentation.hpp"
#include "app/session_controls.hpp"
#include "app/status_monitor.hpp"
#include "app/xpc_request.hpp"
#include "core/date.hpp"
#include "core/xpc_result_codes.hpp"

namespace nubrik {

class HelperSetup;
class SessionClient;

struct MainViewDependencies {
  // Where outcomes, readings and delayed work arrive.
  MainQueue* mainQueue = nullptr;
  const SessionClient* client = nullptr;
  // The helper setup controller; none makes the helper count as not ready.
  HelperSetup* setup = nullptr;
  // One settled status reading, its completion called on the main queue.
  std::function<void(std::function<void(GuiStatusDetail)> completion)> readStatus;
  std::function<Date()> now;
};

// The main window's state and behaviour, without the window: the selected duration and its typed
// entry, the once-a-second tick with its own status reading and completion tracker, the start
// gate, and the early-unlock request. The widgets draw what this holds and call it for every
// button; all of it lives on the main queue.
class MainView {
 public:
  static constexpr int defaultMinutes = 60;
  static constexpr std::array<int, 4> presetMinutes{15, 30, 60, 120};
  // How long "You're back online." stands in for the idle heading.
  static constexpr double justRestoredSeconds = 8.0;

  static constexpr const char* typingCaption = "Type a time like 1:15, then press Return";
  static constexpr const char* invalidEntryCaption = "Enter 5 minutes to 24 hours, like 1:15 or 90";
  static constexpr const char* earlyUnlockUnavailableMessage =
      "The helper is unavailable. Make sure it is installed and running.";

  explicit MainView(MainViewDependencies dependencies);
  ~MainView();
  MainView(const MainView&) = delete;
  MainView& operator=(const MainView&) = delete;

  // Called after every change the window must draw.
  void setOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

  // The once-a-second tick: the time, the counter, a status reading, the helper setup probe and,
  // once per window, the automatic helper update.
  void tick();
  // A status reading now ("Retry").
  void refreshStatus();
  // Applies one reading; what refreshStatus delivers.
  void apply(const GuiStatusDetail& detail);

  MainScreen screen() const;
  const GuiStatus& status() const { return status_; }
  Date now() const { return now_; }
  // The clock itself, for what redraws between ticks (the countdown).
  Date currentTime() const { return dependencies_.now(); }
  std::int64_t tickCount() const { return tickCount_; }
  bool helperReady() const;
  bool justRestored() const { return justRestored_; }
  // Whether any reading has been applied yet; before it the status is only a placeholder.
  bool hasReading() const { return hasReading_; }

  // The selected duration and its typed entry.
  int selectedMinutes() const { return selectedMinutes_; }
  void stepDuration(bool increase);
  void selectPreset(int minutes);
  // "Custom": typing begins with the selection as hours:minutes.
  void beginTypedEntry();
  void setTypedText(std::string text);
  // Return: a valid duration becomes the selection and typing ends; anything else keeps typing
  // open and marks the entry invalid. True when the entry was taken.
  bool commitTypedEntry();
  void cancelTypedEntry();
  bool isTyping() const { return typing_; }
  const std::string& typedText() const { return typedText_; }
  bool typedTextInvalid() const { return typedInvalid_; }
  // The caption under the duration: the return time, the typing hint, or the entry error.
  std::string durationCaption(const TimeString& timeString) const;
  // When a session started now would end.
  Date wouldBeExpiration() const;

  // Session start.
  bool goOfflineEnabled() const;
  // Sends the start, unless one is in flight; true when a request went out.
  bool startSession();
  bool isStarting() const { return starting_; }
  // Why the last start failed, until dismissed.
  const std::optional<std::string>& startError() const { return startError_; }
  void dismissStartError();

  // Early unlock.
  EarlyUnlockControl earlyUnlock() const;
  bool earlyUnlockPending() const { return earlyUnlockPending_; }
  bool earlyUnlockBusy() const { return earlyUnlockBusy_; }
  const std::optional<std::string>& earlyUnlockMessage() const { return earlyUnlockMessage_; }
  // Each returns false, sending nothing, while a request is in flight.
  bool requestEarlyUnlock();
  bool cancelEarlyUnlock();

  bool autoUpdateAttempted() const { return autoUpdateAttempted_; }

 private:
  using EarlyUnlockRequest = void (SessionClient::*)(
      double timeout, std::function<void(EarlyUnlockOutcome)> completion) const;

  void changed();
  bool sendEarlyUnlock(EarlyUnlockRequest request);
  void finishEarlyUnlock(const EarlyUnlockOutcome& outcome);

  MainViewDependencies dependencies_;
  std::function<void()> onChange_;

  GuiStatus status_ = GuiStatus::unavailable(StatusUnavailableReason::missing);
  bool earlyUnlockPending_ = false;
  bool hasReading_ = false;
  MainScreenHistory history_;
  SessionCompletionTracker completionTracker_;
  Date now_;
  std::int64_t tickCount_ = 0;
  bool justRestored_ = false;
  std::uint64_t justRestoredEpoch_ = 0;

  int selectedMinutes_ = defaultMinutes;
  DurationStepper stepper_;
  bool typing_ = false;
  std::string typedText_;
  bool typedInvalid_ = false;

  StartRequestGate startGate_;
  bool starting_ = false;
  std::optional<std::string> startError_;

  bool earlyUnlockBusy_ = false;
  std::optional<std::string> earlyUnlockMessage_;
  bool autoUpdateAttempted_ = false;

  // Readings and outcomes hold this weakly: once the window is gone they find nothing.
  std::shared_ptr<MainView*> self_;
};

}  // namespace nubrik
