// .map calibration files: import through the datum table and the model of
// the projection (see map_file_format.h for the lines).
#include <algorithm>
#include <cmath>
#include <memory>

#include "calibration/crs_projection.h"
#include "interop/interop_support.h"
#include "marovia/geobasics/datums.h"
#include "marovia/geomap/map_file_format.h"
#include "marovia/platform/files.h"
#include "marovia/platform/imageprobe.h"

namespace marovia {

const std::string_view kMapFileSignature = "OziExplorer Map Data File Version 2.2";

using namespace interop;

namespace {

// What a reader looks for in the first line, whatever the version.
constexpr std::string_view kSignatureStem = "Map Data File";
constexpr int kMaxPoints = 30;
constexpr std::size_t kMaxBorderVertices = 4096;

// The datum names of .map files and the entries of the datum table they
// stand for (name and region of the parameter set).
struct TMapDatum {
  std::string_view MapName;  // lower case
  std::string_view TableName;
  std::string_view Region;
};
constexpr TMapDatum kMapDatums[] = {
    {"wgs 84", "WORLD GEODETIC SYSTEM 1984", "World"},
    {"wgs84", "WORLD GEODETIC SYSTEM 1984", "World"},
    {"wgs 72", "WORLD GEODETIC SYSTEM 1972", "World"},
    {"european 1950", "EUROPEAN DATUM 1950", "Europe"},
    {"european 1979", "EUROPEAN 1979", "Europe"},
    {"nad27 conus", "NORTH AMERICAN 1927", "US - CONUS"},
    {"nad27 canada", "NORTH AMERICAN 1927", "Canada"},
    {"nad27 alaska", "NORTH AMERICAN 1927", "US - Alaska"},
    {"nad83", "NORTH AMERICAN 1983", "US - CONUS"},
    {"ord srvy grt britn", "ORDNANCE GB 1936", "GB - Great Britain"},
    {"pulkovo 1942 (1)", "PULKOVO 1942", "Russia"},
    {"pulkovo 1942 (2)", "PULKOVO 1942", "Russia"},
    {"pulkovo 1942", "PULKOVO 1942", "Russia"},
    {"tokyo", "TOKYO", "Japan"},
    {"potsdam rauenberg dhdn", "DHDN (RAUENBERG),", "Germany"},
    {"rijksdriehoeksmeting", "RD, AMERSFOORT", "Netherlands"},
    {"ireland 1965", "IRELAND 1965", "Ireland"},
    {"australian geodetic 1966", "AUSTRALIAN GEODETIC 1966", "Australia"},
    {"australian geodetic 1984", "AUSTRALIAN GEODETIC 1984", "Australia"},
    {"hermannskogel", "HERMANNSKOGEL", "Former Yugoslavia"},
    {"austrian (mgi)", "MGI DATUM/HERMANNSKOGEL", "Austria"},
    {"ch-1903", "CH1903+", "Switzerland"},
    {"rt 90", "RT90", "Sweden"},
    {"arc 1950", "ARC 1950", "Southern Africa"},
    {"arc 1960", "ARC 1960", "Kenya"},
    {"cape", "CAPE", "South Africa"},
    {"indian thailand", "INDIAN 1954", "Thailand"},
    {"geodetic datum '49", "GEODETIC DATUM 1949", "New Zealand"},
    {"hartebeesthoek94", "HARTEBEESTHOCK 1994", "South Africa"},
    {"s42 (pulkovo 1942)", "S-42 (PULKOVO 1942),", "Hungary"},
};

// The number of the table entry a .map datum name stands for.
int DatumNumber(const std::string& Name, const std::string& FileName) {
  const std::string key = LowerCase(Trim(Name));
  for (const TMapDatum& d : kMapDatums) {
    if (d.MapName != key) continue;
    for (int n = 1; n <= DatumCount; ++n) {
      const TDatumData& e = DatumData[n - 1];
      if (std::string_view(e.Name.View()) == d.TableName &&
          std::string_view(e.Region.View()) == d.Region)
        return n;
    }
  }
  FailAt(FileName, 5, "the datum \"" + Name.substr(0, 60) + "\" is not in the datum table");
}

// The datum's part of a PROJ string: its ellipsoid and the shift to WGS 84
// from the table (the same position-vector convention as +towgs84).
std::string DatumProj(int Number) {
  if (Number == DatumWGS84) return "+datum=WGS84";
  const TDatumData& d = DatumData[Number - 1];
  const TGeoEllipsoidData& e = GeoEllipsoidData[static_cast<int>(d.Ellipsoid)];
  return "+a=" + FormatNumber(e.MajorAxis) + " +b=" + FormatNumber(e.MinorAxis) +
         " +towgs84=" + FormatNumber(d.DX) + "," + FormatNumber(d.DY) + "," + FormatNumber(d.DZ) +
         "," + FormatNumber(d.RotX) + "," + FormatNumber(d.RotY) + "," + FormatNumber(d.RotZ) +
         "," + FormatNumber(d.Scale);
}

bool StartsWithNoCase(std::string_view Line, std::string_view Prefix) {
  return Line.size() >= Prefix.size() &&
         LowerCase(Line.substr(0, Prefix.size())) == LowerCase(Prefix);
}

struct TRawPoint {
  std::size_t Line = 0;
  double X = 0, Y = 0;
  bool HasGeo = false;
  double Lat = 0, Lon = 0;  // on the map's datum
  bool HasGrid = false;
  double Easting = 0, Northing = 0;
  int Zone = 0;
  bool South = false;
};

class TMapParser {
 public:
  TMapParser(const std::string& FileName) : file_(FileName) {}

