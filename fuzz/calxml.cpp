// Calibration files: ParseCalibData from a stream, set after set, and the
// map control's LoadCalDataFromXML from a stream, then every conversion of
// the calibration read and a round trip of it through a file.
//
// The map never loads an image named by the input: every name is redirected
// to a file that does not exist. It shows a small bitmap of its own instead,
// so that the conversions have an image to work over, and does not paint:
// drawing is not reading, and would cost most of the time.
//
// The record ParseCalibData reads is also fitted as a calibration value on
// its own (as the tools fit it), with its residuals and (up to 32 points)
// its leave-one-out residuals.
//
// Invariants checked: the counts of every record read stay within the
// capacities of TCalibData, the model and ellipsoid are valid values and the
// settings of the projected and thin-plate models are ones the readers
// accept (a CRS text of bounded length without control characters, order 1
// or 2, smoothing finite and not negative); the two readers agree on the
// first set (the map may refuse a CRS that PROJ does not know, which only
// fitting finds); no conversion raises or answers a
// value that is not finite; the batch conversions give what the single ones
// give; a record written with WriteRawCalDataToOpenXMLFile reads back the
// same, within the written number formats.
#include <cmath>
#include <cstring>

#include "fuzz_support.h"
#include "marovia/geomap/calxml.h"
#include "marovia/geomap/geomap.h"
#include "marovia/geomap/map_calibration.h"
#include "marovia/geomap/xmltext.h"

using namespace marovia;

namespace {

// Sets read one after the other from one stream; a few exercise the
// continuation, more would only repeat it.
constexpr int kMaxSets = 8;

class TFuzzMap : public TGeoMap {
 public:
  TFuzzMap() : TGeoMap(nullptr) {
    SetName("Map");
    SetBounds(0, 0, 48, 32);
    OnMapImageRequest = [](TObject*, std::string& FileName) {
      FileName = (fuzz::ScratchDir() / "no such image.bmp").string();
    };
    TBitmap image;
    image.SetSize(40, 30);
    SetMapBitMap(image);
  }
  void Paint() override {}
};

// The map of every run, set back to a map fresh from its constructor by
// Assign, which takes over every field that reading or converting uses
// (constructing a map costs more than all the rest of a run).
TGeoMap& FreshMap() {
  static TFuzzMap pristine;
  static TFuzzMap map;
  map.Assign(pristine);
  return map;
}

// The record a map holds right after ClearCalibData: what the map reader
// starts from, so that ParseCalibData started from it reads the same.
const TCalibData& ClearedRecord() {
  static const TCalibData cleared = [] {
    TFuzzMap map;
    map.ClearCalibData();
    return map.CalibData();
  }();
  return cleared;
}

void CheckRecord(const TCalibData& cd, TCalibModel model) {
  fuzz::Check(model < kNumCalibModels, "model outside TCalibModel");
  fuzz::Check(cd.CrsText.size() <= 65536, "CRS text beyond its limit");
  for (const char c : cd.CrsText)
    fuzz::Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f, "control character in a CRS");
  fuzz::Check(cd.PolyOrder == 1 || cd.PolyOrder == 2, "polynomial order not 1 or 2");
  fuzz::Check(std::isfinite(cd.Smoothing) && cd.Smoothing >= 0, "smoothing out of range");
  fuzz::Check(cd.NumCalLines >= 0 && cd.NumCalLines <= kMaxCalLines, "line count beyond capacity");
  for (int i = 0; i < cd.NumCalLines; ++i) {
    const TCalibLine& line = cd.CalLines[static_cast<size_t>(i)];
    fuzz::Check(line.NumPoints >= 0 && line.NumPoints <= kMaxLinePoints,
                "point count beyond capacity");
    fuzz::Check(line.LineType == gtlMeridian || line.LineType == gtlParallel, "bad line type");
    fuzz::Check(std::isfinite(line.LineValue), "line value not finite");
  }
  fuzz::Check(cd.NumCalQuads >= 0 && cd.NumCalQuads <= kMaxCalQuads, "quad count beyond capacity");
  fuzz::Check(cd.Ellipsoid < GeoEllipsoidCount, "ellipsoid outside the table");
}

