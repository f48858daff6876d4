#include "app/event_loop.hpp"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <system_error>
#include <utility>

namespace nubrik {

namespace {

[[noreturn]] void fail(int negativeErrno, const char* what) {
  throw std::system_error(-negativeErrno, std::generic_category(), what);
}

uint64_t microseconds(double seconds) {
  if (!(seconds > 0)) return 0;
  const double usec = std::ceil(seconds * 1e6);
  // Far enough in the future for anything the app schedules, and no overflow.
  constexpr double ceiling = 1e15;
  return static_cast<uint64_t>(usec < ceiling ? usec : ceiling);
}

}  // namespace

EventLoop::EventLoop() {
  int result = sd_event_new(out(event_));
  if (result < 0) fail(result, "sd_event_new");
  wakeFd_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wakeFd_.valid()) fail(-errno, "eventfd");
  result = sd_event_add_io(event_.get(), out(wakeSource_), wakeFd_.get(), EPOLLIN, onWakeup, this);
  if (result < 0) fail(result, "sd_event_add_io");
}

EventLoop::~EventLoop() {
  thread_ = std::this_thread::get_id();
  // Closing a connection can post more work (its invalidation), so run until nothing is left.
  for (int round = 0; round < 64 && runPosted(); ++round) {
  }
  timers_.clear();
}

void EventLoop::post(std::function<void()> work) {
  {
    std::lock_guard guard(mutex_);
    posted_.push_back(std::move(work));
  }
  const uint64_t one = 1;
  // A full counter still wakes the loop, so a failed write loses nothing.
  [[maybe_unused]] const ssize_t written = ::write(wakeFd_.get(), &one, sizeof one);
}

void EventLoop::postAfter(double seconds, std::function<void()> work) {
  if (isCurrentThread()) {
    addTimer(seconds, std::move(work));
    return;
  }
  post([this, seconds, work = std::move(work)]() mutable { addTimer(seconds, std::move(work)); });
}

bool EventLoop::isCurrentThread() const {
  return thread_.load() == std::this_thread::get_id();
}

void EventLoop::runUntil(const std::function<bool()>& done) {
  thread_ = std::this_thread::get_id();
  while (!stopped_.load() && !done()) {
    const int result = sd_event_run(event_.get(), UINT64_MAX);
    if (result < 0) fail(result, "sd_event_run");
  }
}

void EventLoop::run() {
  runUntil([] { return false; });
}

void EventLoop::stop() {
  stopped_ = true;
  post([] {});
}

void EventLoop::addTimer(double seconds, std::function<void()> work) {
  EventSourceHandle source;
  const int result = sd_event_add_time_relative(event_.get(), out(source), CLOCK_MONOTONIC,
                                                microseconds(seconds), 0, onTimer, this);
  if (result < 0) fail(result, "sd_event_add_time_relative");
  sd_event_source* const key = source.get();
  timers_.emplace(key, Timer{std::move(source), std::move(work)});
}

int EventLoop::onWakeup(sd_event_source*, int fd, uint32_t, void* userdata) {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = ::read(fd, &count, sizeof count);
  static_cast<EventLoop*>(userdata)->runPosted();
  return 0;
}

int EventLoop::onTimer(sd_event_source* source, uint64_t, void* userdata) {
  auto* loop = static_cast<EventLoop*>(userdata);
  const auto found = loop->timers_.find(source);
  if (found == loop->timers_.end()) return 0;
  std::function<void()> work = std::move(found->second.work);
  loop->timers_.erase(found);
  if (work) work();
  return 0;
}

bool EventLoop::runPosted() {
  std::vector<std::function<void()>> batch;
  {
    std::lock_guard guard(mutex_);
    batch.swap(posted_);
  }
  for (auto& work : batch) {
    if (work) work();
  }
  return !batch.empty();
}

}  // namespace nubrik
