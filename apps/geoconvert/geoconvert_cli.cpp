// geoconvert: converts positions between geographic coordinates, UTM, UPS,
// MGRS/USNG references and earth-centred cartesian coordinates on any
// catalogue ellipsoid, shifts
// them between datums, and lists the ellipsoid, datum and country tables.
//
// Each input line is converted on its own: a bad line is reported on the
// error stream as "geoconvert: line N: <why>" and the next line is read. The
// exit status is 0 only when every line converted.
#include "geoconvert_cli.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cli_text.h"
#include "marovia/geobasics/geobasics.h"

namespace marovia::geoconvert {
namespace {

const char* const kHelp = R"HELP(Usage: geoconvert [OPTIONS] [POSITION]
       geoconvert --list-ellipsoids | --list-datums | --list-countries
       geoconvert --country NAME-OR-CODE

Converts positions between geographic coordinates, UTM, UPS, MGRS and USNG grid
references and earth-centred cartesian coordinates, and shifts them between
geodetic datums. The position
is taken from the arguments; without one, positions are read from standard
input, one per line (blank lines and lines starting with # are skipped).
Numbers may be separated by blanks or commas.

Conversion options:
  -f, --from FORMAT       format of the input (default geo)
  -t, --to FORMAT         format of the output (default geo)
  -e, --ellipsoid ID      ellipsoid of input and output, by identifier such as
                          gelWGS84 (the default) or gelInt24; case does not
                          matter and the prefix "gel" may be left out
  -s, --source-datum D    datum of the input: its number (1-271) or a unique
                          prefix of "NAME (REGION)" as --list-datums shows it
  -d, --target-datum D    datum of the output; with only one of -s and -d the
                          other is datum 269, WORLD GEODETIC SYSTEM 1984
                          (a datum brings its own ellipsoid: no -e with -s/-d)
  -p, --precision N       decimals of metres, 0-9 (default 3); degrees are
                          written with N+6 decimals
  -g, --grid-digits N     digits per coordinate of MGRS and USNG references,
                          0 (the 100 km square) to 5 (1 m, the default)

Formats:
  geo    latitude longitude [height]: decimal degrees, north and east
         positive, or with a hemisphere letter instead of the sign (33.9S
         18.4E); height in metres above the ellipsoid (default 0)
         Heights and cartesian coordinates are limited to 1e9 metres.
  utm    ZONE+BAND easting northing, for example 32U 571666.448 5539109.815;
         bands N to X are north of the equator, C to M south. Latitudes -80
         to 84 only; Norway and Svalbard zones are applied
  ups    HEMISPHERE x y, the hemisphere N or S (Y/Z and A/B are accepted too),
         for example N 2000000 1444542.609; x and y from 0 to 4000000, which
         covers the polar caps to about 18 degrees from the pole
  mgrs   a grid reference such as 32UNA7166639109: zone and band (or the
         polar band A, B, Y or Z), the 100 km square's two letters, and up to
         five digits each of easting and northing within it; blanks and case
         do not matter. Read, a reference stands for the centre of its square
  usng   the same reference written with blanks: 32U NA 71666 39109
  cart   X Y Z, earth-centred cartesian coordinates in metres

Table options:
  --list-ellipsoids       identifier, axes, reciprocal flattening and name
  --list-datums           number, ellipsoid, shift parameters to WGS 84
                          (metres, ppm, arc seconds) and name (region)
  --list-countries        codes, centre, capital and altitude of each country
  --country TEXT          the countries whose FIPS, ISO 2- or 3-letter code is
                          TEXT, or else whose name starts with TEXT (any case)
  -h, --help              this text

Exit status: 0 when every position converted (or the table was listed), 1 when
at least one position failed (each failure is reported on standard error and
the others are still converted), 2 for a bad option, 3 when the input could not
be read or the output could not be written.

Examples:
  geoconvert -t utm 50 10
      32U 571666.448 5539109.815
  geoconvert -f utm -p 4 32U 571666.4475 5539109.8153
      50.0000000000 10.0000000000
  geoconvert -t ups 85N 0E
      N 2000000.000 1444542.609
  geoconvert -t mgrs 50 10
      32UNA7166639109
  geoconvert -f mgrs -p 2 32UNA7166639109
      49.99999716 10.00000067
  geoconvert -t cart 52.5 13.4 34
      3785061.661 901728.881 5036891.559
  geoconvert -s "ORDNANCE GB" -t utm 51.5 -0.12
      30U 699776.065 5709414.752
  geoconvert -s 217 -d 183 < positions.txt
  geoconvert -e gelInt24 -f utm < utm.txt
  geoconvert --country de
)HELP";

enum class Format { Geo, Utm, Ups, Mgrs, Usng, Cart };

struct Options {
  Format from = Format::Geo;
  Format to = Format::Geo;
  TGeoEllipsoid ellipsoid = gelWGS84;
  bool ellipsoidGiven = false;
  int sourceDatum = 0;  // 0: no datum shift
  int targetDatum = 0;
  int precision = 3;
  int gridDigits = MGRS_MaxPrecision;
  std::vector<std::string> position;  // the tokens of a position on the command line
};

// A bad option: nothing is converted.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// A position that cannot be converted: reported, and the tool goes on.
struct InputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && Lower(text.substr(0, prefix.size())) == Lower(prefix);
}

// Formats a number with a fixed count of decimals, never as "-0.000".
std::string Fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  std::string s = buf;
  if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  return s;
}