  double Number(const std::string& Text, std::size_t Line, const char* What) const {
    const auto v = ParseNumber(Text);
    if (!v)
      FailAt(file_, Line, std::string(What) + " is not a number: \"" + Text.substr(0, 40) + "\"");
    return *v;
  }

  // Degrees and minutes with the hemisphere letter.
  double Angle(const std::vector<std::string>& f, std::size_t at, char Negative, std::size_t Line,
               const char* What) const {
    const double deg = Number(f[at], Line, What);
    const double min = f[at + 1].empty() ? 0 : Number(f[at + 1], Line, What);
    double v = deg + min / 60;
    if (LowerCase(f[at + 2]) == std::string(1, Negative)) v = -v;
    return v;
  }

  void Point(const std::string& Text, std::size_t Line) {
    const std::vector<std::string> f = SplitFields(Text);
    if (f.size() < 3 || (f[2].empty() && (f.size() < 4 || f[3].empty()))) return;  // unused
    if (f.size() < 17)
      FailAt(file_, Line, "a point line has 17 fields, this one " + std::to_string(f.size()));
    if (points_.size() == kMaxPoints) return;  // readers take the first 30
    TRawPoint p;
    p.Line = Line;
    p.X = Number(f[2], Line, "the point's x");
    p.Y = Number(f[3], Line, "the point's y");
    if (!f[6].empty() && !f[9].empty()) {
      p.HasGeo = true;
      p.Lat = Angle(f, 6, 's', Line, "the point's latitude");
      p.Lon = Angle(f, 9, 'w', Line, "the point's longitude");
      if (!(std::fabs(p.Lat) <= 90) || !(std::fabs(p.Lon) <= 360))
        FailAt(file_, Line, "the point's position is outside the globe");
    }
    if (!f[14].empty() && !f[15].empty()) {
      p.HasGrid = true;
      p.Easting = Number(f[14], Line, "the point's easting");
      p.Northing = Number(f[15], Line, "the point's northing");
      if (!f[13].empty()) {
        const double z = Number(f[13], Line, "the point's zone");
        p.Zone = z >= 1 && z <= 60 ? static_cast<int>(z) : 0;
      }
      p.South = LowerCase(f[16]) == "s";
    }
    if (!p.HasGeo && !p.HasGrid)
      FailAt(file_, Line, "the point has a pixel but neither a position nor grid values");
    points_.push_back(p);
  }

