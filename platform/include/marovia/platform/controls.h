// Controls of the host framework: the control hierarchy, bounds and
// alignment, painting on an off-screen surface, and mouse input.
//
// The model in brief:
//   - Every control owns a surface, a bitmap of exactly its size; Canvas()
//     draws on it. Paint() (virtual) draws the whole control. Invalidate()
//     only marks the control; the next Application().ProcessMessages()
//     repaints every marked control that is showing. Drawing on Canvas()
//     outside Paint (rubber bands, XOR boxes) changes the surface directly
//     and stays until the next repaint, like drawing on a window.
//   - Parent/child: SetParent inserts a control into the parent's child list
//     (the last child is the topmost). Coordinates (Left, Top) are relative
//     to the parent's client area. Parents never delete their children:
//     lifetime follows the owner (TComponent); a destroyed parent detaches
//     its children, a destroyed child leaves its parent.
//   - A top-level window (TForm, forms.h) composes its own surface and those
//     of all showing descendants into the picture a host shows, and routes
//     the host's mouse input to the control under the pointer.
//   - Handles: a windowed control gets its handle (HandleAllocated) once it
//     sits on a form and the application processes messages, or when
//     HandleNeeded is called; CreateWnd (virtual) runs once at that moment,
//     after construction, so overrides see the finished object.
//
// Section index: small sets and enumerations; events; TControl;
// TWinControl, TGraphicControl, TCustomControl; drawing helpers.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "marovia/platform/classes.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/sysutils.h"
#include "marovia/platform/types.h"

namespace marovia {

class TWinControl;
class TForm;

// ------------------------------------------------ small sets and enumerations

// A set over an enumeration of at most 32 values, as the framework's small
// Pascal sets: Contains, union (+), difference (-), intersection (*).
template <typename E>
class TSmallSet {
 public:
  constexpr TSmallSet() = default;
  constexpr TSmallSet(E Item) : bits_(Bit(Item)) {}  // NOLINT: a lone value is a set
  constexpr TSmallSet(std::initializer_list<E> Items) {
    for (E e : Items) bits_ |= Bit(e);
  }
  constexpr bool Contains(E Item) const { return (bits_ & Bit(Item)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr TSmallSet& Include(E Item) {
    bits_ |= Bit(Item);
    return *this;
  }
  constexpr TSmallSet& Exclude(E Item) {
    bits_ &= ~Bit(Item);
    return *this;
  }
  constexpr uint32_t Bits() const { return bits_; }
  static constexpr TSmallSet FromBits(uint32_t Bits) {
    TSmallSet s;
    s.bits_ = Bits;
    return s;
  }
  friend constexpr TSmallSet operator+(TSmallSet A, TSmallSet B) {
    return FromBits(A.bits_ | B.bits_);
  }
  friend constexpr TSmallSet operator-(TSmallSet A, TSmallSet B) {
    return FromBits(A.bits_ & ~B.bits_);
  }
  friend constexpr TSmallSet operator*(TSmallSet A, TSmallSet B) {
    return FromBits(A.bits_ & B.bits_);
  }
  friend constexpr bool operator==(TSmallSet A, TSmallSet B) { return A.bits_ == B.bits_; }

 private:
  static constexpr uint32_t Bit(E Item) { return uint32_t{1} << static_cast<unsigned>(Item); }
  uint32_t bits_ = 0;
};

enum TMouseButton { mbLeft, mbRight, mbMiddle };

// Keys and buttons held during a mouse event; ssDouble marks the second
// press of a double click.
enum TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSmallSet<TShiftStateItem>;

// Control style flags, in the framework's bit order (csAcceptsControls is
// bit 0, csFramed bit 4, csSetCaption bit 5, csOpaque bit 6).
enum TControlStyleItem {
  csAcceptsControls,
  csCaptureMouse,
  csDesignInteractive,
  csClickEvents,
  csFramed,
  csSetCaption,
  csOpaque,
  csDoubleClicks,
  csFixedWidth,
  csFixedHeight,
  csNoDesignVisible,
  csReplicatable,
  csNoStdEvents,
  csDisplayDragImage,
  csReflector,
  csActionClient,
  csMenuEvents,
  csNeedsBorderPaint,
  csParentBackground,
  csPannable,
  csAlignWithMargins,
  csGestures,
  csPaintBlackOpaqueOnGlass,
  csOverrideStylePaint,
  csNeedsDesignDisabledState
};
using TControlStyle = TSmallSet<TControlStyleItem>;

// How a control sits in its parent's client area. Aligned controls are laid
// out in this order: alTop (top to bottom), alBottom (bottom to top), alLeft,
// alRight, then alClient filling what is left; within one kind by their
// current position, then by child order.
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };

// Which parts of a control follow the application's visual style. Kept for
// code and forms that set it; this framework draws every control the same.
enum TStyleElement { seFont, seClient, seBorder };
using TStyleElements = TSmallSet<TStyleElement>;

// Horizontal text alignment.
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// Mouse cursor number: negative numbers are the system cursors, 0 the
// default (the parent's, finally the arrow), positive numbers are free for
// the application (Screen().SetCursors).
using TCursor = int16_t;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crUpArrow = -10;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crDrag = -12;
constexpr TCursor crNoDrop = -13;
constexpr TCursor crHSplit = -14;
constexpr TCursor crVSplit = -15;
constexpr TCursor crMultiDrag = -16;
constexpr TCursor crSQLWait = -17;
constexpr TCursor crNo = -18;
constexpr TCursor crAppStart = -19;
constexpr TCursor crHelp = -20;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;
constexpr TCursor crSize = crSizeAll;
constexpr TCursor crFirstSystemCursor = crSizeAll;

// ------------------------------------------------------------------- events

// X, Y in the control's client coordinates.
using TMouseEvent =
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
// MousePos in screen coordinates; set Handled to stop the wheel message here.
using TMouseWheelEvent = std::function<void(TObject* Sender, TShiftState Shift, int WheelDelta,
                                            TPoint MousePos, bool& Handled)>;

// ----------------------------------------------------------------- TControl

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;
  std::string ClassName() const override { return "TControl"; }

