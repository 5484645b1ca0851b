#include "sdl_host.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "cursor_masks.h"
#include "marovia/platform/host_window.h"

namespace marovia::geoview {

namespace {

TShiftState Modifiers() {
  const SDL_Keymod mod = SDL_GetModState();
  TShiftState s;
  if (mod & KMOD_SHIFT) s.Include(ssShift);
  if (mod & KMOD_CTRL) s.Include(ssCtrl);
  if (mod & KMOD_ALT) s.Include(ssAlt);
  return s;
}

std::optional<TMouseButton> Button(Uint8 SdlButton) {
  switch (SdlButton) {
    case SDL_BUTTON_LEFT:
      return mbLeft;
    case SDL_BUTTON_RIGHT:
      return mbRight;
    case SDL_BUTTON_MIDDLE:
      return mbMiddle;
    default:
      return std::nullopt;
  }
}

// The key as the library's hosts pass it on: its virtual key code and the
// text it types (SDL's key symbol is the character of the layout).
TKeyEvent KeyEventFor(const SDL_Keysym& Key) {
  TKeyEvent k;
  if (Key.mod & KMOD_SHIFT) k.Shift.Include(ssShift);
  if (Key.mod & KMOD_CTRL) k.Shift.Include(ssCtrl);
  if (Key.mod & KMOD_ALT) k.Shift.Include(ssAlt);
  const SDL_Keycode sym = Key.sym;
  if (sym >= SDLK_a && sym <= SDLK_z) {
    k.Key = static_cast<uint16_t>('A' + (sym - SDLK_a));
  } else if (sym >= SDLK_0 && sym <= SDLK_9) {
    k.Key = static_cast<uint16_t>(sym);
  } else {
    switch (sym) {
      case SDLK_LEFT:
        k.Key = VK_LEFT;
        break;
      case SDLK_RIGHT:
        k.Key = VK_RIGHT;
        break;
      case SDLK_UP:
        k.Key = VK_UP;
        break;
      case SDLK_DOWN:
        k.Key = VK_DOWN;
        break;
      case SDLK_HOME:
        k.Key = VK_HOME;
        break;
      case SDLK_END:
        k.Key = VK_END;
        break;
      case SDLK_PAGEUP:
        k.Key = VK_PRIOR;
        break;
      case SDLK_PAGEDOWN:
        k.Key = VK_NEXT;
        break;
      case SDLK_BACKSPACE:
        k.Key = VK_BACK;
        break;
      case SDLK_RETURN:
        k.Key = VK_RETURN;
        break;
      case SDLK_ESCAPE:
        k.Key = VK_ESCAPE;
        break;
      case SDLK_KP_PLUS:
        k.Key = VK_ADD;
        break;
      case SDLK_KP_MINUS:
        k.Key = VK_SUBTRACT;
        break;
      case SDLK_PLUS:
      case SDLK_EQUALS:
        k.Key = VK_OEM_PLUS;
        break;
      case SDLK_MINUS:
        k.Key = VK_OEM_MINUS;
        break;
      case SDLK_LEFTBRACKET:
        k.Key = VK_OEM_4;
        break;
      case SDLK_RIGHTBRACKET:
        k.Key = VK_OEM_6;
        break;
      default:
        break;
    }
  }
  const bool typed = !(Key.mod & (KMOD_CTRL | KMOD_ALT));
  if (typed && sym >= 0x20 && sym < 0x7F) k.Text = std::string(1, static_cast<char>(sym));
  if (typed && sym == SDLK_KP_PLUS) k.Text = "+";
  if (typed && sym == SDLK_KP_MINUS) k.Text = "-";
  return k;
}

SDL_SystemCursor SystemCursorFor(TCursor Cursor) {
  switch (Cursor) {
    case crCross:
      return SDL_SYSTEM_CURSOR_CROSSHAIR;
    case crIBeam:
      return SDL_SYSTEM_CURSOR_IBEAM;
    case crSizeNESW:
      return SDL_SYSTEM_CURSOR_SIZENESW;
    case crSizeNS:
    case crVSplit:
      return SDL_SYSTEM_CURSOR_SIZENS;
    case crSizeNWSE:
      return SDL_SYSTEM_CURSOR_SIZENWSE;
    case crSizeWE:
    case crHSplit:
      return SDL_SYSTEM_CURSOR_SIZEWE;
    case crHourGlass:
    case crSQLWait:
      return SDL_SYSTEM_CURSOR_WAIT;
    case crAppStart:
      return SDL_SYSTEM_CURSOR_WAITARROW;
    case crNo:
    case crNoDrop:
      return SDL_SYSTEM_CURSOR_NO;
    case crHandPoint:
    case crDrag:
    case crMultiDrag:
      return SDL_SYSTEM_CURSOR_HAND;
    case crSizeAll:
      return SDL_SYSTEM_CURSOR_SIZEALL;
    default:
      return SDL_SYSTEM_CURSOR_ARROW;
  }
}

// SDL cursors made once per platform cursor and kept until the window goes.
class TCursorCache {
 public:
  ~TCursorCache() {
    for (auto& [key, cursor] : cursors_) SDL_FreeCursor(cursor);
  }
  void Show(TCursor Number) {
    const HCURSOR handle = Screen().Cursors(Number);
    const void* key = handle ? static_cast<const void*>(handle) : nullptr;
    const int16_t system = handle ? handle->SystemCursor : crArrow;
    auto it = cursors_.find({key, system});
    if (it == cursors_.end()) it = cursors_.emplace(std::pair{key, system}, Make(handle)).first;
    if (it->second && it->second != shown_) {
      SDL_SetCursor(it->second);
      shown_ = it->second;
    }
  }

