// Waiting on the test's own thread for work other threads queue for the
// main thread: a waker that signals a condition variable, and a loop that
// runs the queued tasks until a condition holds or time is up.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "marovia/platform/main_thread.h"

namespace marovia::test {

class MainThreadPump {
 public:
  MainThreadPump() {
    SetMainThreadWaker([this] {
      {
        std::lock_guard lock(lock_);
        woken_ = true;
      }
      wake_.notify_all();
    });
  }
  ~MainThreadPump() {
    SetMainThreadWaker(nullptr);
    CheckSynchronize();  // nothing left for the next test
  }
  MainThreadPump(const MainThreadPump&) = delete;
  MainThreadPump& operator=(const MainThreadPump&) = delete;

  // Runs queued tasks until Done answers true (checked after each batch);
  // false when Timeout passes first.
  bool Until(const std::function<bool()>& Done,
             std::chrono::milliseconds Timeout = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + Timeout;
    for (;;) {
      CheckSynchronize();
      if (Done()) return true;
      std::unique_lock lock(lock_);
      if (!wake_.wait_until(lock, end, [this] { return woken_; })) {
        lock.unlock();
        CheckSynchronize();
        return Done();
      }
      woken_ = false;
    }
  }

 private:
  std::mutex lock_;
  std::condition_variable wake_;
  bool woken_ = false;
};

}  // namespace marovia::test
