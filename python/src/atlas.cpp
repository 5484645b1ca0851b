// Atlases and web tiles from Python: the atlas index of calibration files
// and folders (which map covers a place, finest first), and web tiles of a
// map or an atlas made by the library's tile job.
//
// An Atlas is immutable once made; its queries may run from any thread.
// Making tiles releases the GIL while the worker threads run.
#include <pybind11/stl.h>

#include <filesystem>
#include <optional>

#include "bindings.h"
#include "errors.h"
#include "marovia/geoatlas/atlas_index.h"
#include "marovia/geoatlas/tile_job.h"
#include "marovia/geoatlas/tile_page.h"
#include "marovia/geomap/map_folder.h"
#include "marovia/geomap/map_import.h"
#include "marovia/geomap/tile_manifest.h"
#include "marovia/geomap/tile_store.h"
#include "marovia/platform/files.h"
#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"

namespace py = pybind11;

namespace marovia::python {

namespace {

std::string FileSystemPath(py::handle Path) {
  return py::module_::import("os").attr("fspath")(Path).cast<std::string>();
}

void Warn(const std::vector<std::string>& Problems) {
  if (Problems.empty()) return;
  std::string text;
  for (const std::string& p : Problems) text += (text.empty() ? "" : "\n") + p;
  PyErr_WarnEx(PyExc_RuntimeWarning, text.c_str(), 1);
}

// The maps of paths: calibration files and folders of them, each read with
// its image's header; files that cannot be used are reported as a warning.
struct TMaps {
  TAtlasIndex Index;
  std::vector<std::string> LandmarkFiles;
};

TMaps ReadMaps(const std::vector<std::string>& Paths) {
  TMaps maps;
  std::vector<std::string> problems;
  // Another program's map file stands for itself, imported.
  if (Paths.size() == 1 && !std::filesystem::is_directory(Paths[0]) &&
      IsImportableMapFile(Paths[0]) && !SameText(ExtractFileExt(Paths[0]), ".xml")) {
    maps.Index.Add(TAtlasIndex::MapOf(OpenMapFile(Paths[0])));
    return maps;
  }
  const TMapFiles files = ScanMapFiles(Paths);
  problems = files.Problems;
  maps.LandmarkFiles = files.LandmarkFiles;
  maps.Index = TAtlasIndex::FromFiles(files.Calibrations, problems);
  Warn(problems);
  return maps;
}

std::vector<std::string> PathList(py::handle Paths) {
  if (py::isinstance<py::str>(Paths) || py::hasattr(Paths, "__fspath__"))
    return {FileSystemPath(Paths)};
  std::vector<std::string> out;
  for (py::handle p : Paths) out.push_back(FileSystemPath(p));
  return out;
}

class TPyAtlas {
 public:
  explicit TPyAtlas(py::handle Paths) : maps_(ReadMaps(PathList(Paths))) {}

  size_t Size() const { return maps_.Index.Count(); }

  // (file, caption, resolution, image, (west, south, east, north)) of map i.
  py::tuple Map(size_t I) const {
    if (I >= Size()) throw py::index_error("no map " + std::to_string(I));
    const TAtlasMap& m = maps_.Index[I];
    return py::make_tuple(
        m.File, m.Caption, m.Resolution, m.ImageFile,
        py::make_tuple(m.Bounds.West, m.Bounds.South, m.Bounds.East, m.Bounds.North));
  }

  std::vector<size_t> Covering(double Lat, double Lon) const {
    Check(Lat, Lon);
    return maps_.Index.Covering(Lat, Lon);
  }
  std::optional<size_t> BestAt(double Lat, double Lon) const {
    Check(Lat, Lon);
    return maps_.Index.BestAt(Lat, Lon);
  }
  std::optional<size_t> Finer(double Lat, double Lon, double Resolution, double MinStep) const {
    Check(Lat, Lon);
    return maps_.Index.Finer(Lat, Lon, Resolution, MinStep);
  }
  std::optional<size_t> Coarser(double Lat, double Lon, double Resolution) const {
    Check(Lat, Lon);
    return maps_.Index.Coarser(Lat, Lon, Resolution);
  }

  const TMaps& Maps() const { return maps_; }

