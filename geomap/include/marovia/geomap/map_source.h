// TMapSource: a calibrated map as data, without a control. It is what every
// front end (the map control, web tiles, the tools, Python, a host's own
// widget) is given instead of loading a calibration and an image itself.
//
// What a source holds, fixed when it opens:
//   - the calibration (TMapCalibration), read once with its border and
//     fitted for the image's size, the corners and resolution the file
//     gives kept as the map control keeps them (a calibration whose points
//     do not allow a fit is kept unfitted: Converts() is false and
//     FitMessage() says why);
//   - the map image file, found by one rule (MapImageBeside below);
//   - the image's size, read from the image file's header: opening decodes
//     no pixel.
// What it opens lazily, once, on the first call that needs it:
//   - the pixels. An image of at most kMaxMapPixels pixels is decoded whole
//     into memory (Bitmap()); a larger one, up to MaxMapPixels, is read
//     through its tile pyramid, built once into a cache file and then read
//     tile by tile (Tiled() is true and Bitmap() refuses). Levels() gives
//     the image at halving resolutions either way, through the same
//     TImagePyramid, so the 2 x 2 reduction of every level is the
//     pyramid's.
//
// Threads: a source is immutable once open (the factories answer a
// shared_ptr to a const source). Any number of threads may call any member
// at once; the first that needs the pixels decodes them while the others
// wait for it, and a failed decoding is raised to each caller that asks
// (the next call tries again).
//
// Errors: EInOutError naming the file for a calibration or image file that
// cannot be read; EZYLGeoMapError naming the calibration file for a missing
// or damaged data set, a missing image, an image whose header cannot be
// read or that is larger than MaxMapPixels, a sample display that cannot be
// used; the decoders' own errors
// (EInvalidGraphic and the like, naming the image) for pixels that cannot be
// decoded.
//
// Sources: source/map_source.cpp (opening, the lazy pixels),
// source/map_image_file.cpp (the image rule, decoding by content).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "marovia/geomap/map_calibration.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/sample_display.h"

namespace marovia {

class TImagePyramid;
struct TImportedMap;

// Largest map image, in pixels (width x height), that is decoded into
// memory; larger images are read through their tile pyramid, and the map
// control refuses them unless the host raises its MaxMapPixels.
constexpr int64_t kMaxMapPixels = 3000000;
// The largest image taken at all: 16 gigapixels, held as a tile pyramid.
constexpr int64_t kMaxTiledMapPixels = int64_t{1} << 34;

// The map image a calibration file names, looked for beside the calibration
// file (maps are moved together with their calibrations, so only the file
// name part of the stored name counts), with a file of that folder whose
// name differs only in case standing in for it. Empty when StoredName names
// no file; the exact name beside the calibration when nothing matches (the
// caller's existence test then fails with the name a user expects).
std::string MapImageBeside(const std::string& CalibrationFile, const std::string& StoredName);

struct TMapSourceOptions {
  // The largest image taken, in pixels (clamped to kMaxMapPixels ..
  // kMaxTiledMapPixels). Images up to kMaxMapPixels are decoded into
  // memory; larger ones up to this limit are read through a tile pyramid.
  int64_t MaxMapPixels = kMaxTiledMapPixels;
  // Directory of the pyramids' cache files; empty: the user's cache
  // directory (TPyramidOptions).
  std::string PyramidCacheDir;
  // Decoded pyramid tiles kept in memory.
  int64_t PyramidMemoryBudget = int64_t{128} << 20;
  // Levels() of an image small enough to decode whole comes from its
  // pyramid's cache file too (built by the first process that needs it):
  // processes that each render a share of the same maps, as the parts of a
  // tile job do, then decode each image once between them and read only
  // the tiles they need. The pixels are the same either way. Bitmap() still
  // decodes the whole image.
  bool CacheSmallPyramids = false;
  // How a TIFF image whose samples are not 8-bit colours is shown (its
  // bands and stretch, sample_display.h); the same for the image decoded
  // whole and for its pyramid. A display SampleDisplayProblem refuses is
  // refused when the source opens (EZYLGeoMapError).
  TSampleDisplay SampleDisplay;
  // Told of the decoding of the pixels and of a pyramid's building (Sender
  // null). Called on the thread that decodes.
  TProgressEvent OnProgress;
};

class TMapSource {
 public:
  // Data set DataID (the first when empty) of a calibration file, and the
  // image it names beside it.
  static std::shared_ptr<const TMapSource> Open(const std::string& CalibrationFile,
                                                const std::string& DataID = "",
                                                const TMapSourceOptions& Options = {});
  // The result of an import (geotiff_import.h, world_file.h, ...): its
  // calibration and the image file it found, without a calibration file in
  // between.
  static std::shared_ptr<const TMapSource> FromImport(const TImportedMap& Map,
                                                      const TMapSourceOptions& Options = {});
  // A calibration and an image file given by the host. The calibration is
  // taken as it is, refitted only when its image size differs from the
  // file's header.
  static std::shared_ptr<const TMapSource> FromCalibration(const TMapCalibration& Calibration,
                                                           const std::string& ImageFile,
                                                           const TMapSourceOptions& Options = {});
  // A calibration and an image in memory (a copy is taken), known by Name.
  static std::shared_ptr<const TMapSource> FromBitmap(const TMapCalibration& Calibration,
                                                      const TBitmap& Image,
                                                      const std::string& Name = "$unknown$",
                                                      const TMapSourceOptions& Options = {});

