#pragma once

#include <QEventLoop>
#include <QTimer>
#include <functional>

namespace nubrik {

// Runs the GUI thread's event loop until `done` holds, checked after each processed batch, or
// until a generous guard runs out. True when `done` held.
inline bool runEventLoopUntil(const std::function<bool()>& done, int guardMs = 10000) {
  QEventLoop loop;
  bool expired = false;
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, &loop, [&] {
    expired = true;
    loop.quit();
  });
  guard.start(guardMs);
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  poll.start(1);
  if (!done()) loop.exec();
  return done() && !expired;
}

}  // namespace nubrik
