// The CRS of a GeoTIFF's GeoKeys through PROJ's object API (see
// geotiff_crs.h): codes from PROJ's database, user-defined parts built from
// the normalised definition libgeotiff reads (parameters in degrees and
// metres).
#include "interop/geotiff_crs.h"

#include <geovalues.h>
#include <proj_experimental.h>

#include <cmath>
#include <initializer_list>
#include <optional>
#include <string_view>

#include "marovia/geomap/map_calibration.h"

namespace marovia::interop {

namespace {

[[noreturn]] void Refuse(const std::string& Why) {
  throw EZYLGeoMapError(Why);
}

constexpr double kDegree = 0.017453292519943295;  // radians
constexpr const char* kDegreeName = "degree";

bool IsCode(int code) {
  return code > 0 && code != KvUserDefined;
}

std::string Code(int code) {
  return std::to_string(code);
}

// Whether every number of the definition is one a real CRS could hold.
bool PlausibleNumbers(const GTIFDefn& d) {
  constexpr double kLimit = 1e10;
  auto ok = [](double v) { return std::isfinite(v) && std::fabs(v) <= kLimit; };
  if (!ok(d.SemiMajor) || !ok(d.SemiMinor) || !ok(d.PMLongToGreenwich) ||
      !ok(d.UOMLengthInMeters) || !ok(d.UOMAngleInDegrees))
    return false;
  if (d.nParms < 0 || d.nParms > MAX_GTIF_PROJPARMS) return false;
  for (int k = 0; k < d.nParms; ++k)
    if (!ok(d.ProjParm[k])) return false;
  if (d.TOWGS84Count < 0 || d.TOWGS84Count > int(std::size(d.TOWGS84))) return false;
  for (int k = 0; k < d.TOWGS84Count; ++k)
    if (!ok(d.TOWGS84[k])) return false;
  return true;
}

// A projection parameter by the first of its keys that the definition
// holds (libgeotiff files parameters under the key they were read from).
std::optional<double> Param(const GTIFDefn& d, std::initializer_list<int> keys) {
  for (const int key : keys)
    for (int k = 0; k < d.nParms && k < MAX_GTIF_PROJPARMS; ++k)
      if (d.ProjParmId[k] == key) return d.ProjParm[k];
  return std::nullopt;
}

double Param(const GTIFDefn& d, std::initializer_list<int> keys, double fallback) {
  return Param(d, keys).value_or(fallback);
}

// The parameters a method reads, by role; each role falls back on the keys
// that files use for it in practice.
struct TParams {
  double Lat0, Lon0, Scale, FalseE, FalseN, Std1, Std2, Azimuth;
  std::optional<double> Std1Given, RectifiedAngle;
};

TParams ParamsOf(const GTIFDefn& d) {
  TParams p{};
  p.Lat0 = Param(d, {ProjNatOriginLatGeoKey, ProjFalseOriginLatGeoKey, ProjCenterLatGeoKey}, 0);
  p.Lon0 = Param(d,
                 {ProjNatOriginLongGeoKey, ProjFalseOriginLongGeoKey, ProjCenterLongGeoKey,
                  ProjStraightVertPoleLongGeoKey},
                 0);
  p.Scale = Param(d, {ProjScaleAtNatOriginGeoKey, ProjScaleAtCenterGeoKey}, 1);
  p.FalseE =
      Param(d, {ProjFalseEastingGeoKey, ProjFalseOriginEastingGeoKey, ProjCenterEastingGeoKey}, 0);
  p.FalseN = Param(
      d, {ProjFalseNorthingGeoKey, ProjFalseOriginNorthingGeoKey, ProjCenterNorthingGeoKey}, 0);
  p.Std1Given = Param(d, {ProjStdParallel1GeoKey});
  p.Std1 = p.Std1Given.value_or(0);
  p.Std2 = Param(d, {ProjStdParallel2GeoKey}, 0);
  p.Azimuth = Param(d, {ProjAzimuthAngleGeoKey}, 0);
  p.RectifiedAngle = Param(d, {ProjRectifiedGridAngleGeoKey});
  return p;
}

// The conversion of a user-defined projected CRS: its method by the
// GeoTIFF transformation code, angles in degrees, lengths in metres.
TPjPtr Conversion(PJ_CONTEXT* ctx, const GTIFDefn& d) {
  const TParams p = ParamsOf(d);
  const char* a = kDegreeName;
  const double ac = kDegree;
  const char* m = "metre";
  const double mc = 1;
  PJ* c = nullptr;
  switch (d.CTProjection) {
    case CT_TransverseMercator:
      c = proj_create_conversion_transverse_mercator(ctx, p.Lat0, p.Lon0, p.Scale, p.FalseE,
                                                     p.FalseN, a, ac, m, mc);
      break;
    case CT_TransvMercator_SouthOriented:
      c = proj_create_conversion_transverse_mercator_south_oriented(
          ctx, p.Lat0, p.Lon0, p.Scale, p.FalseE, p.FalseN, a, ac, m, mc);
      break;
    case CT_ObliqueMercator:
      c = proj_create_conversion_hotine_oblique_mercator_variant_a(
          ctx, p.Lat0, p.Lon0, p.Azimuth, p.RectifiedAngle.value_or(p.Azimuth), p.Scale, p.FalseE,
          p.FalseN, a, ac, m, mc);
      break;
    case CT_HotineObliqueMercatorAzimuthCenter:
      c = proj_create_conversion_hotine_oblique_mercator_variant_b(
          ctx, p.Lat0, p.Lon0, p.Azimuth, p.RectifiedAngle.value_or(p.Azimuth), p.Scale, p.FalseE,
          p.FalseN, a, ac, m, mc);
      break;
    case CT_ObliqueMercator_Laborde:
      c = proj_create_conversion_laborde_oblique_mercator(ctx, p.Lat0, p.Lon0, p.Azimuth, p.Scale,
                                                          p.FalseE, p.FalseN, a, ac, m, mc);
      break;
    case CT_Mercator:
      // A standard parallel makes it the two-parallel variant.
      if (p.Std1Given && *p.Std1Given != 0)
        c = proj_create_conversion_mercator_variant_b(ctx, *p.Std1Given, p.Lon0, p.FalseE, p.FalseN,
                                                      a, ac, m, mc);
      else
        c = proj_create_conversion_mercator_variant_a(ctx, p.Lat0, p.Lon0, p.Scale, p.FalseE,
                                                      p.FalseN, a, ac, m, mc);
      break;
    case CT_LambertConfConic_2SP:
      c = proj_create_conversion_lambert_conic_conformal_2sp(ctx, p.Lat0, p.Lon0, p.Std1, p.Std2,
                                                             p.FalseE, p.FalseN, a, ac, m, mc);
      break;
    case CT_LambertConfConic_1SP:
      c = proj_create_conversion_lambert_conic_conformal_1sp(ctx, p.Lat0, p.Lon0, p.Scale, p.FalseE,
                                                             p.FalseN, a, ac, m, mc);
      break;
    case CT_LambertAzimEqualArea:
      c = proj_create_conversion_lambert_azimuthal_equal_area(ctx, p.Lat0, p.Lon0, p.FalseE,
                                                              p.FalseN, a, ac, m, mc);
      break;
    case CT_AlbersEqualArea:
      c = proj_create_conversion_albers_equal_area(ctx, p.Lat0, p.Lon0, p.Std1, p.Std2, p.FalseE,
                                                   p.FalseN, a, ac, m, mc);
      break;
    case CT_AzimuthalEquidistant:
      c = proj_create_conversion_azimuthal_equidistant(ctx, p.Lat0, p.Lon0, p.FalseE, p.FalseN, a,
                                                       ac, m, mc);
      break;
    case CT_EquidistantConic:
      c = proj_create_conversion_equidistant_conic(ctx, p.Lat0, p.Lon0, p.Std1, p.Std2, p.FalseE,
                                                   p.FalseN, a, ac, m, mc);
      break;
    case CT_Stereographic:
      c = proj_create_conversion_stereographic(ctx, p.Lat0, p.Lon0, p.Scale, p.FalseE, p.FalseN, a,
                                               ac, m, mc);
      break;
    case CT_PolarStereographic:
      // At a pole the origin's scale is given; elsewhere the latitude is
      // the standard parallel of the other variant.
      if (std::fabs(p.Lat0) == 90)
        c = proj_create_conversion_polar_stereographic_variant_a(ctx, p.Lat0, p.Lon0, p.Scale,
                                                                 p.FalseE, p.FalseN, a, ac, m, mc);
      else
        c = proj_create_conversion_polar_stereographic_variant_b(ctx, p.Lat0, p.Lon0, p.FalseE,
                                                                 p.FalseN, a, ac, m, mc);
      break;
    case CT_ObliqueStereographic:
      c = proj_create_conversion_oblique_stereographic(ctx, p.Lat0, p.Lon0, p.Scale, p.FalseE,
                                                       p.FalseN, a, ac, m, mc);
      break;
    case CT_Equirectangular:
      if (p.Lat0 != 0)
        Refuse("its equirectangular projection has a latitude of origin (" +
               std::to_string(p.Lat0) + "), which no EPSG method expresses");
      c = proj_create_conversion_equidistant_cylindrical(ctx, p.Std1, p.Lon0, p.FalseE, p.FalseN, a,
                                                         ac, m, mc);
      break;
    case CT_CassiniSoldner:
      c = proj_create_conversion_cassini_soldner(ctx, p.Lat0, p.Lon0, p.FalseE, p.FalseN, a, ac, m,
                                                 mc);
      break;
    case CT_Gnomonic:
      c = proj_create_conversion_gnomonic(ctx, p.Lat0, p.Lon0, p.FalseE, p.FalseN, a, ac, m, mc);
      break;
    case CT_MillerCylindrical:
      c = proj_create_conversion_miller_cylindrical(ctx, p.Lon0, p.FalseE, p.FalseN, a, ac, m, mc);
      break;
    case CT_Orthographic:
      c = proj_create_conversion_orthographic(ctx, p.Lat0, p.Lon0, p.FalseE, p.FalseN, a, ac, m,
                                              mc);
      break;
    case CT_Polyconic:
      c = proj_create_conversion_american_polyconic(ctx, p.Lat0, p.Lon0, p.FalseE, p.FalseN, a, ac,
                                                    m, mc);
      break;
    case CT_Robinson:
      c = proj_create_conversion_robinson(ctx, p.Lon0, p.FalseE, p.FalseN, a, ac, m, mc);
      break;
    case CT_Sinusoidal:
      c = proj_create_conversion_sinusoidal(ctx, p.Lon0, p.FalseE, p.FalseN, a, ac, m, mc);
      break;
    case CT_VanDerGrinten:
      c = proj_create_conversion_van_der_grinten(ctx, p.Lon0, p.FalseE, p.FalseN, a, ac, m, mc);
      break;
    case CT_NewZealandMapGrid:
      c = proj_create_conversion_new_zealand_mapping_grid(ctx, p.Lat0, p.Lon0, p.FalseE, p.FalseN,
                                                          a, ac, m, mc);
      break;
    case CT_CylindricalEqualArea:
      c = proj_create_conversion_lambert_cylindrical_equal_area(ctx, p.Std1, p.Lon0, p.FalseE,
                                                                p.FalseN, a, ac, m, mc);
      break;
    case CT_TransvMercator_Modified_Alaska:
      Refuse(
          "its projection, the modified Alaska transverse Mercator (method 2), has no PROJ "
          "counterpart");
    case CT_ObliqueMercator_Rosenmund:
      Refuse("its projection, Rosenmund's oblique Mercator (method 5), has no PROJ counterpart");
    case CT_ObliqueMercator_Spherical:
      Refuse("its projection, the spherical oblique Mercator (method 6), has no PROJ counterpart");
    case 0:
    case KvUserDefined:
      Refuse(
          "its GeoKeys name neither a projected CRS code nor a projection method "
          "(ProjCoordTransGeoKey)");
    default:
      Refuse("its projection method " + Code(d.CTProjection) + " is not one GeoTIFF defines");
  }
  if (c == nullptr)
    Refuse("PROJ cannot build its projection (method " + Code(d.CTProjection) + ")");
  return TPjPtr(c);
}

// A unit's name from PROJ's database, or a plain name for a factor alone.
std::string LengthUnitName(PJ_CONTEXT* ctx, const GTIFDefn& d) {
  char* name = nullptr;
  std::string s = d.UOMLengthInMeters == 1 ? "metre" : "unknown";
  if (IsCode(d.UOMLength) && GTIFGetUOMLengthInfoEx(ctx, d.UOMLength, &name, nullptr) && name)
    s = name;
  if (name) GTIFFreeMemory(name);
  return s;
}

std::string AngleUnitName(PJ_CONTEXT* ctx, const GTIFDefn& d) {
  char* name = nullptr;
  std::string s = d.UOMAngleInDegrees == 1 ? kDegreeName : "unknown";
  if (IsCode(d.UOMAngle) && GTIFGetUOMAngleInfoEx(ctx, d.UOMAngle, &name, nullptr) && name)
    s = name;
  if (name) GTIFFreeMemory(name);
  return s;
}

TPjPtr FromDatabase(PJ_CONTEXT* ctx, int code, PJ_CATEGORY category, const char* what) {
  TPjPtr obj(proj_create_from_database(ctx, "EPSG", Code(code).c_str(), category, 0, nullptr));
  if (!obj) Refuse(std::string("its ") + what + " code " + Code(code) + " is not known to PROJ");
  return obj;
}

double PrimeMeridianOf(PJ_CONTEXT* ctx, const PJ* crs) {
  const TPjPtr pm(proj_get_prime_meridian(ctx, crs));
  double longitude = 0, factor = kDegree;
  if (pm) proj_prime_meridian_get_parameters(ctx, pm.get(), &longitude, &factor, nullptr);
  return longitude * factor / kDegree;
}

// The geographic CRS of the keys: by its code, else from the datum's code
// or the ellipsoid and prime meridian, in the keys' angular unit with
// longitude first (the order of a GeoTIFF's model space).
TPjPtr GeographicCrs(PJ_CONTEXT* ctx, const GTIFDefn& d) {
  if (IsCode(d.GCS)) return FromDatabase(ctx, d.GCS, PJ_CATEGORY_CRS, "geographic CRS");
  if (!(d.SemiMajor > 0))
    Refuse("its GeoKeys give no geographic CRS: neither a code nor a datum or ellipsoid");
  const TPjPtr cs(proj_create_ellipsoidal_2D_cs(ctx, PJ_ELLPS2D_LONGITUDE_LATITUDE,
                                                AngleUnitName(ctx, d).c_str(),
                                                d.UOMAngleInDegrees * kDegree));
  if (IsCode(d.Datum)) {
    const TPjPtr datum = FromDatabase(ctx, d.Datum, PJ_CATEGORY_DATUM, "datum");
    TPjPtr crs(proj_create_geographic_crs_from_datum(ctx, "unknown", datum.get(), cs.get()));
    // A prime meridian the datum does not have is built below.
    if (crs && PrimeMeridianOf(ctx, crs.get()) == d.PMLongToGreenwich) return crs;
  }
  const double a = d.SemiMajor, b = d.SemiMinor;
  const double inverseFlattening = b > 0 && b < a ? a / (a - b) : 0;
  TPjPtr crs(proj_create_geographic_crs(ctx, "unknown", "unknown", "unknown", a, inverseFlattening,
                                        d.PMLongToGreenwich == 0 ? "Greenwich" : "unknown",
                                        d.PMLongToGreenwich, kDegreeName, kDegree, cs.get()));
  if (!crs) Refuse("PROJ cannot build its geographic CRS");
  return crs;
}

// The linear unit of a projected CRS's first axis, in metres; 0 when PROJ
// gives none.
double AxisUnit(PJ_CONTEXT* ctx, const PJ* crs) {
  const TPjPtr cs(proj_crs_get_coordinate_system(ctx, crs));
  double factor = 0;
  if (!cs || !proj_cs_get_axis_info(ctx, cs.get(), 0, nullptr, nullptr, nullptr, &factor, nullptr,
                                    nullptr, nullptr))
    return 0;
  return factor;
}

// A projected CRS by its code, in the file's linear unit when the file
// names another one than the code's (some writers keep a metric code and
// store feet): the positions are then in that unit.
TPjPtr ProjectedCrsByCode(PJ_CONTEXT* ctx, const GTIFDefn& d, bool& altered) {
  TPjPtr crs = FromDatabase(ctx, d.PCS, PJ_CATEGORY_CRS, "projected CRS");
  const double unit = AxisUnit(ctx, crs.get());
  altered = false;
  if (d.UOMLengthInMeters > 0 && unit > 0 && std::fabs(d.UOMLengthInMeters - unit) > 1e-12 * unit) {
    crs.reset(proj_crs_alter_cs_linear_unit(ctx, crs.get(), LengthUnitName(ctx, d).c_str(),
                                            d.UOMLengthInMeters, nullptr, nullptr));
    if (!crs) Refuse("PROJ cannot put its CRS in its own linear unit");
    altered = true;
  }
  return crs;
}

TPjPtr ProjectedCrs(PJ_CONTEXT* ctx, const GTIFDefn& d, bool& altered) {
  if (IsCode(d.PCS)) return ProjectedCrsByCode(ctx, d, altered);
  const TPjPtr conversion = Conversion(ctx, d);
  const TPjPtr geographic = GeographicCrs(ctx, d);
  if (!(d.UOMLengthInMeters > 0)) Refuse("its GeoKeys give no linear unit");
  const TPjPtr cs(proj_create_cartesian_2D_cs(ctx, PJ_CART2D_EASTING_NORTHING,
                                              LengthUnitName(ctx, d).c_str(), d.UOMLengthInMeters));
  TPjPtr crs(
      proj_create_projected_crs(ctx, "unknown", geographic.get(), conversion.get(), cs.get()));
  if (!crs) Refuse("PROJ cannot build its projected CRS");
  return crs;
}

// The CRS bound to WGS 84 through the file's own shift: 3 values are
// geocentric translations, 7 the position-vector transformation (metres,
// arc-seconds, parts per million).
TPjPtr BoundToWgs84(PJ_CONTEXT* ctx, const PJ* crs, const GTIFDefn& d) {
  const TPjPtr wgs84 = FromDatabase(ctx, 4326, PJ_CATEGORY_CRS, "geographic CRS");
  TPjPtr base(proj_crs_get_geodetic_crs(ctx, crs));
  if (!base) Refuse("PROJ finds no datum in its CRS");
  constexpr double kArcSecond = kDegree / 3600;
  const PJ_PARAM_DESCRIPTION all[7] = {
      {"X-axis translation", "EPSG", "8605", d.TOWGS84[0], "metre", 1, PJ_UT_LINEAR},
      {"Y-axis translation", "EPSG", "8606", d.TOWGS84[1], "metre", 1, PJ_UT_LINEAR},
      {"Z-axis translation", "EPSG", "8607", d.TOWGS84[2], "metre", 1, PJ_UT_LINEAR},
      {"X-axis rotation", "EPSG", "8608", d.TOWGS84[3], "arc-second", kArcSecond, PJ_UT_ANGULAR},
      {"Y-axis rotation", "EPSG", "8609", d.TOWGS84[4], "arc-second", kArcSecond, PJ_UT_ANGULAR},
      {"Z-axis rotation", "EPSG", "8610", d.TOWGS84[5], "arc-second", kArcSecond, PJ_UT_ANGULAR},
      {"Scale difference", "EPSG", "8611", d.TOWGS84[6], "parts per million", 1e-6, PJ_UT_SCALE}};
  const bool seven = d.TOWGS84Count == 7;
  if (!seven && d.TOWGS84Count != 3)
    Refuse("its GeogTOWGS84GeoKey holds " + Code(d.TOWGS84Count) + " values (3 or 7)");
  const TPjPtr shift(proj_create_transformation(
      ctx, "Transformation to WGS 84", nullptr, nullptr, base.get(), wgs84.get(), nullptr,
      seven ? "Position Vector transformation (geog2D domain)"
            : "Geocentric translations (geog2D domain)",
      "EPSG", seven ? "9606" : "9603", seven ? 7 : 3, all, -1));
  TPjPtr bound(shift ? proj_crs_create_bound_crs(ctx, crs, wgs84.get(), shift.get()) : nullptr);
  if (!bound) Refuse("PROJ cannot bind its CRS to WGS 84 through its TOWGS84 values");
  return bound;
}

// The Earth's semi-major axis lies within this range under every ellipsoid
// of geodesy; another body's does not.
void RequireEarth(PJ_CONTEXT* ctx, const PJ* crs) {
  const TPjPtr ellipsoid(proj_get_ellipsoid(ctx, crs));
  double a = 0;
  if (!ellipsoid ||
      !proj_ellipsoid_get_parameters(ctx, ellipsoid.get(), &a, nullptr, nullptr, nullptr))
    Refuse("PROJ finds no ellipsoid in its CRS");
  if (!(a > 6.3e6 && a < 6.4e6))
    Refuse("its CRS belongs to another body than the Earth (semi-major axis " +
           std::to_string(static_cast<long long>(std::llround(a))) + " m)");
}

std::string AsWkt(PJ_CONTEXT* ctx, const PJ* crs) {
  const char* const options[] = {"MULTILINE=NO", nullptr};
  const char* wkt = proj_as_wkt(ctx, crs, PJ_WKT2_2019, options);
  if (wkt == nullptr) Refuse("PROJ cannot write its CRS as WKT");
  return wkt;
}

}  // namespace

TGeoTiffCrs BuildGeoTiffCrs(PJ_CONTEXT* Ctx, const GTIFDefn& Defn, int Model) {
  if (!PlausibleNumbers(Defn)) Refuse("its projection parameters are out of range");
  const bool geographic = Model == ModelTypeGeographic;
  if (!geographic && Model != ModelTypeProjected)
    Refuse("its model type " + Code(Model) + " is neither geographic nor projected");
  const int code = geographic ? Defn.GCS : Defn.PCS;
  bool altered = false;
  TPjPtr crs = geographic ? GeographicCrs(Ctx, Defn) : ProjectedCrs(Ctx, Defn, altered);
  RequireEarth(Ctx, crs.get());
  const bool shifted = Defn.TOWGS84Count > 0;
  if (shifted) crs = BoundToWgs84(Ctx, crs.get(), Defn);

  TGeoTiffCrs out;
  if (geographic) {
    const TPjPtr wgs84 = FromDatabase(Ctx, 4326, PJ_CATEGORY_CRS, "geographic CRS");
    const bool isWgs84 =
        !shifted && (code == 4326 ||
                     proj_is_equivalent_to_with_ctx(Ctx, crs.get(), wgs84.get(),
                                                    PJ_COMP_EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS));
    out.Kind = isWgs84 ? TGeoTiffCrs::Wgs84Geographic : TGeoTiffCrs::OtherGeographic;
    if (isWgs84) return out;
  } else {
    out.Kind = TGeoTiffCrs::OtherProjected;
    if (!shifted && !altered &&
        ((code >= 32601 && code <= 32660) || (code >= 32701 && code <= 32760))) {
      out.Kind = TGeoTiffCrs::Utm;
      out.Zone = code % 100;
      out.South = code > 32700;
    }
  }
  out.Text = IsCode(code) && !shifted && !altered ? "EPSG:" + Code(code) : AsWkt(Ctx, crs.get());
  return out;
}

}  // namespace marovia::interop