  TMapSource(const TMapSource&) = delete;
  TMapSource& operator=(const TMapSource&) = delete;
  ~TMapSource();

  // The calibration file and data set it came from; empty for the other
  // factories.
  const std::string& CalibrationFile() const { return FCalibrationFile; }
  const std::string& DataID() const { return FDataID; }
  // The image file as found (a path usable as given); for a bitmap source
  // the name it was given.
  const std::string& ImageFile() const { return FImageFile; }
  // The calibration: record, model, border, fitted parameters, image size.
  const TMapCalibration& Calibration() const { return FCalibration; }
  const std::string& Caption() const { return FCalibration.Data().Caption; }
  int32_t Width() const { return FCalibration.ImageWidth(); }
  int32_t Height() const { return FCalibration.ImageHeight(); }
  // Whether the calibration converts; FitMessage says why not.
  bool Converts() const { return FCalibration.Converts(); }
  const std::string& FitMessage() const { return FCalibration.FitMessage(); }
  // Whether the pixels are read through a tile pyramid (the image has more
  // than kMaxMapPixels pixels).
  bool Tiled() const { return FTiled; }

  // The whole image, decoded on the first call (pf24bit, 0x00RRGGBB words).
  // EZYLGeoMapError when the source is Tiled().
  std::shared_ptr<const TBitmap> Bitmap() const;
  // The image at halving resolutions: the pyramid of the image file
  // (Tiled, or CacheSmallPyramids) or of Bitmap(), opened on the first
  // call.
  std::shared_ptr<const TImagePyramid> Levels() const;

 private:
  TMapSource() = default;
  // The image size becomes Width x Height (from a header or a bitmap),
  // refitting a calibration made for another size (its corners and
  // resolution as Extents says); the limit is checked.
  void TakeImageSize(int64_t Width, int64_t Height, TMapCalibration::TExtents Extents);
  // The image file decoded whole, checked against the header's size.
  std::unique_ptr<TBitmap> Decode() const;
  // The image file's pyramid (its cache file), checked likewise.
  std::shared_ptr<const TImagePyramid> OpenPyramid() const;

  std::string FCalibrationFile;
  std::string FDataID;
  std::string FImageFile;
  TMapCalibration FCalibration;
  TMapSourceOptions FOptions;
  bool FTiled = false;

  mutable std::mutex FPixelsMutex;
  mutable std::shared_ptr<const TBitmap> FBitmap;
  mutable std::shared_ptr<const TImagePyramid> FLevels;
};

}  // namespace marovia