// Why a token is not accepted as a number: well-formed but beyond the range
// of a double, or not a number at all.
std::string NotANumber(std::string_view token) {
  double v = 0;
  std::string_view s = token;
  if (!s.empty() && s[0] == '+') {
    s.remove_prefix(1);
    if (!s.empty() && s[0] == '-') return "is not a number";
  }
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  const bool tooLarge =
      !s.empty() && end == s.data() + s.size() && ec == std::errc::result_out_of_range;
  return tooLarge ? "is out of range" : "is not a number";
}

double Number(std::string_view token, const char* what) {
  const auto v = apps::ParseNumber(token);
  if (!v) {
    throw InputError(std::string(what) + " '" + std::string(token) + "' " + NotANumber(token));
  }
  return *v;
}

int ParseInt(std::string_view s, int lo, int hi, const char* what) {
  int v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size() || v < lo || v > hi) {
    throw UsageError(std::string(what) + " must be a whole number from " + std::to_string(lo) +
                     " to " + std::to_string(hi) + ", not '" + std::string(s) + "'");
  }
  return v;
}

// Splits a line at blanks and commas; a lone hemisphere or band letter is
// joined to the token before it ("50 N" -> "50N", "32 U" -> "32U").
std::vector<std::string> Tokens(std::string_view line) {
  std::vector<std::string> out;
  std::string cur;
  auto flush = [&] {
    if (cur.empty()) return;
    const bool loneLetter = cur.size() == 1 && std::isalpha(static_cast<unsigned char>(cur[0]));
    if (loneLetter && !out.empty() && std::isdigit(static_cast<unsigned char>(out.back().back()))) {
      out.back() += cur;
    } else {
      out.push_back(cur);
    }
    cur.clear();
  };
  for (char c : line) {
    if (c == ',' || std::isspace(static_cast<unsigned char>(c))) {
      flush();
    } else {
      cur += c;
    }
  }
  flush();
  return out;
}

void ExpectCount(const std::vector<std::string>& t, std::size_t lo, std::size_t hi,
                 const char* shape) {
  if (t.size() < lo || t.size() > hi) {
    throw InputError("expected " + std::string(shape) + ", got " + std::to_string(t.size()) +
                     (t.size() == 1 ? " value" : " values"));
  }
}

// ---------------------------------------------------------------- input

struct Geographic {
  double lat = 0;
  double lon = 0;
  double height = 0;
  bool hasHeight = false;
};

// Grid coordinates far outside their projection's area give no usable
// position (the series diverge there).
void CheckConverted(const Geographic& g) {
  if (!(std::isfinite(g.lat) && std::isfinite(g.lon) && std::isfinite(g.height) &&
        std::fabs(g.lat) <= 90)) {
    throw InputError("the grid coordinates lie outside the area the projection covers");
  }
}

// Heights and cartesian coordinates are kept within a million kilometres,
// far beyond any use, so that every result stays finite and readable.
constexpr double kMaxDistance = 1e9;

double Distance(std::string_view token, const char* what) {
  const double v = Number(token, what);
  if (std::fabs(v) > kMaxDistance) {
    throw InputError(std::string(what) + " " + std::string(token) + " is beyond 1e9 metres");
  }
  return v;
}

