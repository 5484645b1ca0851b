// geomap calibrate: fits a calibration model to a list of clicked points on
// a map image, prints the residuals and writes the calibration file.
#include <cctype>
#include <filesystem>
#include <fstream>
#include <istream>
#include <ostream>

#include "arguments.h"
#include "cli_text.h"
#include "commands.h"
#include "geomap_cli.h"
#include "marovia/geobasics/ellipsoids.h"
#include "marovia/platform/files.h"
#include "marovia/platform/strutils.h"
#include "point_list.h"
#include "residuals.h"

namespace marovia::geomaptool {

namespace {

const TOptionDef kOptions[] = {{"image", 'i', true}, {"model", 'm', true},  {"output", 'o', true},
                               {"caption", 0, true}, {"utm-zone", 0, true}, {"ellipsoid", 0, true},
                               {"id", 0, true}};

TCalibModel ModelFromName(const std::string& Name) {
  for (int m = 0; m < cmUndefined; ++m)
    if (SameText(Name, CalibModelNames[static_cast<size_t>(m)])) return static_cast<TCalibModel>(m);
  throw TUsageError("--model '" + apps::Printable(Name) +
                    "' is not one of equirect, utm, millercylindrical, conicconformal, "
                    "biquadraticpn, parabolicip");
}

struct TUtmZone {
  int Zone = 0;
  bool South = false;
};

// A zone with its latitude band, as geoconvert writes it: 32T. Bands C to M
// lie south of the equator, N to X north. "32N" means the north in either
// reading and is taken; "33S" once meant the southern hemisphere here but is
// band S (32 to 40 degrees north) everywhere else, so it is refused with the
// ways to say either.
TUtmZone UtmZoneFromText(const std::string& Text) {
  static const std::string kBands = "CDEFGHJKLMNPQRSTUVWX";
  TUtmZone z;
  std::string digits = Text;
  char band = 0;
  if (!digits.empty() && std::isalpha(static_cast<unsigned char>(digits.back()))) {
    band = static_cast<char>(std::toupper(static_cast<unsigned char>(digits.back())));
    digits.pop_back();
  }
  int64_t zone = 0;
  if (band == 0 || kBands.find(band) == std::string::npos || digits.empty() ||
      !TryStrToInt(digits, zone) || zone < 1 || zone > 60) {
    throw TUsageError("--utm-zone '" + apps::Printable(Text) +
                      "' is not a zone 1 to 60 with its latitude band C to X, e.g. 32T");
  }
  if (band == 'S') {
    throw TUsageError("--utm-zone '" + apps::Printable(Text) + "' is ambiguous: band S lies 32 " +
                      "to 40 degrees north; give the band of the map, e.g. " + digits +
                      "H for 32 to 24 degrees south, or " + digits + "T for 40 to 48 north");
  }
  z.Zone = static_cast<int>(zone);
  z.South = band < 'N';
  return z;
}

// The fewest points with which Model gives a determined fit.
const char* TooFewPoints(const TGeoMap& Map) {
  const TCalibData& cd = Map.CalibData();
  switch (Map.CalibModel()) {
    case cmBiquadraticPn:
      return cd.NumCalQuads < 6 ? "biquadraticpn needs at least 6 points" : nullptr;
    case cmParabolicIp: {
      int meridians = 0, parallels = 0;
      for (int i = 0; i < cd.NumCalLines; ++i) {
        const TCalibLine& l = cd.CalLines[static_cast<size_t>(i)];
        if (l.NumPoints >= 3) ++(l.LineType == gtlMeridian ? meridians : parallels);
      }
      return meridians < 2 || parallels < 2
                 ? "parabolicip needs 2 meridians and 2 parallels with 3 points each"
                 : nullptr;
    }
    default:
      return cd.NumCalQuads < 3 ? "this model needs at least 3 points" : nullptr;
  }
}

}  // namespace

int RunCalibrate(std::span<const std::string> Args, std::istream& In, std::ostream& Out,
                 std::ostream& Err) {
  const TArguments args(Args, kOptions);
  if (args.Positional().size() != 1) throw TUsageError("calibrate needs one points file (or -)");
  const std::string pointsFile = args.Positional()[0];
  const auto image = args.Value("image");
  if (!image) throw TUsageError("calibrate needs -i IMAGE, the map image the points are on");
  const auto modelName = args.Value("model");
  if (!modelName) throw TUsageError("calibrate needs -m MODEL");
  const TCalibModel model = ModelFromName(*modelName);
  const std::string output = args.Value("output").value_or(ChangeFileExt(*image, ".xml"));
  // A folder that is not there fails the job before any report is printed.
  if (const std::string folder = ExtractFilePath(output);
      !folder.empty() && !std::filesystem::is_directory(folder)) {
    Report(Err,
           apps::Printable(output) + ": the folder " + apps::Printable(folder) + " does not exist");
    return kExitIo;
  }
  TUtmZone zone;
  if (const auto z = args.Value("utm-zone")) {
    zone = UtmZoneFromText(*z);
  } else if (model == cmUTM) {
    throw TUsageError("the utm model needs --utm-zone, e.g. 32T");
  }
  TGeoEllipsoid ellipsoid = gelWGS84;
  if (const auto e = args.Value("ellipsoid")) {
    auto found = FindGeoEllipsoid(*e);
    if (!found) found = FindGeoEllipsoid("gel" + *e);
    if (!found) throw TUsageError("--ellipsoid '" + apps::Printable(*e) + "' is not known");
    ellipsoid = *found;
  }
  const std::string id = args.Value("id").value_or(ChangeFileExt(ExtractFileName(output), ""));

  std::ifstream file;
  if (pointsFile != "-") {
    file.open(pointsFile, std::ios::binary);
    if (!file) {
      Report(Err, apps::Printable(pointsFile) + ": cannot open the file");
      return kExitBadInput;
    }
  }
  std::istream& points = pointsFile == "-" ? In : file;
  const std::string pointsName = pointsFile == "-" ? "standard input" : pointsFile;

  TGeoMap map(nullptr);
  map.SetName("Map");
  map.SetSuppressPaint(true);
  // The calibration stores the image by its file name only; it is read from
  // where it is now.
  if (!FileExists(*image)) {
    Report(Err, apps::Printable(*image) + ": cannot open the map image");
    return kExitBadInput;
  }
  map.OnMapImageRequest = [&](TObject*, std::string& FileName) { FileName = *image; };
  try {
    map.SetMapImgName(ExtractFileName(*image));
  } catch (const std::exception& e) {
    Report(Err, apps::Printable(*image) + ": " + apps::Printable(e.what()));
    return kExitBadInput;
  }
  if (map.MapImgFile().empty()) {
    Report(Err, apps::Printable(*image) + ": not a BMP or JPEG map image");
    return kExitBadInput;
  }
  map.SetCalibModel(model);
  map.ClearCalibData();
  TCalibData data = map.CalibData();
  data.Ellipsoid = ellipsoid;
  data.Caption = args.Value("caption").value_or("");
  if (model == cmUTM) {
    data.UTMZone = zone.Zone;
    data.UTMSouth = zone.South;
  }
  map.SetCalibData(data);

  int status = kExitOk;
  std::string line;
  for (long lineNo = 1; std::getline(points, line); ++lineNo) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    try {
      const auto p = ParsePointLine(line, model);
      if (!p) continue;
      bool added = false;
      if (model == cmParabolicIp) {
        added = map.AddCalibPoint(p->Line, p->A, p->X, p->Y);
      } else if (model == cmUTM) {
        added = map.AddCalibPoint(p->A, p->B, zone.Zone, zone.South ? hemiSouth : hemiNorth, p->X,
                                  p->Y);
      } else {
        added = map.AddCalibPoint(p->A, p->B, p->X, p->Y);
      }
      if (!added) {
        throw TPointLineError(model == cmParabolicIp ? "no room: at most 25 lines of 10 points each"
                                                     : "no room: at most 200 points");
      }
    } catch (const std::exception& e) {
      Report(Err, apps::Printable(pointsName) + ": line " + std::to_string(lineNo) + ": " +
                      apps::Printable(e.what()));
      status = kExitBadInput;
    }
  }
  if (points.bad()) {
    Report(Err, apps::Printable(pointsName) + ": cannot read the points");
    return kExitBadInput;
  }
  map.RecalcCalibration();
  if (const char* why = TooFewPoints(map)) {
    Report(Err,
           apps::Printable(pointsName) + ": too few points: " + why + "; no calibration written");
    return kExitBadInput;
  }
  Out << apps::Printable(output) << "\n";
  PrintCalibration(Out, map);
  try {
    map.SaveCalDataAsXML(output, id);
  } catch (const std::exception& e) {
    Report(Err, apps::Printable(e.what()));
    return kExitIo;
  }
  if (ExtractFilePath(output) != ExtractFilePath(*image)) {
    Report(Err, "note: " + apps::Printable(output) + " names the image " +
                    apps::Printable(ExtractFileName(*image)) +
                    " without a folder: keep them side by side");
  }
  return status;
}

}  // namespace marovia::geomaptool
