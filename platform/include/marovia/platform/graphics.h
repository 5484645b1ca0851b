// Colours, pens, brushes, fonts, graphics, bitmaps and the canvas.
//
// Pixel rules follow the classic GDI conventions that drawing code written
// for Windows relies on:
//   - rectangles are half-open: the right and bottom edges are excluded;
//   - LineTo draws from the pen position up to, but not including, the end
//     point, and then moves the pen there;
//   - Rectangle, Ellipse and Polygon outline with the pen and fill the inside
//     with the brush unless the brush is clear;
//   - everything clips to the surface (and to the canvas's clip rectangle), so
//     coordinates far outside the surface cost only the visible pixels.
//
// Section index: colours; pens, brushes, fonts; graphics and bitmaps; canvas.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "marovia/platform/classes.h"
#include "marovia/platform/fonts.h"
#include "marovia/platform/types.h"

namespace marovia {

class TStream;
class TCanvas;

// ---------------------------------------------------------------- colours

// TColor (types.h): red in the lowest byte, green in the second, blue in
// the third. Negative values (high bit set) name system colours, resolved by
// ColorToRGB.

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clLtGray = 0xC0C0C0;
constexpr TColor clDkGray = 0x808080;
constexpr TColor clMoneyGreen = 0xC0DCC0;
constexpr TColor clSkyBlue = 0xF0CAA6;
constexpr TColor clCream = 0xF0FBFF;
constexpr TColor clMedGray = 0xA4A0A0;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// System colours: 0x80000000 | index. ColorToRGB gives each a fixed RGB.
constexpr TColor SystemColor(int Index) {
  return static_cast<TColor>(0x80000000u | static_cast<uint32_t>(Index));
}
constexpr TColor clScrollBar = SystemColor(0);
constexpr TColor clBackground = SystemColor(1);
constexpr TColor clActiveCaption = SystemColor(2);
constexpr TColor clInactiveCaption = SystemColor(3);
constexpr TColor clMenu = SystemColor(4);
constexpr TColor clWindow = SystemColor(5);
constexpr TColor clWindowFrame = SystemColor(6);
constexpr TColor clMenuText = SystemColor(7);
constexpr TColor clWindowText = SystemColor(8);
constexpr TColor clCaptionText = SystemColor(9);
constexpr TColor clActiveBorder = SystemColor(10);
constexpr TColor clInactiveBorder = SystemColor(11);
constexpr TColor clAppWorkSpace = SystemColor(12);
constexpr TColor clHighlight = SystemColor(13);
constexpr TColor clHighlightText = SystemColor(14);
constexpr TColor clBtnFace = SystemColor(15);
constexpr TColor clBtnShadow = SystemColor(16);
constexpr TColor clGrayText = SystemColor(17);
constexpr TColor clBtnText = SystemColor(18);
constexpr TColor clInactiveCaptionText = SystemColor(19);
constexpr TColor clBtnHighlight = SystemColor(20);
constexpr TColor cl3DDkShadow = SystemColor(21);
constexpr TColor cl3DLight = SystemColor(22);
constexpr TColor clInfoText = SystemColor(23);
constexpr TColor clInfoBk = SystemColor(24);
constexpr TColor clHotLight = SystemColor(26);
constexpr TColor clGradientActiveCaption = SystemColor(27);
constexpr TColor clGradientInactiveCaption = SystemColor(28);
constexpr TColor clMenuHighlight = SystemColor(29);
constexpr TColor clMenuBar = SystemColor(30);

// Resolves a system colour to its fixed RGB value (unknown system indexes
// give black); any other colour is returned unchanged.
TColor ColorToRGB(TColor Color);

// Colour from channels, and the channels of a colour (system colours are not
// resolved: call ColorToRGB first).
constexpr TColor RGB(uint8_t R, uint8_t G, uint8_t B) {
  return R | (G << 8) | (B << 16);
}
constexpr uint8_t GetRValue(TColor C) {
  return static_cast<uint8_t>(C & 0xFF);
}
constexpr uint8_t GetGValue(TColor C) {
  return static_cast<uint8_t>((C >> 8) & 0xFF);
}
constexpr uint8_t GetBValue(TColor C) {
  return static_cast<uint8_t>((C >> 16) & 0xFF);
}

// Between colours and bitmap pixel words (0x00RRGGBB). ColorToPixel resolves
// system colours and keeps the low 24 bits (clNone draws white, clDefault
// black). PixelToColor ignores the top byte.
uint32_t ColorToPixel(TColor Color);
constexpr TColor PixelToColor(uint32_t Pixel) {
  return static_cast<TColor>(((Pixel >> 16) & 0xFF) | (Pixel & 0xFF00) | ((Pixel & 0xFF) << 16));
}

// Event of a changed object (pen, brush, font, graphic).
using TNotifyEvent = std::function<void(TObject* Sender)>;

// ------------------------------------------------- pens, brushes, fonts

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };

// The 16 binary raster operations of a pen: result from pen colour P and
// destination D, per bit.
enum TPenMode {
  pmBlack,        // 0
  pmWhite,        // 1
  pmNop,          // D
  pmNot,          // ~D
  pmCopy,         // P
  pmNotCopy,      // ~P
  pmMergePenNot,  // P | ~D
  pmMaskPenNot,   // P & ~D
  pmMergeNotPen,  // ~P | D
  pmMaskNotPen,   // ~P & D
  pmMerge,        // P | D
  pmNotMerge,     // ~(P | D)
  pmMask,         // P & D
  pmNotMask,      // ~(P & D)
  pmXor,          // P ^ D
  pmNotXor        // ~(P ^ D)
};

// Hatch styles fill like bsSolid (this canvas draws no hatch patterns).
enum TBrushStyle {
  bsSolid,
  bsClear,
  bsHorizontal,
  bsVertical,
  bsFDiagonal,
  bsBDiagonal,
  bsCross,
  bsDiagCross
};

enum class TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = std::set<TFontStyle>;
constexpr TFontStyle fsBold = TFontStyle::fsBold;
constexpr TFontStyle fsItalic = TFontStyle::fsItalic;
constexpr TFontStyle fsUnderline = TFontStyle::fsUnderline;
constexpr TFontStyle fsStrikeOut = TFontStyle::fsStrikeOut;

class TPen : public TPersistent {
 public:
  std::string ClassName() const override { return "TPen"; }
  void Assign(const TPersistent& Source) override;

  TColor Color() const { return color_; }
  void SetColor(TColor Value);
  // Line width in pixels; values below 1 draw as 1.
  int Width() const { return width_; }
  void SetWidth(int Value);
  TPenStyle Style() const { return style_; }
  void SetStyle(TPenStyle Value);
  TPenMode Mode() const { return mode_; }
  void SetMode(TPenMode Value);

  TNotifyEvent OnChange;

 private:
  void Changed();
  TColor color_ = clBlack;
  int width_ = 1;
  TPenStyle style_ = psSolid;
  TPenMode mode_ = pmCopy;
};

class TBrush : public TPersistent {
 public:
  std::string ClassName() const override { return "TBrush"; }
  void Assign(const TPersistent& Source) override;

  TColor Color() const { return color_; }
  // Assigning a colour to a clear brush makes it solid.
  void SetColor(TColor Value);
  TBrushStyle Style() const { return style_; }
  void SetStyle(TBrushStyle Value);

  TNotifyEvent OnChange;

 private:
  void Changed();
  TColor color_ = clWhite;
  TBrushStyle style_ = bsSolid;
};

// A font: a LOGFONTW description plus a colour. Size is in points at 96
// pixels per inch: Height = -Round(Size * 96 / 72) (negative: em height in
// pixels). The face name is resolved through the system's font configuration
// when text is drawn; unknown names fall back to a sans-serif face.
class TFont : public TPersistent {
 public:
  TFont();
  std::string ClassName() const override { return "TFont"; }
  void Assign(const TPersistent& Source) override;

  std::string Name() const;
  void SetName(const std::string& Value);
  // Points at 96 dpi: Size = -MulDiv(Height, 72, 96), SetSize(s) sets
  // Height = -MulDiv(s, 96, 72) (MulDiv rounds halves away from zero).
  int Size() const;
  void SetSize(int Value);
  // Pixels: negative = em height, positive = cell height (ascent + descent).
  int Height() const { return lf_.lfHeight; }
  void SetHeight(int Value);
  TColor Color() const { return color_; }
  void SetColor(TColor Value);
  TFontStyles Style() const;
  void SetStyle(const TFontStyles& Value);
  // Angle of the base line in tenths of a degree, counter-clockwise.
  int Orientation() const { return lf_.lfEscapement; }
  void SetOrientation(int Value);
  uint8_t Charset() const { return lf_.lfCharSet; }
  void SetCharset(uint8_t Value);

