#include "app/event_loop.hpp"

#include <gtest/gtest.h>

namespace nubrik {
namespace {

// Work posted from other threads onto the loop is the integration tests' daily bread (the
// production setup and the status monitor on a private bus); this is the one case they never meet.
TEST(EventLoop, WorkLeftWhenTheLoopGoesAwayStillRuns) {
  bool ran = false;
  {
    EventLoop loop;
    loop.post([&] { loop.post([&] { ran = true; }); });
  }
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace nubrik
