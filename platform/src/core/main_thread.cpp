// The main thread's task queue: a deque under one mutex. The waker runs
// under the same mutex, so that replacing it is a clean cut: no worker can
// still be inside an old waker when SetMainThreadWaker returns.
#include "marovia/platform/main_thread.h"

#include <deque>
#include <mutex>
#include <utility>

namespace marovia {

namespace {

struct TTaskQueue {
  std::mutex Lock;
  std::deque<std::function<void()>> Tasks;
  std::function<void()> Waker;
};

TTaskQueue& Queue() {
  // Never destroyed: workers may still queue during static destruction.
  static TTaskQueue* q = new TTaskQueue();
  return *q;
}

}  // namespace

void QueueOnMainThread(std::function<void()> Task) {
  if (!Task) return;
  TTaskQueue& q = Queue();
  std::lock_guard lock(q.Lock);
  q.Tasks.push_back(std::move(Task));
  if (q.Tasks.size() == 1 && q.Waker) q.Waker();
}

int CheckSynchronize() {
  TTaskQueue& q = Queue();
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard lock(q.Lock);
    batch.swap(q.Tasks);
  }
  int ran = 0;
  while (!batch.empty()) {
    std::function<void()> task = std::move(batch.front());
    batch.pop_front();
    try {
      task();
    } catch (...) {
      // The rest go back in front of anything queued meanwhile, in order.
      std::lock_guard lock(q.Lock);
      q.Tasks.insert(q.Tasks.begin(), std::make_move_iterator(batch.begin()),
                     std::make_move_iterator(batch.end()));
      if (!q.Tasks.empty() && q.Waker) q.Waker();
      throw;
    }
    ++ran;
  }
  return ran;
}

int64_t PendingMainThreadTasks() {
  TTaskQueue& q = Queue();
  std::lock_guard lock(q.Lock);
  return static_cast<int64_t>(q.Tasks.size());
}

void SetMainThreadWaker(std::function<void()> Waker) {
  TTaskQueue& q = Queue();
  std::lock_guard lock(q.Lock);
  q.Waker = std::move(Waker);
  // Tasks left by a host that went away would otherwise wait until some
  // later task finds the queue empty, which never happens while they wait.
  if (q.Waker && !q.Tasks.empty()) q.Waker();
}

}  // namespace marovia
