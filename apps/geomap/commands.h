// The commands of the geomap tool. Each takes the arguments after its name
// and answers an exit status of geomap_cli.h; messages go to err as
// "geomap: <text>", one line each.
#pragma once

#include <iosfwd>
#include <span>
#include <string>

namespace marovia::geomaptool {

int RunRender(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err);
int RunInfo(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err);
int RunCalibrate(std::span<const std::string> Args, std::istream& In, std::ostream& Out,
                 std::ostream& Err);
// Reads LAT LON (or with --to-geo X Y) lines from In, writes one line per
// converted input.
int RunConvert(std::span<const std::string> Args, std::istream& In, std::ostream& Out,
               std::ostream& Err);
int RunGenerate(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err);
int RunPrint(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err);
// Calibrations from and to other software's formats.
int RunImport(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err);
int RunExport(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err);
// Web map tiles of a map or an atlas folder (cmd_tiles.cpp).
int RunTiles(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err);
// geomap tiles merge FRAGMENT... -o ARCHIVE, geomap tiles verify ARCHIVE
// FOLDER (cmd_tiles_merge.cpp).
int RunTilesMerge(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err);
int RunTilesVerify(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err);
// The maps of a folder that cover a place, finest first (cmd_find.cpp).
int RunFind(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err);
// Contents and statistics of track files (cmd_track.cpp).
int RunTrack(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err);

// Calibrates scans in the browser: an HTTP server and its page
// (cmd_serve.cpp); serves until the process is stopped.
int RunServe(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err);

// One line on Err: "geomap: " and the text.
void Report(std::ostream& Err, const std::string& Text);

}  // namespace marovia::geomaptool
