// Writing calibration files: one data set to an open text file or a stream,
// and the map control's saving of its own calibration.
//
// A data set in a text file (values in braces; lines in this order):
//
//   <?xml version="1.0" encoding="windows-1252"?>     only with the header flag
//                                                      always (empty line)
//   <!-- TGeoMap Calibration / Quorvant -->
//   <geomap sig="Quorvant" vers="1.0" id="{id}" model="{model}" map="{map}" caption="{caption}">
//   <corners>
//   [{lat},{long}] [{lat},{long}] [{lat},{long}] [{lat},{long}]      TCorners order
//   </corners>
//   <resolution>{resolution}</resolution>              only when above 0
//   <utmzone>{zone}</utmzone>                          both only for zones 1..60
//   <utmsouth>{TRUE|FALSE}</utmsouth>
//   <ellipsoid>{GeoEllipsoidId entry}</ellipsoid>
//   <crs>{CRS text}</crs>                              both only for model "projected"
//   <polyorder>{1|2}</polyorder>
//   <smoothing>{lambda}</smoothing>                    only for model "thinplate"
//   <calline type="{parallel|meridian}" value="{value}" npoints="{n}">    per line
//   [{X},{Y}] ...
//   </calline>
//   <calquads npoints="{n}">                           only with quadruples
//   [{lat},{long},{MapX},{MapY}] ...
//   </calquads>
//   <controlpoints npoints="{n}">                      the points at full precision,
//   [{lat},{long},{x},{y}] ...                         when the quadruples would
//   </controlpoints>                                   round them (see below)
//   <border>                                           only with a border
//   {x},{y} {x},{y} ...                                pixels, shortest exact form
//   </border>
//   </geomap>
//
// A stream holds the same with these differences: the declaration and the
// resolution are always written, the UTM and ellipsoid lines never (the
// settings of the projected and thin-plate models always), and the
// calquads element always (npoints="0" and an empty line without
// quadruples). Point lines end with a blank.
//
// Numbers: corners and quadruple positions with 5 decimals, the resolution
// with 3 (both "." as separator), line values in the general form with 15
// significant digits (exponent form for very large or small magnitudes),
// integers in decimal. The quadruples hold at most 200 points on whole
// pixels and 5 decimals (about a metre); points beyond that (between
// pixels, more of them, finer positions) are written again in full in the
// controlpoints element, shortest exact form, while the quadruples keep
// the first 200 rounded for readers that skip it. Text values are written with XML references, so a
// '"' in a caption cannot end it early, and so is every '=' of a root-line
// value (see RootValue).
#include <charconv>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "files/replace_file.h"
#include "marovia/geomap/calxml.h"
#include "marovia/geomap/geomap.h"
#include "marovia/geomap/xmltext.h"
#include "marovia/platform/strutils.h"
#include "marovia/zylbase/streamtext.h"

namespace marovia {

namespace {

using TLineWriter = std::function<void(const std::string&)>;

struct TCalLayout {
  bool Declaration;
  bool ResolutionAlways;
  bool UTMAndEllipsoid;
  bool QuadsAlways;
};

// A text value of the root line. The readers find its attributes by
// searching `name="` in the line, so a value ending in "map=" would pass
// for the start of the map attribute: every '=' of a value is written as a
// reference, which the readers decode, and `="` then only starts attributes.
std::string RootValue(std::string_view value) {
  std::string s;
  for (const char c : EscapeXMLValue(value)) {
    if (c == '=')
      s += "&#61;";
    else
      s += c;
  }
  return s;
}

std::string Degrees(double value) {
  return StrFixed(value, 1, 5);
}

std::string ModelName(TCalibModel model) {
  return std::string(CalibModelNames[model < kNumCalibModels ? model : cmUndefined]);
}

// A record whose counts exceed its capacities (possible only through direct
// writes to it) is refused before a single line is written.
void CheckWritable(const TCalibData& cd, const std::string& errorPrefix) {
  const auto fail = [&](const std::string& text) {
    throw EZYLGeoMapError(errorPrefix + "cannot write the calibration: " + text);
  };
  if (cd.NumCalLines < 0 || cd.NumCalLines > kMaxCalLines)
    fail(IntToStr(cd.NumCalLines) + " calibration lines (0.." + IntToStr(kMaxCalLines) + ")");
  for (int i = 0; i < cd.NumCalLines; ++i) {
    const int32_t n = cd.CalLines[static_cast<size_t>(i)].NumPoints;
    if (n < 0 || n > kMaxLinePoints)
      fail(IntToStr(n) + " points in calibration line " + IntToStr(i + 1) + " (0.." +
           IntToStr(kMaxLinePoints) + ")");
  }
  if (cd.NumCalQuads < 0 || cd.NumCalQuads > kMaxCalQuads)
    fail(IntToStr(cd.NumCalQuads) + " calibration points (0.." + IntToStr(kMaxCalQuads) + ")");
  if (cd.Ellipsoid >= GeoEllipsoidCount)
    fail("unknown ellipsoid " + IntToStr(static_cast<int>(cd.Ellipsoid)));
}

// Appends "[a,b,...] ", the group form of corners, points and quadruples.
// Built by appending: chains of + starting from a literal make some
// compilers warn about overlapping copies.
void AppendGroup(std::string& s, std::initializer_list<std::string> parts) {
  s += '[';
  bool first = true;
  for (const std::string& p : parts) {
    if (!first) s += ',';
    s += p;
    first = false;
  }
  s += "] ";
}

std::string CornersLine(const TCornerArray& corners) {
  std::string s;
  for (const TCoords& c : corners) AppendGroup(s, {Degrees(c.Latit), Degrees(c.Longit)});
  return s;
}

std::string PointsLine(const TCalibLine& line) {
  std::string s;
  for (int32_t p = 0; p < line.NumPoints; ++p) {
    const TPoint& pt = line.CalPoints[static_cast<size_t>(p)];
    AppendGroup(s, {IntToStr(pt.X), IntToStr(pt.Y)});
  }
  return s;
}

std::string QuadsLine(const TCalibData& cd) {
  std::string s;
  for (int32_t k = 0; k < cd.NumCalQuads; ++k) {
    const TCalQuad& q = cd.CalQuads[static_cast<size_t>(k)];
    AppendGroup(s, {Degrees(q.Latitude), Degrees(q.Longitude), IntToStr(q.MapX), IntToStr(q.MapY)});
  }
  return s;
}

// The border's vertices; each number in the shortest form that reads back
// as the same double, so a border survives any number of round trips.
std::string BorderLine(const std::vector<TBorderVertex>& border) {
  std::string s;
  char buffer[64];
  for (const TBorderVertex& v : border) {
    if (!s.empty()) s += ' ';
    s.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, v.X).ptr);
    s += ',';
    s.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, v.Y).ptr);
  }
  return s;
}

