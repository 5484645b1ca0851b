// Mouse gestures of the map control, chosen by MouseAction for the left
// button: pan (both ways, horizontal, vertical), zoom box, drag zoom,
// rubber band, selection rectangle and freehand trace; and the modal mouse
// box query.
//
// Gesture state table (press / move / release with the left button unless
// said otherwise):
//
//   gesture          state            event              action                        next
//   pan, drag zoom   idle             move, left held    anchor := pointer, TopLeft    dragging
//                    dragging         move inside        pan / zoom from the anchor     dragging
//                    dragging         move, left up      -                              idle
//                    any              release            push the view on the stack     same
//   zoom box         idle             press inside       anchor := pointer              boxing
//                    boxing           move               XOR box anchor..pointer        boxing
//                    boxing           right release      erase the box                  idle
//                    boxing           left release       zoom to the box if it has area idle
//   select rect      off              press              anchor, OnBeginRubberBand      on
//                    on               move, left held    dotted XOR box                 on
//                    on               left release       erase, OnSelectRect            off
//   rubber band      off              press              OnBeginRubberBand              on
//                    on               move               XOR line anchor..pointer       on
//                    on               Ctrl+press         OnContinueRubberBand, anchor   on
//                    on               press              erase, OnEndRubberBand         off
//   trace            -                move, left held    append a point, draw segment   -
//                    -                release            the stroke ends at the last    -
//   mouse box        awaiting press   press (not right)  corner 1                       dragging
//                    awaiting press   right press        -                              idle
//                    dragging         move               XOR box                        dragging
//                    dragging         release (right)    erase                          idle
//                    dragging         release (other)    erase, corner 2                finished
//
// Every outline is drawn on the control's own surface with a white XOR pen
// and a clear brush, so drawing it twice removes it.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "calibration/pixel_rounding.h"
#include "marovia/geomap/geomap.h"
#include "marovia/geomap/overlay_layer.h"
#include "marovia/platform/forms.h"
#include "marovia/zylmath/math1.h"

namespace marovia {

namespace {

// Restores the canvas after an XOR outline.
class XorPen {
 public:
  explicit XorPen(TCanvas& Canvas, TPenStyle Style = psSolid) : canvas_(Canvas) {
    canvas_.Pen().SetMode(pmXor);
    canvas_.Pen().SetColor(clWhite);
    canvas_.Pen().SetStyle(Style);
    canvas_.Brush().SetStyle(bsClear);
  }
  ~XorPen() {
    canvas_.Pen().SetMode(pmCopy);
    canvas_.Pen().SetStyle(psSolid);
    canvas_.Brush().SetStyle(bsSolid);
  }
  XorPen(const XorPen&) = delete;
  XorPen& operator=(const XorPen&) = delete;

 private:
  TCanvas& canvas_;
};

}  // namespace

void TGeoMap::XorBox(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, bool Dotted) {
  XorPen pen(Canvas(), Dotted ? psDot : psSolid);
  Canvas().Rectangle(X1, Y1, X2, Y2);
}

void TGeoMap::XorLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  XorPen pen(Canvas());
  Canvas().MoveTo(X1, Y1);
  Canvas().LineTo(X2, Y2);
}

// ------------------------------------------------------------ press