// An angle with a sign or a trailing hemisphere letter. axis is set to 'N'
// for a latitude letter, 'E' for a longitude letter, 0 for none.
double Angle(const std::string& token, char& axis) {
  axis = 0;
  std::string_view num = token;
  double sign = 1;
  const char h = token.empty()
                     ? '\0'
                     : static_cast<char>(std::toupper(static_cast<unsigned char>(token.back())));
  if (h == 'N' || h == 'S' || h == 'E' || h == 'W') {
    axis = (h == 'N' || h == 'S') ? 'N' : 'E';
    sign = (h == 'S' || h == 'W') ? -1 : 1;
    num.remove_suffix(1);
    if (!num.empty() && (num[0] == '-' || num[0] == '+')) {
      throw InputError("'" + token + "' has both a sign and a hemisphere letter");
    }
  }
  const auto v = apps::ParseNumber(num);
  if (!v) throw InputError("angle '" + token + "' " + NotANumber(num));
  return sign * *v;
}

Geographic ReadGeo(const std::vector<std::string>& t) {
  ExpectCount(t, 2, 3, "latitude longitude [height]");
  Geographic g;
  char axis0 = 0, axis1 = 0;
  g.lat = Angle(t[0], axis0);
  g.lon = Angle(t[1], axis1);
  if (axis0 == 'E' || axis1 == 'N') {
    if (axis0 == axis1)
      throw InputError("both angles are " + std::string(axis0 == 'N' ? "latitudes" : "longitudes"));
    std::swap(g.lat, g.lon);  // "10E 50N": the letters say which is which
  }
  if (!(g.lat >= -90 && g.lat <= 90)) {
    throw InputError("latitude " + t[axis0 == 'E' ? 1 : 0] + " is outside -90 to 90");
  }
  if (!(g.lon >= -180 && g.lon <= 180)) {
    throw InputError("longitude " + t[axis0 == 'E' ? 0 : 1] + " is outside -180 to 180");
  }
  if (t.size() == 3) {
    g.height = Distance(t[2], "height");
    g.hasHeight = true;
  }
  return g;
}

// Index of a band letter in C..X without I and O, or -1.
int BandIndex(char band) {
  static const std::string_view kBands = "CDEFGHJKLMNPQRSTUVWX";
  const auto pos = kBands.find(band);
  return pos == std::string_view::npos ? -1 : static_cast<int>(pos);
}

// Band index of a latitude: 0 (C) to 19 (X, up to 84), -1 south of -80,
// 20 north of 84.
int BandOfLatitude(double lat) {
  if (lat < -80) return -1;
  if (lat > 84) return 20;
  return std::min(19, static_cast<int>(std::floor((lat + 80) / 8)));
}

Geographic ReadUtm(const std::vector<std::string>& t, TGeoEllipsoid ell) {
  ExpectCount(t, 3, 3, "ZONE+BAND easting northing");
  const std::string& zb = t[0];
  std::size_t digits = 0;
  while (digits < zb.size() && std::isdigit(static_cast<unsigned char>(zb[digits]))) ++digits;
  if (digits == 0 || digits > 2 || zb.size() != digits + 1) {
    throw InputError("'" + zb + "' is not a zone with its latitude band, like 32U");
  }
  const int zone = std::stoi(zb.substr(0, digits));
  const char band = static_cast<char>(std::toupper(static_cast<unsigned char>(zb.back())));
  if (zone < 1 || zone > 60) throw InputError("zone " + std::to_string(zone) + " is not 1 to 60");
  const int bandIndex = BandIndex(band);
  if (bandIndex < 0) {
    throw InputError(std::string("'") + zb.back() +
                     "' is not a UTM band (C to X, without I and O)");
  }
  const double e = Number(t[1], "easting");
  const double n = Number(t[2], "northing");
  if (e < 0 || e > 1000000) throw InputError("easting " + t[1] + " is outside 0 to 1000000");
  if (n < 0 || n > 10000000) throw InputError("northing " + t[2] + " is outside 0 to 10000000");

  const bool south = band < 'N';
  Geographic g;
  UTMToLatLong(e, n, zone, south, ell, g.lat, g.lon);
  CheckConverted(g);
  // The band is redundant with the northing; a mismatch of more than one
  // band means a wrong hemisphere or a mistyped northing.
  if (std::abs(BandOfLatitude(g.lat) - bandIndex) > 1) {
    throw InputError("northing " + t[2] + " lies at latitude " + Fixed(g.lat, 3) +
                     ", outside band " + band);
  }
  return g;
}

