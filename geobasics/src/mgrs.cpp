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

// Index of each capital letter in a letter sequence (-1 for none), made at
// compile time, so that reading a reference looks letters up directly.
struct TLetterIndex {
  int8_t at[26];
  constexpr explicit TLetterIndex(std::string_view letters) : at{} {
    for (int8_t& a : at) a = -1;
    for (std::size_t i = 0; i < letters.size(); ++i) at[letters[i] - 'A'] = static_cast<int8_t>(i);
  }
  int operator[](char c) const { return c >= 'A' && c <= 'Z' ? at[c - 'A'] : -1; }
};
constexpr TLetterIndex kBandIndex(kBands);
constexpr TLetterIndex kRowIndex(kUtmRows);
constexpr TLetterIndex kColumnIndex[3] = {
    TLetterIndex(kUtmColumns[0]), TLetterIndex(kUtmColumns[1]), TLetterIndex(kUtmColumns[2])};

const TPolarCap* CapOf(char band) {
  for (const TPolarCap& c : kCaps)
    if (c.band == band) return &c;
  return nullptr;
}

// ---------------------------------------------------------------- to text

int ClampPrecision(int precision) {
  return std::clamp(precision, 0, MGRS_MaxPrecision);
}

constexpr double kPow10[6] = {1, 10, 100, 1000, 10000, 100000};

// Appends to a field of the batch.
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

// The five digits of whole metres 0..99999 at out.
void FiveDigits(int v, char* out) {
  const int hi = v / 1000, lo = v % 1000;
  out[0] = static_cast<char>('0' + hi / 10);
  out[1] = static_cast<char>('0' + hi % 10);
  out[2] = static_cast<char>('0' + lo / 100);
  out[3] = static_cast<char>('0' + lo / 10 % 10);
  out[4] = static_cast<char>('0' + lo % 10);
}

// The whole metres of a grid coordinate within its 100 km square (0 ..
// 99999) and the square's index; the metres are truncated, so a
// coordinate a hair below a square's edge stays in the square below.
void SplitSquare(double v, int64_t& square, int& metres) {
  square = static_cast<int64_t>(std::floor(v * 1e-5));
  double within = v - static_cast<double>(square) * kSquare;  // exact
  // The product above may round up to the next whole square.
  if (within < 0) {
    --square;
    within += kSquare;
  }
  metres = std::min(static_cast<int>(within), 99999);
}

// The square letters and digits after the zone and band. Truncating to p
// digits keeps the first p of the five digits of whole metres: the
// easting's five go in first, the northing's over all but the first p.
void WriteSquare(TWriter& w, char column, char row, int e, int n, int precision, bool spaced) {
  if (spaced) w.Put(' ');
  w.Put(column);
  w.Put(row);
  if (precision == 0) return;
  if (spaced) w.Put(' ');
  FiveDigits(e, w.out + w.n);
  w.n += static_cast<std::size_t>(precision);
  if (spaced) w.Put(' ');
  FiveDigits(n, w.out + w.n);
  w.n += static_cast<std::size_t>(precision);
}

// A UTM position's reference (zone 1..60, band letter, easting, northing
// with the false northing in the south); the length written, 0 for none.
std::size_t WriteUtm(char* out, int zone, char band, double easting, double northing, int precision,
                     bool spaced) {
  if (!(easting >= kSquare && easting < 9 * kSquare && northing >= 0 &&
        northing < 2 * UTM_FalseNorthing))
    return 0;
  int64_t col = 0, row = 0;
  int e = 0, n = 0;
  SplitSquare(easting, col, e);
  SplitSquare(northing, row, n);
  const int rowIndex = static_cast<int>((row + (zone % 2 ? 0 : 5)) % 20);
  TWriter w{out};
  w.Number(zone, zone >= 10 ? 2 : 1);
  w.Put(band);
  WriteSquare(w, kUtmColumns[(zone - 1) % 3][col - 1], kUtmRows[rowIndex], e, n, precision, spaced);
  return w.n;
}

