// Finding the map image of a calibration file, and decoding an image file
// whole by its content.
#include "source/map_image_file.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "marovia/geomap/map_source.h"
#include "marovia/platform/files.h"
#include "marovia/platform/jpeg.h"
#include "marovia/platform/pngimage.h"
#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"
#include "marovia/platform/tiffimage.h"

namespace marovia {

std::string MapImageBeside(const std::string& CalibrationFile, const std::string& StoredName) {
  namespace fs = std::filesystem;
  const std::string name = ExtractFileName(StoredName);
  if (name.empty()) return {};
  const std::string dir = ExtractFilePath(CalibrationFile);
  const std::string exact = dir + name;
  if (FileExists(exact)) return exact;
  // Calibrations written where case does not matter may name the image in
  // another case; on a file system that tells case apart, the image is the
  // file of the folder whose name matches without regard to case.
  std::error_code ec;
  for (fs::directory_iterator it(dir.empty() ? "." : dir, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string candidate = it->path().filename().string();
    if (SameText(candidate, name)) return dir + candidate;
  }
  return exact;
}

namespace mapsource {

TImageFormat ImageFormatOfContent(const std::string& FileName) {
  std::ifstream in(FileName, std::ios::binary);
  if (!in) throw EInOutError(FileName, "cannot open");
  std::array<unsigned char, 8> head{};
  in.read(reinterpret_cast<char*>(head.data()), head.size());
  if (in.bad()) throw EInOutError(FileName, "cannot read");
  const auto n = static_cast<size_t>(in.gcount());
  const auto starts = [&](std::initializer_list<unsigned char> Bytes) {
    return n >= Bytes.size() && std::equal(Bytes.begin(), Bytes.end(), head.begin());
  };
  if (starts({'B', 'M'})) return TImageFormat::Bmp;
  if (starts({0xFF, 0xD8, 0xFF})) return TImageFormat::Jpeg;
  if (starts({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) return TImageFormat::Png;
  if (starts({'I', 'I', 42, 0}) || starts({'M', 'M', 0, 42}) || starts({'I', 'I', 43, 0}) ||
      starts({'M', 'M', 0, 43}))
    return TImageFormat::Tiff;
  return TImageFormat::Unknown;
}

std::unique_ptr<TBitmap> DecodeImageFile(const std::string& FileName,
                                         const TProgressEvent& OnProgress,
                                         const TSampleDisplay& Display) {
  return DecodeImageFileAs(FileName, ImageFormatOfContent(FileName), OnProgress, Display);
}

std::unique_ptr<TBitmap> DecodeImageFileAs(const std::string& FileName, TImageFormat Format,
                                           const TProgressEvent& OnProgress,
                                           const TSampleDisplay& Display) {
  auto image = std::make_unique<TBitmap>();
  switch (Format) {
    case TImageFormat::Jpeg: {
      TJPEGImage jpeg;
      jpeg.OnProgress = OnProgress;
      jpeg.LoadFromFile(FileName);
      image->Assign(jpeg);
      break;
    }
    case TImageFormat::Png: {
      TPngImage png;
      png.OnProgress = OnProgress;
      png.LoadFromFile(FileName);
      image->Assign(png);
      break;
    }
    case TImageFormat::Tiff: {
      TTiffImage tiff;
      tiff.SetSampleDisplay(Display);
      tiff.OnProgress = OnProgress;
      tiff.LoadFromFile(FileName);
      image->Assign(tiff);
      break;
    }
    case TImageFormat::Bmp:
      image->OnProgress = OnProgress;
      image->LoadFromFile(FileName);
      image->OnProgress = nullptr;
      break;
    case TImageFormat::Unknown:
      throw EZYLGeoMapError(FileName + ": not a BMP, JPEG, PNG or TIFF image");
  }
  return image;
}

}  // namespace mapsource
}  // namespace marovia
