#include "app/main_view.hpp"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "app/duration.hpp"
#include "app/helper_setup.hpp"
#include "app/session_client.hpp"

namespace nubrik {

namespace {

constexpr double minimumStartSeconds = 300;
constexpr double maximumStartSeconds = 86400;

std::string hoursAndMinutes(int minutes) {
  char text[32];
  std::snprintf(text, sizeof text, "%d:%02d", minutes / 60, minutes % 60);
  return text;
}

}  // namespace

MainView::MainView(MainViewDependencies dependencies)
    : dependencies_(std::move(dependencies)),
      now_(dependencies_.now ? dependencies_.now() : std::chrono::system_clock::now()),
      self_(std::make_shared<MainView*>(this)) {}

MainView::~MainView() {
  *self_ = nullptr;
}

void MainView::changed() {
  if (onChange_) onChange_();
}

bool MainView::helperReady() const {
  return dependencies_.setup &&
         dependencies_.setup->state().kind == HelperSetupState::Kind::installedReady;
}

void MainView::tick() {
  now_ = dependencies_.now();
  ++tickCount_;
  refreshStatus();
  if (auto* setup = dependencies_.setup) {
    if (shouldProbeHelperSetup(setup->state(), tickCount_)) setup->refresh();
    if (shouldAutoUpdateHelper(setup->state(), status_, autoUpdateAttempted_)) {
      autoUpdateAttempted_ = true;
      setup->updateHelper();
    }
  }
  changed();
}

void MainView::refreshStatus() {
  if (!dependencies_.readStatus) return;
  std::weak_ptr<MainView*> weak = self_;
  dependencies_.readStatus([weak](GuiStatusDetail detail) {
    const auto self = weak.lock();
    if (self && *self) (*self)->apply(detail);
  });
}

void MainView::apply(const GuiStatusDetail& detail) {
  now_ = dependencies_.now();
  status_ = detail.status;
  hasReading_ = true;
  earlyUnlockPending_ = detail.earlyUnlockPending;
  history_.observe(status_, now_);
  if (completionTracker_.observe(status_)) {
    justRestored_ = true;
    const std::uint64_t epoch = ++justRestoredEpoch_;
    std::weak_ptr<MainView*> weak = self_;
    dependencies_.mainQueue->postAfter(justRestoredSeconds, [weak, epoch] {
      const auto self = weak.lock();
      if (!self || !*self || (*self)->justRestoredEpoch_ != epoch) return;
      (*self)->justRestored_ = false;
      (*self)->changed();
    });
  }
  changed();
}

MainScreen MainView::screen() const {
  return mainScreen(status_, history_.lastActiveEnd, now_, starting_, history_.lastConfirmedIdle);
}

void MainView::stepDuration(bool increase) {
  selectedMinutes_ = stepper_.press(selectedMinutes_, increase, dependencies_.now());
  changed();
}

void MainView::selectPreset(int minutes) {
  selectedMinutes_ = std::clamp(minutes, minimumSessionMinutes, maximumSessionMinutes);
  typing_ = false;
  typedInvalid_ = false;
  changed();
}

void MainView::beginTypedEntry() {
  typing_ = true;
  typedInvalid_ = false;
  typedText_ = hoursAndMinutes(selectedMinutes_);
  changed();
}

void MainView::setTypedText(std::string text) {
  typedText_ = std::move(text);
  changed();
}

bool MainView::commitTypedEntry() {
  const auto minutes = parseDuration(typedText_);
  if (!minutes) {
    typedInvalid_ = true;
    changed();
    return false;
  }
  selectedMinutes_ = *minutes;
  typing_ = false;
  typedInvalid_ = false;
  changed();
  return true;
}

void MainView::cancelTypedEntry() {
  typing_ = false;
  typedInvalid_ = false;
  changed();
}

std::string MainView::durationCaption(const TimeString& timeString) const {
  if (typing_) return typedInvalid_ ? invalidEntryCaption : typingCaption;
  return "Back online at " + timeString(wouldBeExpiration());
}

Date MainView::wouldBeExpiration() const {
  return addSeconds(now_, selectedMinutes_ * 60.0);
}

bool MainView::goOfflineEnabled() const {
  const double seconds = selectedMinutes_ * 60.0;
  return sessionStartIsEnabled(status_, helperReady()) && !starting_ &&
         seconds >= minimumStartSeconds && seconds <= maximumStartSeconds;
}

bool MainView::startSession() {
  if (!startGate_.tryBegin()) return false;
  starting_ = true;
  startError_.reset();
  changed();
  std::weak_ptr<MainView*> weak = self_;
  dependencies_.client->requestStartViaXPC(
      selectedMinutes_ * 60.0, SessionClient::xpcRequestTimeout, [weak](XPCStartOutcome outcome) {
        const auto self = weak.lock();
        if (!self || !*self) return;
        MainView& view = **self;
        view.startGate_.end();
        view.starting_ = false;
        if (outcome.kind == XPCStartOutcome::Kind::failed ||
            outcome.kind == XPCStartOutcome::Kind::helperUnavailable) {
          view.startError_ = message(outcome);
        }
        view.changed();
        view.refreshStatus();
      });
  return true;
}

void MainView::dismissStartError() {
  startError_.reset();
  changed();
}

EarlyUnlockControl MainView::earlyUnlock() const {
  return earlyUnlockControl(status_, earlyUnlockPending_, helperReady(), now_);
}

bool MainView::requestEarlyUnlock() {
  return sendEarlyUnlock(&SessionClient::requestEarlyUnlock);
}

bool MainView::cancelEarlyUnlock() {
  return sendEarlyUnlock(&SessionClient::cancelEarlyUnlock);
}

bool MainView::sendEarlyUnlock(EarlyUnlockRequest request) {
  if (earlyUnlockBusy_) return false;
  earlyUnlockBusy_ = true;
  changed();
  std::weak_ptr<MainView*> weak = self_;
  (dependencies_.client->*request)(SessionClient::xpcRequestTimeout,
                                   [weak](EarlyUnlockOutcome outcome) {
                                     const auto self = weak.lock();
                                     if (self && *self) (*self)->finishEarlyUnlock(outcome);
                                   });
  return true;
}

void MainView::finishEarlyUnlock(const EarlyUnlockOutcome& outcome) {
  earlyUnlockBusy_ = false;
  switch (outcome.kind) {
    case EarlyUnlockOutcome::Kind::done:
      earlyUnlockMessage_.reset();
      break;
    case EarlyUnlockOutcome::Kind::refused:
      earlyUnlockMessage_ = outcome.message;
      break;
    case EarlyUnlockOutcome::Kind::helperUnavailable:
      earlyUnlockMessage_ = earlyUnlockUnavailableMessage;
      break;
  }
  changed();
  refreshStatus();
}

}  // namespace nubrik
