#include "app/ui/qt_main_queue.hpp"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <memory>
#include <thread>
#include <vector>

#include "tests/app/ui/qt_event_loop_support.hpp"

namespace nubrik {
namespace {

bool onGuiThread() {
  return QThread::currentThread() == QCoreApplication::instance()->thread();
}

TEST(QtMainQueueTest, WorkPostedFromAnotherThreadRunsOnTheGuiThreadInPostingOrder) {
  QtMainQueue queue;
  constexpr int count = 200;
  std::vector<int> ran;
  bool allOnGuiThread = true;
  bool workerSawOwnThread = true;
  std::thread worker([&] {
    workerSawOwnThread = queue.isCurrentThread();
    for (int i = 0; i < count; ++i) {
      queue.post([&, i] {
        allOnGuiThread = allOnGuiThread && onGuiThread() && queue.isCurrentThread();
        ran.push_back(i);
      });
    }
  });
  worker.join();
  ASSERT_TRUE(runEventLoopUntil([&] { return ran.size() == count; }));
  EXPECT_TRUE(allOnGuiThread);
  EXPECT_FALSE(workerSawOwnThread);
  for (int i = 0; i < count; ++i) ASSERT_EQ(ran[i], i);
}

TEST(QtMainQueueTest, WorkPostedOnTheGuiThreadRunsLaterNotInsideThePoster) {
  QtMainQueue queue;
  EXPECT_TRUE(queue.isCurrentThread());
  bool ran = false;
  queue.post([&] { ran = true; });
  EXPECT_FALSE(ran);
  EXPECT_TRUE(runEventLoopUntil([&] { return ran; }));
}

TEST(QtMainQueueTest, WorkStillPendingWhenTheQueueIsDestroyedNeverRuns) {
  bool ran = false;
  auto queue = std::make_unique<QtMainQueue>();
  queue->post([&] { ran = true; });
  queue->postAfter(0.01, [&] { ran = true; });
  std::thread([&] { queue->postAfter(0.01, [&] { ran = true; }); }).join();
  queue.reset();
  // Something posted later, and beyond the delays, marks when the dropped work would have run.
  QtMainQueue later;
  bool marker = false;
  later.postAfter(0.05, [&] { marker = true; });
  ASSERT_TRUE(runEventLoopUntil([&] { return marker; }));
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace nubrik