// A number in the shortest form that reads back as the same double.
void AppendExact(std::string& s, double v) {
  char buffer[64];
  s.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, v).ptr);
}

// Whether a value survives the quadruples' 5 decimals.
bool FiveDecimals(double v) {
  return std::round(v * 1e5) / 1e5 == v;
}

// The calibration points a data set carries at full precision: those of a
// calibration that holds them, or, for the later models, the record's when
// the quadruples' 5 decimals would round them (about a metre, too coarse
// for sub-metre imagery); none when the quadruples hold them exactly, so
// that such files stay as they always were.
std::vector<TControlPoint> ExactPointsToWrite(const TCalibData& cd, TCalibModel model,
                                              const TMapCalibration* cal) {
  std::vector<TControlPoint> points;
  if (cal != nullptr && cal->HasExactPoints()) {
    points = cal->ExactPoints();
  } else if (model == cmProjected || model == cmThinPlate) {
    for (int32_t k = 0; k < cd.NumCalQuads; ++k) {
      const TCalQuad& q = cd.CalQuads[static_cast<size_t>(k)];
      points.push_back({double(q.MapX), double(q.MapY), q.Latitude, q.Longitude});
    }
  }
  bool needed = points.size() > size_t(kMaxCalQuads);
  for (const TControlPoint& p : points)
    needed = needed || p.X != std::round(p.X) || p.Y != std::round(p.Y) ||
             !FiveDecimals(p.LatOrNorthing) || !FiveDecimals(p.LongOrEasting);
  if (!needed) points.clear();
  return points;
}

std::string ExactPointsLine(const std::vector<TControlPoint>& points) {
  std::string s;
  for (const TControlPoint& p : points) {
    s += '[';
    AppendExact(s, p.LatOrNorthing);
    s += ',';
    AppendExact(s, p.LongOrEasting);
    s += ',';
    AppendExact(s, p.X);
    s += ',';
    AppendExact(s, p.Y);
    s += "] ";
  }
  return s;
}