// A polar position's reference; the length written, 0 for none.
std::size_t WriteUps(char* out, double lat, double lon, TGeoEllipsoid ellipsoid, int precision,
                     bool spaced) {
  double x = 0, y = 0;
  LatLongToUPS(lat, lon, ellipsoid, x, y);
  if (!(x >= 0 && x < 2 * UPS_FalseOrigin && y >= 0 && y < 2 * UPS_FalseOrigin)) return 0;
  const bool west = x < UPS_FalseOrigin;
  const TPolarCap& cap = kCaps[(lat < 0 ? 0 : 2) + (west ? 0 : 1)];
  int64_t cx = 0, cy = 0;
  int e = 0, n = 0;
  SplitSquare(x, cx, e);
  SplitSquare(y, cy, n);
  const int64_t col = cx - cap.firstColumn, row = cy - cap.firstRow;
  if (col < 0 || col >= static_cast<int64_t>(cap.columns.size()) || row < 0 ||
      row >= static_cast<int64_t>(cap.rows.size()))
    return 0;
  TWriter w{out};
  w.Put(cap.band);
  WriteSquare(w, cap.columns[col], cap.rows[row], e, n, precision, spaced);
  return w.n;
}

bool IsPosition(double lat, double lon) {
  return lat >= -90 && lat <= 90 && lon >= -180 && lon <= 180;
}

// ---------------------------------------------------------------- from text

bool Fail(std::string* why, const std::string& text) {
  if (why) *why = text;
  return false;
}

// The parts of a reference: zone (0 for the polar caps), band and square
// letters, and the digits as metres to the centre of their square.
struct TParts {
  int zone = 0;
  char band = 0, column = 0, row = 0;
  int precision = 0;
  double e = 0, n = 0;
};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
  return c >= 'A' && c <= 'Z';
}

