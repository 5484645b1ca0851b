// The glue between forms and a host's window: tasks from other threads,
// timers, and what a host window is told after each pump.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "marovia/platform/extctrls.h"
#include "marovia/platform/host_window.h"
#include "marovia/platform/main_thread.h"

namespace marovia {
namespace {

using namespace std::chrono_literals;

TEST(MainThreadQueue, RunsTasksOfOtherThreadsInOrderAndWakesOncePerBatch) {
  std::atomic<int> wakes{0};
  SetMainThreadWaker([&] { ++wakes; });
  std::vector<int> ran;
  std::thread worker([&] {
    for (int i = 0; i < 100; ++i) QueueOnMainThread([&ran, i] { ran.push_back(i); });
  });
  worker.join();
  EXPECT_EQ(1, wakes.load());  // only the first landed in an empty queue
  EXPECT_EQ(100, CheckSynchronize());
  std::vector<int> want(100);
  for (int i = 0; i < 100; ++i) want[static_cast<std::size_t>(i)] = i;
  EXPECT_EQ(want, ran);
  // A task queued by a task waits for the next call.
  QueueOnMainThread([&] { QueueOnMainThread([&] { ran.push_back(-1); }); });
  EXPECT_EQ(1, CheckSynchronize());
  EXPECT_EQ(1, PendingMainThreadTasks());
  EXPECT_EQ(1, CheckSynchronize());
  EXPECT_EQ(-1, ran.back());
  SetMainThreadWaker(nullptr);
}

TEST(MainThreadQueue, ATaskThatRaisesLeavesTheRestQueued) {
  std::vector<int> ran;
  QueueOnMainThread([&] { ran.push_back(1); });
  QueueOnMainThread([] { throw std::runtime_error("task failed"); });
  QueueOnMainThread([&] { ran.push_back(3); });
  EXPECT_THROW(Application().ProcessMessages(), std::runtime_error);
  EXPECT_EQ(std::vector<int>{1}, ran);
  Application().ProcessMessages();
  EXPECT_EQ((std::vector<int>{1, 3}), ran);
}

// Tasks queued while no host listened (the last window closed, the next
// not yet open) must not wait for a wake that only an empty queue gives.
TEST(MainThreadQueue, AWakerInstalledWhileTasksWaitIsCalledAtOnce) {
  QueueOnMainThread([] {});
  int wakes = 0;
  SetMainThreadWaker([&] { ++wakes; });
  EXPECT_EQ(1, wakes);
  QueueOnMainThread([] {});
  EXPECT_EQ(1, wakes);  // the queue was not empty
  EXPECT_EQ(2, CheckSynchronize());
  SetMainThreadWaker(nullptr);
  SetMainThreadWaker([&] { ++wakes; });
  EXPECT_EQ(1, wakes);  // nothing waiting
  SetMainThreadWaker(nullptr);
}

TEST(Timer, FiresOnceWhenDueAndNotBefore) {
  TTimer timer(nullptr);
  int fired = 0;
  timer.OnTimer = [&](TObject*) { ++fired; };
  timer.SetInterval(30);
  const auto due = Application().NextTimerDue();
  EXPECT_GT(due, std::chrono::steady_clock::now());
  Application().ProcessMessages();
  EXPECT_EQ(0, fired);
  std::this_thread::sleep_until(due + 40ms);  // late by more than an interval
  Application().ProcessMessages();
  EXPECT_EQ(1, fired);  // once, however late
  EXPECT_GT(Application().NextTimerDue(), std::chrono::steady_clock::now());
  timer.SetEnabled(false);
  EXPECT_EQ(std::chrono::steady_clock::time_point::max(), Application().NextTimerDue());
  timer.SetEnabled(true);
  timer.SetInterval(0);  // an interval of 0 stops it
  EXPECT_EQ(std::chrono::steady_clock::time_point::max(), Application().NextTimerDue());
}

// A host window that writes down what it is told.
struct TRecordingWindow : THostWindow {
  int Pictures = 0;
  std::vector<TCursor> Cursors;
  std::vector<std::string> Titles;
  std::vector<std::chrono::milliseconds> Pumps;
  std::atomic<int> Wakes{0};
  void PictureChanged() override { ++Pictures; }
  void ShowCursor(TCursor C) override { Cursors.push_back(C); }
  void SetTitle(const std::string& T) override { Titles.push_back(T); }
  void PumpAfter(std::chrono::milliseconds D) override { Pumps.push_back(D); }
  void Wake() override { ++Wakes; }
};

TEST(FormHost, TellsTheWindowOnlyWhatChanged) {
  TForm form(nullptr);
  form.SetCaption("first");
  TControl* child = new TCustomControl(&form);
  child->SetParent(&form);
  child->SetBounds(0, 0, 50, 50);
  TRecordingWindow window;
  TFormHost host(form, window);
  host.Resize(200, 100);
  EXPECT_EQ(200, form.Width());
  host.Pump();
  EXPECT_EQ(1, window.Pictures);
  EXPECT_EQ(std::vector<std::string>{"first"}, window.Titles);
  EXPECT_EQ(std::vector<TCursor>{crDefault}, window.Cursors);
  // Nothing happened: nothing is told.
  host.Pump();
  EXPECT_EQ(1, window.Pictures);
  // Input, a caption, a cursor: each told once.
  host.MouseMove(TShiftState(), 10, 10);
  child->SetCursor(crCross);
  form.SetCaption("second");
  host.Pump();
  EXPECT_EQ(2, window.Pictures);
  EXPECT_EQ("second", window.Titles.back());
  EXPECT_EQ(crCross, window.Cursors.back());
  // A task of another thread wakes the window and is shown after the pump.
  std::thread([] { QueueOnMainThread([] {}); }).join();
  EXPECT_EQ(1, window.Wakes.load());
  host.Pump();
  EXPECT_EQ(3, window.Pictures);
  // A timer asks for a pump when it will be due.
  TTimer timer(nullptr);
  timer.SetInterval(500);
  host.Pump();
  ASSERT_FALSE(window.Pumps.empty());
  EXPECT_GT(window.Pumps.back(), 400ms);
  EXPECT_LE(window.Pumps.back(), 500ms);
}

TEST(FormHost, HandsErrorsOfTheLoopToTheHost) {
  TForm form(nullptr);
  TRecordingWindow window;
  TFormHost host(form, window);
  std::string error;
  host.OnError = [&](const std::string& M) { error = M; };
  QueueOnMainThread([] { throw std::runtime_error("worker result unusable"); });
  host.Pump();
  EXPECT_EQ("worker result unusable", error);
  // A second host does not take over waking while the first lives.
  TRecordingWindow second;
  {
    TForm other(nullptr);
    TFormHost later(other, second);
  }
  const int before = window.Wakes.load();
  std::thread([] { QueueOnMainThread([] {}); }).join();
  EXPECT_EQ(before + 1, window.Wakes.load());
  EXPECT_EQ(0, second.Wakes.load());
  CheckSynchronize();
}

}  // namespace
}  // namespace marovia
