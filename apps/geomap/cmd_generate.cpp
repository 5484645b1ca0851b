// geomap generate: a blank map with a labelled latitude/longitude grid, as
// an image file and a calibration file beside it.
#include <cmath>
#include <ostream>

#include "arguments.h"
#include "cli_text.h"
#include "commands.h"
#include "geomap_cli.h"
#include "marovia/geomap/geomap.h"
#include "marovia/platform/files.h"
#include "residuals.h"

namespace marovia::geomaptool {

namespace {

const TOptionDef kOptions[] = {
    {"lat", 0, true}, {"lon", 0, true}, {"step", 0, true}, {"size", 0, true}};

std::pair<double, double> Limits(const TArguments& Args, const char* Name, double Bound) {
  const auto text = Args.Value(Name);
  if (!text) throw TUsageError(std::string("generate needs --") + Name);
  const auto pair = apps::ParsePair(*text);
  if (!pair || std::fabs(pair->first) > Bound || std::fabs(pair->second) > Bound ||
      pair->first == pair->second) {
    throw TUsageError(std::string("--") + Name + " '" + apps::Printable(*text) +
                      "' is not two different degrees within -" + apps::Fixed(Bound, 0) + " to " +
                      apps::Fixed(Bound, 0) + ", e.g. 45,48");
  }
  return *pair;
}

}  // namespace

int RunGenerate(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err) {
  const TArguments args(Args, kOptions);
  if (args.Positional().size() != 1) throw TUsageError("generate needs one output file name");
  const std::string name = args.Positional()[0];
  const auto lat = Limits(args, "lat", 90);
  const auto lon = Limits(args, "lon", 180);
  // West above east is a map across the 180th meridian (170,-170 spans 20
  // degrees there); taken in order it would span the other 340 degrees.
  if (lon.first > lon.second) {
    throw TUsageError("--lon " + apps::Fixed(lon.first, 6) + "," + apps::Fixed(lon.second, 6) +
                      ": the west limit lies east of the east limit; a map across the 180th "
                      "meridian cannot be made: give the limits west to east on one side of it");
  }
  double dLat = 1, dLon = 1;
  if (const auto s = args.Value("step")) {
    const auto pair = apps::ParsePair(*s);
    const auto single = apps::ParseNumber(*s);
    if (pair) {
      dLat = pair->first;
      dLon = pair->second;
    } else if (single) {
      dLat = dLon = *single;
    } else {
      dLat = 0;
    }
    if (!(dLat > 0 && dLat <= 90 && dLon > 0 && dLon <= 180)) {
      throw TUsageError("--step '" + apps::Printable(*s) +
                        "' is not one or two spacings in degrees above 0, e.g. 0.5 or 1,2");
    }
  }
  int width = 800, height = 600;
  if (const auto s = args.Value("size")) {
    const auto size = apps::ParseSize(*s, 100, 10000);
    if (!size || int64_t{size->Width} * size->Height > kMaxMapPixels) {
      throw TUsageError("--size '" + apps::Printable(*s) +
                        "' is not WIDTHxHEIGHT with sides of at least 100 and at most " +
                        std::to_string(kMaxMapPixels) + " pixels in all");
    }
    width = size->Width;
    height = size->Height;
  }

  const std::string xml = ChangeFileExt(name, ".xml");
  const std::string bmp = ChangeFileExt(xml, ".bmp");
  TGeoMap map(nullptr);
  map.SetName("Map");
  map.SetSuppressPaint(true);
  try {
    map.CreateAndLoadEmptyMap(xml, lat.first, lon.first, lat.second, lon.second, dLat, dLon, width,
                              height, nullptr);
  } catch (const std::exception& e) {
    Report(Err, apps::Printable(e.what()));
    return kExitIo;
  }
  if (!FileExists(xml) || !FileExists(bmp)) {
    Report(Err, apps::Printable(xml) + ": the map was not generated");
    return kExitIo;
  }
  // The library stores the grid's limits as the corners, the resolution as
  // 0 and the image by the name it was given. Saved again, the calibration
  // holds the corners and resolution of its fit (an atlas needs the
  // resolution to choose between maps) and names the image without a
  // folder, so that the pair can be moved together.
  map.OnMapImageRequest = [&bmp](TObject*, std::string& FileName) { FileName = bmp; };
  try {
    map.SetMapImgName(ExtractFileName(bmp));
    if (map.MapImgFile().empty()) {
      Report(Err, apps::Printable(bmp) + ": the generated image cannot be read");
      return kExitIo;
    }
    map.SaveCalDataAsXML(xml, "ZYL_geomap_caldata");
  } catch (const std::exception& e) {
    Report(Err, apps::Printable(e.what()));
    return kExitIo;
  }
  Out << apps::Printable(xml) << " and " << apps::Printable(bmp) << "\n";
  PrintCalibration(Out, map.Calibration(), map.MapImgFile());
  return kExitOk;
}

}  // namespace marovia::geomaptool