 private:
  static SDL_Cursor* Make(HCURSOR Handle) {
    if (Handle && Handle->SystemCursor == 0) {
      const TSdlCursorBits bits = SdlCursorBits(*Handle);
      if (bits.Width > 0) {
        if (SDL_Cursor* c = SDL_CreateCursor(bits.Data.data(), bits.Mask.data(), bits.Width,
                                             bits.Height, bits.HotX, bits.HotY)) {
          return c;
        }
      }
    }
    const TCursor system = Handle && Handle->SystemCursor != 0 ? Handle->SystemCursor : crArrow;
    return SDL_CreateSystemCursor(SystemCursorFor(system));
  }
  std::map<std::pair<const void*, int16_t>, SDL_Cursor*> cursors_;
  SDL_Cursor* shown_ = nullptr;
};

struct TSdlSession {
  TSdlSession() { ok = SDL_Init(SDL_INIT_VIDEO) == 0; }
  ~TSdlSession() {
    if (window) SDL_DestroyWindow(window);
    if (ok) SDL_Quit();
  }
  bool ok = false;
  SDL_Window* window = nullptr;
};

// The SDL window as the form's host window.
class TSdlWindow : public THostWindow {
 public:
  TSdlWindow(SDL_Window* Window, Uint32 WakeEvent) : window_(Window), wakeEvent_(WakeEvent) {}
  void Attach(TFormHost* Host) { host_ = Host; }

  void PictureChanged() override {
    if (host_) Present(host_->Picture());
  }
  void ShowCursor(TCursor Cursor) override { cursors_.Show(Cursor); }
  void SetTitle(const std::string& Title) override { SDL_SetWindowTitle(window_, Title.c_str()); }
  void PumpAfter(std::chrono::milliseconds Delay) override {
    nextPump_ = std::chrono::steady_clock::now() + Delay;
  }
  void Wake() override {
    SDL_Event e{};
    e.type = wakeEvent_;
    SDL_PushEvent(&e);
  }
  // How long the loop may wait for events: until the next timer, at most
  // a second.
  int WaitMilliseconds() const {
    const auto now = std::chrono::steady_clock::now();
    if (nextPump_ <= now) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(nextPump_ - now).count();
    return static_cast<int>(std::min<int64_t>(ms, 1000));
  }

 private:
  // Copies the form's picture to the window.
  void Present(const TBitmap& Picture) {
    SDL_Surface* target = SDL_GetWindowSurface(window_);
    if (!target || Picture.Empty()) return;
    // Pixels are 0x00RRGGBB words, rows top-down and contiguous: SDL's
    // RGB888 exactly.
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<uint32_t*>(Picture.Bits()), Picture.Width(), Picture.Height(), 32,
        Picture.Width() * 4, SDL_PIXELFORMAT_RGB888);
    if (!source) return;
    SDL_BlitSurface(source, nullptr, target, nullptr);
    SDL_FreeSurface(source);
    SDL_UpdateWindowSurface(window_);
  }

