// CRS classification for the map exchange formats, through PROJ's C API.
// Each call makes a context of its own: these run once per import or
// export, never per point.
#include "interop/interop_crs.h"

#include <proj.h>

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
  // (south) are equivalent to; PROJ's identification proposes the code.
  for (const TEpsgCandidate& c : EpsgCandidates(ctx.get(), crs.get())) {
    const bool north = c.Code >= 32601 && c.Code <= 32660;
    const bool south = c.Code >= 32701 && c.Code <= 32760;
    if (c.Confidence < 70 || !(north || south)) continue;
    if (Equivalent(ctx.get(), crs.get(), ("EPSG:" + std::to_string(c.Code)).c_str())) {
      info.Kind = ckUtmWgs84;
      info.Zone = c.Code % 100;
      info.South = south;
      break;
    }
  }
  return info;
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
