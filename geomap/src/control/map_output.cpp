// The map as files and pictures: saving the image with its calibration,
// renaming the image file, the view and the whole map on the clipboard, and
// rendering a window of the map into a caller's bitmap. Printing is in
// map_printing.cpp, generated maps in map_generated.cpp.
#include <algorithm>
#include <cmath>

#include "marovia/geomap/geomap.h"
#include "marovia/platform/clipbrd.h"
#include "marovia/platform/files.h"
#include "marovia/platform/jpeg.h"
#include "marovia/zylbase/stringl.h"
#include "render/map_view.h"

namespace marovia {

// ------------------------------------------------------------ files

void TGeoMap::WriteMapImageAsJpeg(const std::string& FileName) {
  // Written under a temporary name and renamed when complete, so that no
  // half-written image ever carries the real name.
  const std::string temporary = FileName + ".saving";
  try {
    TJPEGImage jpeg;
    jpeg.OnProgress = OnDataLoading;
    jpeg.Assign(*GrafBmp);
    jpeg.SaveToFile(temporary);
  } catch (...) {
    DeleteFile(temporary);
    throw;
  }
  if (!RenameFile(temporary, FileName)) {
    DeleteFile(temporary);
    throw EInOutError(FileName, "cannot rename the saved image to this name");
  }
}

// The image first, then the calibration that names it: a failed save
// leaves no calibration file pointing at an image that was never written.
void TGeoMap::SaveMap(const std::string& FileName, const std::string& DataID) {
  RefuseOnTiledMap("save the map image as one JPEG file");
  const std::string imageName = StripExtension(StripPath(FileName)) + ".jpg";
  WriteMapImageAsJpeg(ExtractFilePath(FileName) + imageName);
  FMapImgName = imageName;
  SaveCalDataAsXML(StripExtension(FileName) + ".xml", DataID);
}

bool TGeoMap::RenameMapImg(const std::string& Name) {
  const std::string base = StripExtension(StripPath(ReduceStringToFN83CompliantChars(Name)));
  if (FMapImgName.empty() || base.empty() || !FileExists(FMapImgName)) return false;
  const std::string target = ExtractFilePath(FMapImgName) + base + ExtractFileExt(FMapImgName);
  // Another file of that name is never replaced, and a rename the system
  // refuses is reported as such.
  if (FileExists(target)) return false;
  if (!RenameFile(FMapImgName, target)) return false;
  FMapImgName = target;
  return true;
}

// ------------------------------------------------------------ pictures

void TGeoMap::RenderMapWindow(TBitmap& Out, TPoint TopLeft, double Magnify, int W, int H) {
  Out.SetPixelFormat(pf24bit);
  Out.SetSize(std::max(W, 0), std::max(H, 0));
  if (W <= 0 || H <= 0) return;
  ComposeView(Out, render::TMapView{TopLeft, Magnify, W, H, ImageSource()}, false, false);
}

void TGeoMap::CopyToClipboard() {
  const int W = Width(), H = Height();
  TBitmap bmp(W, H);
  TCanvas& c = bmp.Canvas();
  c.SetCopyMode(cmSrcCopy);
  const TRect inner = Rect(2, 2, W - 2, H - 2);
  c.CopyRect(inner, AuxBmp->Canvas(), inner);
  c.Pen().SetColor(clBlack);
  c.MoveTo(1, 1);
  c.LineTo(W - 2, 1);
  c.LineTo(W - 2, H - 2);
  c.LineTo(1, H - 2);
  c.LineTo(1, 1);
  Clipboard().Assign(bmp);
}

void TGeoMap::CopyEntireMapToClipboard() {
  if (FMapImgName.empty() || FMapImgWidth <= 0 || FMapImgHeight <= 0) return;
  RefuseOnTiledMap("copy the entire map to the clipboard");
  TBitmap bmp;
  RenderMapWindow(bmp, TPoint{0, 0}, 1.0, FMapImgWidth, FMapImgHeight);
  Clipboard().Assign(bmp);
}

void TGeoMap::CopyToBMP(TBitmap& DestBmp, TPoint TopLeft, double MagFact, int32_t PosHoriz,
                        int32_t PosVert, int32_t Width, int32_t Height) {
  if (!(MagFact > 0) || !std::isfinite(MagFact))
    RaiseError("CopyToBMP needs a positive magnification");
  if (Width <= 0 || Height <= 0) return;
  TBitmap view;
  RenderMapWindow(view, TopLeft, ClampedMagnification(MagFact), Width, Height);
  // The caller's bitmap grows to hold the window where it is asked for.
  const int64_t needW = int64_t{PosHoriz} + Width, needH = int64_t{PosVert} + Height;
  if (needW > DestBmp.Width() || needH > DestBmp.Height())
    DestBmp.SetSize(
        static_cast<int>(std::min<int64_t>(std::max<int64_t>(needW, DestBmp.Width()), INT32_MAX)),
        static_cast<int>(std::min<int64_t>(std::max<int64_t>(needH, DestBmp.Height()), INT32_MAX)));
  TCanvas& c = DestBmp.Canvas();
  c.SetCopyMode(cmSrcCopy);
  c.CopyRect(Bounds(PosHoriz, PosVert, Width, Height), view.Canvas(), Rect(0, 0, Width, Height));
}

}  // namespace marovia
