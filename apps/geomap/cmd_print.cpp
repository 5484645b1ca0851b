// geomap print: a view of a map (or of the atlas map that covers it best)
// printed to a one-page PDF file.
#include <algorithm>
#include <cmath>
#include <ostream>
#include <vector>

#include "arguments.h"
#include "cli_text.h"
#include "commands.h"
#include "geomap_cli.h"
#include "map_view.h"
#include "marovia/geomap/print_page.h"
#include "marovia/platform/strutils.h"
#include "render_source.h"

namespace marovia::geomaptool {

namespace {

// Screen pixels per inch: a view printed at magnification M shows the map
// as large as a screen would at M.
constexpr int kScreenDpi = 96;

struct TPaper {
  const char* Name;
  double Width, Height;  // millimetres, portrait
};
constexpr TPaper kPapers[] = {{"a4", 210, 297}, {"a3", 297, 420}, {"letter", 215.9, 279.4}};

}  // namespace

int RunPrint(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err) {
  std::vector<TOptionDef> options(std::begin(kViewOptions), std::end(kViewOptions));
  options.push_back({"output", 'o', true});
  options.push_back({"landmarks", 0, true});
  options.push_back({"track", 0, true});
  options.push_back({"db", 0, true});
  options.push_back({"paper", 0, true});
  options.push_back({"landscape", 0, false});
  options.push_back({"dpi", 0, true});
  const TArguments args(Args, options);
  if (args.Positional().size() != 1) {
    throw TUsageError("print needs one calibration file or atlas folder");
  }
  if (args.Has("size")) throw TUsageError("print takes its size from the page: no --size");
  const auto output = args.Value("output");
  if (!output) throw TUsageError("print needs -o FILE.pdf");
  if (LowerCase(ExtractFileExt(*output)) != ".pdf") {
    throw TUsageError("-o '" + apps::Printable(*output) + "' needs the extension .pdf");
  }
  TPrintJob job;
  job.FileName = *output;
  job.Dpi = args.Integer("dpi", 72, 600).value_or(150);
  job.Landscape = args.Has("landscape");
  job.DotsPerViewPixel = job.Dpi / static_cast<double>(kScreenDpi);
  if (const auto paper = args.Value("paper")) {
    const TPaper* found = nullptr;
    for (const TPaper& p : kPapers)
      if (SameText(*paper, p.Name)) found = &p;
    if (!found)
      throw TUsageError("--paper '" + apps::Printable(*paper) + "' is not a4, a3 or letter");
    job.PaperWidth = found->Width;
    job.PaperHeight = found->Height;
  }
  // The view is the printable area as a screen would show it.
  TViewRequest view = ViewFromArguments(args);
  const TPoint area = PrintableArea(job);
  view.Width = std::max(16, area.X * kScreenDpi / job.Dpi);
  view.Height = std::max(16, area.Y * kScreenDpi / job.Dpi);

  int status = kExitOk;
  TGeoMap map(nullptr);
  const auto source = PrepareRenderedMap(args, view, map, Err, status);
  if (!source) return status;
  const TRect window = ViewWindowOnImage(map);
  try {
    PrintMapWindow(map, window, job);
  } catch (const std::exception& e) {
    Report(Err, apps::Printable(e.what()));
    return kExitIo;
  }
  Out << apps::Printable(*output) << ": " << window.Width() << " x " << window.Height()
      << " map pixels of " << apps::Printable(SourceName(*source)) << " ("
      << apps::Printable(map.Caption()) << ")\n";
  return status;
}

}  // namespace marovia::geomaptool
