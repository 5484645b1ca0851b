// CRS classification for the map exchange formats, through PROJ's C API.
// Each call makes a context of its own: these run once per import or
// export, never per point.
#include "interop/interop_crs.h"

#include "calibration/proj_context.h"

#include <proj.h>

#include <memory>

#include "marovia/geomap/map_calibration.h"

namespace marovia::interop {

namespace {

struct TPjFree {
  void operator()(PJ* p) const { proj_destroy(p); }
};
using TPj = std::unique_ptr<PJ, TPjFree>;

[[noreturn]] void Refuse(const std::string& Where, const std::string& Text, const char* Why) {
  throw EZYLGeoMapError(Where + ": the CRS \"" + Text.substr(0, 80) + "\" " + Why);
}

// The CRS object; a PROJ string stands for a CRS even without +type=crs.
TPj CreateCrs(PJ_CONTEXT* ctx, const std::string& Text, const std::string& Where) {
  if (Text.empty()) throw EZYLGeoMapError(Where + ": the CRS is empty");
  std::string text = Text;
  if (text.rfind("+proj", 0) == 0 && text.find("+type=crs") == std::string::npos)
    text += " +type=crs";
  TPj crs(proj_create(ctx, text.c_str()));
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
  TPj other(proj_create(ctx, code));
  return other && proj_is_equivalent_to_with_ctx(ctx, crs, other.get(),
                                                 PJ_COMP_EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS);
}

}  // namespace

TCrsInfo ClassifyCrs(const std::string& Text, const std::string& Where) {
  const TSilentProjContext ctx;
  const TPj crs = CreateCrs(ctx.get(), Text, Where);
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
  int* confidence = nullptr;
  PJ_OBJ_LIST* found = proj_identify(ctx.get(), crs.get(), "EPSG", nullptr, &confidence);
  if (found != nullptr) {
    const int n = proj_list_get_count(found);
    for (int i = 0; i < n && info.Kind == ckProjected; ++i) {
      TPj candidate(proj_list_get(ctx.get(), found, i));
      const char* id = candidate ? proj_get_id_code(candidate.get(), 0) : nullptr;
      if (id == nullptr || confidence[i] < 70) continue;
      const int code = std::atoi(id);
      const bool north = code >= 32601 && code <= 32660;
      const bool south = code >= 32701 && code <= 32760;
      if ((north || south) &&
          proj_is_equivalent_to_with_ctx(ctx.get(), crs.get(), candidate.get(),
                                         PJ_COMP_EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS)) {
        info.Kind = ckUtmWgs84;
        info.Zone = code % 100;
        info.South = south;
      }
    }
    proj_int_list_destroy(confidence);
    proj_list_destroy(found);
  }
  return info;
}

std::string CrsAsWkt(const std::string& Text, const std::string& Where, bool& LatitudeFirst) {
  const TSilentProjContext ctx;
  std::string text = Text;
  if (text.rfind("+proj", 0) == 0 && text.find("+type=crs") == std::string::npos)
    text += " +type=crs";
  TPj crs(proj_create(ctx.get(), text.c_str()));
  if (!crs) Refuse(Where, Text, "is not known to PROJ");
  LatitudeFirst = false;
  TPj cs(proj_crs_get_coordinate_system(ctx.get(), crs.get()));
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
