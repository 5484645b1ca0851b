#include "serve_session.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "arguments.h"
#include "cli_text.h"
#include "geomap_cli.h"
#include "marovia/geoatlas/atlas_index.h"
#include "marovia/geoatlas/atlas_tiles.h"
#include "marovia/geobasics/utm.h"
#include "marovia/geomap/calxml.h"
#include "marovia/geomap/iiif_annotation.h"
#include "marovia/geomap/map_folder.h"
#include "marovia/geomap/map_interop.h"
#include "marovia/platform/files.h"
#include "marovia/platform/image_pyramid.h"
#include "marovia/platform/imageprobe.h"
#include "marovia/platform/strutils.h"
#include "serve_request.h"

namespace marovia::geomaptool {

namespace fs = std::filesystem;

namespace {

// ---- JSON text --------------------------------------------------------------

std::string Quoted(std::string_view S) {
  std::string out = "\"";
  for (const char c : S) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// A number as JSON has it: null for what is not finite.
std::string Num(double V) {
  if (!std::isfinite(V)) return "null";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.12g", V);
  return buf;
}

const char* Bool(bool V) {
  return V ? "true" : "false";
}

bool IsImageName(const fs::path& P) {
  static const char* const kExt[] = {".jpg", ".jpeg", ".png", ".tif", ".tiff", ".bmp"};
  const std::string ext = LowerCase(P.extension().string());
  return std::any_of(std::begin(kExt), std::end(kExt), [&](const char* e) { return ext == e; });
}

TServeScan ScanOf(const std::string& Path) {
  int64_t w = 0, h = 0;
  if (!ReadImageDimensions(Path, w, h) || w < 1 || h < 1 || w > INT32_MAX || h > INT32_MAX)
    throw TUsageError(apps::Printable(Path) + ": not a JPEG, PNG, TIFF or BMP image");
  return {Path, ExtractFileName(Path), static_cast<int32_t>(w), static_cast<int32_t>(h)};
}

// The file beside the scan with its stem and Suffix.
std::string Beside(const TServeScan& Scan, const std::string& Suffix) {
  return ChangeFileExt(Scan.Path, "") + Suffix;
}

// Export formats and the suffix of the file each writes beside the scan.
struct TExportTarget {
  const char* Format;
  const char* Suffix;
  bool Tiles;
};
constexpr TExportTarget kExports[] = {
    {"worldfile", ".wld", false},   {"map", ".map", false},
    {"points", ".points", false},   {"vrt", ".vrt", false},
    {"kml", ".kml", false},         {"kmz", ".kmz", false},
    {"geotiff", ".geo.tif", false}, {"iiif-annotation", ".annotation.json", false},
    {"tiles", "_tiles", true},      {"mbtiles", ".mbtiles", true},
    {"pmtiles", ".pmtiles", true}};

}  // namespace

// A published fit: immutable, shared with the tiles being warped through it.
struct TPublishedFit {
  TMapCalibration Calibration;
  uint64_t Generation = 0;
};

struct TServeSession::TScanState {
  std::shared_ptr<const TPublishedFit> Fit;
  uint64_t Generation = 0;  // of the last fit asked for
  std::shared_ptr<const TImagePyramid> Pyramid;
  std::mutex Opening;  // held while the pyramid is built
};

TServeSession::TServeSession(const TServeSessionOptions& Options) : FCacheDir(Options.CacheDir) {
  for (const std::string& s : Options.Scans) {
    std::error_code ec;
    if (fs::is_directory(s, ec)) {
      std::vector<fs::path> found;
      for (const auto& e : fs::directory_iterator(s, ec))
        if (e.is_regular_file(ec) && IsImageName(e.path())) found.push_back(e.path());
      std::sort(found.begin(), found.end());
      for (const fs::path& p : found) FScans.push_back(ScanOf(p.string()));
    } else {
      FScans.push_back(ScanOf(s));
    }
  }
  if (FScans.empty()) throw TUsageError("serve found no JPEG, PNG, TIFF or BMP scan to calibrate");
  for (const TServeScan& s : FScans) {
    FRoots.push_back(fs::absolute(fs::path(s.Path)).parent_path());
    FStates.push_back(std::make_unique<TScanState>());
  }
  if (!Options.Atlas.empty()) {
    const TMapFiles files = ScanMapFiles({Options.Atlas});
    std::vector<std::string> problems = files.Problems;
    const TAtlasIndex index = TAtlasIndex::FromFiles(files.Calibrations, problems);
    TMapSourceOptions sources;
    sources.PyramidCacheDir = Options.CacheDir;
    FAtlas = std::make_unique<TAtlasTiles>(index, sources, problems);
    if (FAtlas->MapCount() == 0)
      throw TUsageError("--atlas " + apps::Printable(Options.Atlas) + " holds no usable map");
    FRoots.push_back(fs::absolute(fs::path(Options.Atlas)));
  }
}

TServeSession::~TServeSession() = default;

TServeSession::TScanState& TServeSession::State(std::size_t Index) {
  if (Index >= FStates.size()) throw TServeError(404, "no such scan");
  return *FStates[Index];
}

const TServeSession::TScanState& TServeSession::State(std::size_t Index) const {
  if (Index >= FStates.size()) throw TServeError(404, "no such scan");
  return *FStates[Index];
}

std::shared_ptr<const TImagePyramid> TServeSession::Pyramid(std::size_t Index) {
  TScanState& s = State(Index);
  {
    std::lock_guard lock(FMutex);
    if (s.Pyramid) return s.Pyramid;
  }
  // Built outside the session's lock: a large scan's first opening takes
  // a while and must not hold up the other scans' requests.
  std::lock_guard opening(s.Opening);
  {
    std::lock_guard lock(FMutex);
    if (s.Pyramid) return s.Pyramid;
  }
  TPyramidOptions o;
  o.CacheDir = FCacheDir;
  std::shared_ptr<const TImagePyramid> p = TImagePyramid::Open(FScans[Index].Path, o);
  std::lock_guard lock(FMutex);
  s.Pyramid = p;
  return p;
}

std::string TServeSession::ScansJson() const {
  std::string out = "{\"scans\":[";
  for (std::size_t i = 0; i < FScans.size(); ++i) {
    const TServeScan& s = FScans[i];
    int levels = 1;
    for (int64_t w = s.Width, h = s.Height;
         w > TImagePyramid::kTileSize || h > TImagePyramid::kTileSize;
         w = (w + 1) / 2, h = (h + 1) / 2)
      ++levels;
    out += std::string(i ? "," : "") + "{\"name\":" + Quoted(s.Name) +
           ",\"width\":" + std::to_string(s.Width) + ",\"height\":" + std::to_string(s.Height) +
           ",\"levels\":" + std::to_string(levels) + ",\"root\":" + std::to_string(i) + "}";
  }
  out += "],\"atlas\":" + std::string(Bool(FAtlas != nullptr));
  if (FAtlas) {
    const TGeoBounds b = FAtlas->Bounds();
    out += ",\"atlasBounds\":[" + Num(b.West) + "," + Num(b.South) + "," + Num(b.East) + "," +
           Num(b.North) + "]";
  }
  return out + "}";
}

namespace {

// The residual table of a fitted calibration (its residuals given).
std::string ResidualsJson(const TMapCalibration& Cal,
                          const std::vector<TCalibResidual>& residuals) {
  std::string out = "[";
  if (Cal.Model() == cmParabolicIp || !Cal.Converts()) return out + "]";
  const std::vector<TControlPoint> points = Cal.ControlPoints();
  const auto loo = Cal.LeaveOneOutResiduals();
  for (std::size_t i = 0; i < residuals.size() && i < points.size(); ++i) {
    const TCalibResidual& r = residuals[i];
    const TCalibResidual& l = loo[i];
    out += std::string(i ? "," : "") + "{\"x\":" + Num(points[i].X) + ",\"y\":" + Num(points[i].Y) +
           ",\"valid\":" + Bool(r.Valid) + ",\"dx\":" + Num(r.dX) + ",\"dy\":" + Num(r.dY) +
           ",\"m\":" + Num(r.DistanceMetres) + ",\"looValid\":" + Bool(l.Valid) +
           ",\"looDx\":" + Num(l.dX) + ",\"looDy\":" + Num(l.dY) +
           ",\"looM\":" + Num(l.DistanceMetres) + "}";
  }
  return out + "]";
}

}  // namespace

std::string TServeSession::FitLocked(std::size_t Index, std::string_view Body, bool Write,
                                     std::string* File) {
  TScanState& state = State(Index);
  const TServeScan& scan = FScans[Index];
  TFitRequest request;
  try {
    request = ParseFitRequest(Body);
  } catch (const TServeRequestError& e) {
    throw TServeError(400, e.what());
  } catch (const TUsageError& e) {
    throw TServeError(400, e.what());
  }
  uint64_t generation = 0;
  {
    std::lock_guard lock(FMutex);
    generation = ++state.Generation;
  }
  TMapCalibration cal = RequestCalibration(request, scan.Name, scan.Width, scan.Height);
  TFitOutcome fit;
  try {
    fit = cal.Fit();
  } catch (const EZYLGeoMapError& e) {  // a CRS that PROJ does not know
    fit.Ok = false;
    fit.Reason = e.what();
  }
  double sum = 0;
  int n = 0;
  std::vector<TCalibResidual> residuals;
  if (fit) {
    residuals = cal.Residuals();
    for (const TCalibResidual& r : residuals) {
      if (!r.Valid) continue;
      sum += r.dX * r.dX + r.dY * r.dY;
      ++n;
    }
  }
  std::string out = "{\"ok\":" + std::string(Bool(fit.Ok)) +
                    ",\"message\":" + Quoted(apps::Printable(fit.Reason)) +
                    ",\"generation\":" + std::to_string(generation) +
                    ",\"rms\":" + Num(n ? std::sqrt(sum / n) : 0.0) +
                    ",\"points\":" + ResidualsJson(cal, residuals);
  if (fit) {
    const TGeoBounds b = MapBounds(cal);
    out += ",\"bounds\":[" + Num(b.West) + "," + Num(b.South) + "," + Num(b.East) + "," +
           Num(b.North) + "]";
    if (Write) {
      *File = ChangeFileExt(scan.Path, ".xml");
      try {
        SaveCalibrationAsXML(*File, ChangeFileExt(ExtractFileName(*File), ""), cal);
      } catch (const std::exception& e) {
        throw TServeError(500, apps::Printable(e.what()));
      }
    }
    auto published = std::make_shared<TPublishedFit>(TPublishedFit{std::move(cal), generation});
    std::lock_guard lock(FMutex);
    // A slower fit asked for earlier does not replace a later one.
    if (!state.Fit || state.Fit->Generation < generation) state.Fit = std::move(published);
  }
  return out + "}";
}

std::string TServeSession::Fit(std::size_t Index, std::string_view Body) {
  return FitLocked(Index, Body, false, nullptr);
}

std::string TServeSession::Save(std::size_t Index, std::string_view Body) {
  std::string file;
  std::string fit = FitLocked(Index, Body, true, &file);
  if (file.empty()) throw TServeError(400, "the points give no calibration; nothing written");
  return "{\"file\":" + Quoted(ExtractFileName(file)) + ",\"fit\":" + fit + "}";
}

std::string TServeSession::Export(std::size_t Index, std::string_view Format,
                                  std::string_view Body) {
  const TExportTarget* target = nullptr;
  for (const TExportTarget& t : kExports)
    if (Format == t.Format) target = &t;
  if (!target) throw TServeError(400, "no export format '" + apps::Printable(Format) + "'");
  Save(Index, Body);
  const TServeScan& scan = FScans[Index];
  const std::string calibration = ChangeFileExt(scan.Path, ".xml");
  const std::string output = Beside(scan, target->Suffix);
  const std::vector<std::string> args =
      target->Tiles
          ? std::vector<std::string>{"tiles", calibration, "-o", output}
          : std::vector<std::string>{"export", calibration, "--to", target->Format, "-o", output};
  std::istringstream in;
  std::ostringstream out, err;
  const int status = Run(args, in, out, err);
  const std::string log = apps::Printable(out.str() + err.str(), true);
  if (status != kExitOk && status != kExitBadInput) throw TServeError(500, log);
  return "{\"file\":" + Quoted(ExtractFileName(output)) + ",\"status\":" + std::to_string(status) +
         ",\"log\":" + Quoted(log) + "}";
}

std::string TServeSession::AnnotationOut(std::size_t Index) const {
  std::shared_ptr<const TPublishedFit> fit;
  {
    std::lock_guard lock(FMutex);
    fit = State(Index).Fit;
  }
  if (!fit) throw TServeError(409, "no calibration yet: place points first");
  TAnnotationTarget target;
  target.Id = FScans[Index].Name;
  TReadBackError readBack;
  try {
    return MakeGeoreferenceAnnotation(fit->Calibration, target, readBack);
  } catch (const EZYLGeoMapError& e) {
    throw TServeError(409, apps::Printable(e.what()));
  }
}

namespace {

// The settings and points of a calibration as the page holds them: UTM
// northings and eastings as latitudes and longitudes.
std::string PageJson(const TMapCalibration& Cal) {
  const TCalibData& d = Cal.Data();
  std::string out = "{\"model\":" + Quoted(CalibModelNames[Cal.Model()]) +
                    ",\"smoothing\":" + Num(d.Smoothing) +
                    ",\"crs\":" + Quoted(apps::Printable(d.CrsText)) +
                    ",\"order\":" + std::to_string(d.PolyOrder == 2 ? 2 : 1) +
                    ",\"caption\":" + Quoted(apps::Printable(d.Caption)) + ",\"points\":[";
  const std::vector<TControlPoint> points =
      Cal.Model() == cmParabolicIp ? std::vector<TControlPoint>{} : Cal.ControlPoints();
  for (std::size_t i = 0; i < points.size(); ++i) {
    double lat = points[i].LatOrNorthing, lon = points[i].LongOrEasting;
    if (Cal.Model() == cmUTM)
      UTMToLatLong(points[i].LongOrEasting, points[i].LatOrNorthing, d.UTMZone, d.UTMSouth,
                   d.Ellipsoid, lat, lon);
    out += std::string(i ? "," : "") + "{\"x\":" + Num(points[i].X) + ",\"y\":" + Num(points[i].Y) +
           ",\"lat\":" + Num(lat) + ",\"lon\":" + Num(lon) + "}";
  }
  out += "],\"mask\":[";
  for (std::size_t i = 0; i < Cal.Border().size(); ++i)
    out += std::string(i ? "," : "") + "[" + Num(Cal.Border()[i].X) + "," + Num(Cal.Border()[i].Y) +
           "]";
  return out + "]}";
}

}  // namespace

std::string TServeSession::SavedCalibration(std::size_t Index) const {
  State(Index);
  const std::string file = ChangeFileExt(FScans[Index].Path, ".xml");
  TMapCalibration cal;
  try {
    if (!FileExists(file) || !ParseCalibration(file, "", cal))
      throw TServeError(404, "no calibration saved yet");
  } catch (const EZYLError& e) {
    throw TServeError(409, apps::Printable(e.what()));
  }
  return PageJson(cal);
}

std::string TServeSession::AnnotationIn(std::size_t Index, std::string_view Body) const {
  State(Index);
  const TServeScan& scan = FScans[Index];
  TImportedMap map;
  try {
    map = ParseGeoreferenceAnnotation(Body, "annotation", scan.Width, scan.Height);
  } catch (const EZYLGeoMapError& e) {
    throw TServeError(400, apps::Printable(e.what()));
  }
  return PageJson(map.Calibration);
}

std::vector<uint8_t> TServeSession::ScanTile(std::size_t Index, int Zoom, int X, int Y) {
  const std::shared_ptr<const TImagePyramid> pyramid = Pyramid(Index);
  const int level = pyramid->Levels() - 1 - Zoom;
  if (Zoom < 0 || level < 0 || X < 0 || Y < 0 || X >= pyramid->TilesAcross(level) ||
      Y >= pyramid->TilesDown(level))
    throw TServeError(404, "no such tile");
  const TTilePixels pixels = pyramid->Tile(level, X, Y);
  constexpr int kSide = TImagePyramid::kTileSize;
  // An edge tile's part beyond the image is padding: it takes the page's
  // background, so that the scan is seen to end where it ends.
  constexpr uint32_t kPageBackground = 0xDDDDDD;
  const int across = std::min(kSide, pyramid->LevelWidth(level) - X * kSide);
  const int down = std::min(kSide, pyramid->LevelHeight(level) - Y * kSide);
  std::vector<uint8_t> rgb(static_cast<std::size_t>(kSide) * kSide * 3);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * kSide + x;
      const uint32_t p = x < across && y < down ? pixels[i] : kPageBackground;
      rgb[3 * i] = static_cast<uint8_t>(p >> 16);
      rgb[3 * i + 1] = static_cast<uint8_t>(p >> 8);
      rgb[3 * i + 2] = static_cast<uint8_t>(p);
    }
  return EncodeJpegRgb(rgb.data(), kSide, kSide, 85);
}

namespace {

void CheckTile(const TTileId& Tile) {
  if (Tile.Z < 0 || Tile.Z > kMaxWebZoom || Tile.X < 0 || Tile.Y < 0 || Tile.X >= (1 << Tile.Z) ||
      Tile.Y >= (1 << Tile.Z))
    throw TServeError(404, "no such tile");
}

}  // namespace

std::vector<uint8_t> TServeSession::PreviewTile(std::size_t Index, const TTileId& Tile) {
  CheckTile(Tile);
  std::shared_ptr<const TPublishedFit> fit;
  {
    std::lock_guard lock(FMutex);
    fit = State(Index).Fit;
  }
  TTileRgba rgba(static_cast<std::size_t>(kWebTileSize) * kWebTileSize * 4, 0);
  if (fit) {
    const std::shared_ptr<const TImagePyramid> pyramid = Pyramid(Index);
    const TTileWarper warper(fit->Calibration, *pyramid);
    warper.Warp(Tile, rgba);
  }
  return EncodePngTile(rgba);
}

std::vector<uint8_t> TServeSession::AtlasTile(const TTileId& Tile) const {
  CheckTile(Tile);
  if (!FAtlas) throw TServeError(404, "no atlas was given");
  TTileRgba rgba;
  if (!FAtlas->Render(Tile, rgba))
    rgba.assign(static_cast<std::size_t>(kWebTileSize) * kWebTileSize * 4, 0);
  return EncodePngTile(rgba);
}

}  // namespace marovia::geomaptool