  TImportedMap Parse(const std::vector<std::string>& lines, int32_t Width, int32_t Height) {
    if (lines.size() < 5 || lines[0].find(kSignatureStem) == std::string::npos)
      FailAt(file_, 1, "not a .map calibration file (no signature line)");
    const std::string caption(Trim(lines[1]));
    image_ = std::string(Trim(lines[2]));
    const int datum = DatumNumber(SplitFields(lines[4]).front(), file_);
    std::string projection;
    std::vector<std::string> setup;
    std::vector<TBorderVertex> border;
    double msf = 1;
    for (std::size_t i = 5; i < lines.size(); ++i) {
      const std::string& l = lines[i];
      const std::size_t n = i + 1;
      if (StartsWithNoCase(l, "Map Projection,")) {
        const auto f = SplitFields(l);
        projection = f.size() > 1 ? f[1] : std::string();
      } else if (StartsWithNoCase(l, "Projection Setup,")) {
        setup = SplitFields(l);
      } else if (StartsWithNoCase(l, "Point")) {
        Point(l, n);
      } else if (StartsWithNoCase(l, "MMPXY,")) {
        const auto f = SplitFields(l);
        if (f.size() != 4) FailAt(file_, n, "a border vertex line has 4 fields");
        if (border.size() == kMaxBorderVertices) FailAt(file_, n, "too many border vertices");
        border.push_back({Number(f[2], n, "the vertex's x"), Number(f[3], n, "the vertex's y")});
      } else if (StartsWithNoCase(l, "IWH,")) {
        const auto f = SplitFields(l);
        if (f.size() < 4) FailAt(file_, n, "the image size line has 4 fields");
        const double w = Number(f[2], n, "the image width"),
                     h = Number(f[3], n, "the image height");
        if (!(w >= 1 && w <= 2e9 && h >= 1 && h <= 2e9))
          FailAt(file_, n, "the image size is out of range");
        Width = static_cast<int32_t>(w);
        Height = static_cast<int32_t>(h);
      } else if (StartsWithNoCase(l, "MSF,")) {
        const auto f = SplitFields(l);
        // A map scale factor: the image was scaled after calibration.
        if (f.size() >= 2) msf = Number(f[1], n, "the map scale factor");
        if (!(msf > 0.01)) msf = 1;
      }
    }
    if (projection.empty()) FailAt(file_, 0, "no \"Map Projection\" line");
    for (TRawPoint& p : points_) {
      p.X /= msf;
      p.Y /= msf;
    }
    TImportedMap result{Calibrate(projection, setup, datum, Width, Height), image_};
    TMapCalibration& cal = result.Calibration;
    cal.Data().Caption = caption;
    cal.Data().MapFName = ExtractFileName(image_);
    bool outline = true;
    for (const TBorderVertex& v : border)
      outline = outline && (v.X == 0 || v.X == Width) && (v.Y == 0 || v.Y == Height);
    if (!outline && border.size() >= 3) cal.SetBorder(border);
    return result;
  }

  const std::string& Image() const { return image_; }

 private:
  // The CRS of a named projection as a PROJ string; "" for one not known.
  std::string ProjectionCrs(const std::string& Name, const std::vector<std::string>& s,
                            int Datum) const {
    auto at = [&](std::size_t i, double Default) {
      if (i >= s.size() || s[i].empty()) return Default;
      return Number(s[i], 0, "a projection setting");
    };
    const std::string name = LowerCase(Name);
    const std::string datum = " " + DatumProj(Datum) + " +units=m +no_defs";
    const std::string lat0 = FormatNumber(at(1, 0)), lon0 = FormatNumber(at(2, 0));
    const std::string k = FormatNumber(at(3, 1)), fe = FormatNumber(at(4, 0)),
                      fn = FormatNumber(at(5, 0));
    const std::string sp1 = FormatNumber(at(6, 0)), sp2 = FormatNumber(at(7, 0));
    const std::string xy = " +x_0=" + fe + " +y_0=" + fn;
    if (name.rfind("transverse mercator", 0) == 0)
      return "+proj=tmerc +lat_0=" + lat0 + " +lon_0=" + lon0 + " +k=" + k + xy + datum;
    if (name.rfind("mercator", 0) == 0)
      return "+proj=merc +lon_0=" + lon0 + " +k=" + k + xy + datum;
    if (name.rfind("lambert conformal conic", 0) == 0)
      return "+proj=lcc +lat_1=" + sp1 + " +lat_2=" + sp2 + " +lat_0=" + lat0 + " +lon_0=" + lon0 +
             xy + datum;
    if (name.rfind("albers equal area", 0) == 0)
      return "+proj=aea +lat_1=" + sp1 + " +lat_2=" + sp2 + " +lat_0=" + lat0 + " +lon_0=" + lon0 +
             xy + datum;
    if (name.rfind("sinusoidal", 0) == 0) return "+proj=sinu +lon_0=" + lon0 + xy + datum;
    return std::string();
  }

