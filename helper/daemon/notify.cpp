#include "helper/daemon/notify.hpp"

#include <memory>
#include <mutex>

namespace nubrik {

namespace {

// Notifications come from ticks and bus requests alike; the sink is swapped under a lock and
// called outside it, so a sink may itself notify or replace the sink.
std::mutex sinkMutex;
std::shared_ptr<const NotificationSink> installedSink;

}  // namespace

void setNotificationSink(NotificationSink sink) {
  std::shared_ptr<const NotificationSink> replacement;
  if (sink) replacement = std::make_shared<const NotificationSink>(std::move(sink));
  const std::lock_guard<std::mutex> guard(sinkMutex);
  installedSink = std::move(replacement);
}

void notify(const std::string& title, const std::string& message) {
  try {
    std::shared_ptr<const NotificationSink> sink;
    {
      const std::lock_guard<std::mutex> guard(sinkMutex);
      sink = installedSink;
    }
    if (sink) (*sink)(title, message);
  } catch (...) {
    // A notification is a courtesy; its failure must never disturb the operation that sent it.
  }
}

}  // namespace nubrik