Geographic ReadUps(const std::vector<std::string>& t, TGeoEllipsoid ell) {
  ExpectCount(t, 3, 3, "HEMISPHERE x y");
  const std::string h = Lower(t[0]);
  bool south;
  if (h == "n" || h == "y" || h == "z") {
    south = false;
  } else if (h == "s" || h == "a" || h == "b") {
    south = true;
  } else {
    throw InputError("'" + t[0] + "' is not a UPS hemisphere (N or S)");
  }
  const double x = Number(t[1], "x");
  const double y = Number(t[2], "y");
  if (x < 0 || x > 4000000) throw InputError("x " + t[1] + " is outside 0 to 4000000");
  if (y < 0 || y > 4000000) throw InputError("y " + t[2] + " is outside 0 to 4000000");
  Geographic g;
  UPSToLatLong(x, y, south, ell, g.lat, g.lon);
  return g;
}

// A reference may be written with blanks, so every token is a part of it.
Geographic ReadMgrs(const std::vector<std::string>& t, TGeoEllipsoid ell) {
  std::string text;
  for (const std::string& part : t) text += part;
  Geographic g;
  int digits = 0;
  std::string why;
  if (!MGRSToLatLong(text, ell, g.lat, g.lon, digits, &why)) throw InputError(why);
  return g;
}

Geographic ReadCart(const std::vector<std::string>& t, TGeoEllipsoid ell) {
  ExpectCount(t, 3, 3, "X Y Z");
  Geographic g;
  CartesianToGeo(Distance(t[0], "X"), Distance(t[1], "Y"), Distance(t[2], "Z"), ell, g.lat, g.lon,
                 g.height);
  g.hasHeight = true;
  return g;
}

// ---------------------------------------------------------------- output

std::string WriteGeo(const Geographic& g, int p) {
  // Appended piece by piece: `" " + Fixed(...)` inserts at the front of a
  // temporary, which GCC 12 at -O2 mistakes for an overlapping copy
  // (-Wrestrict).
  std::string s = Fixed(g.lat, p + 6);
  s += ' ';
  s += Fixed(g.lon, p + 6);
  if (g.hasHeight) {
    s += ' ';
    s += Fixed(g.height, p);
  }
  return s;
}

std::string WriteUtm(const Geographic& g, TGeoEllipsoid ell, int p) {
  const double lon = g.lon == 180 ? -180 : g.lon;  // the same meridian, inside zone 1
  int zone = 0;
  char16_t band = u' ';
  GeoToUTMZone(g.lat, lon, zone, band);
  if (zone == 0) {
    throw InputError("latitude " + Fixed(g.lat, 6) +
                     " is outside the UTM area (-80 to 84); use --to ups");
  }
  double e, n;
  LatLongToUTM(g.lat, lon, ell, zone, e, n);
  return std::to_string(zone) + static_cast<char>(band) + " " + Fixed(e, p) + " " + Fixed(n, p);
}

std::string WriteUps(const Geographic& g, TGeoEllipsoid ell, int p) {
  double x, y;
  LatLongToUPS(g.lat, g.lon, ell, x, y);
  if (!(x >= 0 && x <= 4000000 && y >= 0 && y <= 4000000)) {
    throw InputError("latitude " + Fixed(g.lat, 6) +
                     " is too far from the pole for UPS (x or y outside 0 to 4000000)");
  }
  return std::string(g.lat >= 0 ? "N " : "S ") + Fixed(x, p) + " " + Fixed(y, p);
}

std::string WriteMgrs(const Geographic& g, TGeoEllipsoid ell, int digits, bool spaced) {
  return LatLongToMGRS(g.lat, g.lon, digits, ell, spaced);
}

std::string WriteCart(const Geographic& g, TGeoEllipsoid ell, int p) {
  double x, y, z;
  GeoToCartesian(g.lat, g.lon, g.height, ell, x, y, z);
  return Fixed(x, p) + " " + Fixed(y, p) + " " + Fixed(z, p);
}

// ---------------------------------------------------------------- conversion

