#include "image_files.h"

#include <algorithm>
#include <cstring>

#include "marovia/platform/files.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/jpeg.h"
#include "marovia/platform/pngimage.h"
#include "marovia/platform/strutils.h"

namespace marovia::apps {

std::optional<TImageFormat> ImageFormatOf(const std::string& FileName) {
  const std::string ext = LowerCase(ExtractFileExt(FileName));
  if (ext == ".png") return TImageFormat::Png;
  if (ext == ".bmp") return TImageFormat::Bmp;
  if (ext == ".jpg" || ext == ".jpeg") return TImageFormat::Jpeg;
  return std::nullopt;
}

void CopyTopLeft(const TBitmap& Source, int Width, int Height, TBitmap& Dest) {
  Dest.SetPixelFormat(pf24bit);
  Dest.SetSize(Width, Height);
  const int w = std::min(Width, Source.Width());
  const int h = std::min(Height, Source.Height());
  for (int y = 0; y < h; ++y) {
    std::memcpy(Dest.ScanLine(y), Source.ScanLine(y), static_cast<size_t>(w) * sizeof(uint32_t));
  }
}

void SaveImage(const TBitmap& Picture, const std::string& FileName, TImageFormat Format,
               int JpegQuality) {
  switch (Format) {
    case TImageFormat::Bmp:
      Picture.SaveToFile(FileName);
      break;
    case TImageFormat::Jpeg: {
      TJPEGImage jpeg;
      jpeg.SetCompressionQuality(JpegQuality);
      jpeg.Assign(Picture);
      jpeg.SaveToFile(FileName);
      break;
    }
    case TImageFormat::Png: {
      TPngImage png;
      png.Assign(Picture);
      png.SaveToFile(FileName);
      break;
    }
  }
}

}  // namespace marovia::apps
