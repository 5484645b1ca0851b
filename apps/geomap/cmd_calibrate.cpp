// geomap calibrate: fits a calibration model to a list of clicked points on
// a map image, prints the residuals and writes the calibration file.
//
// The steps: the options, the map image's size (from its header: it is part
// of the fit), the points read into a calibration value, the fit, the
// report, the file.
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <istream>
#include <ostream>

#include "arguments.h"
#include "calibrate_setup.h"
#include "cli_text.h"
#include "commands.h"
#include "geomap_cli.h"
#include "marovia/geobasics/ellipsoids.h"
#include "marovia/geomap/calxml.h"
#include "marovia/platform/files.h"
#include "marovia/platform/imageprobe.h"
#include "marovia/platform/strutils.h"
#include "point_list.h"
#include "residuals.h"

namespace marovia::geomaptool {

namespace {

const TOptionDef kOptions[] = {{"image", 'i', true},  {"model", 'm', true},  {"output", 'o', true},
                               {"caption", 0, true},  {"utm-zone", 0, true}, {"ellipsoid", 0, true},
                               {"id", 0, true},       {"crs", 0, true},      {"order", 0, true},
                               {"smoothing", 0, true}};

struct TCalibrateOptions {
  std::string PointsFile;  // "-" for standard input
  std::string Image;
  TCalibModel Model = cmUndefined;
  std::string Output;
  TUtmZone Zone;
  TGeoEllipsoid Ellipsoid = gelWGS84;
  std::string Caption;
  std::string Id;
  std::string Crs;
  int Order = 1;
  double Smoothing = 0;
};

// Raises TUsageError for anything missing or wrong.
TCalibrateOptions ParseOptions(std::span<const std::string> Args) {
  const TArguments args(Args, kOptions);
  TCalibrateOptions o;
  if (args.Positional().size() != 1) throw TUsageError("calibrate needs one points file (or -)");
  o.PointsFile = args.Positional()[0];
  const auto image = args.Value("image");
  if (!image) throw TUsageError("calibrate needs -i IMAGE, the map image the points are on");
  o.Image = *image;
  const auto modelName = args.Value("model");
  if (!modelName) throw TUsageError("calibrate needs -m MODEL");
  o.Model = ModelFromName(*modelName);
  o.Output = args.Value("output").value_or(ChangeFileExt(o.Image, ".xml"));
  if (const auto z = args.Value("utm-zone")) {
    o.Zone = UtmZoneFromText(*z);
  } else if (o.Model == cmUTM) {
    throw TUsageError("the utm model needs --utm-zone, e.g. 32T");
  }
  if (const auto e = args.Value("ellipsoid")) {
    auto found = FindGeoEllipsoid(*e);
    if (!found) found = FindGeoEllipsoid("gel" + *e);
    if (!found) throw TUsageError("--ellipsoid '" + apps::Printable(*e) + "' is not known");
    o.Ellipsoid = *found;
  }
  if (const auto crs = args.Value("crs")) {
    if (o.Model != cmProjected) throw TUsageError("--crs is for the projected model");
    o.Crs = *crs;
  } else if (o.Model == cmProjected) {
    throw TUsageError("the projected model needs --crs, e.g. EPSG:3395");
  }
  if (const auto order = args.Value("order")) {
    if (o.Model != cmProjected) throw TUsageError("--order is for the projected model");
    if (*order != "1" && *order != "2")
      throw TUsageError("--order '" + apps::Printable(*order) + "' is not 1 or 2");
    o.Order = *order == "1" ? 1 : 2;
  }
  if (const auto smoothing = args.Value("smoothing")) {
    if (o.Model != cmThinPlate) throw TUsageError("--smoothing is for the thinplate model");
    double value = 0;
    if (!TryStrToFloat(*smoothing, value) || !std::isfinite(value) || value < 0)
      throw TUsageError("--smoothing '" + apps::Printable(*smoothing) +
                        "' is not a number of at least 0");
    o.Smoothing = value;
  }
  o.Caption = args.Value("caption").value_or("");
  o.Id = args.Value("id").value_or(ChangeFileExt(ExtractFileName(o.Output), ""));
  return o;
}

// The size of the map image the points are on, from its header (the image
// is not decoded, so a scan of any size can be calibrated). False, reported,
// when it cannot be read.
bool ReadImageSize(const std::string& Image, int32_t& Width, int32_t& Height, std::ostream& Err) {
  if (!FileExists(Image)) {
    Report(Err, apps::Printable(Image) + ": cannot open the map image");
    return false;
  }
  int64_t w = 0, h = 0;
  try {
    if (!ReadImageDimensions(Image, w, h) || w > INT32_MAX || h > INT32_MAX) {
      Report(Err, apps::Printable(Image) +
                      ": not a BMP, JPEG, PNG or TIFF map image, or its header is damaged");
      return false;
    }
  } catch (const std::exception& e) {
    Report(Err, apps::Printable(e.what()));
    return false;
  }
  Width = static_cast<int32_t>(w);
  Height = static_cast<int32_t>(h);
  return true;
}

// Adds the points of every line of Points to Cal; a line that is no point,
// or finds no room, is reported with its number. Answers the status.
int ReadPoints(std::istream& Points, const std::string& PointsName, TMapCalibration& Cal,
               std::ostream& Err) {
  const TCalibModel model = Cal.Model();
  int status = kExitOk;
  std::string line;
  for (long lineNo = 1; std::getline(Points, line); ++lineNo) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    try {
      const auto p = ParsePointLine(line, model);
      if (!p) continue;
      const bool added = model == cmParabolicIp ? Cal.AddLinePoint(p->Line, p->A, p->X, p->Y)
                                                : Cal.AddPoint(p->A, p->B, p->X, p->Y);
      if (!added) {
        throw TPointLineError(model == cmParabolicIp ? "no room: at most 25 lines of 10 points each"
                                                     : "no room: at most 200 points");
      }
    } catch (const std::exception& e) {
      Report(Err, apps::Printable(PointsName) + ": line " + std::to_string(lineNo) + ": " +
                      apps::Printable(e.what()));
      status = kExitBadInput;
    }
  }
  return status;
}

}  // namespace

