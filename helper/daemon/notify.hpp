#pragma once

#include <functional>
#include <string>

namespace nubrik {

// Receives the daemon's user notifications; the bus service installs one that emits them as a
// signal for the desktop application to show.
using NotificationSink = std::function<void(const std::string& title, const std::string& message)>;

// Replaces the process-wide sink; an empty one drops notifications.
void setNotificationSink(NotificationSink sink);

// Hands a user notification to the installed sink. Never fails visibly: with no sink, or when the
// sink fails, the notification is dropped.
void notify(const std::string& title, const std::string& message);

}  // namespace nubrik