 private:
  static void Check(double Lat, double Lon) {
    if (!(Lat >= -90 && Lat <= 90 && Lon >= -180 && Lon <= 180))
      throw py::value_error("a position needs latitude -90..90 and longitude -180..180");
  }
  TMaps maps_;
};

// Whether part Part of Parts was completed by an earlier run of the same
// job: its manifest and fragment are there, and the manifest is this
// part's of this job.
bool PartCompleteAlready(const std::string& Output, const TTileJob& Job, int Part, int Parts,
                         uint64_t Fingerprint) {
  const std::string manifest = ManifestName(Output, Part, Parts);
  std::error_code ec;
  if (!std::filesystem::exists(manifest, ec) ||
      !std::filesystem::exists(FragmentName(Output, Part, Parts), ec))
    return false;
  try {
    const TTileManifest m = TTileManifest::Read(manifest);
    return m.Job == Fingerprint && m.Part == Part && m.Parts == Parts &&
           std::pair{m.FirstId, m.EndId} == Job.PartIds(Part, Parts);
  } catch (const std::exception&) {
    return false;  // a damaged manifest: the part is made again
  }
}

// Web tiles of the atlas into Output (a directory with its page, .mbtiles
// or .pmtiles); answers (written, empty places, min zoom, max zoom). Part
// Part of Parts (Parts > 1) writes the part's fragment and manifest beside
// Output as the geomap tool does, and makes nothing when an earlier run
// completed it.
py::tuple MakeTiles(const TPyAtlas& Atlas, py::handle OutputArg, py::object Zoom,
                    const std::string& Format, int Jobs, bool Exact, bool Dedup, int Part,
                    int Parts) {
  const std::string output = FileSystemPath(OutputArg);
  if (Format != "png" && Format != "jpg") throw py::value_error("format must be 'png' or 'jpg'");
  if (Parts < 1 || Part < 1 || Part > Parts)
    throw py::value_error("part must be (k, n) with 1 <= k <= n");
  const bool sharded = Parts > 1;
  std::vector<std::string> problems;
  TMapSourceOptions sources;
  // The parts each need a share of the same maps: through the pyramid
  // cache each image is decoded once for all of them.
  sources.CacheSmallPyramids = sharded;
  const TAtlasTiles tiles(Atlas.Maps().Index, sources, problems);
  Warn(problems);
  if (tiles.MapCount() == 0) ThrowMapError("no map to make tiles of");
  int z0 = tiles.DefaultMinZoom(), z1 = tiles.DefaultMaxZoom();
  if (!Zoom.is_none()) {
    std::tie(z0, z1) = Zoom.cast<std::pair<int, int>>();
    if (z0 < 0 || z1 > kMaxWebZoom || z0 > z1)
      throw py::value_error("zoom must be (min, max) within 0.." + std::to_string(kMaxWebZoom));
  }
  TTileSetInfo info;
  info.Name = tiles.MapCount() == 1 ? tiles.Maps()[0]->Calibration().Data().Caption : "atlas";
  info.Format = Format == "png" ? TTileFormat::Png : TTileFormat::Jpeg;
  info.Bounds = tiles.Bounds();
  info.MinZoom = z0;
  info.MaxZoom = z1;
  info.Deduplicate = Dedup;
  TTileJobOptions options;
  options.Threads = Jobs;
  options.Exact = Exact;
  options.Format = info.Format;
  options.Part = Part;
  options.Parts = Parts;
  const TTileJob job(tiles, z0, z1);
  const TTileStoreKind kind = TileStoreKindOf(output);
  const uint64_t fingerprint = sharded ? TileJobFingerprint(job, options, Dedup) : 0;
  if (sharded && PartCompleteAlready(output, job, Part, Parts, fingerprint))
    return py::make_tuple(0, 0, z0, z1);
  // A part's fragment; an .mbtiles one under a name of its own until whole
  // (a .pmtiles store renames its own, a directory's tiles are each whole).
  const std::string fragment = sharded ? FragmentName(output, Part, Parts) : output;
  const std::string working =
      sharded && kind == TTileStoreKind::MBTiles ? fragment + ".incomplete" : fragment;
  TTileJobResult result;
  std::vector<std::string> pageProblems;
  {
    py::gil_scoped_release unlocked;
    if (sharded && kind != TTileStoreKind::Directory) {
      // The tasks of a cluster share the output's folder; the first makes it.
      std::error_code ec;
      const auto folder = std::filesystem::path(output).parent_path();
      if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    }
    const auto store = kind == TTileStoreKind::MBTiles ? OpenMBTilesStore(working, info, false)
                                                       : OpenTileStore(working, info, false);
    result = job.Run(*store, options);
    if (result.Error.empty()) {
      store->Finish();
      if (kind == TTileStoreKind::Directory)
        WriteTilePage(output, tiles, Atlas.Maps().LandmarkFiles, info, pageProblems);
      if (sharded) {
        if (working != fragment) std::filesystem::rename(working, fragment);
        PartManifest(job, Part, Parts, fingerprint, fragment)
            .Write(ManifestName(output, Part, Parts));
      }
    }
  }
  if (!result.Error.empty())
    throw EInOutError(
        output, result.Error + " (stopped after " + std::to_string(result.Written) + " tiles)");
  std::vector<std::string> all = tiles.Problems();
  all.insert(all.end(), pageProblems.begin(), pageProblems.end());
  Warn(all);
  return py::make_tuple(result.Written, result.Empty, z0, z1);
}

}  // namespace

void RegisterAtlas(py::module_& m) {
  using py::arg;
  py::class_<TPyAtlas>(m, "Atlas",
                       R"(The maps of calibration files and folders of them, read from their
calibrations and their images' headers (no image is decoded). Maps are
numbered from 0 in the order found (a folder's files sorted by name). A map
covers a position inside its border, or else inside its four corners; of
several, the finest (fewest metres per pixel) is the best. Immutable once
made.)")
      .def(py::init<py::handle>(), arg("paths"),
           "Reads a calibration file, a folder of them, or a list of either; another "
           "program's map file (a GeoTIFF, a .map file, ...) is imported. Files that "
           "cannot be used are left out with a RuntimeWarning.")
      .def("__len__", &TPyAtlas::Size)
      .def("map", &TPyAtlas::Map, arg("index"),
           "(calibration file, caption, resolution in metres per pixel, image file, "
           "(west, south, east, north) in degrees; west > east across 180).")
      .def("covering", &TPyAtlas::Covering, arg("lat"), arg("lon"),
           "The maps that cover a position, finest first.")
      .def("best_at", &TPyAtlas::BestAt, arg("lat"), arg("lon"),
           "The finest map that covers a position, or None.")
      .def("finer", &TPyAtlas::Finer, arg("lat"), arg("lon"), arg("resolution"),
           arg("min_step_percent") = 0.0,
           "The coarsest map covering the position that is more than min_step_percent "
           "finer than resolution, or None.")
      .def("coarser", &TPyAtlas::Coarser, arg("lat"), arg("lon"), arg("resolution"),
           "The finest map covering the position that is coarser than resolution, or None.");
  m.def("_make_tiles", &MakeTiles, arg("atlas"), arg("output"), arg("zoom"), arg("format"),
        arg("jobs"), arg("exact"), arg("dedup"), arg("part"), arg("parts"));
}

}  // namespace marovia::python