void TGeoMap::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  const TPoint p = ControlToMapImage(TPoint{X, Y});
  FLastMClickPosX = p.X;
  FLastMClickPosY = p.Y;
  FPressed = Button == mbLeft;
  if (FPressed) FPressAt = TPoint{X, Y};

  if (FMouseBoxState == mbsAwaitPress) {
    if (Button == mbRight) {
      FMouseBoxState = mbsIdle;
    } else {
      FMouseBoxX1 = X;
      FMouseBoxY1 = Y;
      FWindOldCornerX = X;
      FWindOldCornerY = Y;
      FMouseBoxState = mbsDragging;
    }
  }

  const bool left = Button == mbLeft;
  const bool inside = X >= 0 && X <= Width() && Y >= 0 && Y <= Height();
  if (FMouseAction == maZoomWind && FZoomState == zsIdle && left && inside) {
    FZoomState = zsDragging;
    FWindAnchorX = FWindOldCornerX = X;
    FWindAnchorY = FWindOldCornerY = Y;
  }
  if (FMouseAction == maSelectRect && left) {
    FWindAnchorX = FWindOldCornerX = X;
    FWindAnchorY = FWindOldCornerY = Y;
    FSelectRectOn = true;
    if (OnBeginRubberBand) OnBeginRubberBand(this, p);
  }
  if (FMouseAction == maRubberBand && left) {
    if (Shift.Contains(ssCtrl) && FRubberBandOn) {
      // The segment drawn so far stays; a new one starts here.
      if (OnContinueRubberBand) OnContinueRubberBand(this, p);
      FRubberBAnchorX = FRubberBandOldX = X;
      FRubberBAnchorY = FRubberBandOldY = Y;
    } else if (FRubberBandOn) {
      FRubberBandOn = false;
      XorLine(FRubberBAnchorX, FRubberBAnchorY, FRubberBandOldX, FRubberBandOldY);
      if (OnEndRubberBand) OnEndRubberBand(this, p);
    } else {
      FRubberBandOn = true;
      if (OnBeginRubberBand) OnBeginRubberBand(this, p);
      FRubberBAnchorX = FRubberBandOldX = X;
      FRubberBAnchorY = FRubberBandOldY = Y;
    }
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

// ------------------------------------------------------------ move

void TGeoMap::MouseMove(TShiftState Shift, int X, int Y) {
  const TPoint p = ControlToMapImage(TPoint{X, Y});
  FLastMMousePosX = p.X;
  FLastMMousePosY = p.Y;
  const int W = Width();
  const int H = Height();

  if (FMouseBoxState == mbsDragging) {
    X = std::clamp(X, 1, std::max(W, 1));
    Y = std::clamp(Y, 1, std::max(H, 1));
    XorBox(FMouseBoxX1, FMouseBoxY1, FWindOldCornerX, FWindOldCornerY, false);
    XorBox(FMouseBoxX1, FMouseBoxY1, X, Y, false);
    FWindOldCornerX = X;
    FWindOldCornerY = Y;
  }

  const bool leftHeld = Shift.Contains(ssLeft);
  const bool inside = X >= 0 && X <= W && Y >= 0 && Y <= H;
  switch (FMouseAction) {
    case maPan:
    case maPanHoriz:
    case maPanVert:
    case maZoomDrag:
      if (!leftHeld) {
        FLButtonWasDown = false;
      } else {
        if (!FLButtonWasDown) {
          StartDrag(X, Y);
        } else if (inside) {
          if (FMouseAction == maZoomDrag)
            ZoomFromAnchor(X, Y);
          else
            PanFromAnchor(X, Y);
        }
        FLButtonWasDown = true;
      }
      break;
    case maRubberBand:
      if (FRubberBandOn) {
        XorLine(FRubberBAnchorX, FRubberBAnchorY, FRubberBandOldX, FRubberBandOldY);
        XorLine(FRubberBAnchorX, FRubberBAnchorY, X, Y);
        FRubberBandOldX = X;
        FRubberBandOldY = Y;
      }
      break;
    case maZoomWind:
      if (FZoomState == zsDragging) {
        X = std::clamp(X, 0, W);
        Y = std::clamp(Y, 0, H);
        XorBox(FWindAnchorX, FWindAnchorY, FWindOldCornerX, FWindOldCornerY, false);
        XorBox(FWindAnchorX, FWindAnchorY, X, Y, false);
        FWindOldCornerX = X;
        FWindOldCornerY = Y;
      }
      break;
    case maSelectRect:
      if (FSelectRectOn && leftHeld) {
        X = std::clamp(X, 0, W);
        Y = std::clamp(Y, 0, H);
        XorBox(FWindAnchorX, FWindAnchorY, FWindOldCornerX, FWindOldCornerY, true);
        XorBox(FWindAnchorX, FWindAnchorY, X, Y, true);
        FWindOldCornerX = X;
        FWindOldCornerY = Y;
      }
      break;
    case maMouseTrace:
      if (FZoomState == zsIdle && leftHeld) {
        X = std::clamp(X, 0, W);
        Y = std::clamp(Y, 0, H);
        AppendTracePoint(X, Y);
      }
      break;
    default:
      break;
  }
  TCustomControl::MouseMove(Shift, X, Y);
}

void TGeoMap::StartDrag(int32_t X, int32_t Y) {
  MouseAnchorX = X;
  MouseAnchorY = Y;
  FTopLeftXAnchor = FTopLeft.X;
  FTopLeftYAnchor = FTopLeft.Y;
}

void TGeoMap::PanFromAnchor(int32_t X, int32_t Y) {
  if (FMouseAction != maPanVert)
    FTopLeft.X = SaturatedSum(RoundSaturated((MouseAnchorX - static_cast<double>(X)) / FMagnify),
                              FTopLeftXAnchor);
  if (FMouseAction != maPanHoriz)
    FTopLeft.Y = SaturatedSum(RoundSaturated((MouseAnchorY - static_cast<double>(Y)) / FMagnify),
                              FTopLeftYAnchor);
  if (FConfinePan) PanMapToFillWindow();
  Paint();
  DoZoomPanEvent();
}

void TGeoMap::ZoomFromAnchor(int32_t X, int32_t Y) {
  const double W = Width();
  const double H = Height();
  if (W <= 0 || H <= 0) return;
  const int32_t hx = RoundSaturated(W / FMagnify / 2);
  const int32_t hy = RoundSaturated(H / FMagnify / 2);
  const TPoint t = FTopLeft;
  const double factor = 1 - (0.05 * (MouseAnchorX - X) / W - (MouseAnchorY - Y) / H);
  const double mag = FMagnify * factor;
  // A factor at or below zero would turn the view inside out: the smallest
  // magnification is the nearest sensible answer.
  FMagnify = ClampedMagnification(mag);
  // Keep the image pixel at the control centre in place.
  FTopLeft.X = SaturatedSum(int64_t{hx} + t.X, -int64_t{RoundSaturated(W / FMagnify / 2)});
  FTopLeft.Y = SaturatedSum(int64_t{hy} + t.Y, -int64_t{RoundSaturated(H / FMagnify / 2)});
  Paint();
  DoZoomPanEvent();
}

void TGeoMap::AppendTracePoint(int32_t X, int32_t Y) {
  if (FNumMTrace >= kMaxTracePoints) return;
  const TPoint p = ControlToMapImage(TPoint{X, Y});
  TColoredPoint& pt = FMTrace[static_cast<size_t>(FNumMTrace)];
  pt.X = p.X;
  pt.Y = p.Y;
  pt.Color = FColorMTrace;
  pt.Flags = FMTraceInvert ? cpXorMode : 0;
  ++FNumMTrace;
  if (FNumMTrace < 2) return;
  const TColoredPoint& prev = FMTrace[static_cast<size_t>(FNumMTrace - 2)];
  if ((prev.Flags & cpStrokeEnd) != 0) return;
  const TPoint a = MapImageToControl(TPoint{RoundSaturated(prev.X), RoundSaturated(prev.Y)});
  const TPoint b = MapImageToControl(p);
  TCanvas& c = Canvas();
  c.Pen().SetColor(FColorMTrace);
  c.Pen().SetMode(FMTraceInvert ? pmXor : pmCopy);
  c.MoveTo(a.X, a.Y);
  c.LineTo(b.X, b.Y);
  c.Pen().SetMode(pmCopy);
}

// ------------------------------------------------------------ release

void TGeoMap::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);

  // A click goes to the overlay layers in the view it was made on, the
  // topmost (last added) first.
  if (Button == mbLeft && FPressed && std::abs(X - FPressAt.X) <= 2 &&
      std::abs(Y - FPressAt.Y) <= 2 && !FOverlayLayers.empty()) {
    const TLayerView view = LayerView();
    const auto layers = FOverlayLayers;
    for (auto it = layers.rbegin(); it != layers.rend(); ++it)
      if ((*it)->Visible) (*it)->Click(view, X, Y);
  }
  if (Button == mbLeft) FPressed = false;

  if (FMouseBoxState == mbsDragging) {
    XorBox(FMouseBoxX1, FMouseBoxY1, FWindOldCornerX, FWindOldCornerY, false);
    if (Button == mbRight) {
      FMouseBoxState = mbsIdle;
    } else {
      FMouseBoxX2 = X;
      FMouseBoxY2 = Y;
      FMouseBoxState = mbsFinished;
    }
  }

  const bool left = Button == mbLeft;
  if (FMouseAction == maSelectRect && left && FSelectRectOn) {
    FSelectRectOn = false;
    XorBox(FWindAnchorX, FWindAnchorY, FWindOldCornerX, FWindOldCornerY, true);
    ReportSelectRect(TPoint{FWindAnchorX, FWindAnchorY}, TPoint{X, Y});
  }

  if (FMouseAction == maZoomWind && FZoomState == zsDragging) {
    if (Button == mbRight) {
      XorBox(FWindAnchorX, FWindAnchorY, FWindOldCornerX, FWindOldCornerY, false);
      FZoomState = zsIdle;
    } else if (left) {
      XorBox(FWindAnchorX, FWindAnchorY, FWindOldCornerX, FWindOldCornerY, false);
      // The box the user saw: the release is clamped like the moves were.
      ZoomToBox(std::clamp(X, 0, Width()), std::clamp(Y, 0, Height()));
      FZoomState = zsIdle;
    }
  }

  switch (FMouseAction) {
    case maPan:
    case maPanHoriz:
    case maPanVert:
    case maZoomDrag:
      ZoomStateOnStack();
      break;
    case maMouseTrace:
      if (FNumMTrace > 0) FMTrace[static_cast<size_t>(FNumMTrace - 1)].Flags |= cpStrokeEnd;
      break;
    default:
      break;
  }
}

