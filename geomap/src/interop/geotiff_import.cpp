// GeoTIFF import: the georeferencing tags through libtiff, the GeoKeys and
// the CRS they define through libgeotiff, positions in other CRSs moved to
// WGS 84 through PROJ, then a calibration fitted to points sampled from the
// file's georeferencing.
//
// libtiff's and libgeotiff's messages go to handlers of this one import,
// never to standard error. No process-wide state is touched: libtiff reads
// the GeoTIFF fields as fields it does not know (or as registered ones, if
// another part of the process registered them), and libgeotiff reads the
// keys from a copy of the three key fields rather than from the TIFF
// handle, so no tag extender has to be installed.
#include "marovia/geomap/geotiff_import.h"

#include <geo_normalize.h>
#include <geo_simpletags.h>
#include <geo_tiffp.h>
#include <geotiff.h>
#include <geovalues.h>
#include <proj.h>
#include <tiffio.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "calibration/proj_support.h"
#include "interop/geotiff_crs.h"
#include "interop/interop_support.h"

namespace marovia {
namespace {

[[noreturn]] void Fail(const std::string& file, const std::string& why) {
  throw EZYLGeoMapError("Cannot import GeoTIFF file \"" + file + "\": " + why);
}

extern "C" {
static int OnTiffError(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
  auto& message = *static_cast<std::string*>(user);
  if (message.empty()) {
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    message = text;
  }
  return 1;
}
static int OnTiffWarning(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}
static void OnGeoTiffError(GTIF*, int, const char*, ...) {}
}  // extern "C"

struct TiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
struct SimpleTagsFreer {
  void operator()(ST_TIFF* st) const { ST_Destroy(st); }
};
struct GtifFreer {
  void operator()(GTIF* g) const { GTIFFree(g); }
};
struct DefnFreer {
  void operator()(GTIFDefn* d) const { GTIFFreeDefn(d); }
};
struct OptionsFreer {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

std::unique_ptr<TIFF, TiffCloser> OpenTiff(const std::string& file) {
  std::string message;
  std::unique_ptr<TIFFOpenOptions, OptionsFreer> opts(TIFFOpenOptionsAlloc());
  if (!opts) Fail(file, "out of memory");
  TIFFOpenOptionsSetErrorHandlerExtR(opts.get(), OnTiffError, &message);
  TIFFOpenOptionsSetWarningHandlerExtR(opts.get(), OnTiffWarning, nullptr);
  TIFFOpenOptionsSetMaxSingleMemAlloc(opts.get(), tmsize_t{1} << 28);
  // Only the directory is read; "m": no memory mapping of the file.
  TIFF* t = TIFFOpenExt(file.c_str(), "rm", opts.get());
  if (!t) Fail(file, message.empty() ? "not a TIFF file" : message);
  return std::unique_ptr<TIFF, TiffCloser>(t);
}

// The GeoTIFF fields.
constexpr uint16_t kTagPixelScale = 33550;
constexpr uint16_t kTagTiepoints = 33922;
constexpr uint16_t kTagTransformation = 34264;
constexpr uint16_t kTagKeyDirectory = 34735;
constexpr uint16_t kTagDoubleParams = 34736;
constexpr uint16_t kTagAsciiParams = 34737;
// Metadata items as XML text; a neatline is one of them.
constexpr uint16_t kTagGdalMetadata = 42112;

// The values of a field of the given type, whether libtiff knows the field
// (a count of 16 bits, or none for text) or created it on reading (a count
// of 32 bits); empty when the field is absent or of another type. Valid
// while the directory is.
template <class T>
std::span<const T> FieldValues(TIFF* t, uint16_t tag, TIFFDataType type) {
  const TIFFField* f = TIFFFindField(t, tag, TIFF_ANY);
  if (!f || TIFFFieldDataType(f) != type) return {};
  void* data = nullptr;
  size_t n = 0;
  if (TIFFFieldPassCount(f)) {
    if (TIFFFieldReadCount(f) == TIFF_VARIABLE2) {
      uint32_t c = 0;
      if (!TIFFGetField(t, tag, &c, &data)) return {};
      n = c;
    } else {
      uint16_t c = 0;
      if (!TIFFGetField(t, tag, &c, &data)) return {};
      n = c;
    }
  } else if (type == TIFF_ASCII) {
    char* text = nullptr;
    if (!TIFFGetField(t, tag, &text) || !text) return {};
    data = text;
    n = std::strlen(text) + 1;
  }
  if (!data) return {};
  return {static_cast<const T*>(data), n};
}

using interop::TGeoTiffCrs;

// The key fields, copied for libgeotiff's reader of simple tags.
std::unique_ptr<ST_TIFF, SimpleTagsFreer> KeyFields(TIFF* t) {
  std::unique_ptr<ST_TIFF, SimpleTagsFreer> st(ST_Create());
  if (!st) return st;
  const auto keys = FieldValues<uint16_t>(t, kTagKeyDirectory, TIFF_SHORT);
  const auto doubles = FieldValues<double>(t, kTagDoubleParams, TIFF_DOUBLE);
  const auto ascii = FieldValues<char>(t, kTagAsciiParams, TIFF_ASCII);
  if (!keys.empty())
    ST_SetKey(st.get(), kTagKeyDirectory, int(keys.size()), STT_SHORT,
              const_cast<uint16_t*>(keys.data()));
  if (!doubles.empty())
    ST_SetKey(st.get(), kTagDoubleParams, int(doubles.size()), STT_DOUBLE,
              const_cast<double*>(doubles.data()));
  // The text is handed over with its terminating NUL, which the count includes.
  if (!ascii.empty() && ascii.back() == '\0')
    ST_SetKey(st.get(), kTagAsciiParams, int(ascii.size()), STT_ASCII,
              const_cast<char*>(ascii.data()));
  return st;
}

// The GeoKeys: what they define, and whether the raster is PixelIsPoint.
TGeoTiffCrs ReadCrs(TIFF* t, const TSilentProjContext& ctx, const std::string& file,
                    bool& pixelIsPoint) {
  const auto st = KeyFields(t);
  if (!st) Fail(file, "out of memory");
  TIFFMethod methods;
  GTIFSetSimpleTagsMethods(&methods);
  std::unique_ptr<GTIF, GtifFreer> gt(
      GTIFNewWithMethodsEx(st.get(), &methods, OnGeoTiffError, nullptr));
  if (!gt) Fail(file, "its GeoKeys cannot be read");
  unsigned short raster = RasterPixelIsArea;
  pixelIsPoint =
      GTIFKeyGet(gt.get(), GTRasterTypeGeoKey, &raster, 0, 1) == 1 && raster == RasterPixelIsPoint;
  GTIFAttachPROJContext(gt.get(), ctx.get());
  unsigned short model = 0;
  if (GTIFKeyGet(gt.get(), GTModelTypeGeoKey, &model, 0, 1) != 1) {
    Fail(file, "it has no GeoKeys with a model type (not a GeoTIFF)");
  }
  std::unique_ptr<GTIFDefn, DefnFreer> d(GTIFAllocDefn());
  if (!d || !GTIFGetDefn(gt.get(), d.get())) {
    Fail(file, "its GeoKeys define no coordinate reference system");
  }
  try {
    return interop::BuildGeoTiffCrs(ctx.get(), *d, model);
  } catch (const EZYLGeoMapError& e) {
    Fail(file, e.what());
  }
}

// A position of the file: our pixel (I, J), the model coordinates (X, Y).
struct Tie {
  double I = 0, J = 0, X = 0, Y = 0;
};

// The georeferencing: an affine map (X = a0 + a1 I + a2 J, Y = a3 + a4 I +
// a5 J, in our pixels), or control points.
struct Georef {
  bool affine = false;
  std::array<double, 6> a{};
  std::vector<Tie> gcps;
};

bool AllFinite(const double* v, size_t n) {
  for (size_t k = 0; k < n; ++k)
    if (!std::isfinite(v[k])) return false;
  return true;
}

Georef ReadGeoref(TIFF* t, bool pixelIsPoint, const std::string& file) {
  // Under PixelIsPoint a file position counts from a pixel's centre: our
  // pixel p is the file's p - 0.5.
  const double shift = pixelIsPoint ? 0.5 : 0.0;
  Georef g;
  const auto matrix = FieldValues<double>(t, kTagTransformation, TIFF_DOUBLE);
  if (matrix.size() >= 16) {
    const double* v = matrix.data();
    if (!AllFinite(v, 16)) Fail(file, "its ModelTransformation holds a value that is not finite");
    g.affine = true;
    g.a = {v[3] - shift * (v[0] + v[1]), v[0], v[1], v[7] - shift * (v[4] + v[5]), v[4], v[5]};
    return g;
  }
  const auto tiepoints = FieldValues<double>(t, kTagTiepoints, TIFF_DOUBLE);
  const double* tp = tiepoints.data();
  const size_t nt = tiepoints.size();
  if (nt < 6) {
    Fail(file,
         "it has no georeferencing (ModelTransformation, or ModelTiepoint with "
         "ModelPixelScale, or control points)");
  }
  if (!AllFinite(tp, nt)) Fail(file, "its ModelTiepoint holds a value that is not finite");
  if (nt / 6 == 1) {
    const auto scale = FieldValues<double>(t, kTagPixelScale, TIFF_DOUBLE);
    const double* sc = scale.data();
    if (scale.size() < 2) {
      Fail(file, "it has one ModelTiepoint but no ModelPixelScale");
    }
    if (!AllFinite(sc, 2) || sc[0] == 0 || sc[1] == 0) {
      Fail(file, "its ModelPixelScale is zero or not finite");
    }
    // The tiepoint's raster position (tp[0], tp[1]) is our pixel
    // (tp[0] + shift, tp[1] + shift); y grows downwards in the raster.
    g.affine = true;
    const double i0 = tp[0] + shift, j0 = tp[1] + shift;
    g.a = {tp[3] - i0 * sc[0], sc[0], 0, tp[4] + j0 * sc[1], 0, -sc[1]};
    return g;
  }
  for (size_t k = 0; k + 6 <= nt; k += 6) {
    g.gcps.push_back(Tie{tp[k] + shift, tp[k + 1] + shift, tp[k + 3], tp[k + 4]});
  }
  return g;
}

// The border a file carries in its metadata field: an item "NEATLINE"
// holding a WKT polygon ("POLYGON ((x y, x y, ...))", the outer ring) in the
// model's coordinates, turned into pixels through the affine map. Empty
// without one, under control points, or for a polygon that cannot be read:
// the map then simply has no border.
std::vector<TBorderVertex> NeatlineBorder(TIFF* t, const Georef& g) {
  constexpr size_t kMaxVertices = 10000;
  if (!g.affine) return {};
  const auto field = FieldValues<char>(t, kTagGdalMetadata, TIFF_ASCII);
  if (field.empty()) return {};
  const std::string_view meta(field.data(), strnlen(field.data(), field.size()));
  const size_t item = meta.find("name=\"NEATLINE\"");
  if (item == std::string_view::npos) return {};
  const size_t start = meta.find('>', item), end = meta.find("</Item>", item);
  if (start == std::string_view::npos || end == std::string_view::npos || end < start) return {};
  const std::string_view wkt = meta.substr(start + 1, end - start - 1);
  const size_t ring = wkt.find("((");
  if (ring == std::string_view::npos ||
      wkt.substr(0, ring).find("POLYGON") == std::string_view::npos)
    return {};
  const double det = g.a[1] * g.a[5] - g.a[2] * g.a[4];
  if (!(std::isfinite(det) && det != 0)) return {};
  std::vector<TBorderVertex> border;
  const char* p = wkt.data() + ring + 2;
  const char* const last = wkt.data() + wkt.size();
  auto skipBlanks = [&] {
    while (p < last && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')) ++p;
  };
  for (;;) {
    double xy[2];
    for (double& v : xy) {
      skipBlanks();
      const auto r = std::from_chars(p, last, v);
      if (r.ec != std::errc() || !std::isfinite(v)) return {};
      p = r.ptr;
    }
    if (border.size() == kMaxVertices) return {};
    const double dx = xy[0] - g.a[0], dy = xy[1] - g.a[3];
    border.push_back(
        TBorderVertex{(g.a[5] * dx - g.a[2] * dy) / det, (g.a[1] * dy - g.a[4] * dx) / det});
    skipBlanks();
    if (p < last && *p == ',') {
      ++p;
      continue;
    }
    if (p < last && *p == ')') break;
    return {};
  }
  // The ring repeats its first vertex at its end; the border closes itself.
  if (border.size() > 1 && border.front() == border.back()) border.pop_back();
  if (border.size() < 3) return {};
  return border;
}

// WGS 84 latitudes and longitudes of positions in the CRS (its own axis
// units, easting or longitude first).
void ToWgs84(const TSilentProjContext& ctx, const std::string& crsText, std::vector<Tie>& ties,
             const std::string& file) {
  const TPjPtr norm = NormalisedCrsToCrs(ctx.get(), crsText, "EPSG:4326");
  if (!norm)
    Fail(file,
         "PROJ knows no transformation from its CRS \"" + crsText.substr(0, 80) + "\" to WGS 84");
  for (Tie& p : ties) {
    const PJ_COORD r = proj_trans(norm.get(), PJ_FWD, proj_coord(p.X, p.Y, 0, 0));
    if (!std::isfinite(r.xy.x) || !std::isfinite(r.xy.y)) {
      Fail(file,
           "a position cannot be moved from its CRS \"" + crsText.substr(0, 80) + "\" to WGS 84");
    }
    p.X = r.xy.x;  // longitude
    p.Y = r.xy.y;  // latitude
  }
}

// Whether the control points' pixels span an area: a least-squares fit to
// points on one line would answer a map without complaint, but a wrong one.
bool SpanArea(const std::vector<Tie>& ties) {
  const Tie& a = ties[0];
  const Tie* far = &a;
  for (const Tie& p : ties)
    if (std::hypot(p.I - a.I, p.J - a.J) > std::hypot(far->I - a.I, far->J - a.J)) far = &p;
  const double len = std::hypot(far->I - a.I, far->J - a.J);
  if (len < 1) return false;
  for (const Tie& p : ties) {
    const double off = std::fabs((far->I - a.I) * (p.J - a.J) - (far->J - a.J) * (p.I - a.I)) / len;
    if (off >= 0.5) return true;
  }
  return false;
}

}  // namespace

TImportedMap ImportGeoTiff(const std::string& FileName) {
  const auto tif = OpenTiff(FileName);
  uint32_t w = 0, h = 0;
  if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w) ||
      !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h) || w == 0 || h == 0 ||
      w > uint32_t(INT32_MAX) || h > uint32_t(INT32_MAX)) {
    Fail(FileName, "it has no usable image size");
  }
  const TSilentProjContext ctx;
  bool pixelIsPoint = false;
  const TGeoTiffCrs crs = ReadCrs(tif.get(), ctx, FileName, pixelIsPoint);
  const Georef g = ReadGeoref(tif.get(), pixelIsPoint, FileName);

