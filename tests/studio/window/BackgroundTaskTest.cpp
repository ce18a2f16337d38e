// The worker the studio runs its commands on: what it leaves comes back on
// the interface thread, and destroying it stops and waits for the work.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <memory>
#include <thread>

#include "app/studio/BackgroundTask.h"

namespace {

// Long enough for a thread to start and end on a loaded machine.
constexpr int kWaitMilliseconds = 10000;

TEST(StudioBackgroundTask, TheWorkRunsApartAndItsEndComesBackOnTheInterfaceThread) {
  studio::BackgroundTask task;
  std::thread::id workThread, doneThread;
  bool done = false;
  task.Start([&](const std::atomic<int>*) { workThread = std::this_thread::get_id(); },
             [&] {
               doneThread = std::this_thread::get_id();
               done = true;
             });
  EXPECT_TRUE(task.Busy());
  QElapsedTimer timer;
  timer.start();
  while (!done && timer.elapsed() < kWaitMilliseconds) QCoreApplication::processEvents();
  ASSERT_TRUE(done);
  EXPECT_FALSE(task.Busy());
  EXPECT_NE(workThread, std::this_thread::get_id());
  EXPECT_EQ(doneThread, std::this_thread::get_id());
}

TEST(StudioBackgroundTask, DestroyingItStopsTheWorkAndWaitsForIt) {
  auto ended = std::make_shared<std::atomic<bool>>(false);
  bool done = false;
  {
    studio::BackgroundTask task;
    task.Start(
        [ended](const std::atomic<int>* stop) {
          while (stop->load() == 0) std::this_thread::yield();  // as a search polls its flag
          ended->store(true);
        },
        [&] { done = true; });
  }
  EXPECT_TRUE(ended->load()) << "the work had ended when the task was gone";
  QCoreApplication::processEvents();
  EXPECT_FALSE(done) << "nothing is reported to a window that is gone";
}

}  // namespace
