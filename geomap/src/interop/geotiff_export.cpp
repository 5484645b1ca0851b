// GeoTIFF export: the georeferencing as GeoTIFF fields (tiepoint and pixel
// scale, ModelTransformation or a control-point list, and the GeoKey
// directory), written with the image by the TIFF codec into a replacement of
// the target file.
#include "marovia/geomap/geotiff_export.h"

#include <geokeys.h>
#include <geovalues.h>
#include <proj.h>

#include <cmath>
#include <optional>
#include <string_view>

#include "calibration/proj_support.h"
#include "files/replace_file.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/streams.h"
#include "marovia/platform/tiffimage.h"

namespace marovia {
namespace {

// The GeoTIFF fields.
constexpr uint16_t kTagPixelScale = 33550;
constexpr uint16_t kTagTiepoints = 33922;
constexpr uint16_t kTagTransformation = 34264;
constexpr uint16_t kTagKeyDirectory = 34735;
constexpr uint16_t kEpsgWgs84 = 4326;
constexpr uint16_t kAngularDegree = 9102;

[[noreturn]] void Fail(const std::string& file, const std::string& why) {
  throw EZYLGeoMapError("Cannot export GeoTIFF file \"" + file + "\": " + why);
}

// The EPSG code of a projected CRS given as text, when PROJ finds one that
// describes it fully (a PROJ string matching an EPSG definition included),
// and it fits a GeoKey.
std::optional<uint16_t> EpsgCodeOf(const TSilentProjContext& ctx, const std::string& text) {
  const TPjPtr crs = CreateCrs(ctx.get(), text);
  if (!crs || proj_get_type(crs.get()) != PJ_TYPE_PROJECTED_CRS) return std::nullopt;
  const int code = IdentifyEpsg(ctx.get(), crs.get(), 100);
  if (code <= 0 || code >= KvUserDefined) return std::nullopt;
  return static_cast<uint16_t>(code);
}

// WGS 84 latitude and longitude to the CRS's own coordinates (easting
// first, in its units).
class FromWgs84 {
 public:
  FromWgs84(const TSilentProjContext& ctx, const std::string& text, const std::string& file)
      : pj_(NormalisedCrsToCrs(ctx.get(), "EPSG:4326", text)) {
    if (!pj_) Fail(file, "PROJ knows no transformation from WGS 84 to \"" + text + "\"");
  }
  bool Apply(double lat, double lon, double& x, double& y) const {
    const PJ_COORD r = proj_trans(pj_.get(), PJ_FWD, proj_coord(lon, lat, 0, 0));
    x = r.xy.x;
    y = r.xy.y;
    return std::isfinite(x) && std::isfinite(y);
  }

