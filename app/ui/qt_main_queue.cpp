#include "app/ui/qt_main_queue.hpp"

#include <QMetaObject>
#include <QThread>
#include <QTimer>
#include <utility>

#include "app/ui/qt_interval.hpp"

namespace nubrik {

QtMainQueue::QtMainQueue() : context_(std::make_unique<QObject>()) {}

QtMainQueue::~QtMainQueue() = default;

void QtMainQueue::post(std::function<void()> work) {
  // Queued even on the GUI thread itself: posted work never runs inside its poster.
  QMetaObject::invokeMethod(context_.get(), std::move(work), Qt::QueuedConnection);
}

void QtMainQueue::postAfter(double seconds, std::function<void()> work) {
  const int ms = qtTimerMilliseconds(seconds);
  // A timer belongs to the thread that starts it, so another thread's request is carried to the
  // GUI thread first. A precise timer: a coarse one may fire a little before its time.
  QObject* context = context_.get();
  auto start = [context, ms, work = std::move(work)]() mutable {
    QTimer::singleShot(ms, Qt::PreciseTimer, context, std::move(work));
  };
  if (isCurrentThread()) {
    start();
  } else {
    // Runs only while the context lives, so the captured pointer is still good then.
    QMetaObject::invokeMethod(context, std::move(start), Qt::QueuedConnection);
  }
}

bool QtMainQueue::isCurrentThread() const {
  return QThread::currentThread() == context_->thread();
}

}  // namespace nubrik
