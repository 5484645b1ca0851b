#include "serve_request.h"

#include <cmath>

#include "arguments.h"
#include "cli_text.h"
#include "marovia/geobasics/utm.h"
#include "marovia/platform/strutils.h"
#include "point_list.h"

namespace marovia::geomaptool {

namespace {

// The rest of a line after its keyword, blanks around it dropped.
std::string RestOf(std::string_view Line, std::size_t KeywordLength) {
  std::string_view rest = Line.substr(KeywordLength);
  while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
  while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.remove_suffix(1);
  return std::string(rest);
}

double SettingNumber(const std::vector<std::string>& Fields, const char* What) {
  if (Fields.size() != 2) throw TServeRequestError(std::string(What) + " needs one value");
  const auto v = apps::ParseNumber(Fields[1]);
  if (!v) {
    throw TServeRequestError(std::string(What) + " '" + apps::Printable(Fields[1]) +
                             "' is not a number");
  }
  return *v;
}

std::vector<TBorderVertex> MaskOf(const std::vector<std::string>& Fields) {
  if (Fields.size() % 2 != 1 || (Fields.size() - 1) / 2 > kMaxMaskVertices)
    throw TServeRequestError("mask needs pairs of pixels, at most " +
                             std::to_string(kMaxMaskVertices));
  std::vector<TBorderVertex> mask;
  for (std::size_t i = 1; i + 1 < Fields.size(); i += 2) {
    const auto x = apps::ParseNumber(Fields[i]), y = apps::ParseNumber(Fields[i + 1]);
    if (!x || !y || std::fabs(*x) > 1e9 || std::fabs(*y) > 1e9)
      throw TServeRequestError("mask vertex " + std::to_string(i / 2 + 1) + " is not a pixel");
    mask.push_back({*x, *y});
  }
  if (!mask.empty() && mask.size() < 3) throw TServeRequestError("a mask needs 3 vertices");
  return mask;
}

// One setting line into Request; false when the line is no setting.
bool TakeSetting(const std::string& Line, const std::vector<std::string>& Fields,
                 TFitRequest& Request) {
  const std::string key = LowerCase(Fields[0]);
  TCalibSetup& s = Request.Setup;
  if (key == "model") {
    if (s.Model != cmUndefined) throw TServeRequestError("model given twice");
    if (Fields.size() != 2) throw TServeRequestError("model needs one name");
    s.Model = ModelFromName(Fields[1]);
    return true;
  }
  if (key != "zone" && key != "crs" && key != "order" && key != "smoothing" && key != "caption" &&
      key != "mask")
    return false;
  if (s.Model == cmUndefined) throw TServeRequestError("the model comes first");
  if (key == "zone") {
    if (s.Model != cmUTM || Fields.size() != 2)
      throw TServeRequestError("zone is one value, for the utm model");
    s.Zone = UtmZoneFromText(Fields[1]);
  } else if (key == "crs") {
    if (s.Model != cmProjected) throw TServeRequestError("crs is for the projected model");
    s.Crs = RestOf(Line, 3);
  } else if (key == "order") {
    const double v = SettingNumber(Fields, "order");
    if (s.Model != cmProjected || (v != 1 && v != 2))
      throw TServeRequestError("order is 1 or 2, for the projected model");
    s.Order = static_cast<int>(v);
  } else if (key == "smoothing") {
    const double v = SettingNumber(Fields, "smoothing");
    if (s.Model != cmThinPlate || !(v >= 0))
      throw TServeRequestError("smoothing is at least 0, for the thinplate model");
    s.Smoothing = v;
  } else if (key == "caption") {
    s.Caption = RestOf(Line, 7);
  } else {
    Request.Mask = MaskOf(Fields);
  }
  return true;
}

}  // namespace

TFitRequest ParseFitRequest(std::string_view Body) {
  if (Body.size() > kMaxServeBody) throw TServeRequestError("the request is too large");
  TFitRequest r;
  std::size_t lineNo = 0;
  while (!Body.empty()) {
    ++lineNo;
    const std::size_t end = Body.find('\n');
    std::string line(Body.substr(0, end));
    Body.remove_prefix(end == std::string_view::npos ? Body.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    try {
      const std::vector<std::string> fields = LineFields(line);
      if (fields.empty() || TakeSetting(line, fields, r)) continue;
      if (r.Setup.Model == cmUndefined) throw TServeRequestError("the model comes first");
      if (r.Points.size() >= static_cast<std::size_t>(kMaxCalQuads))
        throw TServeRequestError("at most " + std::to_string(kMaxCalQuads) + " points");
      const auto p = ParsePointLine(line, cmEquiRect);
      r.Points.push_back({p->X, p->Y, p->A, p->B});
    } catch (const std::exception& e) {  // TUsageError, TPointLineError, ours
      throw TServeRequestError("line " + std::to_string(lineNo) + ": " + apps::Printable(e.what()));
    }
  }
  if (r.Setup.Model == cmUndefined) throw TServeRequestError("no model given");
  if (r.Setup.Model == cmUTM && r.Setup.Zone.Zone == 0)
    throw TServeRequestError("the utm model needs a zone, e.g. 32T");
  if (r.Setup.Model == cmProjected && r.Setup.Crs.empty())
    throw TServeRequestError("the projected model needs a crs, e.g. EPSG:3395");
  return r;
}

TMapCalibration RequestCalibration(const TFitRequest& Request, const std::string& ImageName,
                                   int32_t Width, int32_t Height) {
  TMapCalibration cal = NewCalibration(Request.Setup, ImageName, Width, Height);
  // The calibration file keeps the positions of most models to five
  // decimals (about a metre); fitted at that precision, the residuals the
  // page shows are the ones of the file it saves.
  const bool fiveDecimals =
      Request.Setup.Model != cmProjected && Request.Setup.Model != cmThinPlate;
  for (TServePoint p : Request.Points) {
    if (fiveDecimals) {
      p.Lat = std::round(p.Lat * 1e5) / 1e5;
      p.Lon = std::round(p.Lon * 1e5) / 1e5;
    }
    switch (Request.Setup.Model) {
      case cmParabolicIp:
        // A point at a graticule crossing lies on its parallel and its
        // meridian; points of one value share a line.
        cal.AddLinePoint(gtlParallel, p.Lat, p.X, p.Y);
        cal.AddLinePoint(gtlMeridian, p.Lon, p.X, p.Y);
        break;
      case cmUTM: {
        double easting = 0, northing = 0;
        LatLongToUTMInZone(p.Lat, p.Lon, Request.Setup.Zone.Zone, Request.Setup.Zone.South,
                           Request.Setup.Ellipsoid, easting, northing);
        cal.AddPoint(northing, easting, p.X, p.Y);
        break;
      }
      default:
        cal.AddPoint(p.Lat, p.Lon, p.X, p.Y);
        break;
    }
  }
  cal.SetBorder(Request.Mask);
  return cal;
}

}  // namespace marovia::geomaptool
