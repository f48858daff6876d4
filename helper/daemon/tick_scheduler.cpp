#include "helper/daemon/tick_scheduler.hpp"

#include <time.h>

#include <chrono>
#include <system_error>
#include <utility>

namespace nubrik {

namespace {

void check(int result, const char* what) {
  if (result < 0) throw std::system_error(-result, std::generic_category(), what);
}

// The wake-up need not be more precise than this; the tick itself reads the clock again.
constexpr uint64_t wakeUpAccuracyMicroseconds = 1000;

}  // namespace

std::optional<uint64_t> realtimeMicroseconds(Date date) {
  using std::chrono::microseconds;
  const auto sinceEpoch = date.time_since_epoch();
  if (sinceEpoch.count() < 0) return std::nullopt;
  auto whole = std::chrono::duration_cast<microseconds>(sinceEpoch);
  // Round up: a wake-up a fraction of a microsecond early would find the session not yet expired.
  if (whole < sinceEpoch) whole += microseconds(1);
  return static_cast<uint64_t>(whole.count());
}

TickScheduler::TickScheduler(sd_event* event, Operations operations)
    : event_(sd_event_ref(event)), operations_(std::move(operations)) {
  check(sd_event_add_defer(event_.get(), out(deferred_), &TickScheduler::onDeferred, this),
        "sd_event_add_defer");
  check(sd_event_source_set_enabled(deferred_.get(), SD_EVENT_OFF), "sd_event_source_set_enabled");
  (void)sd_event_source_set_description(deferred_.get(), "coalesced-tick");

  check(sd_event_add_time(event_.get(), out(wakeUp_), CLOCK_REALTIME, 0, wakeUpAccuracyMicroseconds,
                          &TickScheduler::onWakeUp, this),
        "sd_event_add_time");
  check(sd_event_source_set_enabled(wakeUp_.get(), SD_EVENT_OFF), "sd_event_source_set_enabled");
  (void)sd_event_source_set_description(wakeUp_.get(), "expiration-wake-up");
}

void TickScheduler::requestTick() {
  // Enabling an already enabled one-shot source is a no-op: that is the coalescing.
  (void)sd_event_source_set_enabled(deferred_.get(), SD_EVENT_ONESHOT);
}

void TickScheduler::tickNow() {
  // Whatever requested a tick happened before this one reads the state, so this tick serves it.
  (void)sd_event_source_set_enabled(deferred_.get(), SD_EVENT_OFF);
  operations_.tick();
  rearmWakeUp();
}

void TickScheduler::rearmWakeUp() {
  std::optional<Date> expiration;
  try {
    expiration = operations_.sessionExpiration();
  } catch (...) {
    expiration.reset();
  }
  // An expiration already behind us is the tick's business (a restore that has to be retried,
  // or a clock set back); arming for it would fire at once, again and again.
  std::optional<uint64_t> usec;
  if (expiration && *expiration > operations_.now()) usec = realtimeMicroseconds(*expiration);
  if (usec && sd_event_source_set_time(wakeUp_.get(), *usec) >= 0 &&
      sd_event_source_set_enabled(wakeUp_.get(), SD_EVENT_ONESHOT) >= 0) {
    armedWakeUp_ = expiration;
    return;
  }
  (void)sd_event_source_set_enabled(wakeUp_.get(), SD_EVENT_OFF);
  armedWakeUp_.reset();
}

int TickScheduler::onDeferred(sd_event_source*, void* userdata) {
  static_cast<TickScheduler*>(userdata)->tickNow();
  return 0;
}

int TickScheduler::onWakeUp(sd_event_source*, uint64_t, void* userdata) {
  auto* self = static_cast<TickScheduler*>(userdata);
  self->armedWakeUp_.reset();
  self->tickNow();
  return 0;
}

}  // namespace nubrik
