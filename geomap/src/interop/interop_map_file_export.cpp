// .map export: the calibration under a projection the format names when
// the map has one (its points are then exact there), else under the frame
// and the layout of points whose polynomial, as a reader fits it, strays
// least from the calibration (see map_file_format.h for the lines).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>

#include "calibration/crs_projection.h"
#include "calibration/proj_support.h"
#include "interop/interop_support.h"
#include "interop/read_back.h"
#include "marovia/geomap/map_file_format.h"
#include "marovia/platform/files.h"

namespace marovia {

using namespace interop;

namespace {

constexpr int kMaxPoints = 30;

// A frame a .map file names: the projection line's name and setup fields,
// and the CRS of its coordinates ("" for latitude/longitude).
struct TMapFrame {
  std::string Name;
  std::string Setup;  // the fields after "Projection Setup,"
  std::string Crs;
};

std::string Fields(std::initializer_list<std::optional<double>> Values) {
  std::string s;
  for (const auto& v : Values) s += (v ? FormatNumber(*v) : std::string()) + ",";
  while (std::count(s.begin(), s.end(), ',') < 10) s += ",";
  return s;
}

// The +key=value parameters of a PROJ string.
std::map<std::string, std::string> ProjParameters(const std::string& Text) {
  std::map<std::string, std::string> p;
  for (const std::string& token : SplitFields(Text, ' ')) {
    if (token.size() < 2 || token[0] != '+') continue;
    const std::size_t eq = token.find('=');
    p[token.substr(1, eq == std::string::npos ? std::string::npos : eq - 1)] =
        eq == std::string::npos ? std::string() : token.substr(eq + 1);
  }
  return p;
}

// The frame naming a projected CRS on WGS 84 in metres, when the format
// has a name for its projection; nothing otherwise.
std::optional<TMapFrame> NamedFrame(const std::string& CrsText) {
  TSilentProjContext ctx;
  const TPjPtr crs = CreateCrs(ctx.get(), CrsText);
  if (!crs) return std::nullopt;
  const char* text = proj_as_proj_string(ctx.get(), crs.get(), PJ_PROJ_4, nullptr);
  if (!text) return std::nullopt;
  auto p = ProjParameters(text);
  const bool wgs84 = p["datum"] == "WGS84" || (p["ellps"] == "WGS84" && !p.count("towgs84"));
  if (!wgs84 || p["units"] != "m" || p.count("axis") || p.count("pm")) return std::nullopt;
  auto num = [&](const char* Key, double Default) -> std::optional<double> {
    if (!p.count(Key)) return Default;
    return ParseNumber(p[Key]);
  };
  const auto lat0 = num("lat_0", 0), lon0 = num("lon_0", 0), k = num("k_0", 1), k2 = num("k", 1),
             fe = num("x_0", 0), fn = num("y_0", 0);
  if (!lat0 || !lon0 || !k || !k2 || !fe || !fn) return std::nullopt;
  const double scale = p.count("k_0") ? *k : *k2;
  const std::string proj = p["proj"];
  TMapFrame f;
  f.Crs = CrsText;
  if (proj == "tmerc" && !p.count("approx")) {
    f.Name = "Transverse Mercator";
    f.Setup = Fields({lat0, lon0, scale, fe, fn});
  } else if (proj == "merc" && *lat0 == 0 && num("lat_ts", 0) == 0.0) {
    f.Name = "Mercator";
    f.Setup = Fields({0.0, lon0, scale, fe, fn});
  } else if (proj == "lcc" && scale == 1 && p.count("lat_1")) {
    const auto sp1 = num("lat_1", 0), sp2 = p.count("lat_2") ? num("lat_2", 0) : sp1;
    if (!sp1 || !sp2) return std::nullopt;
    f.Name = "Lambert Conformal Conic";
    f.Setup = Fields({lat0, lon0, 1.0, fe, fn, sp1, sp2});
  } else if (proj == "aea" && p.count("lat_1") && p.count("lat_2")) {
    const auto sp1 = num("lat_1", 0), sp2 = num("lat_2", 0);
    if (!sp1 || !sp2) return std::nullopt;
    f.Name = "Albers Equal Area";
    f.Setup = Fields({lat0, lon0, 1.0, fe, fn, sp1, sp2});
  } else if (proj == "sinu") {
    f.Name = "Sinusoidal";
    f.Setup = Fields({std::nullopt, lon0, std::nullopt, fe, fn});
  } else {
    return std::nullopt;
  }
  return f;
}

// Frames for a map no format names: latitude/longitude, and the conformal
// projections fitted to the map's extent, in which most printed maps are
// nearly affine.
std::vector<TMapFrame> FittedFrames(const TMapCalibration& Cal) {
  std::vector<TMapFrame> frames{{"Latitude/Longitude", Fields({}), ""}};
  double latMin = 90, latMax = -90, lonSum = 0;
  int n = 0;
  for (const TGroundPoint& p : SampleGrid(Cal, 9)) {
    latMin = std::min(latMin, p.Lat);
    latMax = std::max(latMax, p.Lat);
    lonSum += p.Lon;
    ++n;
  }
  if (n == 0 || latMax - latMin > 170) return frames;
  const double lon0 = std::round(lonSum / n * 1e6) / 1e6;
  const double mid = std::round((latMin + latMax) / 2 * 1e6) / 1e6;
  const std::string lon = FormatNumber(lon0), lat = FormatNumber(mid);
  const std::string tail = " +x_0=0 +y_0=0 +datum=WGS84 +units=m +no_defs";
  auto lcc = [&](double Sp1, double Sp2) {
    Sp1 = std::round(Sp1 * 1e6) / 1e6;
    Sp2 = std::round(Sp2 * 1e6) / 1e6;
    if (std::fabs(mid) <= 1 || Sp1 * Sp2 <= 0 || std::fabs(Sp1) >= 89 || std::fabs(Sp2) >= 89)
      return;
    frames.push_back({"Lambert Conformal Conic", Fields({mid, lon0, 1.0, 0.0, 0.0, Sp1, Sp2}),
                      "+proj=lcc +lat_1=" + FormatNumber(Sp1) + " +lat_2=" + FormatNumber(Sp2) +
                          " +lat_0=" + lat + " +lon_0=" + lon + tail});
  };
  const double span = latMax - latMin;
  lcc(latMin + span / 6, latMax - span / 6);
  lcc(latMin + span / 4, latMax - span / 4);
  if (Cal.Model() == cmConicConformal) {
    // The cone of the model: longitude turns by n radians per radian, and a
    // conformal cone of that constant touches the parallel asin(n).
    const double n = 180 / (M_PI * Cal.ConicPars()[4]);
    if (std::fabs(n) < 1) lcc(std::asin(n) * 180 / M_PI, std::asin(n) * 180 / M_PI);
  }
  frames.push_back({"Transverse Mercator", Fields({mid, lon0, 1.0, 0.0, 0.0}),
                    "+proj=tmerc +lat_0=" + lat + " +lon_0=" + lon + " +k=1" + tail});
  if (std::fabs(latMin) < 85 && std::fabs(latMax) < 85)
    frames.push_back({"Mercator", Fields({0.0, lon0, 1.0, 0.0, 0.0}),
                      "+proj=merc +lon_0=" + lon + " +k=1" + tail});
  return frames;
}

std::string Minutes(double Value, char Positive, char Negative, int DegreeWidth) {
  // Rounded to the written precision first, so that minutes never read 60.
  const double minutes = std::round(std::fabs(Value) * 60 * 1e10) / 1e10;
  const double deg = std::floor(minutes / 60);
  const double min = std::max(0.0, minutes - deg * 60);
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%*d,%14.10f,%c", DegreeWidth, static_cast<int>(deg), min,
                Value < 0 ? Negative : Positive);
  return buffer;
}

}  // namespace

