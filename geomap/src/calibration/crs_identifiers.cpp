// Identifiers a CRS's own definition contradicts (see crs_identifiers.h).
#include "calibration/crs_identifiers.h"

#include <proj_experimental.h>

#include <string>
#include <string_view>

namespace marovia {

namespace {

// The database's object of Object's first identifier; null for none, or
// for an identifier the database does not know.
TPjPtr Stored(PJ_CONTEXT* Ctx, const PJ* Object, PJ_CATEGORY Category) {
  const char* auth = proj_get_id_auth_name(Object, 0);
  const char* code = proj_get_id_code(Object, 0);
  if (auth == nullptr || code == nullptr) return nullptr;
  return TPjPtr(proj_create_from_database(Ctx, auth, code, Category, false, nullptr));
}

// Whether PROJ's comparison (the one its search for transformations
// makes) tells the components apart.
bool Differ(PJ_CONTEXT* Ctx, const PJ* a, const PJ* b) {
  return !a || !b || !proj_is_equivalent_to_with_ctx(Ctx, a, b, PJ_COMP_EQUIVALENT);
}

std::string_view Name(const PJ* Object) {
  const char* name = proj_get_name(Object);
  return name != nullptr ? name : "";
}

// Whether Object has another ellipsoid or prime meridian than Stored
// (another size or longitude, or another name: PROJ compares both).
bool ShapeDiffers(PJ_CONTEXT* Ctx, const PJ* Object, const PJ* Stored) {
  const TPjPtr storedEllipsoid(proj_get_ellipsoid(Ctx, Stored));
  const TPjPtr storedMeridian(proj_get_prime_meridian(Ctx, Stored));
  if (!storedEllipsoid || !storedMeridian) return false;
  const TPjPtr ellipsoid(proj_get_ellipsoid(Ctx, Object));
  const TPjPtr meridian(proj_get_prime_meridian(Ctx, Object));
  return Differ(Ctx, ellipsoid.get(), storedEllipsoid.get()) ||
         Differ(Ctx, meridian.get(), storedMeridian.get());
}

// Crs with its geographic system made again on Datum, with the system's own
// name and axes; null where PROJ cannot (a geocentric system, a bound CRS).
TPjPtr OnDatum(PJ_CONTEXT* Ctx, const PJ* Crs, const PJ* Geodetic, PJ* Datum) {
  const PJ_TYPE type = proj_get_type(Geodetic);
  if (type != PJ_TYPE_GEOGRAPHIC_2D_CRS && type != PJ_TYPE_GEOGRAPHIC_3D_CRS) return nullptr;
  const TPjPtr cs(proj_crs_get_coordinate_system(Ctx, Geodetic));
  if (!cs) return nullptr;
  const TPjPtr geographic(
      proj_create_geographic_crs_from_datum(Ctx, proj_get_name(Geodetic), Datum, cs.get()));
  if (!geographic) return nullptr;
  return TPjPtr(proj_crs_alter_geodetic_crs(Ctx, Crs, geographic.get()));
}

// Crs with its geographic system made again, without identifiers, from
// its own ellipsoid, prime meridian and axes; null where PROJ cannot.
TPjPtr FromOwnParts(PJ_CONTEXT* Ctx, const PJ* Crs, const PJ* Geodetic) {
  const PJ_TYPE type = proj_get_type(Geodetic);
  if (type != PJ_TYPE_GEOGRAPHIC_2D_CRS && type != PJ_TYPE_GEOGRAPHIC_3D_CRS) return nullptr;
  const TPjPtr datum(proj_crs_get_datum_forced(Ctx, Geodetic));
  const TPjPtr ellipsoid(proj_get_ellipsoid(Ctx, Geodetic));
  const TPjPtr meridian(proj_get_prime_meridian(Ctx, Geodetic));
  const TPjPtr cs(proj_crs_get_coordinate_system(Ctx, Geodetic));
  double a = 0, b = 0, inverseFlattening = 0, longitude = 0, toRadians = 0;
  int computed = 0;
  const char* unit = nullptr;
  if (!datum || !ellipsoid || !meridian || !cs ||
      !proj_ellipsoid_get_parameters(Ctx, ellipsoid.get(), &a, &b, &computed, &inverseFlattening) ||
      !proj_prime_meridian_get_parameters(Ctx, meridian.get(), &longitude, &toRadians, &unit))
    return nullptr;
  const TPjPtr geographic(proj_create_geographic_crs(
      Ctx, proj_get_name(Geodetic), proj_get_name(datum.get()), proj_get_name(ellipsoid.get()), a,
      inverseFlattening, proj_get_name(meridian.get()), longitude, unit, toRadians, cs.get()));
  if (!geographic) return nullptr;
  return TPjPtr(proj_crs_alter_geodetic_crs(Ctx, Crs, geographic.get()));
}

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsIdKeyword(std::string_view word) {
  std::string upper(word);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper == "ID" || upper == "AUTHORITY";
}

// WKT text without its identifier nodes (ID in WKT 2, AUTHORITY in WKT 1),
// with either kind of brackets; quoted text ("" inside it stands for one
// quote) is copied as it is. A node left open takes the rest of the text.
std::string WithoutIdNodes(std::string_view wkt) {
  std::string out;
  out.reserve(wkt.size());
  bool quoted = false;
  for (std::size_t i = 0; i < wkt.size(); ++i) {
    const char c = wkt[i];
    if (c == '"') quoted = !quoted;
    if (!quoted && c == ',') {
      std::size_t k = wkt.find_first_not_of(" \t\r\n", i + 1);
      const std::size_t word = k;
      while (k < wkt.size() && IsLetter(wkt[k])) ++k;
      const bool id = word != std::string_view::npos && IsIdKeyword(wkt.substr(word, k - word));
      k = wkt.find_first_not_of(" \t\r\n", k);
      if (id && k != std::string_view::npos && (wkt[k] == '[' || wkt[k] == '(')) {
        int depth = 0;
        bool inner = false;
        for (; k < wkt.size(); ++k) {
          if (wkt[k] == '"') inner = !inner;
          if (inner) continue;
          if (wkt[k] == '[' || wkt[k] == '(') ++depth;
          if ((wkt[k] == ']' || wkt[k] == ')') && --depth == 0) break;
        }
        i = k;
        continue;
      }
    }
    out += c;
  }
  return out;
}

// Wkt read without its identifier nodes; null where PROJ cannot read that,
// or where a node PROJ read leniently (no comma before it) is left.
TPjPtr ReadWithoutIdNodes(PJ_CONTEXT* Ctx, std::string_view Wkt) {
  TPjPtr read(proj_create(Ctx, WithoutIdNodes(Wkt).c_str()));
  if (!read) return nullptr;
  const TPjPtr geodetic(proj_crs_get_geodetic_crs(Ctx, read.get()));
  const TPjPtr datum = geodetic ? TPjPtr(proj_crs_get_datum_forced(Ctx, geodetic.get())) : nullptr;
  const bool labelled = (geodetic && proj_get_id_code(geodetic.get(), 0) != nullptr) ||
                        (datum && proj_get_id_code(datum.get(), 0) != nullptr);
  return labelled ? nullptr : std::move(read);
}

}  // namespace

TPjPtr WithoutContradictedIds(PJ_CONTEXT* Ctx, TPjPtr Crs, const std::string& Text) {
  if (!Crs) return Crs;
  const TPjPtr geodetic(proj_crs_get_geodetic_crs(Ctx, Crs.get()));
  if (!geodetic) return Crs;
  const TPjPtr storedGeodetic = Stored(Ctx, geodetic.get(), PJ_CATEGORY_CRS);
  const TPjPtr datum(proj_crs_get_datum_forced(Ctx, geodetic.get()));
  const TPjPtr storedDatum = datum ? Stored(Ctx, datum.get(), PJ_CATEGORY_DATUM) : nullptr;
  const bool contradicted =
      (storedGeodetic && ShapeDiffers(Ctx, geodetic.get(), storedGeodetic.get())) ||
      (storedDatum && ShapeDiffers(Ctx, datum.get(), storedDatum.get()));
  if (!contradicted) {
    // Only names differ (a WKT 1 spelling, damage): the label holds. The
    // names are compared as they are, not as PROJ's comparison does: it
    // takes "WGS,1984" for "World Geodetic System 1984", but its search for
    // transformations does not find the datum by that name.
    if (storedDatum && Name(datum.get()) != Name(storedDatum.get()))
      if (TPjPtr named = OnDatum(Ctx, Crs.get(), geodetic.get(), storedDatum.get())) return named;
    return Crs;
  }
  // The text without its identifiers, read as PROJ reads it: PROJ's WKT 2
  // of a WKT 1 text would keep names that only its WKT 1 reading maps to
  // its own (a datum "M_poraloko" found as "M'poraloko"). PROJJSON, and a
  // damaged text that reads otherwise once its identifiers are gone, go
  // through PROJ's WKT 2 of what it read (not PROJJSON again, whose writer
  // leaves out a prime meridian named "Greenwich" whatever its longitude).
  // Where PROJ writes no WKT it reads again (an identifier whose code
  // holds brackets), the geographic system is made again from its parts.
  const std::size_t first = Text.find_first_not_of(" \t\r\n");
  if (first != std::string::npos && Text[first] != '{')
    if (TPjPtr read = ReadWithoutIdNodes(Ctx, Text)) return read;
  const char* const options[] = {"MULTILINE=NO", nullptr};
  const char* wkt = proj_as_wkt(Ctx, Crs.get(), PJ_WKT2_2019, options);
  if (wkt != nullptr)
    if (TPjPtr read = ReadWithoutIdNodes(Ctx, wkt)) return read;
  TPjPtr rebuilt = FromOwnParts(Ctx, Crs.get(), geodetic.get());
  return rebuilt ? std::move(rebuilt) : std::move(Crs);
}

}  // namespace marovia
