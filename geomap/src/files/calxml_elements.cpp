// The element loop of the calibration readers: the elements of one data set
// into a TCalibData (see calxml_reader.h for the layout they are read from).
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <iterator>
#include <optional>
#include <string_view>
#include <vector>

#include "calibration/pixel_rounding.h"
#include "files/calxml_reader.h"
#include "marovia/geomap/geomap.h"
#include "marovia/geomap/xmltext.h"
#include "marovia/platform/strutils.h"

namespace marovia::calxml {

namespace {

constexpr int kMaxCorners = 4;

[[noreturn]] void Fail(const TCalReadRules& rules, const std::string& text) {
  throw EZYLGeoMapError(rules.ErrorPrefix + text);
}

[[noreturn]] void FailCount(const TCalReadRules& rules) {
  Fail(rules, "specified number of calibration points and actual number does not match");
}

// The bracketed pieces "[...]" of a content, one after the other. A piece
// runs from a '[' to the next ']'; the walk ends when there is no ']' left
// or the next '[' does not come before it. Each call costs the characters
// it passes, so a content of any length is walked in linear time.
class TPieces {
 public:
  explicit TPieces(std::string_view content) : rest_(content) {}
  bool Next(std::string_view& piece) {
    const size_t open = rest_.find('[');
    const size_t close = rest_.find(']');
    if (open == std::string_view::npos || close == std::string_view::npos || open > close)
      return false;
    piece = rest_.substr(open + 1, close - open - 1);
    rest_.remove_prefix(close + 1);
    return true;
  }

