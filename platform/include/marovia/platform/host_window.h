// A form in a window of the host's window system (SDL, Qt, ...): the glue
// between the two, written once.
//
//   host adapter (SDL loop, QWidget)          library (TFormHost)
//   ------------------------------------      ---------------------------------
//   mouse, wheel, leave, keys, resize   --->  posted to the form (forms.h)
//   its loop wakes, calls Pump()        --->  tasks, input, timers, repaints
//   PictureChanged(): copy Picture()    <---  the form's picture changed
//   ShowCursor, SetTitle                <---  the cursor or the caption changed
//   PumpAfter(delay): come back then    <---  a timer of the form will be due
//   Wake() from any thread              <---  a worker queued a task
//
// THostWindow is what an adapter implements; TFormHost is the library's
// half. Every member of both runs on the main thread except Wake, which a
// worker's QueueOnMainThread calls (main_thread.h).
//
// Picture(): Width x Height of the form, pixels 0x00RRGGBB words, rows
// top-down and contiguous (Width words per row).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "marovia/platform/forms.h"

namespace marovia {

// Virtual key codes of the keys hosts pass on, with the host framework's
// values; a letter or digit key is its upper-case ASCII code ('A', '7').
constexpr uint16_t VK_BACK = 0x08;
constexpr uint16_t VK_TAB = 0x09;
constexpr uint16_t VK_RETURN = 0x0D;
constexpr uint16_t VK_ESCAPE = 0x1B;
constexpr uint16_t VK_SPACE = 0x20;
constexpr uint16_t VK_PRIOR = 0x21;
constexpr uint16_t VK_NEXT = 0x22;
constexpr uint16_t VK_END = 0x23;
constexpr uint16_t VK_HOME = 0x24;
constexpr uint16_t VK_LEFT = 0x25;
constexpr uint16_t VK_UP = 0x26;
constexpr uint16_t VK_RIGHT = 0x27;
constexpr uint16_t VK_DOWN = 0x28;
constexpr uint16_t VK_DELETE = 0x2E;
constexpr uint16_t VK_ADD = 0x6B;  // numeric keypad
constexpr uint16_t VK_SUBTRACT = 0x6D;
constexpr uint16_t VK_F1 = 0x70;  // F2..F12 follow
constexpr uint16_t VK_OEM_PLUS = 0xBB;
constexpr uint16_t VK_OEM_MINUS = 0xBD;
constexpr uint16_t VK_OEM_4 = 0xDB;  // '[' on a US keyboard
constexpr uint16_t VK_OEM_6 = 0xDD;  // ']'

// A key pressed: its virtual key code (0 when it has none of the above),
// the modifiers, and the text it types on the user's keyboard layout (UTF-8;
// empty for keys that type nothing or with Ctrl or Alt held), so that '+'
// is found wherever the layout puts it.
struct TKeyEvent {
  uint16_t Key = 0;
  TShiftState Shift;
  std::string Text;
};

// What a window system does for a form; implemented by each host adapter.
class THostWindow {
 public:
  virtual ~THostWindow() = default;
  // The picture changed: show TFormHost::Picture() (now, or at the
  // window system's next paint, on the main thread).
  virtual void PictureChanged() = 0;
  // The pointer's cursor (Screen().Cursors(Cursor) gives its picture);
  // called when it changes.
  virtual void ShowCursor(TCursor Cursor) = 0;
  // The window's title (UTF-8); called when it changes.
  virtual void SetTitle(const std::string& Title) = 0;
  // Call TFormHost::Pump within Delay (a timer is due then); replaces the
  // previous request. Delay is never negative.
  virtual void PumpAfter(std::chrono::milliseconds Delay) = 0;
  // Any thread: have the main thread call TFormHost::Pump soon. Called with
  // the task queue's lock held: signal the loop, nothing more.
  virtual void Wake() = 0;
};

class TFormHost {
 public:
  // Binds Form to Window until destroyed; the form takes the window's
  // size through Resize. The first host alive installs its window's Wake
  // as the main thread's waker (handed on to another host when it goes).
  TFormHost(TForm& Form, THostWindow& Window);
  ~TFormHost();
  TFormHost(const TFormHost&) = delete;
  TFormHost& operator=(const TFormHost&) = delete;

  TForm& Form() { return form_; }

  // Input, in the form's client coordinates; posted to the form and
  // delivered by the next Pump (a host calls Pump after a batch of events).
  // Shift holds the modifier keys; the form tracks the buttons.
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y, bool Double = false);
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  void MouseMove(TShiftState Shift, int X, int Y);
  // Delta in multiples of 120 per notch, positive away from the user.
  void MouseWheel(TShiftState Shift, int Delta, int X, int Y);
  void MouseLeave();
  // Handed to OnKeyDown at once.
  void KeyDown(const TKeyEvent& Key);
  // The window's client area changed size.
  void Resize(int Width, int Height);

  // Runs the message loop once (Application().ProcessMessages()), then
  // Publish. An exception out of the loop goes to OnError (raised when
  // none is assigned) after Publish.
  void Pump();
  // Tells every host alive what changed since it last heard: the picture
  // (when the application's Activity grew), the cursor, the title (the
  // form's Caption), and when to pump again for the next timer.
  static void PublishAll();
  void Publish();

  // The form's picture, composed now.
  const TBitmap& Picture() { return form_.ScreenImage(); }

  std::function<void(const TKeyEvent& Key)> OnKeyDown;
  std::function<void(const std::string& Message)> OnError;

 private:
  void PublishOne();

  TForm& form_;
  THostWindow& window_;
  uint64_t shownActivity_ = ~uint64_t{0};
  bool cursorShown_ = false;
  TCursor cursor_ = crDefault;
  bool titleShown_ = false;
  std::string title_;
  std::chrono::steady_clock::time_point askedFor_ = std::chrono::steady_clock::time_point::min();
};

}  // namespace marovia