 private:
  TPjPtr pj_;
};

// Model coordinates of pixel (i, j): X = a[0] + a[1] i + a[2] j, Y = a[3] +
// a[4] i + a[5] j.
using Affine = std::array<double, 6>;

struct Georef {
  bool projected = false;
  uint16_t code = kEpsgWgs84;
  std::optional<Affine> affine;
  std::vector<std::array<double, 4>> gcps;  // pixel i, j, model X, Y
};

Affine FromRows(const TMapCalibration::TAffineRows& rows) {
  // Row 0 gives latitude or northing (Y), row 1 longitude or easting (X).
  return {rows[1][0], rows[1][1], rows[1][2], rows[0][0], rows[0][1], rows[0][2]};
}

// The affine map of a projected model of order 1 in the CRS's units, from
// three pixels: exact for an affine model up to PROJ's round trip.
Affine SampledAffine(const TMapCalibration& cal, const FromWgs84& to, const std::string& file) {
  const double W = std::max(1, cal.ImageWidth()), H = std::max(1, cal.ImageHeight());
  double x[3], y[3];
  const double px[3][2] = {{0, 0}, {W, 0}, {0, H}};
  for (int k = 0; k < 3; ++k) {
    const TPixelPosition p = cal.PixelToGeo(px[k][0], px[k][1]);
    if (!p.Valid() || !to.Apply(p.Latit, p.Longit, x[k], y[k]))
      Fail(file, "a corner of the map has no position");
  }
  return {x[0], (x[1] - x[0]) / W, (x[2] - x[0]) / H, y[0], (y[1] - y[0]) / W, (y[2] - y[0]) / H};
}

Georef GeorefOf(const TMapCalibration& cal, int grid, const std::string& file) {
  const TSilentProjContext ctx;
  Georef g;
  const TCalibData& d = cal.Data();
  std::optional<FromWgs84> to;
  switch (cal.Model()) {
    case cmEquiRect:
      g.affine = FromRows(cal.EquRectPLSP());
      return g;
    case cmUTM:
      if (d.Ellipsoid == gelWGS84 && d.UTMZone >= 1 && d.UTMZone <= 60) {
        g.projected = true;
        g.code = static_cast<uint16_t>((d.UTMSouth ? 32700 : 32600) + d.UTMZone);
        g.affine = FromRows(cal.EquRectPLSP());
        return g;
      }
      break;
    case cmProjected:
      if (auto code = EpsgCodeOf(ctx, d.CrsText)) {
        g.projected = true;
        g.code = *code;
        to.emplace(ctx, d.CrsText, file);
        if (d.PolyOrder == 1) {
          g.affine = SampledAffine(cal, *to, file);
          return g;
        }
      }
      break;
    default:
      break;
  }
  // A grid of control points, edges included, on whole pixels: our own
  // import keeps control points on whole pixels, so such a file reads back
  // exactly.
  const double W = cal.ImageWidth(), H = cal.ImageHeight();
  for (int r = 0; r < grid; ++r) {
    for (int c = 0; c < grid; ++c) {
      const double i = std::round(W * c / (grid - 1)), j = std::round(H * r / (grid - 1));
      const TPixelPosition p = cal.PixelToGeo(i, j);
      double x = p.Longit, y = p.Latit;
      if (!p.Valid() || (to && !to->Apply(p.Latit, p.Longit, x, y))) {
        Fail(file, "the model gives no position for pixel (" + std::to_string(i) + ", " +
                       std::to_string(j) + ")");
      }
      g.gcps.push_back({i, j, x, y});
    }
  }
  return g;
}

TTiffField Shorts(uint16_t tag, std::vector<uint16_t> v) {
  TTiffField f;
  f.Tag = tag;
  f.Kind = TTiffField::tkShort;
  f.Shorts = std::move(v);
  return f;
}
TTiffField Doubles(uint16_t tag, std::vector<double> v) {
  TTiffField f;
  f.Tag = tag;
  f.Kind = TTiffField::tkDouble;
  f.Doubles = std::move(v);
  return f;
}

// The key directory: a header (version 1, revision 1.0, key count), then one
// entry per key (id, location 0 = value in the entry, count 1, value), in
// ascending order of id.
TTiffField KeyDirectory(const Georef& g) {
  std::vector<std::array<uint16_t, 2>> keys = {
      {GTModelTypeGeoKey, uint16_t(g.projected ? ModelTypeProjected : ModelTypeGeographic)},
      {GTRasterTypeGeoKey, RasterPixelIsArea}};
  if (g.projected) {
    keys.push_back({ProjectedCSTypeGeoKey, g.code});
  } else {
    keys.push_back({GeographicTypeGeoKey, g.code});
    keys.push_back({GeogAngularUnitsGeoKey, kAngularDegree});
  }
  std::vector<uint16_t> v = {1, 1, 0, uint16_t(keys.size())};
  for (const auto& [id, value] : keys) v.insert(v.end(), {id, 0, 1, value});
  return Shorts(kTagKeyDirectory, std::move(v));
}

// Whether the map has north up and no rotation: the cross terms move no
// corner of the image by more than 1e-10 of its extent (a fit of exact
// north-up points leaves them at rounding noise, not at zero).
bool NorthUp(const Affine& a, double w, double h) {
  return a[1] > 0 && a[5] < 0 && std::fabs(a[2]) * h <= 1e-10 * a[1] * w &&
         std::fabs(a[4]) * w <= 1e-10 * -a[5] * h;
}

std::vector<TTiffField> FieldsOf(const Georef& g, double w, double h) {
  std::vector<TTiffField> f;
  if (g.affine) {
    const Affine& a = *g.affine;
    if (NorthUp(a, w, h)) {
      f.push_back(Doubles(kTagPixelScale, {a[1], -a[5], 0}));
      f.push_back(Doubles(kTagTiepoints, {0, 0, 0, a[0], a[3], 0}));
    } else {
      f.push_back(Doubles(kTagTransformation,
                          {a[1], a[2], 0, a[0], a[4], a[5], 0, a[3], 0, 0, 0, 0, 0, 0, 0, 1}));
    }
  } else {
    std::vector<double> tp;
    for (const auto& p : g.gcps) tp.insert(tp.end(), {p[0], p[1], 0, p[2], p[3], 0});
    f.push_back(Doubles(kTagTiepoints, std::move(tp)));
  }
  // Fields go into the directory in ascending order of tag.
  f.push_back(KeyDirectory(g));
  return f;
}

}  // namespace

void ExportGeoTiff(const TMapCalibration& Calibration, const TBitmap& Image,
                   const std::string& FileName, int GcpGrid) {
  if (GcpGrid < 2 || GcpGrid > 14) {
    Fail(FileName, "a control-point grid of " + std::to_string(GcpGrid) +
                       " points per side is outside 2..14");
  }
  if (!Calibration.Converts()) Fail(FileName, "the calibration does not convert (not fitted)");
  if (Image.Empty()) Fail(FileName, "the map image is empty");
  if (Image.Width() != Calibration.ImageWidth() || Image.Height() != Calibration.ImageHeight()) {
    Fail(FileName, "the image of " + std::to_string(Image.Width()) + " x " +
                       std::to_string(Image.Height()) + " pixels is not the calibrated one of " +
                       std::to_string(Calibration.ImageWidth()) + " x " +
                       std::to_string(Calibration.ImageHeight()));
  }
  TTiffImage tiff;
  tiff.Assign(Image);
  tiff.SetExtraFields(
      FieldsOf(GeorefOf(Calibration, GcpGrid, FileName), Image.Width(), Image.Height()));
  TMemoryStream bytes;
  tiff.SaveToStream(bytes);
  TFileReplacement out(FileName);
  out.File().Write(std::string_view(reinterpret_cast<const char*>(bytes.Memory()),
                                    static_cast<size_t>(bytes.Size())));
  out.Commit();
}

}  // namespace marovia