int RunCalibrate(std::span<const std::string> Args, std::istream& In, std::ostream& Out,
                 std::ostream& Err) {
  const TCalibrateOptions o = ParseOptions(Args);
  // A folder that is not there fails the job before any report is printed.
  if (const std::string folder = ExtractFilePath(o.Output);
      !folder.empty() && !std::filesystem::is_directory(folder)) {
    Report(Err, apps::Printable(o.Output) + ": the folder " + apps::Printable(folder) +
                    " does not exist");
    return kExitIo;
  }
  std::ifstream file;
  if (o.PointsFile != "-") {
    file.open(o.PointsFile, std::ios::binary);
    if (!file) {
      Report(Err, apps::Printable(o.PointsFile) + ": cannot open the file");
      return kExitBadInput;
    }
  }
  std::istream& points = o.PointsFile == "-" ? In : file;
  const std::string pointsName = o.PointsFile == "-" ? "standard input" : o.PointsFile;

  // The calibration is a value: fitted for the image's size, written with
  // the image's bare name.
  int32_t width = 0, height = 0;
  if (!ReadImageSize(o.Image, width, height, Err)) return kExitBadInput;
  TCalibSetup setup;
  setup.Model = o.Model;
  setup.Zone = o.Zone;
  setup.Ellipsoid = o.Ellipsoid;
  setup.Caption = o.Caption;
  setup.Crs = o.Crs;
  setup.Order = o.Order;
  setup.Smoothing = o.Smoothing;
  TMapCalibration cal = NewCalibration(setup, ExtractFileName(o.Image), width, height);

  int status = ReadPoints(points, pointsName, cal, Err);
  if (points.bad()) {
    Report(Err, apps::Printable(pointsName) + ": cannot read the points");
    return kExitBadInput;
  }
  TFitOutcome fit;
  try {
    fit = cal.Fit();
  } catch (const EZYLGeoMapError& e) {  // a CRS that PROJ does not know
    Report(Err, apps::Printable(e.what()) + "; no calibration written");
    return kExitBadInput;
  }
  if (!fit) {  // too few points, thin-plate points all on one line, ...
    Report(Err, apps::Printable(pointsName) + ": " + apps::Printable(fit.Reason) +
                    "; no calibration written");
    return kExitBadInput;
  }
  Out << apps::Printable(o.Output) << "\n";
  PrintCalibration(Out, cal, cal.Data().MapFName);
  try {
    SaveCalibrationAsXML(o.Output, o.Id, cal);
  } catch (const std::exception& e) {
    Report(Err, apps::Printable(e.what()));
    return kExitIo;
  }
  if (ExtractFilePath(o.Output) != ExtractFilePath(o.Image)) {
    Report(Err, "note: " + apps::Printable(o.Output) + " names the image " +
                    apps::Printable(ExtractFileName(o.Image)) +
                    " without a folder: keep them side by side");
  }
  return status;
}

}  // namespace marovia::geomaptool