std::string Convert(const Options& o, const std::vector<std::string>& tokens) {
  const TGeoEllipsoid inEll = o.sourceDatum ? GetDatumData(o.sourceDatum)->Ellipsoid : o.ellipsoid;
  const TGeoEllipsoid outEll = o.targetDatum ? GetDatumData(o.targetDatum)->Ellipsoid : o.ellipsoid;
  Geographic g;
  switch (o.from) {
    case Format::Geo:
      g = ReadGeo(tokens);
      break;
    case Format::Utm:
      g = ReadUtm(tokens, inEll);
      break;
    case Format::Ups:
      g = ReadUps(tokens, inEll);
      break;
    case Format::Mgrs:
    case Format::Usng:
      g = ReadMgrs(tokens, inEll);
      break;
    case Format::Cart:
      g = ReadCart(tokens, inEll);
      break;
  }
  CheckConverted(g);
  if (std::fabs(g.lat) == 90) g.lon = 0;  // any longitude is the pole; print the plain one
  if (o.sourceDatum) {
    Geographic shifted;
    const int status = HelmertTransform(o.sourceDatum, g.lat, g.lon, g.height, o.targetDatum,
                                        shifted.lat, shifted.lon, shifted.height);
    if (status != htOK) {
      throw InputError("the position (" + Fixed(g.lat, 6) + ", " + Fixed(g.lon, 6) +
                       ") cannot be shifted (status " + std::to_string(status) + ")");
    }
    shifted.hasHeight = true;
    g = shifted;
  }
  switch (o.to) {
    case Format::Geo:
      return WriteGeo(g, o.precision);
    case Format::Utm:
      return WriteUtm(g, outEll, o.precision);
    case Format::Ups:
      return WriteUps(g, outEll, o.precision);
    case Format::Mgrs:
    case Format::Usng:
      return WriteMgrs(g, outEll, o.gridDigits, o.to == Format::Usng);
    case Format::Cart:
      return WriteCart(g, outEll, o.precision);
  }
  return {};
}

// ---------------------------------------------------------------- tables

std::string DatumLabel(const TDatumData& d) {
  return d.Name.Text() + " (" + d.Region.Text() + ")";
}

int FindDatum(const std::string& text) {
  if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
    return ParseInt(text, 1, DatumCount, "a datum number");
  }
  std::vector<int> hits;
  for (int no = 1; no <= DatumCount; ++no) {
    const std::string label = DatumLabel(*GetDatumData(no));
    if (Lower(label) == Lower(text)) return no;  // a full label is never ambiguous
    if (!text.empty() && StartsWithNoCase(label, text)) hits.push_back(no);
  }
  if (hits.size() == 1) return hits[0];
  if (hits.empty()) throw UsageError("no datum starts with '" + text + "' (see --list-datums)");
  std::string msg = "datum '" + text + "' is ambiguous:";
  for (std::size_t i = 0; i < hits.size() && i < 5; ++i) {
    // Appended piece by piece, as in WriteGeo.
    msg += ' ';
    msg += std::to_string(hits[i]);
    msg += ' ';
    msg += DatumLabel(*GetDatumData(hits[i]));
    msg += ';';
  }
  if (hits.size() > 5) msg += " and " + std::to_string(hits.size() - 5) + " more;";
  throw UsageError(msg + " give its number or more of its name");
}

TGeoEllipsoid FindEllipsoid(const std::string& text) {
  if (auto e = FindGeoEllipsoid(text)) return *e;
  if (auto e = FindGeoEllipsoid("gel" + text)) return *e;
  throw UsageError("unknown ellipsoid '" + text + "' (see --list-ellipsoids)");
}

Format ParseFormat(const std::string& text) {
  const std::string f = Lower(text);
  if (f == "geo") return Format::Geo;
  if (f == "utm") return Format::Utm;
  if (f == "ups") return Format::Ups;
  if (f == "mgrs") return Format::Mgrs;
  if (f == "usng") return Format::Usng;
  if (f == "cart") return Format::Cart;
  throw UsageError("unknown format '" + text + "' (geo, utm, ups, mgrs, usng or cart)");
}

void ListEllipsoids(std::ostream& out) {
  char buf[256];
  std::snprintf(buf, sizeof buf, "%-18s %14s %16s %15s  %s\n", "identifier", "a (m)", "b (m)",
                "1/f", "name");
  out << buf;
  for (int i = 0; i < GeoEllipsoidCount; ++i) {
    const auto e = static_cast<TGeoEllipsoid>(i);
    std::snprintf(buf, sizeof buf, "%-18s %14.4f %16.6f %15.9f  %s\n", GeoEllipsoidId[e],
                  GeoEllipsoidData[e].MajorAxis, GeoEllipsoidData[e].MinorAxis, RecipFlattening(e),
                  GeoEllipsoidName[e]);
    out << buf;
  }
}

