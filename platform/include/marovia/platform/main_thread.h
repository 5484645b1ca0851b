// Work handed to the main (GUI) thread by other threads.
//
// A worker (a position source, a tile loader) queues a task; the host's
// message loop runs it on the main thread inside the next
// Application().ProcessMessages(), which calls CheckSynchronize first. The
// host learns that a task is waiting through the waker it installed (a
// queued call in Qt, a user event in SDL), so a loop that sleeps until the
// next event wakes up for it at once.
//
// Order: tasks run in the order they were queued, each once. A task queued
// while CheckSynchronize runs waits for the next call, so a task that queues
// another cannot keep the loop busy forever.
//
// Threads: QueueOnMainThread may be called from any thread at any time;
// CheckSynchronize only from the main thread.
#pragma once

#include <cstdint>
#include <functional>

namespace marovia {

// Queues Task for the main thread and wakes the host when the queue was
// empty. A task that raises is reported by CheckSynchronize's caller (the
// exception passes out of ProcessMessages).
void QueueOnMainThread(std::function<void()> Task);

// Runs the tasks queued before this call; answers how many ran. When a task
// raises, the tasks after it stay queued for the next call.
int CheckSynchronize();

// Tasks waiting.
int64_t PendingMainThreadTasks();

// Installs the host's waker (null: none). It is called with the queue's lock
// held, on the thread that queued, whenever a task lands in an empty queue:
// it must only signal the host's loop (never queue, block or take the
// loop's locks). Once SetMainThreadWaker returns, the previous waker is
// never called again.
void SetMainThreadWaker(std::function<void()> Waker);

}  // namespace marovia