bool ParseParts(std::string_view text, TParts& p, std::string* why) {
  // Blanks dropped, letters upper case (a reference written so already is
  // read in place); anything longer than a reference with room to spare is
  // none.
  char buffer[32];
  const char* s = text.data();
  std::size_t len = text.size();
  bool plain = len <= sizeof buffer;
  for (std::size_t k = 0; k < len && plain; ++k)
    plain = !(text[k] == ' ' || text[k] == '\t' || (text[k] >= 'a' && text[k] <= 'z'));
  if (!plain) {
    len = 0;
    for (const char c : text) {
      if (c == ' ' || c == '\t') continue;
      if (len == sizeof buffer)
        return Fail(why, "'" + std::string(text) + "' is too long for a grid reference");
      buffer[len++] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    s = buffer;
  }
  const auto shown = [&] { return "'" + std::string(text) + "'"; };
  std::size_t i = 0;
  while (i < len && i < 3 && IsDigit(s[i])) ++i;
  if (i > 2) return Fail(why, shown() + " is not a grid reference (zone of more than 2 digits)");
  p.zone = 0;
  for (std::size_t k = 0; k < i; ++k) p.zone = p.zone * 10 + (s[k] - '0');
  if (i > 0 && (p.zone < 1 || p.zone > 60))
    return Fail(why, "zone " + std::to_string(p.zone) + " is not 1 to 60");
  if (len < i + 3 || !IsLetter(s[i]) || !IsLetter(s[i + 1]) || !IsLetter(s[i + 2]))
    return Fail(why,
                shown() + " is not a grid reference (zone and band, two square letters, digits)");
  p.band = s[i];
  p.column = s[i + 1];
  p.row = s[i + 2];
  const std::size_t first = i + 3, digits = len - first;
  for (std::size_t k = first; k < len; ++k)
    if (!IsDigit(s[k]))
      return Fail(why, shown() + " has something other than digits after the square letters");
  if (digits % 2 != 0 || digits > 2 * MGRS_MaxPrecision)
    return Fail(why, shown() + " needs two halves of equal length (up to 5 digits each)");
  p.precision = static_cast<int>(digits / 2);
  int e = 0, n = 0;
  for (int k = 0; k < p.precision; ++k) {
    e = e * 10 + (s[first + k] - '0');
    n = n * 10 + (s[first + p.precision + k] - '0');
  }
  const double unit = kPow10[MGRS_MaxPrecision - p.precision];
  p.e = e * unit + unit / 2;
  p.n = n * unit + unit / 2;
  if (p.zone == 0 && !CapOf(p.band))
    return Fail(
        why, std::string("'") + p.band + "' is not a polar band (A, B, Y, Z) and no zone is given");
  if (p.zone != 0 && kBandIndex[p.band] < 0)
    return Fail(why, std::string("'") + p.band + "' is not a UTM band (C to X, without I and O)");
  return true;
}

// Positions are within this many metres of their band in northing: a
// square may straddle the band's edge, and away from the central meridian
// the edge's northing differs by up to some 20 km in the widest zones.
constexpr double kBandSlack = 50000;

// The northings of each band's southern and northern edge on a central
// meridian (the false northing in the south), per ellipsoid, made on first
// use.
struct TBandNorthings {
  double lo[20], hi[20];
};

const TBandNorthings& BandNorthings(TGeoEllipsoid ellipsoid) {
  static const std::array<TBandNorthings, GeoEllipsoidCount> table = [] {
    std::array<TBandNorthings, GeoEllipsoidCount> t{};
    for (int e = 0; e < GeoEllipsoidCount; ++e) {
      for (int b = 0; b < 20; ++b) {
        const bool south = b < 10;
        const double latLo = -80.0 + 8 * b, latHi = b == 19 ? 84.0 : latLo + 8;
        double east = 0;
        LatLongToUTMInZone(latLo, 3, 31, south, static_cast<TGeoEllipsoid>(e), east, t[e].lo[b]);
        LatLongToUTMInZone(latHi, 3, 31, south, static_cast<TGeoEllipsoid>(e), east, t[e].hi[b]);
        if (b == 9) t[e].hi[b] = UTM_FalseNorthing;  // the equator, from the south
      }
    }
    return t;
  }();
  return table[ellipsoid];
}

// A reference's grid coordinates: UTM (zone, hemisphere, easting,
// northing) or UPS (zone 0, hemisphere, x, y).
struct TGridPoint {
  int zone = 0;
  bool south = false;
  double x = 0, y = 0;
};

bool UtmGrid(const TParts& p, TGeoEllipsoid ellipsoid, TGridPoint& g, std::string* why) {
  const int set = (p.zone - 1) % 3;
  const int col = kColumnIndex[set][p.column];
  if (col < 0)
    return Fail(why, std::string("column ") + p.column + " is not one of zone " +
                         std::to_string(p.zone) + " (" + std::string(kUtmColumns[set]) + ")");
  const int rowLetter = kRowIndex[p.row];
  if (rowLetter < 0)
    return Fail(why,
                std::string("row ") + p.row + " is not a UTM row letter (A to V, without I and O)");
  const int row = (rowLetter + (p.zone % 2 ? 0 : 15)) % 20;
  const int band = kBandIndex[p.band];
  const TBandNorthings& bands = BandNorthings(ellipsoid);
  // The square's southern edge, in the 2000 km cycle that the band's
  // northings fall in.
  const double bandLo = bands.lo[band] - kBandSlack;
  double edge = row * kSquare;
  // (A product for the quotient: an ulp either way is far inside the slack.)
  edge += kRowCycle * std::ceil((bandLo - kSquare - edge) * (1 / kRowCycle));
  if (edge > bands.hi[band] + kBandSlack)
    return Fail(why, "square " + std::to_string(p.zone) + p.band + " " + p.column + p.row +
                         " does not lie in band " + p.band);
  g.zone = p.zone;
  g.south = p.band < 'N';
  g.x = (static_cast<double>(col) + 1) * kSquare + p.e;
  g.y = edge + p.n;
  return true;
}

bool UpsGrid(const TParts& p, TGridPoint& g, std::string* why) {
  const TPolarCap& cap = *CapOf(p.band);
  const std::size_t col = cap.columns.find(p.column), row = cap.rows.find(p.row);
  if (col == std::string_view::npos)
    return Fail(why, std::string("column ") + p.column + " is not one of polar band " + p.band +
                         " (" + std::string(cap.columns) + ")");
  if (row == std::string_view::npos)
    return Fail(why, std::string("row ") + p.row + " is not one of polar band " + p.band + " (" +
                         std::string(cap.rows) + ")");
  g.zone = 0;
  g.south = cap.south;
  g.x = (cap.firstColumn + static_cast<double>(col)) * kSquare + p.e;
  g.y = (cap.firstRow + static_cast<double>(row)) * kSquare + p.n;
  return true;
}

bool ReferenceToGrid(std::string_view reference, TGeoEllipsoid ellipsoid, TGridPoint& g,
                     int& precision, std::string* why) {
  TParts p;
  if (!ParseParts(reference, p, why)) return false;
  precision = p.precision;
  return p.zone ? UtmGrid(p, ellipsoid, g, why) : UpsGrid(p, g, why);
}

// Squares of zones 1 and 60 reach across the 180 meridian.
double WrapLongitude(double lon) {
  if (lon < -180) return lon + 360;
  if (lon > 180) return lon - 360;
  return lon;
}

void CheckEllipsoid(TGeoEllipsoid ellipsoid) {
  if (static_cast<int>(ellipsoid) >= GeoEllipsoidCount)
    throw EZYLGeoBasicsError("MGRS: ellipsoid " + std::to_string(static_cast<int>(ellipsoid)) +
                             " is not in the catalogue");
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
  CheckEllipsoid(ellipsoid);
  TGridPoint g;
  if (!ReferenceToGrid(reference, ellipsoid, g, precision, why)) return false;
  if (g.zone) {
    // One lane of the batch's vector code.
    const int zone[1] = {g.zone};
    const uint8_t south[1] = {g.south};
    UTMToLatLong({&g.x, 1}, {&g.y, 1}, zone, south, ellipsoid, {&lat, 1}, {&lon, 1});
  } else {
    UPSToLatLong(g.x, g.y, g.south, ellipsoid, lat, lon);
  }
  lon = WrapLongitude(lon);
  return std::isfinite(lat) && std::isfinite(lon);
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
  CheckEllipsoid(ellipsoid);
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
      // Composed with room for the digits written past their end.
      char field[USNG_MaxLength + 8];
      std::size_t len = 0;
      if (IsPosition(lat[s + i], lon[s + i])) {
        if (zone[i] != 0) {
          // The band is the latitude's: 8 degrees from 80 S, X to 84 N.
          const int band = std::min(19, static_cast<int>((la[i] + 80) / 8));
          len = WriteUtm(field, zone[i], kBands[band], east[i], north[i], precision, spaced);
        } else {
          len = WriteUps(field, la[i], lo[i], ellipsoid, precision, spaced);
        }
      }
      char* out = text.data() + (s + i) * width;
      std::copy_n(field, len, out);
      std::fill(out + len, out + width, '\0');
    }
  }
}

