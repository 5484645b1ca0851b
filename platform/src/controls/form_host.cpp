// TFormHost: the library's half of the glue between a form and a window.
// The hosts alive are kept in one list, so that work done for one form (a
// task from a worker, a timer) reaches every window that shows it.
#include <algorithm>
#include <exception>
#include <vector>

#include "marovia/platform/host_window.h"
#include "marovia/platform/main_thread.h"

namespace marovia {

namespace {

std::vector<TFormHost*>& Hosts() {
  static std::vector<TFormHost*> hosts;
  return hosts;
}

}  // namespace

TFormHost::TFormHost(TForm& Form, THostWindow& Window) : form_(Form), window_(Window) {
  Hosts().push_back(this);
  if (Hosts().size() == 1) SetMainThreadWaker([w = &window_] { w->Wake(); });
}

TFormHost::~TFormHost() {
  auto& hosts = Hosts();
  const bool waker = !hosts.empty() && hosts.front() == this;
  hosts.erase(std::remove(hosts.begin(), hosts.end(), this), hosts.end());
  if (waker) {
    if (hosts.empty())
      SetMainThreadWaker(nullptr);
    else
      SetMainThreadWaker([w = &hosts.front()->window_] { w->Wake(); });
  }
}

void TFormHost::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y, bool Double) {
  if (Double)
    Application().PostDblClick(form_, Button, Shift, X, Y);
  else
    Application().PostMouseDown(form_, Button, Shift, X, Y);
}

void TFormHost::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  Application().PostMouseUp(form_, Button, Shift, X, Y);
}

void TFormHost::MouseMove(TShiftState Shift, int X, int Y) {
  Application().PostMouseMove(form_, Shift, X, Y);
}

void TFormHost::MouseWheel(TShiftState Shift, int Delta, int X, int Y) {
  if (Delta != 0) Application().PostMouseWheel(form_, Shift, Delta, X, Y);
}

void TFormHost::MouseLeave() {
  TInputEvent leave;
  leave.Kind = ikMouseLeave;
  Application().PostInput(form_, leave);
}

void TFormHost::KeyDown(const TKeyEvent& Key) {
  if (OnKeyDown) OnKeyDown(Key);
  Application().NoteActivity();
}

void TFormHost::Resize(int Width, int Height) {
  if (Width == form_.Width() && Height == form_.Height()) return;
  form_.SetBounds(form_.Left(), form_.Top(), Width, Height);
  Application().NoteActivity();
}

void TFormHost::Pump() {
  std::exception_ptr error;
  try {
    Application().ProcessMessages();
  } catch (...) {
    error = std::current_exception();
  }
  PublishAll();
  if (!error) return;
  if (!OnError) std::rethrow_exception(error);
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    OnError(e.what());
  } catch (...) {
    OnError("unknown error");
  }
}

void TFormHost::PublishAll() {
  const std::vector<TFormHost*> hosts = Hosts();  // a window may close another
  for (TFormHost* h : hosts)
    if (std::find(Hosts().begin(), Hosts().end(), h) != Hosts().end()) h->PublishOne();
}

void TFormHost::Publish() {
  PublishOne();
}

void TFormHost::PublishOne() {
  const uint64_t activity = Application().Activity();
  if (activity != shownActivity_) {
    shownActivity_ = activity;
    window_.PictureChanged();
  }
  const TCursor cursor = form_.CurrentCursor();
  if (!cursorShown_ || cursor != cursor_) {
    cursorShown_ = true;
    cursor_ = cursor;
    window_.ShowCursor(cursor);
  }
  if (!titleShown_ || form_.Caption() != title_) {
    titleShown_ = true;
    title_ = form_.Caption();
    window_.SetTitle(title_);
  }
  const auto due = Application().NextTimerDue();
  if (due != std::chrono::steady_clock::time_point::max() && due != askedFor_) {
    askedFor_ = due;
    const auto now = std::chrono::steady_clock::now();
    const auto delay = due > now ? std::chrono::ceil<std::chrono::milliseconds>(due - now)
                                 : std::chrono::milliseconds(0);
    window_.PumpAfter(delay);
  }
}

}  // namespace marovia