// |a - b| within Abs plus the relative error of 15 significant digits.
bool Near(double a, double b, double Abs) {
  return std::fabs(a - b) <= Abs + 1e-14 * std::max(std::fabs(a), std::fabs(b));
}

bool SameLine(const TCalibLine& a, const TCalibLine& b) {
  return a.LineType == b.LineType && a.NumPoints == b.NumPoints &&
         std::equal(a.CalPoints.begin(), a.CalPoints.begin() + a.NumPoints, b.CalPoints.begin());
}

// The map reader's record against ParseCalibData's, both from the first set
// and ParseCalibData started from a cleared record: the same but for the
// lines with fewer than three points, which only the map drops.
void CheckReadersAgree(const TCalibData& map, TCalibModel mapModel, const TCalibData& parsed,
                       TCalibModel parsedModel) {
  // Without a model attribute the map has no model and ParseCalibData the
  // biquadratic one.
  fuzz::Check(
      mapModel == parsedModel || (mapModel == cmUndefined && parsedModel == cmBiquadraticPn),
      "readers disagree on the model");
  fuzz::Check(map.MapFName == parsed.MapFName && map.Caption == parsed.Caption,
              "readers disagree on the names");
  fuzz::Check(map.Corners == parsed.Corners && map.Resolution == parsed.Resolution,
              "readers disagree on corners or resolution");
  fuzz::Check(map.UTMZone == parsed.UTMZone && map.UTMSouth == parsed.UTMSouth &&
                  map.Ellipsoid == parsed.Ellipsoid,
              "readers disagree on the UTM settings");
  fuzz::Check(map.CrsText == parsed.CrsText && map.PolyOrder == parsed.PolyOrder &&
                  map.Smoothing == parsed.Smoothing,
              "readers disagree on the model settings");
  int k = 0;
  for (int i = 0; i < parsed.NumCalLines; ++i) {
    const TCalibLine& line = parsed.CalLines[static_cast<size_t>(i)];
    if (line.NumPoints < 3) continue;
    fuzz::Check(k < map.NumCalLines && SameLine(map.CalLines[static_cast<size_t>(k)], line) &&
                    map.CalLines[static_cast<size_t>(k)].LineValue == line.LineValue,
                "readers disagree on a line");
    ++k;
  }
  fuzz::Check(k == map.NumCalLines, "the map holds lines ParseCalibData has not");
  fuzz::Check(map.NumCalQuads == parsed.NumCalQuads &&
                  std::equal(map.CalQuads.begin(), map.CalQuads.begin() + map.NumCalQuads,
                             parsed.CalQuads.begin()),
              "readers disagree on the quadruples");
}

