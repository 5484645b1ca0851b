// Identifiers a CRS's own definition contradicts (see crs_identifiers.h).
#include "calibration/crs_identifiers.h"

#include <string>
#include <string_view>

namespace marovia {

namespace {

// Whether PROJ's comparison (the one its search for transformations
// makes) tells the components apart.
bool Differ(PJ_CONTEXT* Ctx, const PJ* a, const PJ* b) {
  return !a || !b || !proj_is_equivalent_to_with_ctx(Ctx, a, b, PJ_COMP_EQUIVALENT);
}

// Whether the database's object of Object's identifier has another
// ellipsoid or prime meridian than Object (another longitude, or another
// name: PROJ compares both). Names of the datum and of the system are not
// compared: a WKT 1 name such as "M_poraloko" is the database's
// "M'poraloko", which only the identifier finds. An identifier the database
// does not know contradicts nothing.
bool Contradicted(PJ_CONTEXT* Ctx, const PJ* Object, PJ_CATEGORY Category) {
  const char* auth = proj_get_id_auth_name(Object, 0);
  const char* code = proj_get_id_code(Object, 0);
  if (auth == nullptr || code == nullptr) return false;
  const TPjPtr stored(proj_create_from_database(Ctx, auth, code, Category, false, nullptr));
  if (!stored) return false;
  const TPjPtr ellipsoid(proj_get_ellipsoid(Ctx, Object));
  const TPjPtr storedEllipsoid(proj_get_ellipsoid(Ctx, stored.get()));
  const TPjPtr meridian(proj_get_prime_meridian(Ctx, Object));
  const TPjPtr storedMeridian(proj_get_prime_meridian(Ctx, stored.get()));
  if (!storedEllipsoid || !storedMeridian) return false;
  return Differ(Ctx, ellipsoid.get(), storedEllipsoid.get()) ||
         Differ(Ctx, meridian.get(), storedMeridian.get());
}

bool HasContradictedIds(PJ_CONTEXT* Ctx, const PJ* Crs) {
  const TPjPtr geodetic(proj_crs_get_geodetic_crs(Ctx, Crs));
  if (!geodetic) return false;
  if (Contradicted(Ctx, geodetic.get(), PJ_CATEGORY_CRS)) return true;
  const TPjPtr datum(proj_crs_get_datum_forced(Ctx, geodetic.get()));
  return datum && Contradicted(Ctx, datum.get(), PJ_CATEGORY_DATUM);
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

}  // namespace

TPjPtr WithoutContradictedIds(PJ_CONTEXT* Ctx, TPjPtr Crs, const std::string& Text) {
  if (!Crs || !HasContradictedIds(Ctx, Crs.get())) return Crs;
  // The text without its identifiers, read as PROJ reads it: PROJ's WKT 2
  // of a WKT 1 text would keep names that only its WKT 1 reading maps to
  // its own (a datum "M_poraloko" found as "M'poraloko"). Only PROJJSON
  // goes through WKT 2 (not PROJJSON again, whose writer leaves out a prime
  // meridian named "Greenwich" whatever its longitude).
  std::string bare;
  const std::size_t first = Text.find_first_not_of(" \t\r\n");
  if (first != std::string::npos && Text[first] != '{') {
    bare = WithoutIdNodes(Text);
  } else {
    const char* const options[] = {"MULTILINE=NO", nullptr};
    const char* wkt = proj_as_wkt(Ctx, Crs.get(), PJ_WKT2_2019, options);
    if (wkt == nullptr) return Crs;
    bare = WithoutIdNodes(wkt);
  }
  TPjPtr read(proj_create(Ctx, bare.c_str()));
  return read ? std::move(read) : std::move(Crs);
}

}  // namespace marovia
