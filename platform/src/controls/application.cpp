// The application object (input queue, message processing) and the screen
// (cursor table).
#include <algorithm>
#include <array>

#include "marovia/platform/extctrls.h"
#include "marovia/platform/forms.h"
#include "marovia/platform/main_thread.h"

namespace marovia {

// ---------------------------------------------------------------- TApplication

TApplication::TApplication() : TComponent(nullptr) {}

TApplication& Application() {
  // Never destroyed: forms may outlive static destruction order.
  static TApplication* app = new TApplication();
  return *app;
}

void TApplication::AddForm(TForm* F) {
  forms_.push_back(F);
}

void TApplication::RemoveForm(TForm* F) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), F), forms_.end());
  queue_.erase(
      std::remove_if(queue_.begin(), queue_.end(), [F](const Posted& p) { return p.Window == F; }),
      queue_.end());
}

void TApplication::PostInput(TForm& Window, const TInputEvent& Event) {
  queue_.push_back(Posted{&Window, Event, nextSerial_++});
}

void TApplication::PostMouseDown(TForm& Window, TMouseButton Button, TShiftState Shift, int X,
                                 int Y) {
  PostInput(Window, TInputEvent{ikMouseDown, Button, Shift, TPoint{X, Y}, 0});
}

void TApplication::PostMouseUp(TForm& Window, TMouseButton Button, TShiftState Shift, int X,
                               int Y) {
  PostInput(Window, TInputEvent{ikMouseUp, Button, Shift, TPoint{X, Y}, 0});
}

void TApplication::PostMouseMove(TForm& Window, TShiftState Shift, int X, int Y) {
  PostInput(Window, TInputEvent{ikMouseMove, mbLeft, Shift, TPoint{X, Y}, 0});
}

void TApplication::PostDblClick(TForm& Window, TMouseButton Button, TShiftState Shift, int X,
                                int Y) {
  PostInput(Window, TInputEvent{ikMouseDblClick, Button, Shift, TPoint{X, Y}, 0});
}

void TApplication::PostMouseWheel(TForm& Window, TShiftState Shift, int WheelDelta, int X, int Y) {
  PostInput(Window, TInputEvent{ikMouseWheel, mbLeft, Shift, TPoint{X, Y}, WheelDelta});
}

void TApplication::ProcessMessages() {
  if (OnMessagePump) OnMessagePump();
  if (CheckSynchronize() > 0) ++activity_;
  // Only what was queued before this call: input posted by the handlers
  // waits for the next call, so a handler that posts cannot loop forever.
  const uint64_t limit = nextSerial_;
  while (!queue_.empty() && queue_.front().Serial < limit) {
    Posted p = queue_.front();
    queue_.pop_front();
    ++activity_;
    p.Window->DispatchInput(p.Event);
  }
  if (FireDueTimers()) ++activity_;
  const std::vector<TForm*> forms = forms_;  // a handler may close a form
  for (TForm* f : forms) {
    if (std::find(forms_.begin(), forms_.end(), f) == forms_.end()) continue;
    f->HandleNeeded();
    if (f->Visible()) f->PaintInvalidated(f);
  }
}

void TApplication::AddTimer(TTimer* T) {
  if (std::find(timers_.begin(), timers_.end(), T) == timers_.end()) timers_.push_back(T);
}

void TApplication::RemoveTimer(TTimer* T) {
  timers_.erase(std::remove(timers_.begin(), timers_.end(), T), timers_.end());
}

std::chrono::steady_clock::time_point TApplication::NextTimerDue() const {
  auto due = std::chrono::steady_clock::time_point::max();
  for (const TTimer* t : timers_) due = std::min(due, t->due_);
  return due;
}

bool TApplication::FireDueTimers() {
  const auto now = std::chrono::steady_clock::now();
  // Copy: a handler may free or start timers. Each due timer fires once and
  // its next time counts from now, so a late loop does not fire a burst.
  const std::vector<TTimer*> due = [&] {
    std::vector<TTimer*> v;
    for (TTimer* t : timers_)
      if (t->due_ <= now) v.push_back(t);
    return v;
  }();
  bool fired = false;
  for (TTimer* t : due) {
    if (std::find(timers_.begin(), timers_.end(), t) == timers_.end()) continue;
    t->due_ = now + std::chrono::milliseconds(t->Interval());
    fired = true;
    if (t->OnTimer) t->OnTimer(t);
  }
  return fired;
}

// --------------------------------------------------------------------- TScreen

namespace {

constexpr int kSystemCursors = -crFirstSystemCursor;  // numbers -1 .. -22

const std::array<TCursorImage, kSystemCursors>& SystemCursors() {
  static const std::array<TCursorImage, kSystemCursors> table = [] {
    static const char* const names[kSystemCursors] = {
        "crNone",     "crArrow",    "crCross",     "crIBeam",     "crSize",      "crSizeNESW",
        "crSizeNS",   "crSizeNWSE", "crSizeWE",    "crUpArrow",   "crHourGlass", "crDrag",
        "crNoDrop",   "crHSplit",   "crVSplit",    "crMultiDrag", "crSQLWait",   "crNo",
        "crAppStart", "crHelp",     "crHandPoint", "crSizeAll"};
    std::array<TCursorImage, kSystemCursors> t;
    for (int i = 0; i < kSystemCursors; ++i) {
      t[static_cast<size_t>(i)].Name = names[i];
      t[static_cast<size_t>(i)].SystemCursor = static_cast<int16_t>(-(i + 1));
    }
    return t;
  }();
  return table;
}

}  // namespace

HCURSOR SystemCursorHandle(TCursor Cursor) {
  if (Cursor == crDefault) Cursor = crArrow;
  if (Cursor > crDefault || Cursor < crFirstSystemCursor) return nullptr;
  return &SystemCursors()[static_cast<size_t>(-Cursor - 1)];
}

TScreen::TScreen() : TComponent(nullptr) {
  for (int i = crFirstSystemCursor; i <= crNone; ++i)
    cursors_[i] = SystemCursorHandle(static_cast<TCursor>(i));
}

TScreen& Screen() {
  static TScreen* screen = new TScreen();
  return *screen;
}

HCURSOR TScreen::Cursors(int Index) const {
  auto it = cursors_.find(Index);
  if (it != cursors_.end()) return it->second;
  return SystemCursorHandle(crArrow);
}

void TScreen::SetCursors(int Index, HCURSOR Handle) {
  const bool system = Index >= crFirstSystemCursor && Index <= crNone;
  if (Handle == nullptr) {
    if (system)
      cursors_[Index] = SystemCursorHandle(static_cast<TCursor>(Index));
    else
      cursors_.erase(Index);
    return;
  }
  cursors_[Index] = Handle;
}

void TScreen::SetSize(int AWidth, int AHeight) {
  width_ = std::max(AWidth, 0);
  height_ = std::max(AHeight, 0);
}

}  // namespace marovia