// No conversion raises (an exception escaping here is a finding), and a
// valid answer is finite.
void CheckConversions(TGeoMap& map) {
  const int32_t w = map.MapImgWidth(), h = map.MapImgHeight();
  const TPoint pixels[] = {{0, 0}, {w, h}, {w / 2, h / 2}, {-100000, 7}, {INT32_MAX, INT32_MIN}};
  for (const TPoint& p : pixels) {
    bool valid = false;
    const double lat = map.CalcLatitude(p, valid);
    fuzz::Check(!valid || std::isfinite(lat), "valid latitude not finite");
    const double lon = map.CalcLongitude(p, valid);
    fuzz::Check(!valid || std::isfinite(lon), "valid longitude not finite");
  }
  const TCalibData& cd = map.CalibData();
  std::vector<TCoords> positions = {{0, 0}, {47.5, 8.5}, {-89.9, 179.9}, {1e300, -1e300}};
  positions.insert(positions.end(), cd.Corners.begin(), cd.Corners.end());
  if (cd.NumCalQuads > 0) positions.push_back({cd.CalQuads[0].Latitude, cd.CalQuads[0].Longitude});
  for (const TCoords& c : positions) {
    int32_t x = 0, y = 0;
    map.CalcPixelCoords(c.Latit, c.Longit, x, y);
    map.CalcPixelCoordsUTM(c.Latit, c.Longit, x, y);
    map.IsPositionWithinMap(c.Latit, c.Longit);
  }
  for (const TCalibResidual& r : map.CalibResiduals())
    fuzz::Check(
        !r.Valid || (std::isfinite(r.dX) && std::isfinite(r.dY) && std::isfinite(r.DistanceMetres)),
        "valid residual not finite");
  map.CalcExtentsAndResolution();
  for (const TCoords& c : map.CalibData().Corners)
    fuzz::Check(std::isfinite(c.Latit) && std::isfinite(c.Longit), "corner not finite");
  fuzz::Check(std::isfinite(map.CalibData().Resolution) && map.CalibData().Resolution >= 0,
              "resolution not finite");
}

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// The batches against the single conversions, over a few pixels and the
// positions the calibration gives for them.
void CheckBatches(const TMapCalibration& cal) {
  const std::vector<double> px = {0, 40, 20, -1e5, 2.5e9, 7};
  const std::vector<double> py = {0, 30, 15, 7, -2.5e9, 1e300};
  const size_t n = px.size();
  std::vector<double> lat(n), lon(n), X(n), Y(n);
  std::vector<int32_t> x(n), y(n);
  std::vector<uint8_t> ok(n), okRounded(n);
  cal.PixelToGeo(px, py, lat, lon, ok);
  for (size_t i = 0; i < n; ++i) {
    const TPixelPosition p = cal.PixelToGeo(px[i], py[i]);
    fuzz::Check(ok[i] == p.Valid() && SameBits(lat[i], p.Latit) && SameBits(lon[i], p.Longit),
                "batch pixel conversion differs from the single one");
  }
  cal.GeoToPixel(lat, lon, X, Y, ok);
  cal.GeoToPixel(lat, lon, x, y, okRounded);
  for (size_t i = 0; i < n; ++i) {
    double eX = 0, eY = 0;
    int32_t rx = 0, ry = 0;
    const bool eOk = cal.GeoToPixelExact(lat[i], lon[i], eX, eY);
    const bool rOk = cal.GeoToPixel(lat[i], lon[i], rx, ry);
    fuzz::Check(ok[i] == eOk && SameBits(X[i], eX) && SameBits(Y[i], eY),
                "batch position conversion differs from the single one");
    fuzz::Check(okRounded[i] == rOk && x[i] == rx && y[i] == ry,
                "batch whole-pixel conversion differs from the single one");
  }
}

// A record fitted as a calibration value, as the tools fit it; its
// residuals of both kinds are finite where valid.
void CheckCalibrationValue(const TCalibData& cd, TCalibModel model) {
  TMapCalibration cal(model, cd, 40, 30);
  // An unknown CRS is refused by the fit, with a message.
  if (!fuzz::Refusing([&] { cal.Fit(); })) return;
  CheckBatches(cal);
  // One refit per point: a few dozen points find what 200 would, faster.
  std::vector<TCalibResidual> loo;
  if (cd.NumCalQuads <= 32) loo = cal.LeaveOneOutResiduals();
  for (const auto& residuals : {cal.Residuals(), loo})
    for (const TCalibResidual& r : residuals)
      fuzz::Check(!r.Valid || (std::isfinite(r.dX) && std::isfinite(r.dY) &&
                               std::isfinite(r.DistanceMetres)),
                  "valid residual not finite");
}