  SDL_Window* window_;
  Uint32 wakeEvent_;
  TFormHost* host_ = nullptr;
  TCursorCache cursors_;
  std::chrono::steady_clock::time_point nextPump_ = std::chrono::steady_clock::time_point::max();
};

}  // namespace

bool RunSdlWindow(TViewer& Viewer, std::string& Error) {
  TSdlSession sdl;
  if (!sdl.ok) {
    Error = SDL_GetError();
    return false;
  }
  // Without a display SDL may fall back to a driver that draws into memory:
  // the viewer would run on with no window anyone can see or close.
  const char* driver = SDL_GetCurrentVideoDriver();
  const std::string name = driver ? driver : "";
  if (name.empty() || name == "offscreen" || name == "dummy" || name == "evdev") {
    Error = "no display to open a window on (SDL video driver '" + name +
            "'; is DISPLAY or WAYLAND_DISPLAY set?)";
    return false;
  }
  // The picture is composed in memory and only copied to the window: the
  // display's own shared-memory framebuffer does that without loading an
  // OpenGL driver (a software one on a virtual or remote display). The
  // SDL_FRAMEBUFFER_ACCELERATION variable still chooses otherwise.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  TForm& form = Viewer.Form();
  sdl.window =
      SDL_CreateWindow(Viewer.Title().c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                       form.Width(), form.Height(), SDL_WINDOW_RESIZABLE);
  if (!sdl.window) {
    Error = SDL_GetError();
    return false;
  }
  SDL_SetWindowMinimumSize(sdl.window, 320, 200);
  const Uint32 wakeEvent = SDL_RegisterEvents(1);
  TSdlWindow window(sdl.window, wakeEvent);
  TFormHost host(form, window);
  window.Attach(&host);
  bool running = true;
  host.OnKeyDown = [&](const TKeyEvent& Key) {
    if (Key.Key == 'Q' && Key.Shift.Contains(ssCtrl)) {
      running = false;
    } else if (const auto k = ViewerKeyFor(Key)) {
      Viewer.Key(*k);
    }
  };
  Viewer.OnClipboardFile = [](const std::string& File) { SDL_SetClipboardText(File.c_str()); };
  while (running) {
    SDL_Event e;
    if (SDL_WaitEventTimeout(&e, window.WaitMilliseconds())) {
      do {
        switch (e.type) {
          case SDL_QUIT:
            running = false;
            break;
          case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
              host.Resize(e.window.data1, e.window.data2);
            } else if (e.window.event == SDL_WINDOWEVENT_LEAVE) {
              host.MouseLeave();
            } else if (e.window.event == SDL_WINDOWEVENT_EXPOSED) {
              Application().NoteActivity();
            }
            break;
          case SDL_MOUSEMOTION:
            host.MouseMove(Modifiers(), e.motion.x, e.motion.y);
            break;
          case SDL_MOUSEBUTTONDOWN:
            if (const auto b = Button(e.button.button))
              host.MouseDown(*b, Modifiers(), e.button.x, e.button.y, e.button.clicks == 2);
            break;
          case SDL_MOUSEBUTTONUP:
            if (const auto b = Button(e.button.button))
              host.MouseUp(*b, Modifiers(), e.button.x, e.button.y);
            break;
          case SDL_MOUSEWHEEL: {
            int x = 0, y = 0;
            SDL_GetMouseState(&x, &y);
            int delta = e.wheel.y * 120;
            if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) delta = -delta;
            host.MouseWheel(Modifiers(), delta, x, y);
            break;
          }
          case SDL_KEYDOWN:
            host.KeyDown(KeyEventFor(e.key.keysym));
            break;
          default:
            break;
        }
      } while (running && SDL_PollEvent(&e));
    }
    // The viewer runs the message loop itself (it recovers from a map found
    // damaged there); the host then shows what changed.
    Viewer.Pump();
    TFormHost::PublishAll();
  }
  Viewer.OnClipboardFile = nullptr;
  return true;
}

}  // namespace marovia::geoview