void ListDatums(std::ostream& out) {
  char buf[512];
  std::snprintf(buf, sizeof buf, "%3s  %-16s %9s %9s %9s %8s %8s %8s %8s  %s\n", "no", "ellipsoid",
                "dx", "dy", "dz", "ppm", "rx", "ry", "rz", "name (region)");
  out << buf;
  for (int no = 1; no <= DatumCount; ++no) {
    const TDatumData& d = *GetDatumData(no);
    std::snprintf(buf, sizeof buf, "%3d  %-16s %9.3f %9.3f %9.3f %8.4f %8.4f %8.4f %8.4f  %s\n", no,
                  GeoEllipsoidId[d.Ellipsoid], d.DX, d.DY, d.DZ, d.Scale, d.RotX, d.RotY, d.RotZ,
                  DatumLabel(d).c_str());
    out << buf;
  }
}

void CountryHeader(std::ostream& out) {
  char buf[256];
  std::snprintf(buf, sizeof buf, "%-34s %-4s %-4s %-4s %9s %10s  %-20s %9s %10s %6s\n", "name",
                "fips", "iso2", "iso3", "lat", "lon", "capital", "lat", "lon", "alt");
  out << buf;
}

void CountryRow(std::ostream& out, const TCountryData& c) {
  char buf[256];
  const std::string capital = c.Capital.Empty() ? "-" : c.Capital.Text();
  std::snprintf(buf, sizeof buf, "%-34s %-4s %-4s %-4s %9.4f %10.4f  %-20s %9.4f %10.4f %6d\n",
                c.Name.Text().c_str(), c.Fips10.Text().c_str(), c.ISO3166_2.Text().c_str(),
                c.ISO3166_3.Text().c_str(), c.CLat, c.CLong, capital.c_str(), c.CapLat, c.CapLong,
                static_cast<int>(c.CapAlt));
  out << buf;
}

int Country(std::ostream& out, std::ostream& err, const std::string& query) {
  const std::string q = Lower(query);
  // A code is exact and wins; only without one are names searched ("de" is
  // Germany, not Denmark).
  std::vector<const TCountryData*> hits;
  for (const TCountryData& c : CountryData) {
    if (q == Lower(c.Fips10.View()) || q == Lower(c.ISO3166_2.View()) ||
        q == Lower(c.ISO3166_3.View())) {
      hits.push_back(&c);
    }
  }
  if (hits.empty() && !q.empty()) {
    for (const TCountryData& c : CountryData) {
      if (StartsWithNoCase(c.Name.Text(), q)) hits.push_back(&c);
    }
  }
  if (hits.empty()) {
    err << "geoconvert: no country has the code or a name starting with '" << apps::Printable(query)
        << "'\n";
    return kExitBadInput;
  }
  CountryHeader(out);
  for (const TCountryData* c : hits) CountryRow(out, *c);
  return kExitOk;
}

// ---------------------------------------------------------------- options

bool LooksLikeNumber(const std::string& arg) {
  return arg.size() >= 2 && arg[0] == '-' &&
         (std::isdigit(static_cast<unsigned char>(arg[1])) || arg[1] == '.');
}

enum class Action { Convert, Help, ListEllipsoids, ListDatums, ListCountries, Country };

// What the command line asks for.
struct Request {
  Options options;
  Action action = Action::Convert;
  std::string countryQuery;
};