  // The description as a handle (a fresh handle holding a copy), and
  // replacement of the description by that of a handle (a null handle is
  // ignored). The colour is not part of the description.
  HFONT Handle() const;
  void SetHandle(const HFONT& Value);
  const LOGFONTW& LogFont() const { return lf_; }

  TNotifyEvent OnChange;

 private:
  void Changed();
  LOGFONTW lf_;
  TColor color_ = clWindowText;
};

// ------------------------------------------------- graphics and bitmaps

enum TProgressStage { psStarting, psRunning, psEnding };
using TProgressEvent =
    std::function<void(TObject* Sender, TProgressStage Stage, uint8_t PercentDone, bool RedrawNow,
                       const TRect& R, const std::string& Msg)>;

// An image that can be loaded, saved and drawn.
class TGraphic : public TPersistent {
 public:
  std::string ClassName() const override { return "TGraphic"; }

  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetWidth(int Value) = 0;
  virtual void SetHeight(int Value) = 0;
  virtual bool Empty() const = 0;

  // File variants open the file (EInOutError naming it on failure) and pass
  // the stream on.
  virtual void LoadFromFile(const std::string& FileName);
  virtual void SaveToFile(const std::string& FileName) const;
  virtual void LoadFromStream(TStream& Stream) = 0;
  virtual void SaveToStream(TStream& Stream) const = 0;

  // Draws the image scaled into Rect of ACanvas (StretchDraw). The default
  // converts the image to a TBitmap (Assign) and draws that.
  virtual void Draw(TCanvas& ACanvas, const TRect& Rect) const;

  TNotifyEvent OnChange;
  TProgressEvent OnProgress;

 protected:
  // Fires OnChange.
  void Changed();
  // Fires OnProgress if assigned.
  void Progress(TProgressStage Stage, uint8_t PercentDone, bool RedrawNow, const TRect& R,
                const std::string& Msg);
};

enum TPixelFormat {
  pfDevice,
  pf1bit,
  pf4bit,
  pf8bit,
  pf15bit,
  pf16bit,
  pf24bit,
  pf32bit,
  pfCustom
};

// A raster image in memory.
//
// Pixels are always stored as 32-bit words 0x00RRGGBB (bytes B, G, R, 0 in
// memory), rows top-down, contiguous, stride = Width words. The pixel format
// decides what a pixel can hold: every pixel written through the canvas is
// quantised to it (Quantize), and changing the format re-quantises the
// pixels already there:
//   pf1bit   nearest of the 2-entry palette (default black, white);
//   pf4bit   nearest of the 16-entry palette (default the VGA palette);
//   pf8bit   nearest of the 256-entry palette (default: the 16 VGA colours
//            as entries 0..15 (so they are exact), a 6x6x6 colour cube
//            (channel levels 0, 51, 102, 153, 204, 255) as entries 16..231,
//            and 24 greys 8, 18, ..., 238 as entries 232..255);
//   pf15bit  5 bits per channel, read back as v5 << 3 | v5 >> 2;
//   pf16bit  5-6-5 bits, read back likewise (6 bits: v6 << 2 | v6 >> 4);
//   pfDevice, pf24bit, pf32bit, pfCustom: 8 bits per channel.
// "Nearest" is the smallest squared RGB distance, the lower index on ties.
// Writes through ScanLine store the word as given (the codecs use it); such
// a writer stores quantised values itself if it needs the format's rule.
//
// New pixels (a new bitmap, growth) are white. Sizes are checked before
// anything is allocated: negative sizes and images above 2^31 bytes raise
// ERangeError.
class TBitmap : public TGraphic {
 public:
  TBitmap();
  TBitmap(int AWidth, int AHeight);
  ~TBitmap() override;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  std::string ClassName() const override { return "TBitmap"; }

  int Width() const override { return width_; }
  int Height() const override { return height_; }
  void SetWidth(int Value) override;
  void SetHeight(int Value) override;
  // Resizes once; the pixels of the overlapping top-left part are kept.
  void SetSize(int AWidth, int AHeight);
  bool Empty() const override { return width_ == 0 || height_ == 0; }

  TPixelFormat PixelFormat() const { return format_; }
  void SetPixelFormat(TPixelFormat Value);

