// The state of geomap serve: the scans it was given, the current fit of
// each (which the preview tiles are warped through), the optional atlas
// of reference maps, and what the page asks of them. Every answer is the
// body of an HTTP response (JSON text or tile bytes); the HTTP layer is
// serve_server.cpp.
//
// Threads: any number of requests may call at once. A mutex guards the
// scans' current fits and pyramids; a tile is rendered outside it with
// the fit it found (a fit is an immutable value once published), so a
// refit never waits for a slow tile and a tile never sees half a fit.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "marovia/geomap/web_tiles.h"

namespace marovia {
class TAtlasTiles;
class TImagePyramid;
}  // namespace marovia

namespace marovia::geomaptool {

struct TServeScan {
  std::string Path;  // the image file as given
  std::string Name;  // its file name
  int32_t Width = 0, Height = 0;
};

struct TServeSessionOptions {
  // Image files, or folders whose images (.jpg, .jpeg, .png, .tif, .tiff,
  // .bmp) are taken in name order.
  std::vector<std::string> Scans;
  // A folder of calibrated maps shown as the reference; empty for none.
  std::string Atlas;
  // Where the scans' pyramids are cached; empty: the user's cache folder.
  std::string CacheDir;
};

// A request the session cannot answer: Status is the HTTP status to send
// (400 a bad body, 404 no such scan or tile, 409 no fit yet, 500 a file
// that could not be written), the message says why.
class TServeError : public std::runtime_error {
 public:
  TServeError(int Status, const std::string& Message)
      : std::runtime_error(Message), FStatus(Status) {}
  int Status() const { return FStatus; }

 private:
  int FStatus;
};

class TServeSession {
 public:
  // Reads the images' headers (no pixel) and opens the atlas's maps.
  // Raises TUsageError when no image is found or one cannot be read.
  explicit TServeSession(const TServeSessionOptions& Options);
  ~TServeSession();

  const std::vector<TServeScan>& Scans() const { return FScans; }
  // The folders whose files /files/ may serve: each scan's folder, then
  // the atlas.
  const std::vector<std::filesystem::path>& Roots() const { return FRoots; }
  bool HasAtlas() const { return FAtlas != nullptr; }

  // {"scans": [{"name", "width", "height", "levels", "root"}], "atlas": bool,
  //  "atlasBounds": [w, s, e, n] when there is one}
  std::string ScansJson() const;

  // Fits the request's points (serve_request.h) for scan Index and makes
  // the fit the one the preview shows when it converts. Answers the
  // residual table: {"ok", "message", "generation", "rms", "points":
  // [{"x", "y", "lat", "lon", "valid", "dx", "dy", "m", "looValid",
  // "looDx", "looDy", "looM"}], "bounds"}.
  std::string Fit(std::size_t Index, std::string_view Body);
  // Fits as Fit and writes the calibration file beside the scan (its name
  // with .xml), as geomap calibrate writes it from the same points.
  // {"file": name, ...the fit}. A fit that does not convert writes nothing.
  std::string Save(std::size_t Index, std::string_view Body);
  // Saves, then writes the map in Format beside the scan: every format of
  // geomap export (but iiif-image, which needs a service address), and web
  // tiles "tiles" (a folder), "mbtiles", "pmtiles". {"file", "log"}.
  std::string Export(std::size_t Index, std::string_view Format, std::string_view Body);

  // The calibration saved beside the scan (its .xml), as AnnotationIn
  // answers an annotation; 404 when there is none.
  std::string SavedCalibration(std::size_t Index) const;

  // The georeference annotation of the current fit.
  std::string AnnotationOut(std::size_t Index) const;
  // The settings and points of an annotation's text, as the page shows
  // them: {"model", "smoothing", "crs", "order", "caption", "points":
  // [{"x", "y", "lat", "lon"}], "mask": [[x, y], ...]}. Nothing changes
  // until the page fits them.
  std::string AnnotationIn(std::size_t Index, std::string_view Body) const;

  // A tile of the scan in its own pixels, as JPEG: Zoom counts from the
  // pyramid's coarsest level (0) to its full resolution (levels - 1).
  std::vector<uint8_t> ScanTile(std::size_t Index, int Zoom, int X, int Y);
  // A Web Mercator tile of the scan warped through its current fit (PNG,
  // transparent where the scan does not reach).
  std::vector<uint8_t> PreviewTile(std::size_t Index, const TTileId& Tile);
  // A Web Mercator tile of the atlas (PNG).
  std::vector<uint8_t> AtlasTile(const TTileId& Tile) const;

 private:
  struct TScanState;
  TScanState& State(std::size_t Index);
  const TScanState& State(std::size_t Index) const;
  std::shared_ptr<const TImagePyramid> Pyramid(std::size_t Index);
  std::string FitLocked(std::size_t Index, std::string_view Body, bool Write, std::string* File);

  std::vector<TServeScan> FScans;
  std::vector<std::filesystem::path> FRoots;
  std::string FCacheDir;
  std::unique_ptr<TAtlasTiles> FAtlas;
  mutable std::mutex FMutex;
  std::vector<std::unique_ptr<TScanState>> FStates;
};

}  // namespace marovia::geomaptool