void MGRSToLatLong(std::span<const char> text, std::size_t width, TGeoEllipsoid ellipsoid,
                   std::span<double> lat, std::span<double> lon, std::span<uint8_t> ok) {
  const std::size_t n = lat.size();
  if (width == 0 || text.size() != n * width || lon.size() != n || ok.size() != n)
    throw EZYLGeoBasicsError("MGRS batch: the spans differ in length");
  CheckEllipsoid(ellipsoid);
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  constexpr std::size_t kChunk = 256;
  double x[kChunk], y[kChunk];
  int zone[kChunk];
  uint8_t south[kChunk];
  for (std::size_t s = 0; s < n; s += kChunk) {
    const std::size_t m = std::min(kChunk, n - s);
    // Text to grid coordinates; UTM points all go through the vector
    // inverse (a zone and hemisphere per point), the polar ones one by one.
    for (std::size_t i = 0; i < m; ++i) {
      const char* field = text.data() + (s + i) * width;
      TGridPoint g;
      int precision = 0;
      ok[s + i] = ReferenceToGrid(
          {field, static_cast<std::size_t>(std::find(field, field + width, '\0') - field)},
          ellipsoid, g, precision, nullptr);
      zone[i] = ok[s + i] ? g.zone : 0;
      south[i] = g.south;
      x[i] = g.x;
      y[i] = g.y;
    }
    UTMToLatLong({x, m}, {y, m}, {zone, m}, {south, m}, ellipsoid, lat.subspan(s, m),
                 lon.subspan(s, m));
    for (std::size_t i = 0; i < m; ++i) {
      double& a = lat[s + i];
      double& b = lon[s + i];
      if (ok[s + i] && zone[i] == 0) UPSToLatLong(x[i], y[i], south[i] != 0, ellipsoid, a, b);
      b = WrapLongitude(b);
      ok[s + i] = ok[s + i] && std::isfinite(a) && std::isfinite(b);
      if (!ok[s + i]) a = b = kNaN;
    }
  }
}

}  // namespace marovia