TReadBackError ExportMapFile(const TMapCalibration& Cal, const std::string& FileName,
                             const std::string& ImageName, int GridN) {
  if (!Cal.Converts())
    throw EZYLGeoMapError(FileName + ": the calibration is not fitted; nothing to write");
  const bool utm = Cal.Model() == cmUTM && Cal.Data().Ellipsoid == gelWGS84 &&
                   Cal.Data().UTMZone >= 1 && Cal.Data().UTMZone <= 60;
  std::vector<TGroundPoint> points;
  TMapFrame frame{"(UTM) Universal Transverse Mercator", Fields({}), ""};
  TReadBackError readBack;
  if (utm) {
    points = SampleGrid(Cal, std::clamp(GridN, 2, 5));
  } else {
    // A projection the format names first: the map's own points are exact
    // there. Else every frame with every layout, the least read-back error
    // winning; the first exact one ends the search.
    std::vector<TMapFrame> frames;
    if (Cal.Model() == cmProjected)
      if (auto named = NamedFrame(Cal.Data().CrsText)) frames.push_back(*named);
    for (TMapFrame& f : FittedFrames(Cal)) frames.push_back(std::move(f));
    const auto layouts = CandidateLayouts(Cal, kMaxPoints, std::clamp(GridN, 2, 5));
    bool found = false;
    for (const TMapFrame& f : frames) {
      std::unique_ptr<TCrsProjection> projection;
      if (!f.Crs.empty()) {
        try {
          projection = std::make_unique<TCrsProjection>(f.Crs);
        } catch (const EZYLGeoMapError&) {
          continue;
        }
      }
      for (const auto& layout : layouts) {
        if (layout.size() < 3) continue;
        TReadBackError e = PolynomialReadBack(Cal, layout, projection.get(), f.Name);
        if (!found || BetterReadBack(e, readBack)) {
          readBack = e;
          points = layout;
          frame = f;
          found = true;
        }
        if (readBack.Exact) break;
      }
      if (found && readBack.Exact) break;
    }
  }
  if (points.size() < 3)
    throw EZYLGeoMapError(FileName + ": the calibration converts too few pixels of the image");

  std::vector<std::string> out;
  out.emplace_back(kMapFileSignature);
  out.push_back(Cal.Data().Caption.empty() ? ExtractFileName(ChangeFileExt(ImageName, ""))
                                           : Cal.Data().Caption);
  out.push_back(ImageName);
  out.emplace_back("1 ,Map Code,");
  out.emplace_back("WGS 84,WGS 84,   0.0000,   0.0000,WGS 84");
  out.emplace_back("Reserved 1");
  out.emplace_back("Reserved 2");
  out.emplace_back("Magnetic Variation,,,E");
  out.push_back("Map Projection," + frame.Name + ",PolyCal,No,AutoCalOnly,No,BSBUseWPX,No");
  char buffer[256];
  for (int i = 0; i < kMaxPoints; ++i) {
    if (i < static_cast<int>(points.size())) {
      const TGroundPoint& p = points[static_cast<std::size_t>(i)];
      std::string grid = " grid,   ,           ,           ,N";
      if (utm) {
        std::snprintf(buffer, sizeof buffer, " grid, %2d,%.6f,%.6f,%c", Cal.Data().UTMZone,
                      p.Easting, p.Northing, Cal.Data().UTMSouth ? 'S' : 'N');
        grid = buffer;
      }
      std::snprintf(buffer, sizeof buffer, "Point%02d,xy,%5d,%5d,in, deg,", i + 1,
                    static_cast<int>(p.X), static_cast<int>(p.Y));
      out.push_back(buffer + Minutes(p.Lat, 'N', 'S', 4) + "," + Minutes(p.Lon, 'E', 'W', 4) + "," +
                    grid);
    } else {
      std::snprintf(buffer, sizeof buffer,
                    "Point%02d,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,  "
                    "         ,           ,N",
                    i + 1);
      out.emplace_back(buffer);
    }
  }
  out.push_back("Projection Setup," + frame.Setup);
  out.emplace_back("Map Feature = MF ; Map Comment = MC     These follow if they exist");
  out.emplace_back("Track File = TF      These follow if they exist");
  out.emplace_back("Moving Map Parameters = MM?    These follow if they exist");
  out.emplace_back("MM0,Yes");
  std::vector<TBorderVertex> border = Cal.Border();
  if (border.size() < 3) {
    const double w = Cal.ImageWidth(), h = Cal.ImageHeight();
    border = {{0, 0}, {w, 0}, {w, h}, {0, h}};
  }
  out.push_back("MMPNUM," + std::to_string(border.size()));
  for (std::size_t i = 0; i < border.size(); ++i)
    out.push_back("MMPXY," + std::to_string(i + 1) + "," +
                  std::to_string(std::lround(border[i].X)) + "," +
                  std::to_string(std::lround(border[i].Y)));
  for (std::size_t i = 0; i < border.size(); ++i) {
    const TPixelPosition g = Cal.PixelToGeo(border[i].X, border[i].Y);
    std::snprintf(buffer, sizeof buffer, "MMPLL,%d,%12.6f,%12.6f", static_cast<int>(i + 1),
                  g.Longit, g.Latit);
    out.emplace_back(buffer);
  }
  std::snprintf(buffer, sizeof buffer, "MM1B,%.6f", Cal.Data().Resolution);
  out.emplace_back(buffer);
  out.emplace_back("MOP,Map Open Position,0,0");
  out.push_back("IWH,Map Image Width/Height," + std::to_string(Cal.ImageWidth()) + "," +
                std::to_string(Cal.ImageHeight()));
  std::string bytes;
  for (const std::string& l : out) bytes += l + "\r\n";
  WriteFileReplacing(FileName, bytes);
  return readBack;
}

}  // namespace marovia
