// The application object (input queue, message processing) and the screen
// (cursor table).
#include <algorithm>
#include <array>

#include "marovia/platform/forms.h"

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
  // Only what was queued before this call: input posted by the handlers
  // waits for the next call, so a handler that posts cannot loop forever.
  const uint64_t limit = nextSerial_;
  while (!queue_.empty() && queue_.front().Serial < limit) {
    Posted p = queue_.front();
    queue_.pop_front();
    p.Window->DispatchInput(p.Event);
  }
  const std::vector<TForm*> forms = forms_;  // a handler may close a form
  for (TForm* f : forms) {
    if (std::find(forms_.begin(), forms_.end(), f) == forms_.end()) continue;
    f->HandleNeeded();
    if (f->Visible()) f->PaintInvalidated(f);
  }
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