  TMapCalibration Calibrate(const std::string& Projection, const std::vector<std::string>& Setup,
                            int Datum, int32_t Width, int32_t Height) const {
    const std::string name = LowerCase(Projection);
    TPointFrame frame;
    std::string crs;
    if (name.rfind("latitude/longitude", 0) == 0) {
      frame.Kind = TPointFrame::pfGeographic;
    } else if (name.find("(utm)") != std::string::npos) {
      int zone = 0;
      bool south = false;
      for (const TRawPoint& p : points_)
        if (p.HasGrid && p.Zone != 0) {
          zone = p.Zone;
          south = p.South;
          break;
        }
      if (zone == 0) {
        // The zone of the points' mean position.
        double lat = 0, lon = 0;
        int n = 0;
        for (const TRawPoint& p : points_)
          if (p.HasGeo) lat += p.Lat, lon += p.Lon, ++n;
        if (n == 0) FailAt(file_, 0, "a UTM map needs a zone or positions in its points");
        lat /= n;
        lon /= n;
        zone = std::clamp(static_cast<int>(std::floor((lon + 180) / 6)) + 1, 1, 60);
        south = lat < 0;
      }
      frame.Zone = zone;
      frame.South = south;
      if (Datum == DatumWGS84) {
        frame.Kind = TPointFrame::pfUtm;
      } else {
        frame.Kind = TPointFrame::pfProjected;
        crs = "+proj=utm +zone=" + std::to_string(zone) + (south ? " +south " : " ") +
              DatumProj(Datum) + " +units=m +no_defs";
      }
    } else {
      crs = ProjectionCrs(Projection, Setup, Datum);
      frame.Kind = crs.empty() ? TPointFrame::pfGeographic : TPointFrame::pfProjected;
      if (crs.empty())
        for (const TRawPoint& p : points_)
          if (!p.HasGeo)
            FailAt(file_, p.Line,
                   "the projection \"" + Projection.substr(0, 60) +
                       "\" is not known, and the point gives no latitude/longitude");
    }
    frame.Crs = crs;
    if (frame.Kind == TPointFrame::pfUtm)
      crs = "EPSG:" + std::to_string((frame.South ? 32700 : 32600) + frame.Zone);
    std::unique_ptr<TCrsProjection> projection;
    if (!crs.empty()) {
      try {
        projection = std::make_unique<TCrsProjection>(crs);
      } catch (const EZYLGeoMapError& e) {
        FailAt(file_, 0, e.what());
      }
    }
    std::vector<TGroundPoint> points;
    for (const TRawPoint& r : points_) {
      TGroundPoint p;
      p.X = r.X;
      p.Y = r.Y;
      const bool gridFirst = frame.Kind == TPointFrame::pfUtm && r.HasGrid;
      if (r.HasGeo && !gridFirst) {
        p.Lat = r.Lat;
        p.Lon = r.Lon;
        if (Datum != DatumWGS84) {
          double h = 0;
          HelmertTransform(Datum, r.Lat, r.Lon, 0, DatumWGS84, p.Lat, p.Lon, h);
        }
        if (frame.Kind == TPointFrame::pfUtm &&
            !projection->Forward(p.Lat, p.Lon, p.Easting, p.Northing))
          FailAt(file_, r.Line, "the point lies outside its UTM zone");
      } else if (frame.Kind == TPointFrame::pfGeographic) {
        p.Lon = r.Easting;  // grid values of a latitude/longitude map are degrees
        p.Lat = r.Northing;
        if (Datum != DatumWGS84) {
          double h = 0;
          HelmertTransform(Datum, r.Northing, r.Easting, 0, DatumWGS84, p.Lat, p.Lon, h);
        }
      } else {
        p.Easting = r.Easting;
        p.Northing = r.Northing;
        if (!projection->Inverse(r.Easting, r.Northing, p.Lat, p.Lon))
          FailAt(file_, r.Line, "the point's grid values lie outside the projection");
      }
      points.push_back(p);
    }
    return CalibrationFromPoints(points, frame, Width, Height, file_);
  }

  std::string file_;
  std::string image_;
  std::vector<TRawPoint> points_;
};

// The image line resolved: relative to the .map file's folder; an absolute
// path that does not exist falls back on its base name beside the file.
std::string ResolveImage(const std::string& MapFile, const std::string& Image) {
  const bool absolute = !Image.empty() && (Image[0] == '/' || Image[0] == '\\' ||
                                           (Image.size() > 2 && Image[1] == ':'));
  if (absolute && FileExists(Image)) return Image;
  std::string name = absolute ? ExtractFileName(Image) : Image;
  std::replace(name.begin(), name.end(), '\\', '/');
  return ExtractFilePath(MapFile) + name;
}

}  // namespace

TImportedMap ParseMapFile(std::string_view Bytes, const std::string& FileName, int32_t Width,
                          int32_t Height) {
  TMapParser parser(FileName);
  return parser.Parse(SplitLines(Bytes, FileName), Width, Height);
}

TImportedMap ImportMapFile(const std::string& FileName) {
  const std::vector<std::string> lines = ReadLines(FileName);
  if (lines.size() < 3) FailAt(FileName, 1, "not a .map calibration file (too short)");
  const std::string image = ResolveImage(FileName, std::string(Trim(lines[2])));
  bool hasSize = false;
  for (const std::string& l : lines) hasSize = hasSize || StartsWithNoCase(l, "IWH,");
  int32_t width = 0, height = 0;
  if (!hasSize) ImageSize(image, FileName, width, height);
  TMapParser parser(FileName);
  TImportedMap result = parser.Parse(lines, width, height);
  result.ImageName = image;
  return result;
}

}  // namespace marovia
