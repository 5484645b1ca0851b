#include "sdl_host.h"

#include <SDL.h>

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "cursor_masks.h"

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

std::optional<TViewerKey> KeyCommand(const SDL_Keysym& Key) {
  const bool ctrl = (Key.mod & KMOD_CTRL) != 0;
  switch (Key.sym) {
    case SDLK_PLUS:
    case SDLK_EQUALS:  // + without Shift on many layouts
    case SDLK_KP_PLUS:
      return TViewerKey::ZoomIn;
    case SDLK_MINUS:
    case SDLK_KP_MINUS:
      return TViewerKey::ZoomOut;
    case SDLK_LEFT:
      return TViewerKey::PanLeft;
    case SDLK_RIGHT:
      return TViewerKey::PanRight;
    case SDLK_UP:
      return TViewerKey::PanUp;
    case SDLK_DOWN:
      return TViewerKey::PanDown;
    case SDLK_HOME:
      return TViewerKey::FitPage;
    case SDLK_BACKSPACE:
      return TViewerKey::Back;
    case SDLK_g:
      return TViewerKey::CycleGrid;
    case SDLK_l:
      return TViewerKey::ToggleLandmarks;
    case SDLK_c:
      return ctrl ? std::optional(TViewerKey::Copy) : std::nullopt;
    case SDLK_p:
      return TViewerKey::Print;
    case SDLK_s:
      return TViewerKey::Save;
    case SDLK_m:
      return TViewerKey::ToggleFollowWheel;
    case SDLK_LEFTBRACKET:
      return TViewerKey::DenserGrid;
    case SDLK_RIGHTBRACKET:
      return TViewerKey::SparserGrid;
    default:
      return std::nullopt;
  }
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

// Copies the form's picture to the window.
void Present(TViewer& Viewer, SDL_Window* Window) {
  const TBitmap& picture = Viewer.Picture();
  SDL_Surface* target = SDL_GetWindowSurface(Window);
  if (!target || picture.Empty()) return;
  // Pixels are 0x00RRGGBB words, rows top-down and contiguous: SDL's
  // RGB888 exactly.
  SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
      const_cast<uint32_t*>(picture.Bits()), picture.Width(), picture.Height(), 32,
      picture.Width() * 4, SDL_PIXELFORMAT_RGB888);
  if (!source) return;
  SDL_BlitSurface(source, nullptr, target, nullptr);
  SDL_FreeSurface(source);
  SDL_UpdateWindowSurface(Window);
}

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
  TForm& form = Viewer.Form();
  sdl.window =
      SDL_CreateWindow(Viewer.Title().c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                       form.Width(), form.Height(), SDL_WINDOW_RESIZABLE);
  if (!sdl.window) {
    Error = SDL_GetError();
    return false;
  }
  SDL_SetWindowMinimumSize(sdl.window, 320, 200);
  Viewer.OnClipboardFile = [](const std::string& File) { SDL_SetClipboardText(File.c_str()); };
  TCursorCache cursors;
  std::string title = Viewer.Title();
  std::string shownStatus;
  bool running = true;
  bool redraw = true;
  while (running) {
    SDL_Event e;
    // Waiting with a timeout lets messages on the status line expire.
    if (SDL_WaitEventTimeout(&e, 250)) {
      do {
        switch (e.type) {
          case SDL_QUIT:
            running = false;
            break;
          case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
              Viewer.Resize(e.window.data1, e.window.data2);
            } else if (e.window.event == SDL_WINDOWEVENT_LEAVE) {
              TInputEvent leave;
              leave.Kind = ikMouseLeave;
              Application().PostInput(form, leave);
            }
            break;
          case SDL_MOUSEMOTION:
            Application().PostMouseMove(form, Modifiers(), e.motion.x, e.motion.y);
            break;
          case SDL_MOUSEBUTTONDOWN:
            if (const auto b = Button(e.button.button)) {
              if (e.button.clicks == 2) {
                Application().PostDblClick(form, *b, Modifiers(), e.button.x, e.button.y);
              } else {
                Application().PostMouseDown(form, *b, Modifiers(), e.button.x, e.button.y);
              }
            }
            break;
          case SDL_MOUSEBUTTONUP:
            if (const auto b = Button(e.button.button)) {
              Application().PostMouseUp(form, *b, Modifiers(), e.button.x, e.button.y);
            }
            break;
          case SDL_MOUSEWHEEL: {
            int x = 0, y = 0;
            SDL_GetMouseState(&x, &y);
            int delta = e.wheel.y * 120;
            if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) delta = -delta;
            if (delta != 0) Application().PostMouseWheel(form, Modifiers(), delta, x, y);
            break;
          }
          case SDL_KEYDOWN:
            if (e.key.keysym.sym == SDLK_q && (e.key.keysym.mod & KMOD_CTRL)) {
              running = false;
            } else if (const auto k = KeyCommand(e.key.keysym)) {
              Viewer.Key(*k);
            }
            break;
          default:
            break;
        }
      } while (running && SDL_PollEvent(&e));
      redraw = true;
    }
    Viewer.Pump();
    if (Viewer.Title() != title) {
      title = Viewer.Title();
      SDL_SetWindowTitle(sdl.window, title.c_str());
    }
    cursors.Show(Viewer.Cursor());
    // A quiet wait may still have changed the status line: a message on it
    // expired.
    if (redraw || Viewer.StatusText() != shownStatus) {
      Present(Viewer, sdl.window);
      shownStatus = Viewer.StatusText();
    }
    redraw = false;
  }
  Viewer.OnClipboardFile = nullptr;
  return true;
}

}  // namespace marovia::geoview
