// Top-level windows, the application object and the screen.
//
// A host program shows a TForm by reading ScreenImage(): the form's own
// surface with every showing descendant composed on top (the topmost child
// last, each clipped to its parent), plus an open drop-down list. The host
// feeds the user's input through Application().PostMouse...(), and drives
// Application().ProcessMessages() from its own loop: that runs the tasks
// other threads queued (main_thread.h), delivers the queued input, fires the
// timers that are due and repaints every invalidated control. A host that
// sleeps between events wakes up when NextTimerDue() comes.
//
// Mouse routing, per form:
//   - an open drop-down list (combo box) receives every mouse event;
//   - otherwise the control holding the capture receives it;
//   - otherwise the topmost visible, enabled control under the pointer (the
//     form itself where there is none).
//   A press on a control with csCaptureMouse captures it until all buttons
//   are released, so a drag keeps going to the control it started on even
//   outside its bounds. Coordinates are translated to the receiver's client
//   area. A left press and release on the same control with csClickEvents,
//   the release inside it, call Click (before MouseUp). A double click calls
//   DblClick and then MouseDown with ssDouble on a control with
//   csDoubleClicks, and is a plain press elsewhere. The wheel goes to the
//   control under the pointer and then up its parents until one handles it.
//   The Shift state of each event is the host's modifier keys plus the
//   buttons held (for a press including the pressed button, for a release
//   without the released one).
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "marovia/platform/controls.h"
#include "marovia/platform/resources.h"

namespace marovia {

// --------------------------------------------------------------------- input

enum TInputKind {
  ikMouseDown,
  ikMouseUp,
  ikMouseMove,
  ikMouseDblClick,
  ikMouseWheel,
  ikMouseLeave
};

// One input event of the host, in the form's client coordinates. Shift holds
// the modifier keys (ssShift, ssAlt, ssCtrl); the buttons are tracked by the
// form. Button is used by presses, releases and double clicks, WheelDelta by
// the wheel.
struct TInputEvent {
  TInputKind Kind = ikMouseMove;
  TMouseButton Button = mbLeft;
  TShiftState Shift;
  TPoint Pos;
  int WheelDelta = 0;
};

// ---------------------------------------------------------------------- TForm

// A top-level window. Its Left and Top are its position on the host's screen.
class TForm : public TCustomControl {
 public:
  explicit TForm(TComponent* AOwner);
  ~TForm() override;
  std::string ClassName() const override { return "TForm"; }

  // The window as the user sees it, composed now (Width x Height).
  const TBitmap& ScreenImage();

  // Routes one input event at once (ProcessMessages calls this for queued
  // events).
  void DispatchInput(const TInputEvent& Event);

  // The control that receives mouse input regardless of the pointer, or
  // nullptr.
  TControl* CaptureControl() const { return capture_; }
  void SetCaptureControl(TControl* Control);
  // The control under the pointer at the last mouse event (hover), or nullptr.
  TControl* HoverControl() const { return hover_; }
  // The cursor to show: Screen().Cursor() when it is not crDefault, else the
  // first non-default Cursor of the capturing or hovered control and its
  // parents, else crDefault.
  TCursor CurrentCursor() const;

  // A control's drop-down part opens (the control receives all mouse events
  // until it closes it) and closes.
  void OpenPopup(TControl* Owner);
  void ClosePopup(TControl* Owner);
  TControl* PopupOwner() const { return popup_; }

  TNotifyEvent OnPaint;

 protected:
  void Paint() override;

 private:
  friend class TControl;
  friend class TWinControl;
  friend class TApplication;
  // Forgets every reference to C or its descendants (capture, hover,
  // popup, pending click, the receiver of the event being dispatched). A
  // control that stays alive (hidden, disabled, moved away) and was hovered
  // is told MouseLeave.
  void ForgetControl(const TControl* C, bool Destroying);
  TControl* TargetAt(TPoint P);
  TShiftState ButtonsShift() const;
  void SetHover(TControl* C);
  void ComposeChildren(TWinControl* Parent, TPoint Origin, const TRect& Clip);
  void PaintInvalidated(TWinControl* Parent);