void WriteDataSet(const TLineWriter& write, const TCalLayout& layout, const std::string& DataID,
                  const TCalibData& cd, TCalibModel model,
                  const std::vector<TBorderVertex>& border = {},
                  const TMapCalibration* cal = nullptr) {
  if (layout.Declaration) write(std::string(kGeoMapXMLDeclaration));
  write("");
  write("<!-- TGeoMap Calibration / Quorvant -->");
  write("<geomap" + WriteAttribute("sig", "Quorvant") + WriteAttribute("vers", "1.0") +
        WriteAttribute("id", RootValue(DataID)) + WriteAttribute("model", ModelName(model)) +
        WriteAttribute("map", RootValue(cd.MapFName)) +
        WriteAttribute("caption", RootValue(cd.Caption)) + ">");
  write("<corners>");
  write(CornersLine(cd.Corners));
  write("</corners>");
  if (layout.ResolutionAlways || cd.Resolution > 0)
    write("<resolution>" + StrFixed(cd.Resolution, 1, 3) + "</resolution>");
  if (layout.UTMAndEllipsoid) {
    if (cd.UTMZone >= 1 && cd.UTMZone <= 60) {
      write("<utmzone>" + IntToStr(cd.UTMZone) + "</utmzone>");
      write("<utmsouth>" + BoolToWord(cd.UTMSouth, 0) + "</utmsouth>");
    }
    write(std::string("<ellipsoid>") + GeoEllipsoidId[cd.Ellipsoid] + "</ellipsoid>");
  }
  // Readers that do not know these models skip the elements.
  if (model == cmProjected) {
    write("<crs>" + EscapeXMLValue(cd.CrsText) + "</crs>");
    write("<polyorder>" + IntToStr(cd.PolyOrder) + "</polyorder>");
  } else if (model == cmThinPlate) {
    write("<smoothing>" + FloatToStr(cd.Smoothing) + "</smoothing>");
  }
  for (int32_t i = 0; i < cd.NumCalLines; ++i) {
    const TCalibLine& line = cd.CalLines[static_cast<size_t>(i)];
    write("<calline" +
          WriteAttribute("type", line.LineType == gtlParallel ? "parallel" : "meridian") +
          WriteAttribute("value", FloatToStr(line.LineValue)) +
          WriteAttribute("npoints", IntToStr(line.NumPoints)) + ">");
    write(PointsLine(line));
    write("</calline>");
  }
  if (layout.QuadsAlways || cd.NumCalQuads > 0) {
    write("<calquads" + WriteAttribute("npoints", IntToStr(cd.NumCalQuads)) + ">");
    write(QuadsLine(cd));
    write("</calquads>");
  }
  // The points at full precision after the quadruples, which hold the
  // first 200 of them for readers that skip the element.
  const std::vector<TControlPoint> exact = ExactPointsToWrite(cd, model, cal);
  if (!exact.empty()) {
    write("<controlpoints" + WriteAttribute("npoints", IntToStr(int32_t(exact.size()))) + ">");
    write(ExactPointsLine(exact));
    write("</controlpoints>");
  }
  // Only written when set, so that files without a border stay as they
  // were; older readers skip the element.
  if (!border.empty()) {
    write("<border>");
    write(BorderLine(border));
    write("</border>");
  }
  write("</geomap>");
}

}  // namespace

void WriteRawCalDataToOpenXMLFile(TTextFile& TextFile, bool Header, const std::string& DataID,
                                  const TCalibData& CalibData, TCalibModel CalibModel) {
  CheckWritable(CalibData, "WriteRawCalDataToOpenXMLFile: ");
  const TCalLayout layout{Header, false, true, false};
  WriteDataSet([&](const std::string& line) { TextFile.WriteLn(Utf8ToCp1252(line)); }, layout,
               DataID, CalibData, CalibModel);
}

void TGeoMap::WriteCalDataToOpenXMLFile(TTextFile& TextFile, bool Header,
                                        const std::string& DataID) {
  CalcExtentsAndResolution();
  FCalibData.MapFName = FMapImgName;
  CheckWritable(FCalibData, "WriteRawCalDataToOpenXMLFile: ");
  const TCalLayout layout{Header, false, true, false};
  WriteDataSet([&](const std::string& line) { TextFile.WriteLn(Utf8ToCp1252(line)); }, layout,
               DataID, FCalibData, FCalibModel, FCalib.Border(), &FCalib);
}

void SaveCalibrationAsXML(const std::string& FileName, const std::string& DataID,
                          const TMapCalibration& Calibration) {
  TMapCalibration cal = Calibration;
  // Without an image size there are no edges to take the corners at: the
  // record's own corners and resolution are written.
  if (cal.ImageWidth() > 0 && cal.ImageHeight() > 0) cal.CalcExtentsAndResolution();
  CheckWritable(cal.Data(), "SaveCalibrationAsXML: ");
  const TCalLayout layout{true, false, true, false};
  ReplaceFileContents(FileName, [&](TTextFile& file) {
    WriteDataSet([&](const std::string& line) { file.WriteLn(Utf8ToCp1252(line)); }, layout, DataID,
                 cal.Data(), cal.Model(), cal.Border(), &cal);
  });
}

void TGeoMap::SaveCalDataAsXML(const std::string& FileName, const std::string& DataID) {
  // The file is replaced whole only once the new contents are on disk.
  ReplaceFileContents(FileName,
                      [&](TTextFile& file) { WriteCalDataToOpenXMLFile(file, true, DataID); });
}

void TGeoMap::SaveCalDataAsXML(TStream& OutStream, const std::string& DataID) {
  CalcExtentsAndResolution();
  FCalibData.MapFName = FMapImgName;
  CheckWritable(FCalibData, "Component \"" + Name() + "\": ");
  const TCalLayout layout{true, true, false, true};
  WriteDataSet([&](const std::string& line) { WriteLnStream(OutStream, line); }, layout, DataID,
               FCalibData, FCalibModel, FCalib.Border(), &FCalib);
}

}  // namespace marovia