  // The points to fit: sampled from an affine map, or the control points.
  std::vector<Tie> ties;
  if (g.affine && crs.Kind == TGeoTiffCrs::OtherGeographic) {
    // Latitude and longitude on another datum: the shift to WGS 84 varies
    // across the map, so a grid of positions is moved and the simplest
    // model that meets them all within a hundredth of a pixel is fitted.
    constexpr int kGrid = 5;
    std::vector<interop::TGroundPoint> grid;
    for (int j = 0; j < kGrid; ++j)
      for (int i = 0; i < kGrid; ++i) {
        const double I = double(w) * i / (kGrid - 1), J = double(h) * j / (kGrid - 1);
        ties.push_back(
            Tie{I, J, g.a[0] + g.a[1] * I + g.a[2] * J, g.a[3] + g.a[4] * I + g.a[5] * J});
      }
    ToWgs84(ctx, crs.Text, ties, FileName);
    for (const Tie& t : ties) grid.push_back({t.I, t.J, t.Y, t.X, 0, 0});
    TImportedMap result{
        interop::CalibrationFromPoints(grid, {}, int32_t(w), int32_t(h), FileName, 0.01), FileName};
    result.Calibration.Data().MapFName = FileName;
    result.Calibration.SetBorder(NeatlineBorder(tif.get(), g));
    return result;
  }
  if (g.affine) {
    const double W = w, H = h;
    for (const auto& [i, j] : std::array<std::array<double, 2>, 5>{
             {{0, 0}, {W, 0}, {0, H}, {W, H}, {std::floor(W / 2), std::floor(H / 2)}}}) {
      ties.push_back(Tie{i, j, g.a[0] + g.a[1] * i + g.a[2] * j, g.a[3] + g.a[4] * i + g.a[5] * j});
    }
  } else {
    ties = g.gcps;
    if (ties.size() < 3) Fail(FileName, "it has fewer than 3 control points");
    if (!SpanArea(ties)) Fail(FileName, "its control points lie on one line");
  }