  // Palette of the indexed formats as 0x00RRGGBB entries; empty for the
  // others. SetPalette replaces it (1..2, 1..16 or 1..256 entries for
  // pf1bit, pf4bit, pf8bit; ERangeError otherwise, and for a non-indexed
  // format) and re-quantises the pixels to it.
  const std::vector<uint32_t>& Palette() const { return palette_; }
  void SetPalette(const std::vector<uint32_t>& Value);
  // Index of the palette entry nearest to Rgb (0 if there is no palette).
  int PaletteIndex(uint32_t Rgb) const;

  // What a write of Rgb (0x00RRGGBB) stores under the current format.
  uint32_t Quantize(uint32_t Rgb) const;

  // Row y (0 = top), Width words. ERangeError outside 0..Height-1.
  uint32_t* ScanLine(int y);
  const uint32_t* ScanLine(int y) const;
  // All pixels (Width * Height words), nullptr when empty.
  uint32_t* Bits() { return pixels_.empty() ? nullptr : pixels_.data(); }
  const uint32_t* Bits() const { return pixels_.empty() ? nullptr : pixels_.data(); }

  TCanvas& Canvas();

  // From a TBitmap: pixels, format and palette. From another graphic: the
  // graphic's AssignTo (for example a JPEG image decodes itself).
  void Assign(const TPersistent& Source) override;

  // BMP files; defined with the codecs.
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) const override;

  void Draw(TCanvas& ACanvas, const TRect& Rect) const override;

  // Kept for code written against the handle model; nothing to release here.
  void Dormant() {}
  void FreeImage() {}

 private:
  void Requantize();
  std::vector<uint32_t> pixels_;
  int width_ = 0;
  int height_ = 0;
  TPixelFormat format_ = pfDevice;
  std::vector<uint32_t> palette_;
  std::unique_ptr<TCanvas> canvas_;
};

// --------------------------------------------------------------- canvas

// Ternary raster operations of CopyRect (the Windows codes).
using TCopyMode = int32_t;
constexpr TCopyMode cmBlackness = 0x00000042;
constexpr TCopyMode cmDstInvert = 0x00550009;
constexpr TCopyMode cmMergeCopy = 0x00C000CA;
constexpr TCopyMode cmMergePaint = 0x00BB0226;
constexpr TCopyMode cmNotSrcCopy = 0x00330008;
constexpr TCopyMode cmNotSrcErase = 0x001100A6;
constexpr TCopyMode cmPatCopy = 0x00F00021;
constexpr TCopyMode cmPatInvert = 0x005A0049;
constexpr TCopyMode cmPatPaint = 0x00FB0A09;
constexpr TCopyMode cmSrcAnd = 0x008800C6;
constexpr TCopyMode cmSrcCopy = 0x00CC0020;
constexpr TCopyMode cmSrcErase = 0x00440328;
constexpr TCopyMode cmSrcInvert = 0x00660046;
constexpr TCopyMode cmSrcPaint = 0x00EE0086;
constexpr TCopyMode cmWhiteness = 0x00FF0062;

struct TSize {
  int32_t cx = 0;
  int32_t cy = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

// Drawing on a bitmap surface.
//
// Lines: LineTo visits the pixels of the major axis (the axis of the larger
// delta; y on exact diagonals) from the start up to, not including, the end.
// At major step i of n the minor coordinate is the exact one rounded to the
// nearest integer, halves rounding toward positive infinity (right or down):
// minor = minor0 + floor((2 * i * dminor + n) / (2 * n)). Clipping solves this
// formula for the visible steps, so a line to (2000000000, 5) costs only its
// visible pixels. A pen wider than 1 puts a run of Width pixels across the
// major axis at every step (centred; the extra pixel of an even width goes
// up or left), so the runs of one line never overlap. Dashed styles apply
// to width-1 pens (wider pens draw solid); the pattern restarts with every
// LineTo (dash 18 on 6 off, dot 3 on 3 off, dash-dot 9 6 3 6, dash-dot-dot
// 9 3 3 3 3 3). psClear draws nothing.
//
// Figures (Rectangle, Ellipse, Polygon) combine both their outline and
// their brush fill with the pen mode, so XOR figures drawn twice vanish;
// FillRect, FrameRect, SetPixels and text always store their colour.
//
// Text is rendered antialiased: glyph coverage blends the font colour over
// the surface (pen mode does not apply to text). The background box of
// TextOut is filled with the brush colour unless the brush is clear.
class TCanvas : public TPersistent {
 public:
  // A canvas drawing on Surface (may be null: then nothing is drawn and
  // Pixels answers -1). The canvas does not own the surface.
  explicit TCanvas(TBitmap* Surface = nullptr);
  ~TCanvas() override;
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;
  std::string ClassName() const override { return "TCanvas"; }

