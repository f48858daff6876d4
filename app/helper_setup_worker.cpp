#include "app/helper_setup_worker.hpp"

#include <sys/eventfd.h>

#include <cerrno>
#include <cstdint>
#include <exception>
#include <system_error>
#include <utility>

namespace nubrik {

SerialWorker::SerialWorker() : stopFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (!stopFd_.valid()) throw std::system_error(errno, std::generic_category(), "eventfd");
  thread_ = std::thread([this] { run(); });
}

SerialWorker::~SerialWorker() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    jobs_.clear();
  }
  wake_.notify_all();
  const std::uint64_t one = 1;
  (void)!::write(stopFd_.get(), &one, sizeof one);
  thread_.join();
}

void SerialWorker::post(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void SerialWorker::run() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    try {
      job();
    } catch (const std::exception&) {
      // A job reports its own failures; one that escapes must not end the thread.
    }
  }
}

}  // namespace nubrik
