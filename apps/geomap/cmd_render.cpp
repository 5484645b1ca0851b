// geomap render: one view of a calibrated map, or of the atlas map that
// covers a position best, written as an image file.
#include <ostream>
#include <vector>

#include "arguments.h"
#include "cli_text.h"
#include "commands.h"
#include "geomap_cli.h"
#include "map_view.h"
#include "render_source.h"

namespace marovia::geomaptool {

int RunRender(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err) {
  std::vector<TOptionDef> options(std::begin(kViewOptions), std::end(kViewOptions));
  options.push_back({"output", 'o', true});
  options.push_back({"quality", 0, true});
  options.push_back({"landmarks", 0, true});
  options.push_back({"track", 0, true});
  options.push_back({"db", 0, true});
  const TArguments args(Args, options);
  if (args.Positional().size() != 1) {
    throw TUsageError("render needs one calibration file or atlas folder");
  }
  const auto output = args.Value("output");
  if (!output) throw TUsageError("render needs -o FILE");
  const auto format = ViewImageFormatOf(*output);
  if (!format) {
    throw TUsageError("-o '" + apps::Printable(*output) +
                      "' needs the extension .png, .bmp, .jpg or .jpeg");
  }
  const int quality = args.Integer("quality", 1, 100).value_or(90);
  const TViewRequest view = ViewFromArguments(args);

  int status = kExitOk;
  TGeoMap map(nullptr);
  const auto source = PrepareRenderedMap(args, view, map, Err, status);
  if (!source) return status;

  TBitmap picture;
  CopyTopLeft(map.ComposedView(), view.Width, view.Height, picture);
  try {
    SaveViewImage(picture, *output, *format, quality);
  } catch (const std::exception& e) {
    Report(Err, apps::Printable(e.what()));
    return kExitIo;
  }
  Out << apps::Printable(*output) << ": " << view.Width << " x " << view.Height << " pixels of "
      << apps::Printable(SourceName(*source)) << " (" << apps::Printable(map.Caption())
      << ") at magnification " << apps::Fixed(map.Magnification(), 3) << "\n";
  return status;
}

}  // namespace marovia::geomaptool