void TGeoMap::ReportSelectRect(TPoint AnchorCtl, TPoint ReleaseCtl) {
  const TPoint a = ControlToMapImage(AnchorCtl);
  const TPoint b = ControlToMapImage(ReleaseCtl);
  bool valid = false;
  const double lonA = CalcLongitude(a.X, a.Y, valid);
  double latA = 0, lonB = 0, latB = 0;
  if (valid) latA = CalcLatitude(a.X, a.Y, valid);
  if (valid) lonB = CalcLongitude(b.X, b.Y, valid);
  if (valid) latB = CalcLatitude(b.X, b.Y, valid);
  if (valid)
    DoSelectRectEvent(1, lonA, latA, lonB, latB);
  else
    DoSelectRectEvent(0, a.X, a.Y, b.X, b.Y);
}

void TGeoMap::ZoomToBox(int32_t X, int32_t Y) {
  // Only a box with area zooms.
  if (FWindAnchorX == FWindOldCornerX || FWindAnchorY == FWindOldCornerY) return;
  int32_t ax = FWindAnchorX, ay = FWindAnchorY;
  if (X < ax) std::swap(ax, X);
  if (Y < ay) std::swap(ay, Y);
  const TPoint A = ControlToMapImage(TPoint{ax, ay});
  const TPoint B = ControlToMapImage(TPoint{X, Y});
  if (A.X == B.X || A.Y == B.Y) return;
  const double dx = std::abs(static_cast<double>(B.X) - A.X);
  const double dy = std::abs(static_cast<double>(B.Y) - A.Y);
  const double mag = dy < dx ? Width() / dx : Height() / dy;
  FMagnify = ClampedMagnification(mag);
  FTopLeft.X =
      SaturatedSum(RoundSaturated((static_cast<double>(B.X) - A.X - Width() / FMagnify) / 2), A.X);
  FTopLeft.Y =
      SaturatedSum(RoundSaturated((static_cast<double>(B.Y) - A.Y - Height() / FMagnify) / 2), A.Y);
  Paint();
  DoZoomPanEvent();
}

