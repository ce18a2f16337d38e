#include "BackgroundTask.h"

#include <cassert>
#include <utility>

#include <QMetaObject>

namespace studio {

BackgroundTask::~BackgroundTask() {
  Stop();
  Join();
}

void BackgroundTask::Join() {
  if (thread_.joinable()) thread_.join();
}

void BackgroundTask::Start(std::function<void(const std::atomic<int>* stop)> work, std::function<void()> done) {
  assert(!busy_ && "one piece of work at a time");
  Join();  // the thread of the work reported last has ended, or is about to
  stop_.store(0);
  busy_ = true;
  thread_ = std::thread([this, work = std::move(work), done = std::move(done)]() mutable {
    work(&stop_);
    // Queued: runs on this object's thread, and not at all once it is gone.
    QMetaObject::invokeMethod(
        this,
        [this, done = std::move(done)] {
          Join();
          busy_ = false;
          done();
        },
        Qt::QueuedConnection);
  });
}

}  // namespace studio