 private:
  std::string_view rest_;
};

// Position (1-based) just after the first `key` in a tag text, keys compared
// without regard to case; nullopt when the tag text has none.
std::optional<int> AfterKey(std::string_view tagText, std::string_view key) {
  const int at = PosOfNth(key, tagText, 1, 1, true);
  if (at == 0) return std::nullopt;
  return at + static_cast<int>(key.size());
}

int32_t IntegerAfter(std::string_view tagText, std::string_view key) {
  const auto pos = AfterKey(tagText, key);
  if (!pos) return 0;
  int p = *pos;
  return ScanInteger(tagText, p);
}

double NumberFrom(std::string_view text, int pos) {
  return ScanNumber(text, true, 3, pos);
}

// The text after `type="` up to the next '"', lower-cased.
std::string LineTypeText(std::string_view tagText) {
  const auto pos = AfterKey(tagText, "type=\"");
  if (!pos) return std::string();
  const size_t start = static_cast<size_t>(*pos) - 1;
  const size_t end = tagText.find('"', start);
  return LowerCase(
      tagText.substr(start, (end == std::string_view::npos ? tagText.size() : end) - start));
}

TCalibLine ReadCalLine(std::string_view tagText, std::string_view content,
                       const TCalReadRules& rules) {
  TCalibLine line;
  const std::string type = LineTypeText(tagText);
  if (type == "parallel")
    line.LineType = gtlParallel;
  else if (type == "meridian")
    line.LineType = gtlMeridian;
  else
    Fail(rules, "invalid type of graticule line: type=\"" + type + "\"");
  if (const auto pos = AfterKey(tagText, "value=\"")) line.LineValue = NumberFrom(tagText, *pos);
  const int32_t stated = IntegerAfter(tagText, "npoints=\"");

  int32_t count = 0;
  TPieces pieces(content);
  for (std::string_view piece; pieces.Next(piece);) {
    if (count == kMaxLinePoints)
      Fail(rules, "a calibration line holds more than " + IntToStr(kMaxLinePoints) + " points");
    int px = 1;
    const size_t comma = piece.find(',');
    int py = comma == std::string_view::npos ? 1 : static_cast<int>(comma) + 2;
    TPoint& p = line.CalPoints[static_cast<size_t>(count)];
    p.X = ScanInteger(piece, px);
    p.Y = ScanInteger(piece, py);
    ++count;
  }
  if (count != stated) FailCount(rules);
  line.NumPoints = count;
  return line;
}

// Each piece is "lat,long": the first ',' splits it, so a ',' after that
// may still serve as the decimal separator of the longitude.
void ReadCorners(std::string_view content, TCalibData& data, const TCalReadRules& rules) {
  int corner = 0;
  TPieces pieces(content);
  for (std::string_view piece; pieces.Next(piece);) {
    if (corner == kMaxCorners)
      Fail(rules, "a data set holds more than " + IntToStr(kMaxCorners) + " corners");
    const size_t comma = piece.find(',');
    TCoords& c = data.Corners[static_cast<size_t>(corner++)];
    if (comma == std::string_view::npos) {
      c.Longit = NumberFrom(piece, 1);
      c.Latit = 0;  // nothing stands before the missing ','
    } else {
      c.Longit = NumberFrom(piece, static_cast<int>(comma) + 2);
      c.Latit = NumberFrom(piece.substr(0, comma), 1);
    }
  }
}

// Quadruples "lat,long,MapX,MapY": each number starts one character after
// the one before stopped, so the separator is always '.' here.
void ReadCalQuads(std::string_view tagText, std::string_view content, TCalibData& data,
                  const TCalReadRules& rules) {
  const int32_t stated = IntegerAfter(tagText, "npoints=\"");
  int32_t count = 0;
  TPieces pieces(content);
  for (std::string_view piece; pieces.Next(piece);) {
    if (count == kMaxCalQuads) {
      data.NumCalQuads = count;
      Fail(rules, "a data set holds more than " + IntToStr(kMaxCalQuads) + " calibration points");
    }
    TCalQuad& q = data.CalQuads[static_cast<size_t>(count)];
    int pos = 1;
    q.Latitude = ScanNumber(piece, false, 1, pos);
    ++pos;
    q.Longitude = ScanNumber(piece, false, 1, pos);
    ++pos;
    q.MapX = ScanInteger(piece, pos);
    ++pos;
    q.MapY = ScanInteger(piece, pos);
    ++count;
  }
  // The quadruples read stay, whatever the count says.
  data.NumCalQuads = count;
  if (count != stated) FailCount(rules);
}

void AddCalLine(const TCalibLine& line, TCalibData& data, const TCalReadRules& rules) {
  if (rules.DropShortLines && line.NumPoints < 3) return;
  if (data.NumCalLines >= kMaxCalLines)
    Fail(rules, "a data set holds more than " + IntToStr(kMaxCalLines) + " calibration lines");
  data.CalLines[static_cast<size_t>(data.NumCalLines++)] = line;
}

// The ellipsoid by its identifier ("gelWGS84"); blanks around it (a value
// on a line of its own) and the case of its letters do not matter.
TGeoEllipsoid ReadEllipsoid(std::string_view content, const TCalReadRules& rules) {
  if (const auto e = FindGeoEllipsoid(content)) return *e;
  Fail(rules, "unknown ellipsoid \"" + TrimBlanks(content) + "\"");
}

// The CRS of the projected model, references decoded. It is checked here
// only for what no CRS holds (huge texts, control characters); whether PROJ
// knows it shows when the model is fitted.
std::string ReadCrsText(std::string_view content, const TCalReadRules& rules) {
  constexpr size_t kMaxCrsText = 65536;
  if (content.size() > 8 * kMaxCrsText)
    Fail(rules, "the CRS text is longer than " + IntToStr(kMaxCrsText) + " bytes");
  const std::string text = TrimBlanks(DecodeXMLReferences(content));
  if (text.size() > kMaxCrsText)
    Fail(rules, "the CRS text is longer than " + IntToStr(kMaxCrsText) + " bytes");
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
      Fail(rules, "the CRS text holds a control character");
  return text;
}

int32_t ReadPolyOrder(std::string_view content, const TCalReadRules& rules) {
  int pos = 1;
  const int32_t order = ScanInteger(content, pos);
  if (order != 1 && order != 2)
    Fail(rules,
         "the polynomial order must be 1 or 2: \"" + TrimBlanks(content.substr(0, 40)) + "\"");
  return order;
}

double ReadSmoothing(std::string_view content, const TCalReadRules& rules) {
  int pos = 1;
  const double lambda = ScanNumber(content, true, 1, pos);
  if (!(lambda >= 0) || !std::isfinite(lambda))
    Fail(rules, "the smoothing must be a number of at least 0: \"" +
                    TrimBlanks(content.substr(0, 40)) + "\"");
  return lambda;
}

// The border polygon: "x,y" pairs of pixels separated by blanks. A
// malformed vertex is refused rather than read as 0, since a border that
// moved silently would clip the wrong part of the map.
constexpr size_t kMaxBorderVertices = 65536;

std::vector<TBorderVertex> ReadBorder(std::string_view content, const TCalReadRules& rules) {
  std::vector<TBorderVertex> border;
  size_t i = 0;
  while (i < content.size()) {
    while (i < content.size() && static_cast<unsigned char>(content[i]) <= ' ') ++i;
    size_t end = i;
    while (end < content.size() && static_cast<unsigned char>(content[end]) > ' ') ++end;
    if (end == i) break;
    const std::string_view pair = content.substr(i, end - i);
    i = end;
    const size_t comma = pair.find(',');
    double v[2] = {0, 0};
    const std::string_view parts[2] = {pair.substr(0, comma), comma == std::string_view::npos
                                                                  ? std::string_view()
                                                                  : pair.substr(comma + 1)};
    for (int k = 0; k < 2; ++k) {
      const auto r = std::from_chars(parts[k].data(), parts[k].data() + parts[k].size(), v[k]);
      if (parts[k].empty() || r.ec != std::errc() || r.ptr != parts[k].data() + parts[k].size() ||
          !std::isfinite(v[k]))
        Fail(rules, "a border vertex is not \"x,y\": \"" + std::string(pair.substr(0, 40)) + "\"");
    }
    if (border.size() == kMaxBorderVertices)
      Fail(rules, "a border holds more than " + IntToStr(kMaxBorderVertices) + " vertices");
    border.push_back({v[0], v[1]});
  }
  return border;
}

// The calibration points at full precision: "[lat,long,x,y]" pieces (under
// the utm model northing and easting for latitude and longitude) of
// numbers in their shortest exact form, as many as npoints says. A
// malformed number is refused rather than read as 0.
constexpr size_t kMaxControlPoints = 1000000;

std::vector<TControlPoint> ReadControlPoints(std::string_view tagText, std::string_view content,
                                             const TCalReadRules& rules) {
  const int32_t stated = IntegerAfter(tagText, "npoints=\"");
  std::vector<TControlPoint> points;
  TPieces pieces(content);
  for (std::string_view piece; pieces.Next(piece);) {
    double v[4];
    size_t at = 0;
    for (int k = 0; k < 4; ++k) {
      const size_t end = k < 3 ? piece.find(',', at) : piece.size();
      const std::string part =
          end == std::string_view::npos ? std::string() : TrimBlanks(piece.substr(at, end - at));
      const auto r = std::from_chars(part.data(), part.data() + part.size(), v[k]);
      if (part.empty() || r.ec != std::errc() || r.ptr != part.data() + part.size() ||
          !std::isfinite(v[k]))
        Fail(rules, "a control point is not \"[lat,long,x,y]\": \"[" +
                        std::string(piece.substr(0, 60)) + "]\"");
      at = end + 1;
    }
    if (points.size() == kMaxControlPoints)
      Fail(rules, "a data set holds more than " + IntToStr(kMaxControlPoints) + " control points");
    points.push_back({v[2], v[3], v[0], v[1]});
  }
  if (static_cast<int64_t>(points.size()) != stated) FailCount(rules);
  return points;
}

// Whether full-precision points agree with the quadruples read: the first
// 200 of them, on whole pixels and within the quadruples' 5 decimals.
bool AgreeWithQuads(const std::vector<TControlPoint>& points, const TCalibData& data) {
  constexpr double kFiveDecimals = 1e-5;
  const size_t held = std::min(points.size(), size_t(kMaxCalQuads));
  if (data.NumCalQuads != static_cast<int32_t>(held)) return false;
  for (size_t i = 0; i < held; ++i) {
    const TControlPoint& p = points[i];
    const TCalQuad& q = data.CalQuads[i];
    int32_t x = 0, y = 0;
    if (!RoundToPixel(p.X, x) || !RoundToPixel(p.Y, y) || x != q.MapX || y != q.MapY ||
        !(std::fabs(p.LatOrNorthing - q.Latitude) <= kFiveDecimals) ||
        !(std::fabs(p.LongOrEasting - q.Longitude) <= kFiveDecimals))
      return false;
  }
  return true;
}

// One element of a data set into the record.
using TElementReader = void (*)(std::string_view tagText, std::string_view content,
                                TCalibData& data, const TCalReadRules& rules);

struct TCalElement {
  std::string_view Name;
  TElementReader Read;
};

// The elements of a calibration data set, one entry each; elements not
// listed are skipped.
constexpr TCalElement kCalElements[] = {
    {"calline", [](std::string_view tag, std::string_view content, TCalibData& d,
                   const TCalReadRules& r) { AddCalLine(ReadCalLine(tag, content, r), d, r); }},
    {"corners", [](std::string_view, std::string_view content, TCalibData& d,
                   const TCalReadRules& r) { ReadCorners(content, d, r); }},
    {"resolution", [](std::string_view, std::string_view content, TCalibData& d,
                      const TCalReadRules&) { d.Resolution = NumberFrom(content, 1); }},
    {"calquads", [](std::string_view tag, std::string_view content, TCalibData& d,
                    const TCalReadRules& r) { ReadCalQuads(tag, content, d, r); }},
    {"utmzone",
     [](std::string_view, std::string_view content, TCalibData& d, const TCalReadRules&) {
       int pos = 1;
       d.UTMZone = ScanInteger(content, pos);
     }},
    {"utmsouth",
     [](std::string_view, std::string_view content, TCalibData& d, const TCalReadRules&) {
       d.UTMSouth = LowerCase(TrimBlanks(content)) == "true";
     }},
    {"ellipsoid", [](std::string_view, std::string_view content, TCalibData& d,
                     const TCalReadRules& r) { d.Ellipsoid = ReadEllipsoid(content, r); }},
    // The settings of the projected and thin-plate models; older readers
    // skip them.
    {"crs", [](std::string_view, std::string_view content, TCalibData& d,
               const TCalReadRules& r) { d.CrsText = ReadCrsText(content, r); }},
    {"polyorder", [](std::string_view, std::string_view content, TCalibData& d,
                     const TCalReadRules& r) { d.PolyOrder = ReadPolyOrder(content, r); }},
    {"smoothing", [](std::string_view, std::string_view content, TCalibData& d,
                     const TCalReadRules& r) { d.Smoothing = ReadSmoothing(content, r); }},
    // The map's border and the full-precision points live beside the record
    // (ReadCalElements reads them); older readers skip the elements.
    {"border", [](std::string_view, std::string_view, TCalibData&, const TCalReadRules&) {}},
    {"controlpoints", [](std::string_view, std::string_view, TCalibData&, const TCalReadRules&) {}},
};
constexpr size_t kBorderElement = std::size(kCalElements) - 2;
constexpr size_t kControlPointsElement = std::size(kCalElements) - 1;

constexpr auto kCalElementNames = [] {
  std::array<std::string_view, std::size(kCalElements)> names{};
  for (size_t i = 0; i < names.size(); ++i) names[i] = kCalElements[i].Name;
  return names;
}();

}  // namespace

const mapfile::TSetLayout kCalibrationSet = {"<geomap", "/geomap", "</geomap>", kCalElementNames};

TCalibData ClearedCalibData() {
  TCalibData data;
  data.UTMZone = -1;
  return data;
}

void ReadCalElements(TSetInput& Input, const TRootPlace& Place, TCalibData& Data,
                     const TCalReadRules& Rules, TCalExtras* Extras) {
  std::vector<TControlPoint> points;
  bool hasPoints = false;
  mapfile::ReadElements(
      Input, kCalibrationSet, Place, Rules.ErrorPrefix,
      [&](size_t element, const std::string& tagText, const std::string& content) {
        if (element == kBorderElement) {
          if (Extras != nullptr) Extras->Border = ReadBorder(content, Rules);
          return;
        }
        if (element == kControlPointsElement) {
          points = ReadControlPoints(tagText, content, Rules);
          hasPoints = true;
          return;
        }
        kCalElements[element].Read(tagText, content, Data, Rules);
      });
  if (Extras != nullptr && hasPoints && AgreeWithQuads(points, Data))
    Extras->ControlPoints = std::move(points);
}

}  // namespace marovia::calxml