// ------------------------------------------------------------ mouse box

bool TGeoMap::MouseBox(int32_t& xLo, int32_t& yLo, int32_t& xHi, int32_t& yHi) {
  const TMouseActMode saved = FMouseAction;
  FMouseAction = maNone;
  FMouseBoxState = mbsAwaitPress;
  // The control may be destroyed by a handler running inside the message
  // loop: from then on only the shared flag may be read.
  const std::shared_ptr<bool> alive = FAlive;
  for (;;) {
    if (FMouseBoxState == mbsFinished || FMouseBoxState == mbsIdle) break;
    if (Application().Terminated() || !Showing() || ParentForm() == nullptr) {
      FMouseBoxState = mbsIdle;
      break;
    }
    const bool waiting = Application().PendingInput() == 0;
    Application().ProcessMessages();
    if (!*alive) return false;
    if (waiting) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const bool done = FMouseBoxState == mbsFinished;
  if (done) {
    xLo = FMouseBoxX1;
    yLo = FMouseBoxY1;
    xHi = FMouseBoxX2;
    yHi = FMouseBoxY2;
    if (xLo > xHi) ExChange(xLo, xHi);
    if (yLo > yHi) ExChange(yLo, yHi);
  }
  FMouseBoxState = mbsIdle;
  FMouseAction = saved;
  return done;
}

void TGeoMap::MouseBoxAbort() {
  FMouseBoxState = mbsIdle;
}

}  // namespace marovia