  // Parent ------------------------------------------------------------------
  TWinControl* Parent() const { return parent_; }
  // Moves the control into AParent's child list (as topmost child), or out
  // of any list with nullptr. Raises EInvalidOperation when AParent is the
  // control itself or one of its descendants.
  virtual void SetParent(TWinControl* AParent);
  // The top-level window this control is on, or nullptr.
  TForm* ParentForm() const;

  // Bounds ------------------------------------------------------------------
  // In pixels, relative to the parent's client area. Negative sizes count
  // as 0. Changing the size resizes the surface (keeping the top-left
  // pixels), invalidates the control, realigns its children and fires
  // OnResize; an aligned control also makes its parent realign. The
  // parent's layout sets its children's bounds through SetBounds too.
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int Value) { SetBounds(Value, top_, width_, height_); }
  void SetTop(int Value) { SetBounds(left_, Value, width_, height_); }
  void SetWidth(int Value) { SetBounds(left_, top_, Value, height_); }
  void SetHeight(int Value) { SetBounds(left_, top_, width_, Value); }
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  TRect BoundsRect() const { return Rect(left_, top_, left_ + width_, top_ + height_); }
  void SetBoundsRect(const TRect& R) { SetBounds(R.Left, R.Top, R.Width(), R.Height()); }
  // The client area, origin (0, 0); the whole control here.
  virtual TRect ClientRect() const { return Rect(0, 0, width_, height_); }
  int ClientWidth() const { return ClientRect().Width(); }
  int ClientHeight() const { return ClientRect().Height(); }
  void SetClientWidth(int Value) { SetWidth(Value); }
  void SetClientHeight(int Value) { SetHeight(Value); }
  // Client point <-> screen point. The screen is the host's: a form's Left
  // and Top are its position on it.
  TPoint ClientToScreen(const TPoint& P) const;
  TPoint ScreenToClient(const TPoint& P) const;
  // Position of the client origin in the coordinates of the top-level
  // ancestor's client area.
  TPoint OriginInTopLevel() const;

  TAlign Align() const { return align_; }
  void SetAlign(TAlign Value);

