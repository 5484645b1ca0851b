// geomap tiles merge: fragments of a tile job, or archives of separate
// runs, joined into one archive; geomap tiles verify: an archive checked
// against the manifests of its fragments (tile_merge.h).
#include <ostream>

#include "arguments.h"
#include "cli_text.h"
#include "commands.h"
#include "geomap_cli.h"
#include "marovia/geomap/tile_merge.h"
#include "marovia/platform/sysutils.h"

namespace marovia::geomaptool {

namespace {

// An error of the file written (or its temporary files beside it) is I/O;
// one of the files read, bad input.
int ReportError(const std::exception& E, const std::string& Output, std::ostream& Err) {
  Report(Err, apps::Printable(E.what()));
  const auto* io = dynamic_cast<const EInOutError*>(&E);
  return io && io->FileName().starts_with(Output) ? kExitIo : kExitBadInput;
}

}  // namespace

int RunTilesMerge(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err) {
  static const TOptionDef kOptions[] = {{"output", 'o', true}};
  const TArguments args(Args, kOptions);
  if (args.Positional().empty()) throw TUsageError("tiles merge needs the fragments to join");
  const auto output = args.Value("output");
  if (!output || output->empty()) throw TUsageError("tiles merge needs -o ARCHIVE");
  if (TileStoreKindOf(*output) == TTileStoreKind::Directory)
    throw TUsageError("tiles merge writes a .pmtiles or an .mbtiles file, not '" +
                      apps::Printable(*output) + "'");
  try {
    const TTileMergeResult r = MergeTileArchives(args.Positional(), *output);
    Out << r.Tiles << " tiles merged from " << args.Positional().size() << " inputs";
    if (r.Stacked > 0) Out << " (" << r.Stacked << " stacked from several)";
    Out << " into " << apps::Printable(*output) << "\n";
    return kExitOk;
  } catch (const std::exception& e) {
    return ReportError(e, *output, Err);
  }
}

int RunTilesVerify(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err) {
  const TArguments args(Args, {});
  if (args.Positional().size() != 2)
    throw TUsageError("tiles verify needs an archive and the folder of its manifests");
  try {
    const TTileVerifyResult r = VerifyTileArchive(args.Positional()[0], args.Positional()[1]);
    for (const std::string& p : r.Problems) Report(Err, apps::Printable(p));
    Out << r.Listed << " tiles listed by " << r.Manifests << " manifests: " << r.Missing
        << " missing, " << r.Extra << " extra, " << r.Changed << " changed\n";
    return r.Ok() ? kExitOk : kExitBadInput;
  } catch (const std::exception& e) {
    Report(Err, apps::Printable(e.what()));
    return kExitBadInput;
  }
}

}  // namespace marovia::geomaptool
