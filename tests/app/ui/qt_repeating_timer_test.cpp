#include "app/ui/qt_repeating_timer.hpp"

#include <gtest/gtest.h>

#include <QTimer>
#include <memory>
#include <string>

#include "tests/app/ui/qt_event_loop_support.hpp"

namespace nubrik {
namespace {

constexpr double interval = 0.005;

// Runs the event loop for many more intervals than a stopped timer would need to fire again.
void runWellPastFurtherFirings() {
  bool marker = false;
  QObject context;
  QTimer::singleShot(60, &context, [&] { marker = true; });
  ASSERT_TRUE(runEventLoopUntil([&] { return marker; }));
}

TEST(QtRepeatingTimerTest, FiresRepeatedlyUntilCancelledOrDestroyed) {
  enum class Stop { CancelOutside, CancelInsideFiring, DestroyInsideFiring, DestroyOutside };
  struct Case {
    std::string name;
    Stop stop;
  };
  const Case cases[] = {
      {"cancel between firings", Stop::CancelOutside},
      {"cancel from inside a firing", Stop::CancelInsideFiring},
      {"destroy from inside a firing", Stop::DestroyInsideFiring},
      {"destroy between firings", Stop::DestroyOutside},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int firings = 0;
    std::unique_ptr<RepeatingTimer> timer;
    const RepeatingTimerFactory make = qtRepeatingTimers();
    timer = make(interval, [&] {
      ++firings;
      if (firings != 3) return;
      if (c.stop == Stop::CancelInsideFiring) timer->cancel();
      if (c.stop == Stop::DestroyInsideFiring) timer.reset();
    });
    ASSERT_TRUE(runEventLoopUntil([&] { return firings >= 3; }));
    if (c.stop == Stop::CancelOutside) timer->cancel();
    if (c.stop == Stop::DestroyOutside) timer.reset();
    runWellPastFurtherFirings();
    EXPECT_EQ(firings, 3);
    timer.reset();  // a cancelled timer is destroyed quietly too
  }
}

TEST(QtRepeatingTimerTest, DestroyingATimerBeforeItsFirstFiringCancelsIt) {
  int firings = 0;
  auto timer = qtRepeatingTimer(interval, [&] { ++firings; });
  timer.reset();
  runWellPastFurtherFirings();
  EXPECT_EQ(firings, 0);
}

}  // namespace
}  // namespace nubrik
