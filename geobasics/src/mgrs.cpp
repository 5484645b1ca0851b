// MGRS and USNG references both ways (mgrs.h).
//
// Sections: the letter tables; a position's grid coordinates (UTM or UPS)
// to text; text to its parts; parts to a position, with the 2000 km cycle
// of the UTM rows resolved by the band.
#include "marovia/geobasics/mgrs.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <limits>

#include "marovia/geobasics/ups.h"
#include "marovia/geobasics/utm.h"
#include "marovia/geobasics/utm_batch.h"

namespace marovia {

namespace {

// ---------------------------------------------------------------- tables

constexpr std::string_view kBands = "CDEFGHJKLMNPQRSTUVWX";
// UTM columns by (zone - 1) mod 3, each from easting 100 km.
constexpr std::string_view kUtmColumns[3] = {"ABCDEFGH", "JKLMNPQR", "STUVWXYZ"};
constexpr std::string_view kUtmRows = "ABCDEFGHJKLMNPQRSTUV";
constexpr double kSquare = 100000.0;
constexpr double kRowCycle = 2000000.0;  // 20 rows

// The four polar half-caps: band letter, columns and the 100 km index of
// the first one, rows and the index of the first.
struct TPolarCap {
  char band;
  bool south;
  std::string_view columns;
  int firstColumn;
  std::string_view rows;
  int firstRow;
};
constexpr TPolarCap kCaps[4] = {
    {'A', true, "JKLPQRSTUXYZ", 8, "ABCDEFGHJKLMNPQRSTUVWXYZ", 8},
    {'B', true, "ABCFGHJKLPQR", 20, "ABCDEFGHJKLMNPQRSTUVWXYZ", 8},
    {'Y', false, "RSTUXYZ", 13, "ABCDEFGHJKLMNP", 13},
    {'Z', false, "ABCFGHJ", 20, "ABCDEFGHJKLMNP", 13},
};

const TPolarCap* CapOf(char band) {
  for (const TPolarCap& c : kCaps)
    if (c.band == band) return &c;
  return nullptr;
}

// ---------------------------------------------------------------- to text

int ClampPrecision(int precision) {
  return std::clamp(precision, 0, MGRS_MaxPrecision);
}

// The grid coordinate within its 100 km square, truncated to the
// precision: floor(v / unit), corrected where the quotient rounded up to a
// whole number the value does not reach.
int Truncated(double v, double unit) {
  double q = std::floor(v / unit);
  if (q * unit > v) q -= 1;
  return static_cast<int>(q);
}

// Writes the reference; false (nothing usable written) where a letter
// would lie outside its table, which no position of the grid reaches.
struct TWriter {
  char* out;
  std::size_t n = 0;
  void Put(char c) { out[n++] = c; }
  void Number(int v, int digits) {
    for (int i = digits - 1; i >= 0; --i) {
      out[n + i] = static_cast<char>('0' + v % 10);
      v /= 10;
    }
    n += digits;
  }
};

// The text after the zone and band: square letters and digits.
bool WriteSquare(TWriter& w, char column, char row, double e, double n, int precision,
                 bool spaced) {
  if (spaced) w.Put(' ');
  w.Put(column);
  w.Put(row);
  if (precision == 0) return true;
  const double unit = std::pow(10.0, MGRS_MaxPrecision - precision);
  const int de = Truncated(e, unit), dn = Truncated(n, unit);
  if (spaced) w.Put(' ');
  w.Number(de, precision);
  if (spaced) w.Put(' ');
  w.Number(dn, precision);
  return true;
}

// A UTM position's reference (zone 1..60, band letter, easting, northing
// with the false northing in the south); the length written, 0 for none.
std::size_t WriteUtm(char* out, int zone, char band, double easting, double northing, int precision,
                     bool spaced) {
  if (!(std::isfinite(easting) && std::isfinite(northing))) return 0;
  const double col = std::floor(easting / kSquare);
  if (!(col >= 1 && col <= 8) || !(northing >= 0)) return 0;
  const int rowIndex =
      (static_cast<int>(std::fmod(std::floor(northing / kSquare), 20.0)) + (zone % 2 ? 0 : 5)) % 20;
  TWriter w{out};
  w.Number(zone, zone >= 10 ? 2 : 1);
  w.Put(band);
  WriteSquare(w, kUtmColumns[(zone - 1) % 3][static_cast<int>(col) - 1], kUtmRows[rowIndex],
              easting - col * kSquare, northing - std::floor(northing / kSquare) * kSquare,
              precision, spaced);
  return w.n;
}

// A polar position's reference; the length written, 0 for none.
std::size_t WriteUps(char* out, double lat, double lon, TGeoEllipsoid ellipsoid, int precision,
                     bool spaced) {
  double x = 0, y = 0;
  LatLongToUPS(lat, lon, ellipsoid, x, y);
  const bool west = x < UPS_FalseOrigin;
  const TPolarCap& cap = kCaps[(lat < 0 ? 0 : 2) + (west ? 0 : 1)];
  const double cx = std::floor(x / kSquare), cy = std::floor(y / kSquare);
  const double col = cx - cap.firstColumn, row = cy - cap.firstRow;
  if (!(col >= 0 && col < static_cast<double>(cap.columns.size()) && row >= 0 &&
        row < static_cast<double>(cap.rows.size())))
    return 0;
  TWriter w{out};
  w.Put(cap.band);
  WriteSquare(w, cap.columns[static_cast<std::size_t>(col)],
              cap.rows[static_cast<std::size_t>(row)], x - cx * kSquare, y - cy * kSquare,
              precision, spaced);
  return w.n;
}

bool IsPosition(double lat, double lon) {
  return lat >= -90 && lat <= 90 && lon >= -180 && lon <= 180;
}

// ---------------------------------------------------------------- from text

struct TParts {
  int zone = 0;  // 0 for the polar caps
  char band = 0, column = 0, row = 0;
  int precision = 0;
  double e = 0, n = 0;  // metres within the square, to the centre of the digits' square
};

bool Fail(std::string* why, std::string text) {
  if (why) *why = std::move(text);
  return false;
}

bool ParseParts(std::string_view text, TParts& p, std::string* why) {
  std::string s;
  for (const char c : text) {
    if (c == ' ' || c == '\t') continue;
    s += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  const std::string shown(text);
  std::size_t i = 0;
  while (i < s.size() && i < 3 && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
  if (i > 2)
    return Fail(why, "'" + shown + "' is not a grid reference (zone of more than 2 digits)");
  if (i > 0) {
    p.zone = std::stoi(s.substr(0, i));
    if (p.zone < 1 || p.zone > 60)
      return Fail(why, "zone " + std::to_string(p.zone) + " is not 1 to 60");
  }
  if (s.size() < i + 3 || !std::isalpha(static_cast<unsigned char>(s[i])) ||
      !std::isalpha(static_cast<unsigned char>(s[i + 1])) ||
      !std::isalpha(static_cast<unsigned char>(s[i + 2])))
    return Fail(
        why, "'" + shown + "' is not a grid reference (zone and band, two square letters, digits)");
  p.band = s[i];
  p.column = s[i + 1];
  p.row = s[i + 2];
  const std::string digits = s.substr(i + 3);
  if (digits.find_first_not_of("0123456789") != std::string::npos)
    return Fail(why, "'" + shown + "' has something other than digits after the square letters");
  if (digits.size() % 2 != 0 || digits.size() > 2 * MGRS_MaxPrecision)
    return Fail(why, "'" + shown + "' needs two halves of equal length (up to 5 digits each)");
  p.precision = static_cast<int>(digits.size() / 2);
  const double unit = std::pow(10.0, MGRS_MaxPrecision - p.precision);
  const double half = unit / 2;
  p.e = p.precision ? std::stod(digits.substr(0, p.precision)) * unit + half : kSquare / 2;
  p.n = p.precision ? std::stod(digits.substr(p.precision)) * unit + half : kSquare / 2;
  if (p.zone == 0 && !CapOf(p.band))
    return Fail(
        why, std::string("'") + p.band + "' is not a polar band (A, B, Y, Z) and no zone is given");
  if (p.zone != 0 && kBands.find(p.band) == std::string_view::npos)
    return Fail(why, std::string("'") + p.band + "' is not a UTM band (C to X, without I and O)");
  return true;
}

// Northing of a latitude on a zone's central meridian (with the false
// northing in the south).
double MeridianNorthing(double lat, bool south, TGeoEllipsoid ellipsoid) {
  double e = 0, n = 0;
  LatLongToUTMInZone(lat, 3, 31, south, ellipsoid, e, n);
  return n;
}

// Positions are within this many metres of their band in northing: a
// square may straddle the band's edge, and away from the central meridian
// the edge's northing differs by up to some 20 km in the widest zones.
constexpr double kBandSlack = 50000;

bool UtmPosition(const TParts& p, TGeoEllipsoid ellipsoid, double& lat, double& lon,
                 std::string* why) {
  const std::string_view columns = kUtmColumns[(p.zone - 1) % 3];
  const std::size_t col = columns.find(p.column);
  const std::string square = std::to_string(p.zone) + p.band + " " + p.column + p.row;
  if (col == std::string_view::npos)
    return Fail(why, std::string("column ") + p.column + " is not one of zone " +
                         std::to_string(p.zone) + " (" + std::string(columns) + ")");
  const std::size_t rowLetter = kUtmRows.find(p.row);
  if (rowLetter == std::string_view::npos)
    return Fail(why,
                std::string("row ") + p.row + " is not a UTM row letter (A to V, without I and O)");
  const int row = (static_cast<int>(rowLetter) + (p.zone % 2 ? 0 : 15)) % 20;
  const int band = static_cast<int>(kBands.find(p.band));
  const bool south = p.band < 'N';
  const double latLo = -80.0 + 8 * band;
  const double latHi = band == 19 ? 84.0 : latLo + 8;
  // The square's southern edge within the 2000 km cycle that the band's
  // northings fall in.
  const double bandLo = MeridianNorthing(latLo, south, ellipsoid) - kBandSlack;
  const double bandHi =
      south && latHi == 0 ? UTM_FalseNorthing : MeridianNorthing(latHi, south, ellipsoid);
  double edge = row * kSquare;
  edge += kRowCycle * std::ceil((bandLo - kSquare - edge) / kRowCycle);
  if (edge > bandHi + kBandSlack)
    return Fail(why, "square " + square + " does not lie in band " + p.band);
  const double easting = (static_cast<double>(col) + 1) * kSquare + p.e;
  UTMToLatLong(easting, edge + p.n, p.zone, south, ellipsoid, lat, lon);
  // Squares of zones 1 and 60 reach across the 180 meridian.
  if (lon < -180) lon += 360;
  if (lon > 180) lon -= 360;
  return std::isfinite(lat) && std::isfinite(lon);
}

bool UpsPosition(const TParts& p, TGeoEllipsoid ellipsoid, double& lat, double& lon,
                 std::string* why) {
  const TPolarCap& cap = *CapOf(p.band);
  const std::size_t col = cap.columns.find(p.column), row = cap.rows.find(p.row);
  if (col == std::string_view::npos)
    return Fail(why, std::string("column ") + p.column + " is not one of polar band " + p.band +
                         " (" + std::string(cap.columns) + ")");
  if (row == std::string_view::npos)
    return Fail(why, std::string("row ") + p.row + " is not one of polar band " + p.band + " (" +
                         std::string(cap.rows) + ")");
  const double x = (cap.firstColumn + static_cast<double>(col)) * kSquare + p.e;
  const double y = (cap.firstRow + static_cast<double>(row)) * kSquare + p.n;
  UPSToLatLong(x, y, cap.south, ellipsoid, lat, lon);
  return std::isfinite(lat) && std::isfinite(lon);
}

}  // namespace

// ---------------------------------------------------------------- single

std::string LatLongToMGRS(double lat, double lon, int precision, TGeoEllipsoid ellipsoid,
                          bool spaced) {
  char field[USNG_MaxLength];
  LatLongToMGRS({&lat, 1}, {&lon, 1}, precision, ellipsoid, {field, USNG_MaxLength}, USNG_MaxLength,
                spaced);
  return std::string(field, std::find(field, field + USNG_MaxLength, '\0'));
}

bool MGRSToLatLong(std::string_view reference, TGeoEllipsoid ellipsoid, double& lat, double& lon,
                   int& precision, std::string* why) {
  if (static_cast<int>(ellipsoid) >= GeoEllipsoidCount)
    throw EZYLGeoBasicsError("MGRS: ellipsoid " + std::to_string(static_cast<int>(ellipsoid)) +
                             " is not in the catalogue");
  TParts p;
  if (!ParseParts(reference, p, why)) return false;
  precision = p.precision;
  return p.zone ? UtmPosition(p, ellipsoid, lat, lon, why)
                : UpsPosition(p, ellipsoid, lat, lon, why);
}

// ---------------------------------------------------------------- batches

void LatLongToMGRS(std::span<const double> lat, std::span<const double> lon, int precision,
                   TGeoEllipsoid ellipsoid, std::span<char> text, std::size_t width, bool spaced) {
  const std::size_t n = lat.size();
  if (lon.size() != n || text.size() != n * width)
    throw EZYLGeoBasicsError("MGRS batch: the spans differ in length");
  if (width < (spaced ? USNG_MaxLength : MGRS_MaxLength))
    throw EZYLGeoBasicsError("MGRS batch: fields of " + std::to_string(width) +
                             " characters are too narrow");
  if (static_cast<int>(ellipsoid) >= GeoEllipsoidCount)
    throw EZYLGeoBasicsError("MGRS batch: ellipsoid " +
                             std::to_string(static_cast<int>(ellipsoid)) +
                             " is not in the catalogue");
  precision = ClampPrecision(precision);
  constexpr std::size_t kChunk = 256;
  double la[kChunk], lo[kChunk], east[kChunk], north[kChunk];
  int zone[kChunk];
  for (std::size_t s = 0; s < n; s += kChunk) {
    const std::size_t m = std::min(kChunk, n - s);
    for (std::size_t i = 0; i < m; ++i) {
      la[i] = lat[s + i];
      // The 180 meridian is -180, the western edge of zone 1.
      lo[i] = lon[s + i] == 180 ? -180.0 : lon[s + i];
    }
    LatLongToUTM({la, m}, {lo, m}, ellipsoid, {zone, m}, {east, m}, {north, m});
    for (std::size_t i = 0; i < m; ++i) {
      char* out = text.data() + (s + i) * width;
      std::size_t len = 0;
      if (IsPosition(lat[s + i], lon[s + i])) {
        if (zone[i] != 0) {
          // The band is the latitude's: 8 degrees from 80 S, X to 84 N.
          const int band = std::min(19, static_cast<int>((la[i] + 80) / 8));
          len = WriteUtm(out, zone[i], kBands[band], east[i], north[i], precision, spaced);
        } else {
          len = WriteUps(out, la[i], lo[i], ellipsoid, precision, spaced);
        }
      }
      std::fill(out + len, out + width, '\0');
    }
  }
}

void MGRSToLatLong(std::span<const char> text, std::size_t width, TGeoEllipsoid ellipsoid,
                   std::span<double> lat, std::span<double> lon, std::span<uint8_t> ok) {
  const std::size_t n = lat.size();
  if (width == 0 || text.size() != n * width || lon.size() != n || ok.size() != n)
    throw EZYLGeoBasicsError("MGRS batch: the spans differ in length");
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  for (std::size_t i = 0; i < n; ++i) {
    const char* field = text.data() + i * width;
    const std::string_view ref(field, std::find(field, field + width, '\0') - field);
    int precision = 0;
    double a = kNaN, b = kNaN;
    ok[i] = MGRSToLatLong(ref, ellipsoid, a, b, precision);
    lat[i] = ok[i] ? a : kNaN;
    lon[i] = ok[i] ? b : kNaN;
  }
}

}  // namespace marovia
