// Pixel meaning, platform (AND, XOR) to Qt (bitmap, mask):
//   transparent  (1, 0) -> (0, 0)
//   black        (0, 0) -> (1, 1)
//   white        (0, 1) -> (0, 1)
//   inverted     (1, 1) -> (1, 0)
// so bitmap = NOT (AND XOR XOR) and mask = NOT AND.
#include "qt_cursors.h"

#include <QBitmap>
#include <QImage>
#include <map>

namespace marovia::qt_detail {

namespace {

Qt::CursorShape ShapeFor(TCursor Cursor) {
  switch (Cursor) {
    case crNone:
      return Qt::BlankCursor;
    case crCross:
      return Qt::CrossCursor;
    case crIBeam:
      return Qt::IBeamCursor;
    case crSizeNESW:
      return Qt::SizeBDiagCursor;
    case crSizeNS:
      return Qt::SizeVerCursor;
    case crVSplit:
      return Qt::SplitVCursor;
    case crSizeNWSE:
      return Qt::SizeFDiagCursor;
    case crSizeWE:
      return Qt::SizeHorCursor;
    case crHSplit:
      return Qt::SplitHCursor;
    case crUpArrow:
      return Qt::UpArrowCursor;
    case crHourGlass:
    case crSQLWait:
      return Qt::WaitCursor;
    case crAppStart:
      return Qt::BusyCursor;
    case crNo:
    case crNoDrop:
      return Qt::ForbiddenCursor;
    case crHandPoint:
      return Qt::PointingHandCursor;
    case crDrag:
    case crMultiDrag:
      return Qt::DragMoveCursor;
    case crHelp:
      return Qt::WhatsThisCursor;
    case crSizeAll:
      return Qt::SizeAllCursor;
    default:
      return Qt::ArrowCursor;
  }
}

QCursor FromImage(const TCursorImage& Image) {
  QImage bits(Image.Width, Image.Height, QImage::Format_Mono);
  QImage mask(Image.Width, Image.Height, QImage::Format_Mono);
  bits.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
  mask.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
  for (int y = 0; y < Image.Height; ++y)
    for (int x = 0; x < Image.Width; ++x) {
      const bool a = Image.AndBit(x, y), b = Image.XorBit(x, y);
      bits.setPixel(x, y, a == b ? 1 : 0);
      mask.setPixel(x, y, a ? 0 : 1);
    }
  return QCursor(QBitmap::fromImage(bits), QBitmap::fromImage(mask), Image.HotSpot.X,
                 Image.HotSpot.Y);
}

}  // namespace

QCursor QtCursor(TCursor Cursor) {
  const HCURSOR handle = Screen().Cursors(Cursor);
  if (!handle || handle->SystemCursor != 0 || handle->Width <= 0)
    return QCursor(ShapeFor(handle && handle->SystemCursor != 0 ? handle->SystemCursor : Cursor));
  // Made once per picture: cursor pictures live as long as the process.
  static std::map<HCURSOR, QCursor> made;
  auto it = made.find(handle);
  if (it == made.end()) it = made.emplace(handle, FromImage(*handle)).first;
  return it->second;
}

}  // namespace marovia::qt_detail
