// geomap tiles: web map tiles of a calibrated map or of a whole atlas
// folder, into a directory (with a page that shows them), an MBTiles or a
// PMTiles file. The maps are an atlas index opened as map sources; the
// numbering, parts, threads and resuming are the library's tile job
// (tile_job.h). A part (--part, or a scheduler's variables) writes a
// fragment and its manifest (tile_manifest.h); "tiles merge" and "tiles
// verify" are in cmd_tiles_merge.cpp.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <ostream>
#include <tuple>

#include "arguments.h"
#include "cli_text.h"
#include "commands.h"
#include "folder_tree.h"
#include "geomap_cli.h"
#include "map_view.h"
#include "marovia/geoatlas/atlas_index.h"
#include "marovia/geoatlas/tile_job.h"
#include "marovia/geoatlas/tile_page.h"
#include "marovia/geodb/geodb.h"
#include "marovia/geomap/map_folder.h"
#include "marovia/geomap/map_import.h"
#include "marovia/geomap/tile_archive.h"
#include "marovia/geomap/tile_manifest.h"
#include "marovia/geomap/track_files.h"
#include "marovia/platform/files.h"
#include "marovia/platform/strutils.h"
#include "render_source.h"
#include "scheduler_part.h"

namespace marovia::geomaptool {

namespace {

const TOptionDef kOptions[] = {
    {"output", 'o', true},   {"zoom", 0, true},      {"format", 0, true}, {"jobs", 0, true},
    {"part", 0, true},       {"resume", 0, false},   {"force", 0, false}, {"exact", 0, false},
    {"max-pixels", 0, true}, {"no-dedup", 0, false}, {"bands", 0, true},  {"stretch", 0, true},
    {"parts", 0, true},      {"tree", 0, false},     {"track", 0, true},  {"db", 0, true}};

constexpr int64_t kMaxTilesWithoutForce = 10'000'000;

std::optional<std::pair<int, int>> ParseTwoInts(const std::string& Text, char Sep) {
  const size_t at = Text.find(Sep);
  if (at == std::string::npos || at == 0 || at + 1 >= Text.size()) return std::nullopt;
  try {
    size_t n1 = 0, n2 = 0;
    const int a = std::stoi(Text.substr(0, at), &n1);
    const int b = std::stoi(Text.substr(at + 1), &n2);
    if (n1 != at || n2 != Text.size() - at - 1) return std::nullopt;
    return std::pair{a, b};
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// The name of a folder or file without its extension ("atlas" for
// "maps/atlas/").
std::string SetName(const std::string& Path) {
  std::filesystem::path p = std::filesystem::path(Path).lexically_normal();
  if (p.filename().empty()) p = p.parent_path();
  return p.stem().string();
}

struct TTilesRun {
  std::string Input;
  std::vector<std::string> Tracks;     // shown on a directory's page
  std::vector<std::string> Databases;  // likewise
  std::string Output;
  TTileStoreKind Kind = TTileStoreKind::Directory;
  std::optional<std::string> Zoom;
  bool Force = false;
  bool Deduplicate = true;
  TTileJobOptions Job;
  TMapSourceOptions Sources;
  std::string Scheduler;  // where the part came from, when not --part
  bool Tree = false;      // a folder's whole tree of calibrations
};

// Raises TUsageError for anything missing or wrong.
TTilesRun ParseOptions(std::span<const std::string> Args) {
  const TArguments args(Args, kOptions);
  if (args.Positional().size() != 1)
    throw TUsageError("tiles needs one calibration file or atlas folder");
  TTilesRun run;
  run.Input = args.Positional()[0];
  const auto output = args.Value("output");
  if (!output || output->empty()) throw TUsageError("tiles needs -o OUTPUT");
  run.Output = *output;
  if (const auto f = args.Value("format")) {
    if (*f == "jpg" || *f == "jpeg")
      run.Job.Format = TTileFormat::Jpeg;
    else if (*f != "png")
      throw TUsageError("--format '" + apps::Printable(*f) + "' is not png or jpg");
  }
  run.Job.Threads = args.Integer("jobs", 1, 256).value_or(0);
  if (const auto p = args.Value("part")) {
    const auto kn = ParseTwoInts(*p, '/');
    if (!kn || kn->second < 1 || kn->first < 1 || kn->first > kn->second)
      throw TUsageError("--part '" + apps::Printable(*p) + "' is not K/N with 1 <= K <= N");
    run.Job.Part = kn->first;
    run.Job.Parts = kn->second;
  } else if (const auto part = PartFromScheduler([](const char* Name) { return std::getenv(Name); },
                                                 args.Integer("parts", 1, 1'000'000))) {
    run.Job.Part = part->Part;
    run.Job.Parts = part->Parts;
    run.Scheduler = part->Source;
  }
  run.Job.Resume = args.Has("resume");
  run.Job.Exact = args.Has("exact");
  run.Kind = TileStoreKindOf(run.Output);
  if (run.Job.Resume && run.Kind == TTileStoreKind::PMTiles)
    throw TUsageError("--resume works with a directory or an .mbtiles file, not .pmtiles");
  run.Zoom = args.Value("zoom");
  run.Tree = args.Has("tree");
  run.Force = args.Has("force");
  run.Deduplicate = !args.Has("no-dedup");
  run.Sources = SourceOptionsFromArguments(args);
  // The parts of a job each need a share of the same maps: through the
  // pyramid cache (XDG_CACHE_HOME, shared by the tasks when it is on a
  // shared disk) each image is decoded once for all of them.
  run.Sources.CacheSmallPyramids = run.Job.Parts > 1;
  run.Tracks = args.Values("track");
  run.Databases = args.Values("db");
  return run;
}

// The levels of --zoom, else the maps' own; TUsageError for a bad range.
std::pair<int, int> Levels(const TTilesRun& Run, const TAtlasTiles& Tiles) {
  if (!Run.Zoom) return {Tiles.DefaultMinZoom(), Tiles.DefaultMaxZoom()};
  const std::string& z = *Run.Zoom;
  int minZoom = -1, maxZoom = -1;
  if (const auto range = ParseTwoInts(z, '-')) {
    std::tie(minZoom, maxZoom) = *range;
  } else {
    try {
      size_t n = 0;
      const int single = std::stoi(z, &n);
      if (n == z.size()) minZoom = maxZoom = single;
    } catch (const std::exception&) {
    }
  }
  if (minZoom < 0 || maxZoom > kMaxWebZoom || minZoom > maxZoom)
    throw TUsageError("--zoom '" + apps::Printable(z) + "' is not MIN-MAX within 0-" +
                      std::to_string(kMaxWebZoom));
  return {minZoom, maxZoom};
}

// The maps of the input (a calibration file, another program's map file or
// an atlas folder), with their landmark files; problems reported.
TAtlasTiles OpenMaps(const TTilesRun& Run, std::vector<std::string>& LandmarkFiles,
                     std::ostream& Err, int& Status) {
  std::vector<std::string> problems;
  TAtlasIndex index;
  std::error_code ec;
  if (std::filesystem::is_directory(Run.Input, ec) || !IsImportableMapFile(Run.Input) ||
      SameText(ExtractFileExt(Run.Input), ".xml")) {
    const TMapFiles files =
        ScanMapFiles(Run.Tree ? FolderTrees({Run.Input}) : std::vector<std::string>{Run.Input});
    problems = files.Problems;
    LandmarkFiles = files.LandmarkFiles;
    index = TAtlasIndex::FromFiles(files.Calibrations, problems);
  } else {
    try {
      index.Add(TAtlasIndex::MapOf(OpenMapArgument(Run.Input, Run.Sources)));
    } catch (const std::exception& e) {
      problems.push_back(e.what());
    }
  }
  TAtlasTiles tiles(index, Run.Sources, problems);
  for (const std::string& p : problems) Report(Err, apps::Printable(p));
  if (!problems.empty()) Status = kExitBadInput;
  return tiles;
}

// The items of an item database as track data for the page: towns as
// waypoints, lakes and closed items as polygons, the others as lines.
TTrackData DatabaseAsTracks(const std::string& Base) {
  TGeoDB db(nullptr);
  db.SetReadOnly(true);
  db.SetDBName(Base);
  TTrackData out;
  out.Source = Base;
  for (int e = 1; e <= db.NumEntries(); ++e) {
    const TgdbData d = db.Data(e);
    if (d.ItemKind == gitTown) {
      TWaypoint w;
      w.Name = d.Name.Text();
      w.Lat = d.LatLow;
      w.Lon = d.LongLow;
      out.Waypoints.push_back(w);
      continue;
    }
    TgdbPolygon points;
    if (!IsPolygonKind(d.ItemKind) || !db.RetrievePolygon(e, points) || points.empty()) continue;
    TShape shape;
    shape.Name = d.Name.Text();
    shape.Type = ItemKindName(d.ItemKind);
    const bool area = d.ItemKind == gitLake || (d.ItemKind == gitCity && d.Closed);
    shape.Kind = area && points.size() >= 3 ? TShapeKind::Polygon : TShapeKind::Line;
    TShapePart part;
    part.Points.Begin = out.Points.Size();
    for (const TSCoords& c : points) out.Points.Append(c.Latit, c.Longit);
    if (shape.Kind == TShapeKind::Polygon || d.Closed)
      out.Points.Append(points.front().Latit, points.front().Longit);
    part.Points.End = out.Points.Size();
    shape.Parts.push_back(part);
    out.Shapes.push_back(shape);
  }
  db.SetDBName("");
  return out;
}

// Completes the store and, for a directory, writes its page.
int Finish(const TTilesRun& Run, std::unique_ptr<TTileStore> Store, const TAtlasTiles& Tiles,
           const std::vector<std::string>& LandmarkFiles, const TTrackData& Tracks,
           const TTileSetInfo& Info, std::ostream& Err, int Status) {
  try {
    Store->Finish();
    Store.reset();
    if (Run.Kind == TTileStoreKind::Directory) {
      std::vector<std::string> pageProblems;
      WriteTilePage(Run.Output, Tiles, LandmarkFiles, Info, pageProblems, &Tracks);
      for (const std::string& p : pageProblems) Report(Err, apps::Printable(p));
      if (!pageProblems.empty()) Status = std::max(Status, kExitBadInput);
    }
  } catch (const std::exception& e) {
    Report(Err, apps::Printable(e.what()));
    return kExitIo;
  }
  return Status;
}

// Where a part writes its tiles until it is complete: an .mbtiles fragment
// under a name of its own, renamed when whole (a .pmtiles store does the
// same inside, a directory's tiles are each whole).
std::string WorkingName(const TTilesRun& Run) {
  const std::string fragment = FragmentName(Run.Output, Run.Job.Part, Run.Job.Parts);
  return Run.Kind == TTileStoreKind::MBTiles ? fragment + ".incomplete" : fragment;
}

// Whether the part was completed by an earlier run of the same job: its
// manifest and fragment are there and the manifest is this part's.
bool CompleteAlready(const TTilesRun& Run, const TTileJob& Job, uint64_t Fingerprint,
                     std::ostream& Out) {
  const std::string manifest = ManifestName(Run.Output, Run.Job.Part, Run.Job.Parts);
  std::error_code ec;
  if (!std::filesystem::exists(manifest, ec) ||
      !std::filesystem::exists(FragmentName(Run.Output, Run.Job.Part, Run.Job.Parts), ec))
    return false;
  try {
    const TTileManifest m = TTileManifest::Read(manifest);
    if (m.Job != Fingerprint || m.Part != Run.Job.Part || m.Parts != Run.Job.Parts ||
        std::pair{m.FirstId, m.EndId} != Job.PartIds(m.Part, m.Parts))
      return false;
    Out << "0 tiles written, part " << m.Part << "/" << m.Parts << " is complete already ("
        << m.Tiles.size() << " tiles in " << apps::Printable(m.Fragment) << ")\n";
    return true;
  } catch (const std::exception&) {
    return false;  // a damaged manifest: the part is made again
  }
}

}  // namespace

int RunTiles(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err) {
  if (!Args.empty() && Args[0] == "merge") return RunTilesMerge(Args.subspan(1), Out, Err);
  if (!Args.empty() && Args[0] == "verify") return RunTilesVerify(Args.subspan(1), Out, Err);
  const TTilesRun run = ParseOptions(Args);
  int status = kExitOk;
  std::vector<std::string> landmarkFiles;
  const TAtlasTiles tiles = OpenMaps(run, landmarkFiles, Err, status);
  if (tiles.MapCount() == 0) {
    Report(Err, apps::Printable(run.Input) + ": no map to make tiles of");
    return kExitBadInput;
  }
  // The tracks go on the page as vector layers, over the tiles.
  TTrackData tracks;
  for (const std::string& file : run.Tracks) {
    try {
      tracks.Append(ReadTrackFile(file));
    } catch (const std::exception& e) {
      const std::string what = e.what();
      Report(Err,
             apps::Printable(what.find(file) != std::string::npos ? what : file + ": " + what));
      status = kExitBadInput;
    }
  }
  for (const std::string& base : run.Databases) {
    try {
      tracks.Append(DatabaseAsTracks(base));
    } catch (const std::exception& e) {
      const std::string what = e.what();
      Report(Err,
             apps::Printable(what.find(base) != std::string::npos ? what : base + ": " + what));
      status = kExitBadInput;
    }
  }
  if ((!run.Tracks.empty() || !run.Databases.empty()) && run.Kind != TTileStoreKind::Directory)
    Report(Err, "warning: --track and --db are shown on the page of a tile directory only");
  const auto [minZoom, maxZoom] = Levels(run, tiles);
  const TTileJob job(tiles, minZoom, maxZoom);
  if (job.Total() > kMaxTilesWithoutForce && !run.Force) {
    Report(Err, "levels " + std::to_string(minZoom) + "-" + std::to_string(maxZoom) + " make " +
                    std::to_string(job.Total()) +
                    " tiles, more than 10 million: choose fewer levels with --zoom, or pass "
                    "--force");
    return kExitUsage;
  }

  TTileSetInfo info;
  info.Name =
      tiles.MapCount() == 1 ? tiles.Maps()[0]->Calibration().Data().Caption : SetName(run.Input);
  if (info.Name.empty()) info.Name = "marovia tiles";
  info.Format = run.Job.Format;
  info.Bounds = tiles.Bounds();
  info.MinZoom = minZoom;
  info.MaxZoom = maxZoom;
  info.Deduplicate = run.Deduplicate;
  const bool sharded = run.Job.Parts > 1;
  const uint64_t fingerprint = sharded ? TileJobFingerprint(job, run.Job, run.Deduplicate) : 0;
  if (sharded && CompleteAlready(run, job, fingerprint, Out)) return status;
  std::unique_ptr<TTileStore> store;
  try {
    if (sharded && run.Kind != TTileStoreKind::Directory) {
      // The tasks of a cluster share the output's folder; the first makes it.
      const auto folder = std::filesystem::path(run.Output).parent_path();
      std::error_code ec;
      if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    }
    if (!sharded)
      store = OpenTileStore(run.Output, info, run.Job.Resume);
    else if (run.Kind == TTileStoreKind::MBTiles)
      store = OpenMBTilesStore(WorkingName(run), info, run.Job.Resume);
    else
      store = OpenTileStore(WorkingName(run), info, run.Job.Resume);
  } catch (const std::exception& e) {
    Report(Err, apps::Printable(e.what()));
    return kExitIo;
  }

  const TTileJobResult result = job.Run(*store, run.Job);
  // Maps whose pixels turned out not to decode were left out of the tiles.
  for (const std::string& p : tiles.Problems()) {
    Report(Err, apps::Printable(p) + "; the map is left out");
    status = kExitBadInput;
  }
  if (!result.Error.empty()) {
    Report(Err, apps::Printable(result.Error));
    Report(Err, std::string(result.DiskFull ? "the disk is full: " : "") + "stopped after " +
                    std::to_string(result.Written) +
                    " tiles; every tile written is whole (run again with --resume to go on)");
    return kExitIo;
  }
  status = Finish(run, std::move(store), tiles, landmarkFiles, tracks, info, Err, status);
  if (status == kExitIo) return status;
  if (sharded) {
    const std::string fragment = FragmentName(run.Output, run.Job.Part, run.Job.Parts);
    const std::string manifest = ManifestName(run.Output, run.Job.Part, run.Job.Parts);
    try {
      if (WorkingName(run) != fragment) std::filesystem::rename(WorkingName(run), fragment);
      PartManifest(job, run.Job.Part, run.Job.Parts, fingerprint, fragment).Write(manifest);
    } catch (const std::exception& e) {
      Report(Err, apps::Printable(e.what()));
      return kExitIo;
    }
  }
  Out << result.Written << " tiles written";
  if (run.Job.Resume) Out << ", " << result.Kept << " kept";
  Out << ", levels " << minZoom << "-" << maxZoom;
  if (run.Job.Parts > 1) Out << ", part " << run.Job.Part << "/" << run.Job.Parts;
  if (!run.Scheduler.empty()) Out << " (" << run.Scheduler << ")";
  Out << " (" << result.Places << " of " << job.Total() << " tile places, " << result.Empty
      << " without map)\n";
  if (sharded)
    Out << "fragment " << apps::Printable(FragmentName(run.Output, run.Job.Part, run.Job.Parts))
        << ", manifest " << apps::Printable(ManifestName(run.Output, run.Job.Part, run.Job.Parts))
        << "\n";
  return status;
}

}  // namespace marovia::geomaptool