  TCalibData data;
  data.MapFName = FileName;
  TCalibModel model = cmEquiRect;
  bool geographic =
      crs.Kind == TGeoTiffCrs::Wgs84Geographic || crs.Kind == TGeoTiffCrs::OtherGeographic;
  if (crs.Kind == TGeoTiffCrs::OtherGeographic) ToWgs84(ctx, crs.Text, ties, FileName);
  const size_t n = ties.size();
  bool projectedMetres = false;  // points as easting/northing of a UTM zone
  if (g.affine) {
    if (crs.Kind == TGeoTiffCrs::Utm) {
      model = cmUTM;
      data.UTMZone = crs.Zone;
      data.UTMSouth = crs.South;
      projectedMetres = true;
    } else if (crs.Kind == TGeoTiffCrs::OtherProjected) {
      model = cmProjected;
    }
  } else if (n >= 10) {
    model = cmThinPlate;
  } else if (geographic) {
    model = n >= 6 ? cmBiquadraticPn : cmEquiRect;
  } else {
    model = cmProjected;
  }
  if (model == cmProjected) {
    data.CrsText = crs.Text;
    data.PolyOrder = g.affine || n < 6 ? 1 : 2;
  }
  if (!geographic && !projectedMetres) ToWgs84(ctx, crs.Text, ties, FileName);
  data.Ellipsoid = gelWGS84;

  TImportedMap result;
  result.ImageName = FileName;
  result.Calibration = TMapCalibration(model, data, int32_t(w), int32_t(h));
  std::vector<TControlPoint> points;
  for (const Tie& p : ties) points.push_back({p.I, p.J, p.Y, p.X});
  try {
    result.Calibration.SetControlPoints(std::move(points));
    result.Calibration.Fit();
  } catch (const EZYLGeoMapError& e) {
    Fail(FileName, e.what());
  }
  if (!result.Calibration.Converts()) {
    const std::string why = result.Calibration.FitMessage();
    Fail(FileName, "its points do not fit the model" + (why.empty() ? "" : ": " + why));
  }
  result.Calibration.SetBorder(NeatlineBorder(tif.get(), g));
  return result;
}

}  // namespace marovia
