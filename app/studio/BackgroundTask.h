// One piece of work at a time on a thread of its own, so that the window
// stays responsive: the work gets a stop flag it polls, and what it leaves
// is handed back on the interface thread. Destroying the task asks the work
// to stop and waits for it, so nothing the work uses can go first.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include <QObject>

namespace studio {

class BackgroundTask : public QObject {
 public:
  explicit BackgroundTask(QObject* parent = nullptr) : QObject(parent) {}
  ~BackgroundTask() override;
  BackgroundTask(const BackgroundTask&) = delete;
  BackgroundTask& operator=(const BackgroundTask&) = delete;

  // Runs `work` on the task's thread with the stop flag, then `done` on this
  // object's thread (unless the task was destroyed first). Only when !Busy().
  void Start(std::function<void(const std::atomic<int>* stop)> work, std::function<void()> done);
  bool Busy() const { return busy_; }
  // Asks the running work to end early; it still reports through `done`.
  void Stop() { stop_.store(1); }

 private:
  void Join();

  std::atomic<int> stop_{0};
  bool busy_ = false;
  std::thread thread_;
};

}  // namespace studio