// Reads the command line; UsageError for a bad option or combination.
Request ParseArguments(const std::vector<std::string>& args) {
  Request r;
  Options& o = r.options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError("option " + a + " needs a value");
      return args[++i];
    };
    if (a == "-h" || a == "--help") {
      r.action = Action::Help;
    } else if (a == "-f" || a == "--from") {
      o.from = ParseFormat(value());
    } else if (a == "-t" || a == "--to") {
      o.to = ParseFormat(value());
    } else if (a == "-e" || a == "--ellipsoid") {
      o.ellipsoid = FindEllipsoid(value());
      o.ellipsoidGiven = true;
    } else if (a == "-s" || a == "--source-datum") {
      o.sourceDatum = FindDatum(value());
    } else if (a == "-d" || a == "--target-datum") {
      o.targetDatum = FindDatum(value());
    } else if (a == "-p" || a == "--precision") {
      o.precision = ParseInt(value(), 0, 9, "the precision");
    } else if (a == "-g" || a == "--grid-digits") {
      o.gridDigits = ParseInt(value(), 0, MGRS_MaxPrecision, "the grid digits");
    } else if (a == "--list-ellipsoids") {
      r.action = Action::ListEllipsoids;
    } else if (a == "--list-datums") {
      r.action = Action::ListDatums;
    } else if (a == "--list-countries") {
      r.action = Action::ListCountries;
    } else if (a == "--country") {
      r.countryQuery = value();
      r.action = Action::Country;
    } else if (a == "--") {
      o.position.insert(o.position.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    } else if (a.size() > 1 && a[0] == '-' && !LooksLikeNumber(a)) {
      throw UsageError("unknown option " + a + " (see --help)");
    } else {
      o.position.push_back(a);
    }
  }
  if (o.ellipsoidGiven && (o.sourceDatum || o.targetDatum)) {
    throw UsageError("-e cannot be combined with -s or -d: a datum has its own ellipsoid");
  }
  if (o.sourceDatum || o.targetDatum) {
    if (!o.sourceDatum) o.sourceDatum = DatumWGS84;
    if (!o.targetDatum) o.targetDatum = DatumWGS84;
  }
  if (r.action != Action::Convert && !o.position.empty()) {
    throw UsageError("unexpected position '" + o.position[0] + "' with a table option");
  }
  return r;
}

// The help text and the tables.
int ShowTable(const Request& r, std::ostream& out, std::ostream& err) {
  switch (r.action) {
    case Action::Help:
      out << kHelp;
      return kExitOk;
    case Action::ListEllipsoids:
      ListEllipsoids(out);
      return kExitOk;
    case Action::ListDatums:
      ListDatums(out);
      return kExitOk;
    case Action::ListCountries:
      CountryHeader(out);
      for (const TCountryData& c : CountryData) CountryRow(out, c);
      return kExitOk;
    case Action::Country:
      return Country(out, err, r.countryQuery);
    case Action::Convert:
      break;
  }
  return kExitOk;
}

// The one position given on the command line.
int ConvertArguments(const Options& o, std::ostream& out, std::ostream& err) {
  std::string line;
  for (const std::string& t : o.position) line += t + " ";
  try {
    out << Convert(o, Tokens(line)) << "\n";
    return kExitOk;
  } catch (const std::exception& e) {
    err << "geoconvert: " << apps::Printable(e.what()) << "\n";
    return kExitBadInput;
  }
}

// Whether a line holds nothing to convert: only white space of any kind
// (the same set that separates numbers: a stray CR of doubled or old Mac
// line ends, or a form feed, must not turn a blank line into a failed one),
// or a comment.
bool NothingToConvert(const std::string& line) {
  const auto first = std::find_if_not(line.begin(), line.end(), [](char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
  });
  return first == line.end() || *first == '#';
}

// One position a line of the input; a bad line is reported and the rest
// converted.
int ConvertStream(const Options& o, std::istream& in, std::ostream& out, std::ostream& err) {
  int status = kExitOk;
  std::string line;
  for (long lineNo = 1; std::getline(in, line); ++lineNo) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Editors on Windows often start a UTF-8 file with a byte order mark.
    if (lineNo == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    if (NothingToConvert(line)) continue;
    try {
      out << Convert(o, Tokens(apps::Printable(line, true))) << "\n";
    } catch (const std::exception& e) {
      err << "geoconvert: line " << lineNo << ": " << apps::Printable(e.what()) << "\n";
      status = kExitBadInput;
    }
  }
  return status;
}

// Everything but the final check of the streams.
int Execute(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
            std::ostream& err) {
  Request r;
  try {
    r = ParseArguments(args);
  } catch (const UsageError& e) {
    err << "geoconvert: " << apps::Printable(e.what()) << "\n";
    return kExitUsage;
  }
  if (r.action != Action::Convert) return ShowTable(r, out, err);
  if (!r.options.position.empty()) return ConvertArguments(r.options, out, err);
  return ConvertStream(r.options, in, out, err);
}

}  // namespace

int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err) {
  int status = Execute(args, in, out, err);
  // Output that never arrived (a full disk, a closed pipe) or input that
  // stopped on a read error must not end in a status of success.
  if (in.bad()) {
    err << "geoconvert: cannot read the input\n";
    status = kExitIo;
  }
  if (!out.flush()) {
    err << "geoconvert: cannot write the output\n";
    status = kExitIo;
  }
  return status;
}

}  // namespace marovia::geoconvert
