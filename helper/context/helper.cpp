#include "helper/context/helper.hpp"

#include <utility>

#include "core/paths.hpp"
#include "helper/log/log.hpp"

namespace nubrik {

Helper::Helper(HelperParts parts)
    : network_(parts.network ? std::move(parts.network) : productionNetworkSwitches()),
      log_(std::move(parts.log)),
      logFile_(std::move(parts.logFile)),
      clock_(parts.clock ? std::move(parts.clock) : wallClock()),
      calendar_(parts.calendar ? std::move(parts.calendar) : systemCalendar()),
      transactions_(parts.paths.value_or(StatePaths::production()), clock_, logOperation()) {}

Helper::~Helper() {
  try {
    if (log_) return;
    const std::lock_guard guard(logMutex_);
    for (const std::string& line : repeats_.flush()) appendLogLine(logFile_, line);
  } catch (...) {
  }
}

void Helper::log(const std::string& message) const {
  try {
    if (log_) {
      log_(message);
      return;
    }
    const std::lock_guard guard(logMutex_);
    appendLogLine(logFile_, message);
  } catch (...) {
  }
}

void Helper::logCorrection(const std::string& message) const {
  try {
    if (log_) {
      log_(message);
      return;
    }
    const std::lock_guard guard(logMutex_);
    for (const std::string& line : repeats_.admit(message, clock_())) {
      appendLogLine(logFile_, line);
    }
  } catch (...) {
  }
}

Helper::LogOperation Helper::correctionLogOperation() const {
  return [this](const std::string& message) { logCorrection(message); };
}

void Helper::closeEndedLogBursts() const {
  try {
    if (log_) return;
    const std::lock_guard guard(logMutex_);
    for (const std::string& line : repeats_.expire(clock_())) appendLogLine(logFile_, line);
  } catch (...) {
  }
}

Helper::LogOperation Helper::logOperation() const {
  return [this](const std::string& message) { log(message); };
}

bool Helper::isRestarting() const {
  const std::lock_guard guard(mutex_);
  return restarting_;
}

void Helper::markRestarting() {
  const std::lock_guard guard(mutex_);
  restarting_ = true;
}

void Helper::setNotificationSink(NotificationSink sink) {
  std::shared_ptr<const NotificationSink> replacement;
  if (sink) replacement = std::make_shared<const NotificationSink>(std::move(sink));
  const std::lock_guard guard(mutex_);
  sink_ = std::move(replacement);
}

void Helper::notify(const std::string& title, const std::string& message) const {
  try {
    // Called outside the lock, so a sink may itself notify or replace the sink.
    std::shared_ptr<const NotificationSink> sink;
    {
      const std::lock_guard guard(mutex_);
      sink = sink_;
    }
    if (sink) (*sink)(title, message);
  } catch (...) {
    // A notification is a courtesy; its failure must never disturb the operation that sent it.
  }
}

void Helper::attachLoop(sd_event* event, std::function<void()> requestTick) {
  event_ = event;
  requestTick_ = std::move(requestTick);
}

void Helper::detachLoop() {
  event_ = nullptr;
  requestTick_ = nullptr;
}

void Helper::requestTick() {
  finding_ = TickFinding{};
  if (requestTick_) requestTick_();
}

}  // namespace nubrik