  TControl* capture_ = nullptr;
  TControl* hover_ = nullptr;
  TControl* popup_ = nullptr;
  TControl* receiver_ = nullptr;     // receiver of the event being dispatched
  TControl* clickTarget_ = nullptr;  // pressed with the left button, click pending
  bool leftDown_ = false;
  bool rightDown_ = false;
  bool middleDown_ = false;
  TPoint lastPos_;
  TBitmap screen_;
  TBitmap popupSurface_;
};

class TTimer;

// ---------------------------------------------------------------- TApplication

class TApplication : public TComponent {
 public:
  TApplication();
  std::string ClassName() const override { return "TApplication"; }

  // Queues input for Window (delivered by the next ProcessMessages).
  void PostInput(TForm& Window, const TInputEvent& Event);
  void PostMouseDown(TForm& Window, TMouseButton Button, TShiftState Shift, int X, int Y);
  void PostMouseUp(TForm& Window, TMouseButton Button, TShiftState Shift, int X, int Y);
  void PostMouseMove(TForm& Window, TShiftState Shift, int X, int Y);
  void PostDblClick(TForm& Window, TMouseButton Button, TShiftState Shift, int X, int Y);
  void PostMouseWheel(TForm& Window, TShiftState Shift, int WheelDelta, int X, int Y);
  int PendingInput() const { return static_cast<int>(queue_.size()); }

  // Calls OnMessagePump (so a host can post what its system delivered),
  // runs the tasks queued for the main thread (CheckSynchronize), delivers
  // the input queued before this call in order, fires every enabled timer
  // that is due (once, however late), gives every windowed control on a
  // form its handle, and repaints every invalidated, showing control of
  // every form. An exception of a task, an input handler or a timer passes
  // out; what was not done yet waits for the next call.
  void ProcessMessages();

  // When the earliest enabled timer is due; the time_point's maximum when
  // none runs.
  std::chrono::steady_clock::time_point NextTimerDue() const;
  // A count that grows whenever ProcessMessages did something that may have
  // changed what a form shows (ran a task, delivered input, fired a timer,
  // repainted a control). A host compares it with the value it last
  // presented to know whether to copy the picture again.
  uint64_t Activity() const { return activity_; }
  // Raises the count: the host changed a control directly (outside
  // ProcessMessages).
  void NoteActivity() { ++activity_; }

  // Called at the start of every ProcessMessages.
  std::function<void()> OnMessagePump;

  const std::vector<TForm*>& Forms() const { return forms_; }

  bool Terminated() const { return terminated_; }
  void Terminate() { terminated_ = true; }

 private:
  friend class TForm;
  friend class TTimer;
  void AddForm(TForm* F);
  void RemoveForm(TForm* F);
  void AddTimer(TTimer* T);
  void RemoveTimer(TTimer* T);
  // Fires the timers due now; answers whether any fired.
  bool FireDueTimers();
  std::vector<TTimer*> timers_;
  uint64_t activity_ = 0;
  struct Posted {
    TForm* Window;
    TInputEvent Event;
    uint64_t Serial;
  };
  uint64_t nextSerial_ = 0;
  std::deque<Posted> queue_;
  std::vector<TForm*> forms_;
  bool terminated_ = false;
};

// The application object of the process.
TApplication& Application();

// --------------------------------------------------------------------- TScreen

class TScreen : public TComponent {
 public:
  TScreen();
  std::string ClassName() const override { return "TScreen"; }

  // The cursor table. The system cursors (crFirstSystemCursor..crArrow)
  // are preset; Cursors of a number without an entry answers the default
  // cursor. SetCursors with nullptr removes an entry (a system cursor gets
  // its preset back).
  HCURSOR Cursors(int Index) const;
  void SetCursors(int Index, HCURSOR Handle);

  // A cursor shown everywhere, overriding the controls' own; crDefault to
  // let the controls decide.
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor Value) { cursor_ = Value; }

  // Size of the host's screen in pixels (for placing windows); a host sets
  // its own.
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetSize(int AWidth, int AHeight);

 private:
  std::map<int, HCURSOR> cursors_;
  TCursor cursor_ = crDefault;
  int width_ = 1920;
  int height_ = 1080;
};

// The screen object of the process.
TScreen& Screen();

// The handle of a system cursor (crFirstSystemCursor..crArrow, and
// crDefault for the arrow); nullptr for other numbers. Such a handle carries
// no picture: SystemCursor names the system cursor a host should show.
HCURSOR SystemCursorHandle(TCursor Cursor);

}  // namespace marovia