  // State -------------------------------------------------------------------
  bool Visible() const { return visible_; }
  void SetVisible(bool Value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible, and so are all ancestors.
  bool Showing() const;
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool Value);
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor Value) { cursor_ = Value; }
  const TStyleElements& StyleElements() const { return styleElements_; }
  void SetStyleElements(const TStyleElements& Value) { styleElements_ = Value; }
  const TControlStyle& ControlStyle() const { return style_; }
  void SetControlStyle(const TControlStyle& Value) { style_ = Value; }
  TColor Color() const { return color_; }
  void SetColor(TColor Value);
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& Value);
  TFont& Font() { return font_; }
  const TFont& Font() const { return font_; }
  void SetFont(const TFont& Value);

  // Painting ------------------------------------------------------------------
  // The surface the control is drawn on (Width x Height) and its canvas.
  const TBitmap& Surface() const { return surface_; }
  TCanvas& Canvas() { return surface_.Canvas(); }
  // Draws the control on Canvas(). The default draws nothing.
  virtual void Paint() {}
  // Marks the control for repainting at the next ProcessMessages.
  void Invalidate();
  bool Invalidated() const { return invalid_; }
  // Repaints now if the control is marked and showing.
  void Update();
  // Marks and repaints now.
  void Repaint();
  void Refresh() { Repaint(); }

  // Mouse ---------------------------------------------------------------------
  // The input entry points, called by the window's routing with client
  // coordinates; a host or test may call them to simulate input. Each fires
  // the matching event; overrides call the inherited method to keep it.
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void Click();
  virtual void DblClick();
  // Fires OnMouseWheel; answers whether the wheel was handled. MousePos in
  // screen coordinates; WheelDelta in multiples of 120, positive away from
  // the user.
  virtual bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos);
  // The pointer entered or left the control (no capture active).
  virtual void MouseEnter();
  virtual void MouseLeave();
  // Whether the window routes every mouse event to this control. Setting it
  // needs the control to be on a form; otherwise it is ignored.
  bool MouseCapture() const;
  void SetMouseCapture(bool Value);

  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TMouseWheelEvent OnMouseWheel;
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnResize;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

 protected:
  // Fires OnResize; called after every size change.
  virtual void Resize();
  // Paints the control now: prepares the canvas (font, brush colour, and the
  // background in Color unless csOpaque), then Paint.
  virtual void PaintControl();
  // A drop-down part drawn above everything else while it is open, in
  // client coordinates of this control (combo box lists). Empty: none.
  virtual TRect PopupRect() const { return TRect{}; }
  virtual void PaintPopup(TCanvas& /*ACanvas*/) {}
  // The control under P among this control's children (client coordinates),
  // or nullptr. Only windowed controls have children.
  virtual TControl* ControlAtPoint(TPoint /*P*/) { return nullptr; }

 private:
  friend class TWinControl;
  friend class TForm;

  TWinControl* parent_ = nullptr;
  int left_ = 0;
  int top_ = 0;
  int width_ = 0;
  int height_ = 0;
  TAlign align_ = alNone;
  bool visible_ = true;
  bool enabled_ = true;
  bool invalid_ = true;
  TCursor cursor_ = crDefault;
  TControlStyle style_{csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
  TStyleElements styleElements_{seFont, seClient, seBorder};
  TColor color_ = clBtnFace;
  std::string caption_;
  TFont font_;
  TBitmap surface_;
};

// ------------------------------------- TWinControl, TGraphicControl, TCustomControl

// A control that can hold child controls and has a handle.
class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;
  std::string ClassName() const override { return "TWinControl"; }

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  // Child i, 0-based, bottom to top. EListError-like ERangeError outside.
  TControl* Controls(int Index) const;
  bool ContainsControl(const TControl* Control) const;

  // Lays the aligned children out in the client area (see TAlign).
  void Realign();
  // Suspends and resumes layout; the last EnableAlign realigns.
  void DisableAlign();
  void EnableAlign();

  bool HandleAllocated() const { return handle_; }
  // Allocates the handle of this control (and of its windowed ancestors and
  // descendants) if missing, calling CreateWnd once for each.
  void HandleNeeded();

  // The topmost visible, enabled child under P (client coordinates),
  // searched down through windowed children; nullptr if none.
  TControl* ControlAtPoint(TPoint P) override;

 protected:
  // Called once, when the control gets its handle. Overrides call the
  // inherited method first.
  virtual void CreateWnd() {}
  // Shrinks R (the client rectangle) to the area children are aligned in.
  virtual void AdjustClientRect(TRect& /*R*/) const {}
  // Lays out the aligned children inside R.
  virtual void AlignControls(TRect R);

 private:
  friend class TControl;
  friend class TForm;
  void InsertControl(TControl* C);
  void RemoveControl(TControl* C);
  void CreateHandleTree();

  std::vector<TControl*> controls_;
  bool handle_ = false;
  bool aligning_ = false;
  int alignDisabled_ = 0;
  bool alignPending_ = false;
};

// A control without children of its own (speed buttons, labels).
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* AOwner) : TControl(AOwner) {}
  std::string ClassName() const override { return "TGraphicControl"; }
};

// A windowed control that paints itself: the base of the map and atlas
// controls and the panel.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* AOwner) : TWinControl(AOwner) {}
  std::string ClassName() const override { return "TCustomControl"; }
};

// Raised for an impossible operation on a control (parenting a control to
// itself or a descendant).
class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};

// ------------------------------------------------------------ drawing helpers

// Draws a 3-D frame of Width pixels inside Rect: TopColor on the top and
// left edges, BottomColor on the bottom and right edges; Rect shrinks by the
// frame (right and bottom edges of Rect are excluded, as everywhere).
void Frame3D(TCanvas& Canvas, TRect& Rect, TColor TopColor, TColor BottomColor, int Width);

}  // namespace marovia