// Writes the record to a file and reads it back with ParseCalibData: the
// same within the written formats (corners and quadruples 5 decimals, the
// resolution 3 and only when above 0, line values 15 digits, UTM lines only
// for zones 1..60, text values trimmed).
void CheckRoundTrip(const TCalibData& cd, TCalibModel model) {
  const auto path = (fuzz::ScratchDir() / "written.xml").string();
  TTextFile out(path);
  out.Rewrite();
  WriteRawCalDataToOpenXMLFile(out, true, "fuzz", cd, model);
  out.CloseFile();

  TCalibData back;
  TCalibModel backModel = cmUndefined;
  fuzz::Check(ParseCalibData(path, "fuzz", back, backModel), "written set not found");
  fuzz::Check(backModel == model, "model changed by a round trip");
  fuzz::Check(back.MapFName == TrimBlanks(cd.MapFName) && back.Caption == TrimBlanks(cd.Caption),
              "names changed by a round trip");
  for (size_t c = 0; c < cd.Corners.size(); ++c)
    fuzz::Check(Near(back.Corners[c].Latit, cd.Corners[c].Latit, 0.5e-5) &&
                    Near(back.Corners[c].Longit, cd.Corners[c].Longit, 0.5e-5),
                "corner changed by a round trip");
  fuzz::Check(
      cd.Resolution > 0 ? Near(back.Resolution, cd.Resolution, 0.5e-3) : back.Resolution == 0,
      "resolution changed by a round trip");
  if (cd.UTMZone >= 1 && cd.UTMZone <= 60)
    fuzz::Check(back.UTMZone == cd.UTMZone && back.UTMSouth == cd.UTMSouth,
                "UTM settings changed by a round trip");
  else
    fuzz::Check(back.UTMZone == 0 && !back.UTMSouth, "UTM lines written for a zone outside 1..60");
  fuzz::Check(back.Ellipsoid == cd.Ellipsoid, "ellipsoid changed by a round trip");
  if (model == cmProjected)
    fuzz::Check(back.CrsText == TrimBlanks(cd.CrsText) && back.PolyOrder == cd.PolyOrder,
                "projected settings changed by a round trip");
  if (model == cmThinPlate)
    fuzz::Check(Near(back.Smoothing, cd.Smoothing, 0), "smoothing changed by a round trip");
  fuzz::Check(back.NumCalLines == cd.NumCalLines, "line count changed by a round trip");
  for (int i = 0; i < cd.NumCalLines; ++i) {
    const TCalibLine& a = cd.CalLines[static_cast<size_t>(i)];
    const TCalibLine& b = back.CalLines[static_cast<size_t>(i)];
    fuzz::Check(SameLine(a, b) && Near(a.LineValue, b.LineValue, 0),
                "line changed by a round trip");
  }
  fuzz::Check(back.NumCalQuads == cd.NumCalQuads, "quad count changed by a round trip");
  for (int k = 0; k < cd.NumCalQuads; ++k) {
    const TCalQuad& a = cd.CalQuads[static_cast<size_t>(k)];
    const TCalQuad& b = back.CalQuads[static_cast<size_t>(k)];
    fuzz::Check(Near(a.Latitude, b.Latitude, 0.5e-5) && Near(a.Longitude, b.Longitude, 0.5e-5) &&
                    a.MapX == b.MapX && a.MapY == b.MapY,
                "quadruple changed by a round trip");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TMemoryStream stream;
  fuzz::Fill(stream, Data, Size);

  // ParseCalibData, set after set.
  TCalibData first;
  TCalibModel firstModel = cmUndefined;
  bool firstFound = false, firstClean = false;
  for (int set = 0; set < kMaxSets; ++set) {
    TCalibData cd = ClearedRecord();
    TCalibModel model = cmUndefined;
    const int64_t before = stream.Position();
    bool found = false;
    const bool clean = fuzz::Refusing([&] { found = ParseCalibData(stream, "", cd, model); });
    CheckRecord(cd, model);
    if (!clean)
      fuzz::Check(cd == ClearedRecord() && model == cmUndefined,
                  "a refused set changed the record");
    if (set == 0) {
      first = cd;
      firstModel = model;
      firstFound = found;
      firstClean = clean;
    }
    if (!clean || !found) break;
    fuzz::Check(stream.Position() > before, "set found without reading");
  }

  // The map reader on the first set.
  TGeoMap& map = FreshMap();
  stream.SetPosition(0);
  bool loaded = false;
  const TCalibData mapBefore = map.CalibData();
  const TCalibModel modelBefore = map.CalibModel();
  const bool mapClean = fuzz::Refusing([&] { loaded = map.LoadCalDataFromXML(stream, ""); });
  CheckRecord(map.CalibData(), map.CalibModel());
  if (!mapClean)
    fuzz::Check(map.CalibData() == mapBefore && map.CalibModel() == modelBefore,
                "a refused set changed the map");
  const bool crsToResolve = firstModel == cmProjected && !first.CrsText.empty();
  if (firstClean && !crsToResolve)
    fuzz::Check(mapClean, "the map refuses a set ParseCalibData reads");
  if (mapClean && firstClean && firstFound)
    CheckReadersAgree(map.CalibData(), map.CalibModel(), first, firstModel);
  fuzz::Check(!loaded || firstFound, "the map loads a set ParseCalibData does not find");

  CheckRoundTrip(map.CalibData(), map.CalibModel());
  CheckConversions(map);
  CheckBatches(map.Calibration());
  if (firstClean && firstFound) CheckCalibrationValue(first, firstModel);
  return 0;
}
