#include "app/event_loop.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace nubrik {
namespace {

TEST(EventLoop, WorkFromOtherThreadsAndTimersRunOnTheLoopThread) {
  EventLoop loop;
  std::vector<std::string> ran;
  bool onLoopThread = true;
  loop.postAfter(0.001, [&] { ran.push_back("delayed"); });
  std::thread poster([&] {
    for (const char* name : {"a", "b"}) {
      loop.post([&, name] {
        onLoopThread = onLoopThread && loop.isCurrentThread();
        ran.push_back(name);
      });
    }
  });
  poster.join();
  loop.runUntil([&] { return ran.size() == 3; });

  std::erase(ran, "delayed");
  EXPECT_EQ(ran, (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(onLoopThread);
}

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
