// Identifiers a CRS's own definition contradicts (see crs_identifiers.h).
#include "calibration/crs_identifiers.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

namespace marovia {

namespace {

// An ellipsoid and a prime meridian (radians).
struct TGeodeticShape {
  double A = 0, InvFlattening = 0, Meridian = 0;
  bool Known = false;
};

TGeodeticShape ShapeOf(PJ_CONTEXT* Ctx, const PJ* Object) {
  TGeodeticShape s;
  const TPjPtr ellipsoid(proj_get_ellipsoid(Ctx, Object));
  const TPjPtr meridian(proj_get_prime_meridian(Ctx, Object));
  double b = 0, toRadians = 0;
  int computed = 0;
  s.Known =
      ellipsoid && meridian &&
      proj_ellipsoid_get_parameters(Ctx, ellipsoid.get(), &s.A, &b, &computed, &s.InvFlattening) &&
      proj_prime_meridian_get_parameters(Ctx, meridian.get(), &s.Meridian, &toRadians, nullptr);
  s.Meridian *= toRadians;
  return s;
}

bool Near(double x, double y, double relative) {
  return std::fabs(x - y) <= relative * std::max(std::fabs(x), std::fabs(y));
}

// PROJ takes ellipsoids within about 1e-10 of each other for the same and
// compares prime meridians exactly; these bounds are tighter, so whatever
// PROJ would tell apart is caught (and a shape caught that PROJ would not
// tell apart costs nothing: the same transformation is found without the
// identifiers). Greenwich is exactly zero.
bool SameShape(const TGeodeticShape& a, const TGeodeticShape& b) {
  return Near(a.A, b.A, 1e-11) && Near(a.InvFlattening, b.InvFlattening, 1e-11) &&
         (a.Meridian == 0 || b.Meridian == 0 ? a.Meridian == b.Meridian
                                             : Near(a.Meridian, b.Meridian, 1e-12));
}

// Whether the database's object of Object's identifier has another shape
// than Given. An identifier the database does not know contradicts nothing.
bool Contradicted(PJ_CONTEXT* Ctx, const PJ* Object, PJ_CATEGORY Category,
                  const TGeodeticShape& Given) {
  const char* auth = proj_get_id_auth_name(Object, 0);
  const char* code = proj_get_id_code(Object, 0);
  if (auth == nullptr || code == nullptr) return false;
  const TPjPtr stored(proj_create_from_database(Ctx, auth, code, Category, false, nullptr));
  if (!stored) return false;
  const TGeodeticShape s = ShapeOf(Ctx, stored.get());
  return s.Known && !SameShape(s, Given);
}

bool HasContradictedIds(PJ_CONTEXT* Ctx, const PJ* Crs) {
  const TPjPtr geodetic(proj_crs_get_geodetic_crs(Ctx, Crs));
  if (!geodetic) return false;
  const TGeodeticShape given = ShapeOf(Ctx, geodetic.get());
  if (!given.Known) return false;
  if (Contradicted(Ctx, geodetic.get(), PJ_CATEGORY_CRS, given)) return true;
  const TPjPtr datum(proj_crs_get_datum_forced(Ctx, geodetic.get()));
  return datum && Contradicted(Ctx, datum.get(), PJ_CATEGORY_DATUM, given);
}

// WKT 2 text without its ID nodes. Quoted text ("" inside it stands for
// one quote) is copied as it is.
std::string WithoutIdNodes(std::string_view wkt) {
  std::string out;
  out.reserve(wkt.size());
  bool quoted = false;
  for (std::size_t i = 0; i < wkt.size(); ++i) {
    const char c = wkt[i];
    if (c == '"') quoted = !quoted;
    if (!quoted && c == ',' && wkt.substr(i + 1, 3) == "ID[") {
      // Skip ",ID[...]" with what it nests.
      int depth = 0;
      bool inner = false;
      std::size_t j = i + 3;
      for (; j < wkt.size(); ++j) {
        if (wkt[j] == '"') inner = !inner;
        if (inner) continue;
        if (wkt[j] == '[') ++depth;
        if (wkt[j] == ']' && --depth == 0) break;
      }
      i = j;
      continue;
    }
    out += c;
  }
  return out;
}

}  // namespace

TPjPtr WithoutContradictedIds(PJ_CONTEXT* Ctx, TPjPtr Crs) {
  if (!Crs || !HasContradictedIds(Ctx, Crs.get())) return Crs;
  // WKT 2 (not PROJJSON, which leaves out a prime meridian named
  // "Greenwich" whatever its longitude), on one line.
  const char* const options[] = {"MULTILINE=NO", nullptr};
  const char* wkt = proj_as_wkt(Ctx, Crs.get(), PJ_WKT2_2019, options);
  if (wkt == nullptr) return Crs;
  TPjPtr bare(proj_create(Ctx, WithoutIdNodes(wkt).c_str()));
  return bare ? std::move(bare) : std::move(Crs);
}

}  // namespace marovia