  TBitmap* Surface() const { return surface_; }
  void SetSurface(TBitmap* Value) { surface_ = Value; }

  TPen& Pen() { return pen_; }
  const TPen& Pen() const { return pen_; }
  void SetPen(const TPen& Value) { pen_.Assign(Value); }
  TBrush& Brush() { return brush_; }
  const TBrush& Brush() const { return brush_; }
  void SetBrush(const TBrush& Value) { brush_.Assign(Value); }
  TFont& Font() { return font_; }
  const TFont& Font() const { return font_; }
  void SetFont(const TFont& Value) { font_.Assign(Value); }

  TPoint PenPos() const { return penPos_; }
  void SetPenPos(const TPoint& Value) { penPos_ = Value; }
  TCopyMode CopyMode() const { return copyMode_; }
  void SetCopyMode(TCopyMode Value) { copyMode_ = Value; }

  // The rectangle drawing is limited to: the surface, intersected with the
  // clip rectangle if one is set. SetClipRect sets one; ResetClipRect
  // removes it.
  TRect ClipRect() const;
  void SetClipRect(const TRect& Value);
  void ResetClipRect();

  // Stretch mode of StretchBlt with this canvas as destination
  // (COLORONCOLOR by default; see stretchblt.h).
  int StretchBltMode() const { return stretchMode_; }
  void SetStretchBltMode(int Value) { stretchMode_ = Value; }

  void MoveTo(int X, int Y);
  // Draws from PenPos to (X, Y) excluding (X, Y), then PenPos := (X, Y).
  void LineTo(int X, int Y);
  // Outline with the pen, interior with the brush; right and bottom edges
  // excluded. Coordinates may be given in any order. A wide pen's outline
  // is a band of Width pixels inside the rectangle; with a clear pen the
  // brush fills the whole rectangle.
  void Rectangle(int X1, int Y1, int X2, int Y2);
  void Rectangle(const TRect& R) { Rectangle(R.Left, R.Top, R.Right, R.Bottom); }
  // The ellipse inscribed in the bounding box, right and bottom excluded.
  void Ellipse(int X1, int Y1, int X2, int Y2);
  void Ellipse(const TRect& R) { Ellipse(R.Left, R.Top, R.Right, R.Bottom); }
  // Closed outline through Points with the pen; inside (alternate rule,
  // pixel (x, y) filled when the point (x, y) is inside or on a left or top
  // edge, so right and bottom edges stay unfilled) with the brush.
  void Polygon(const std::vector<TPoint>& Points);
  // Open outline: LineTo through the points, the last point excluded.
  // Polygon and Polyline leave the pen position as it was.
  void Polyline(const std::vector<TPoint>& Points);
  // Fills R with the brush colour (a clear brush fills nothing); the pen
  // is not used.
  void FillRect(const TRect& R);
  // One-pixel frame inside R in the brush colour.
  void FrameRect(const TRect& R);

  // Text cell top-left at (X, Y); PenPos moves to the end of the text.
  void TextOut(int X, int Y, const std::string& Text);
  // TextOut clipped to R (the background box too).
  void TextRect(const TRect& R, int X, int Y, const std::string& Text);
  TSize TextExtent(const std::string& Text);
  int TextWidth(const std::string& Text) { return TextExtent(Text).cx; }
  int TextHeight(const std::string& Text) { return TextExtent(Text).cy; }

  // Copies Source's SourceRect (scaled to Dest when sizes differ) with the
  // copy mode. Pattern operations use the brush colour.
  void CopyRect(const TRect& Dest, const TCanvas& Source, const TRect& SourceRect);
  // The graphic at (X, Y) in its own size, and scaled into R.
  void Draw(int X, int Y, const TGraphic& Graphic);
  void StretchDraw(const TRect& R, const TGraphic& Graphic);

  // Pixel as a colour; -1 outside the clip rectangle or without surface.
  TColor Pixels(int X, int Y) const;
  // Writes one pixel (quantised to the surface's format); ignored outside.
  void SetPixels(int X, int Y, TColor Color);

 private:
  TBitmap* surface_;
  TPen pen_;
  TBrush brush_;
  TFont font_;
  TPoint penPos_;
  TCopyMode copyMode_ = cmSrcCopy;
  bool hasClip_ = false;
  TRect clip_;
  int stretchMode_ = 3;
};

}  // namespace marovia
