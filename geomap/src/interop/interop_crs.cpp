// CRS classification for the map exchange formats, through PROJ's C API.
// Each call makes a context of its own: these run once per import or
// export, never per point.
#include "interop/interop_crs.h"

#include <proj.h>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "calibration/proj_support.h"

#include "marovia/geomap/map_calibration.h"

namespace marovia::interop {

namespace {

[[noreturn]] void Refuse(const std::string& Where, const std::string& Text, const char* Why) {
  throw EZYLGeoMapError(Where + ": the CRS \"" + Text.substr(0, 80) + "\" " + Why);
}

// The CRS object; a PROJ string stands for a CRS even without +type=crs.
TPjPtr HorizontalCrs(PJ_CONTEXT* ctx, const std::string& Text, const std::string& Where) {
  if (Text.empty()) throw EZYLGeoMapError(Where + ": the CRS is empty");
  TPjPtr crs = CreateCrs(ctx, Text);
  if (!crs) Refuse(Where, Text, "is not known to PROJ");
  // A CRS bound to a datum shift ("+towgs84") is classified by its base.
  if (proj_get_type(crs.get()) == PJ_TYPE_BOUND_CRS) crs.reset(proj_get_source_crs(ctx, crs.get()));
  if (!crs) Refuse(Where, Text, "is not known to PROJ");
  return crs;
}

bool IsGeographic(PJ_TYPE t) {
  return t == PJ_TYPE_GEOGRAPHIC_2D_CRS || t == PJ_TYPE_GEOGRAPHIC_3D_CRS;
}

bool Equivalent(PJ_CONTEXT* ctx, PJ* crs, const char* code) {
  const TPjPtr other(proj_create(ctx, code));
  return other && proj_is_equivalent_to_with_ctx(ctx, crs, other.get(),
                                                 PJ_COMP_EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS);
}

// The UTM zone whose central meridian a transverse Mercator conversion has
// (-177 + 6 (zone - 1) degrees); 0 for any other conversion.
int UtmZoneOfMeridian(PJ_CONTEXT* ctx, const PJ* crs) {
  const TPjPtr op(proj_crs_get_coordoperation(ctx, crs));
  const char* method = nullptr;
  if (!op || !proj_coordoperation_get_method_info(ctx, op.get(), &method, nullptr, nullptr) ||
      method == nullptr || std::string(method) != "Transverse Mercator")
    return 0;
  const int index =
      proj_coordoperation_get_param_index(ctx, op.get(), "Longitude of natural origin");
  double value = 0, toRadians = 0;
  if (index < 0 ||
      !proj_coordoperation_get_param(ctx, op.get(), index, nullptr, nullptr, nullptr, &value,
                                     nullptr, &toRadians, nullptr, nullptr, nullptr, nullptr))
    return 0;
  const double degrees = value * toRadians * 180 / M_PI;
  const double zone = (degrees + 183) / 6;
  if (!(zone >= 0.5 && zone < 60.5) || std::fabs(zone - std::round(zone)) > 1e-9) return 0;
  return static_cast<int>(std::round(zone));
}

}  // namespace

TCrsInfo ClassifyCrs(const std::string& Text, const std::string& Where) {
  const TSilentProjContext ctx;
  const TPjPtr crs = HorizontalCrs(ctx.get(), Text, Where);
  const PJ_TYPE type = proj_get_type(crs.get());
  TCrsInfo info;
  if (IsGeographic(type)) {
    info.Kind =
        Equivalent(ctx.get(), crs.get(), "EPSG:4326") ? ckGeographicWgs84 : ckOtherGeographic;
    return info;
  }
  if (type != PJ_TYPE_PROJECTED_CRS) Refuse(Where, Text, "is neither geographic nor projected");
  info.Kind = ckProjected;
  // A UTM zone on WGS 84 is whatever EPSG's codes 326zz (north) and 327zz
  // (south) are equivalent to. The zone follows from the central meridian
  // of a transverse Mercator conversion, so that only those two are
  // compared (PROJ's identification searches its whole database).
  const int zone = UtmZoneOfMeridian(ctx.get(), crs.get());
  for (const int base : {32600, 32700}) {
    if (zone == 0) break;
    if (Equivalent(ctx.get(), crs.get(), ("EPSG:" + std::to_string(base + zone)).c_str())) {
      info.Kind = ckUtmWgs84;
      info.Zone = zone;
      info.South = base == 32700;
      break;
    }
  }
  return info;
}

bool ProjectedOnWgs84(const std::string& Text, const std::string& Where, int& Epsg) {
  const TSilentProjContext ctx;
  const TPjPtr crs = HorizontalCrs(ctx.get(), Text, Where);
  Epsg = 0;
  if (proj_get_type(crs.get()) != PJ_TYPE_PROJECTED_CRS) return false;
  const TPjPtr base(proj_crs_get_geodetic_crs(ctx.get(), crs.get()));
  if (!base || !Equivalent(ctx.get(), base.get(), "EPSG:4326")) return false;
  const char* authority = proj_get_id_auth_name(crs.get(), 0);
  const char* code = proj_get_id_code(crs.get(), 0);
  if (authority != nullptr && code != nullptr && std::string(authority) == "EPSG") {
    Epsg = std::atoi(code);
  }
  return true;
}

std::string CrsAsWkt(const std::string& Text, const std::string& Where, bool& LatitudeFirst) {
  const TSilentProjContext ctx;
  const TPjPtr crs = CreateCrs(ctx.get(), Text);
  if (!crs) Refuse(Where, Text, "is not known to PROJ");
  LatitudeFirst = false;
  const TPjPtr cs(proj_crs_get_coordinate_system(ctx.get(), crs.get()));
  if (cs && proj_cs_get_axis_count(ctx.get(), cs.get()) >= 2) {
    const char* direction = nullptr;
    proj_cs_get_axis_info(ctx.get(), cs.get(), 0, nullptr, nullptr, &direction, nullptr, nullptr,
                          nullptr, nullptr);
    LatitudeFirst = IsGeographic(proj_get_type(crs.get())) && direction != nullptr &&
                    std::string(direction) == "north";
  }
  const char* const options[] = {"MULTILINE=NO", nullptr};
  const char* wkt = proj_as_wkt(ctx.get(), crs.get(), PJ_WKT1_GDAL, options);
  if (wkt == nullptr) Refuse(Where, Text, "has no WKT form");
  return wkt;
}

}  // namespace marovia::interop
