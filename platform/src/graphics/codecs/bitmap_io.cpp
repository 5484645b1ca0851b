// TBitmap's BMP input and output.
//
// Loading decodes the whole file before the bitmap is touched, so a file
// that fails leaves the bitmap as it was. An empty stream holds an empty
// bitmap, and an empty bitmap writes nothing, so the two round-trip.
#include <algorithm>

#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/streams.h"
#include "stream_source.h"

namespace marovia {
namespace {

TPixelFormat FormatOf(TBmpLayout l) {
  switch (l) {
    case TBmpLayout::bl1bit:
      return pf1bit;
    case TBmpLayout::bl4bit:
      return pf4bit;
    case TBmpLayout::bl8bit:
      return pf8bit;
    case TBmpLayout::bl555:
      return pf15bit;
    case TBmpLayout::bl565:
      return pf16bit;
    case TBmpLayout::bl24bit:
      return pf24bit;
    default:
      return pf32bit;
  }
}

// Formats without a depth of their own are written with 24 bits, which
// holds every pixel word exactly.
TBmpLayout LayoutOf(TPixelFormat f) {
  switch (f) {
    case pf1bit:
      return TBmpLayout::bl1bit;
    case pf4bit:
      return TBmpLayout::bl4bit;
    case pf8bit:
      return TBmpLayout::bl8bit;
    case pf15bit:
      return TBmpLayout::bl555;
    case pf16bit:
      return TBmpLayout::bl565;
    case pf32bit:
      return TBmpLayout::bl32bit;
    default:
      return TBmpLayout::bl24bit;
  }
}

}  // namespace

void TBitmap::LoadFromStream(TStream& Stream) {
  const int64_t start = Stream.Position();
  const std::vector<uint8_t> bytes = codecs::ReadRest(Stream);
  if (bytes.empty()) {
    SetSize(0, 0);
    return;
  }
  Progress(psStarting, 0, false, Rect(0, 0, 0, 0), "");
  TBmpImage img;
  size_t used = bytes.size();
  try {
    img = BmpDecode(
        bytes.data(), bytes.size(),
        [this](int pct) {
          if (pct < 100) Progress(psRunning, uint8_t(pct), false, Rect(0, 0, 0, 0), "");
        },
        &used);
  } catch (const EInvalidGraphic& e) {
    Stream.SetPosition(start);
    throw EInvalidGraphic(codecs::WithSource(e.what(), codecs::SourceName(Stream)));
  }
  Stream.SetPosition(start + static_cast<int64_t>(used));

  // Format and palette are set on an empty bitmap, so nothing is
  // re-quantised; the decoded words are then stored as they are.
  SetSize(0, 0);
  SetPixelFormat(FormatOf(img.Layout));
  if (!img.Palette.empty()) SetPalette(img.Palette);
  SetSize(img.Width, img.Height);
  std::copy(img.Pixels.begin(), img.Pixels.end(), Bits());
  Progress(psEnding, 100, false, Rect(0, 0, img.Width, img.Height), "");
  Changed();
}

void TBitmap::SaveToStream(TStream& Stream) const {
  if (Empty()) return;
  const std::vector<uint8_t> bytes =
      BmpEncode(Bits(), Width(), Height(), LayoutOf(PixelFormat()), Palette());
  Stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

}  // namespace marovia
