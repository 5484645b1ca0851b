// Checking an archive against the manifests of the fragments it was made of.
#include <algorithm>
#include <filesystem>
#include <map>

#include "marovia/geomap/geomap_error.h"
#include "marovia/geomap/tile_manifest.h"
#include "marovia/geomap/tile_merge.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

namespace {

namespace fs = std::filesystem;

// Lines named per kind of fault before the rest are only counted.
constexpr int64_t kNamedTiles = 10;

std::string TileName(uint64_t Id) {
  const TTileId t = PMTilesTileOf(Id);
  return std::to_string(t.Z) + "/" + std::to_string(t.X) + "/" + std::to_string(t.Y);
}

std::vector<TTileManifest> ReadManifests(const std::string& Folder) {
  std::error_code ec;
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(Folder, ec))
    if (e.path().extension() == ".manifest" && e.is_regular_file())
      files.push_back(e.path().string());
  if (ec) throw EInOutError(Folder, ec.message(), ec.value());
  std::sort(files.begin(), files.end());
  std::vector<TTileManifest> manifests;
  for (const std::string& f : files) manifests.push_back(TTileManifest::Read(f));
  return manifests;
}

// The faults of the manifests as a set: parts of one job, each once,
// adjoining, covering the job.
void CheckParts(std::vector<TTileManifest>& M, std::vector<std::string>& Problems) {
  std::sort(M.begin(), M.end(),
            [](const TTileManifest& a, const TTileManifest& b) { return a.Part < b.Part; });
  const TTileManifest& first = M.front();
  const std::string of = " of " + std::to_string(first.Parts);
  int expected = 1;
  int64_t places = 0;
  for (size_t i = 0; i < M.size(); ++i) {
    const TTileManifest& m = M[i];
    const std::string name = "part " + std::to_string(m.Part) + of;
    if (m.Parts != first.Parts || m.Job != first.Job || m.MinZoom != first.MinZoom ||
        m.MaxZoom != first.MaxZoom || m.JobPlaces != first.JobPlaces) {
      Problems.push_back(m.Fragment + ": of another job than " + first.Fragment);
      continue;
    }
    if (i > 0 && m.Part == M[i - 1].Part) {
      Problems.push_back(name + ": two manifests");
      continue;
    }
    for (; expected < m.Part; ++expected)
      Problems.push_back("part " + std::to_string(expected) + of +
                         ": no manifest (the part is not complete)");
    expected = m.Part + 1;
    places += m.Places;
    const uint64_t start = i == 0 ? PMTilesTileId({m.MinZoom, 0, 0}) : M[i - 1].EndId;
    if (m.Part == 1 || M[i - 1].Part == m.Part - 1)
      if (m.FirstId != start) Problems.push_back(name + ": its tile ids do not follow on");
  }
  for (; expected <= first.Parts; ++expected)
    Problems.push_back("part " + std::to_string(expected) + of +
                       ": no manifest (the part is not complete)");
  if (Problems.empty() &&
      (M.back().EndId != PMTilesTileId({first.MaxZoom + 1, 0, 0}) || places != first.JobPlaces))
    Problems.push_back("the parts do not cover the job's " + std::to_string(first.JobPlaces) +
                       " tile places");
}

}  // namespace

TTileVerifyResult VerifyTileArchive(const std::string& Archive, const std::string& Folder) {
  TTileVerifyResult r;
  std::vector<TTileManifest> manifests = ReadManifests(Folder);
  r.Manifests = static_cast<int>(manifests.size());
  if (manifests.empty()) {
    r.Problems.push_back(Folder + ": no manifest (*.manifest)");
    return r;
  }
  CheckParts(manifests, r.Problems);
  // Every tile listed, by id; parts' ranges do not overlap when the check
  // above passed, and a tile listed twice counts once.
  std::map<uint64_t, const TManifestTile*> listed;
  for (const TTileManifest& m : manifests)
    for (const TManifestTile& t : m.Tiles) listed.emplace(t.Id, &t);
  r.Listed = static_cast<int64_t>(listed.size());

  const std::unique_ptr<TTileArchive> archive = OpenTileArchive(Archive);
  const std::vector<uint64_t> ids = archive->TileIds();
  const auto report = [&](int64_t& Count, const std::string& What, uint64_t Id) {
    if (++Count <= kNamedTiles) r.Problems.push_back(What + " tile " + TileName(Id));
  };
  std::vector<uint8_t> data;
  auto it = listed.begin();
  for (const uint64_t id : ids) {
    for (; it != listed.end() && it->first < id; ++it) report(r.Missing, "missing", it->first);
    if (it == listed.end() || it->first != id) {
      report(r.Extra, "extra", id);
      continue;
    }
    archive->Read(id, data);
    if (data.size() != it->second->Length || TileChecksum(data) != it->second->Checksum)
      report(r.Changed, "changed", id);
    ++it;
  }
  for (; it != listed.end(); ++it) report(r.Missing, "missing", it->first);
  for (const auto& [count, what] : {std::pair{r.Missing, "missing"}, std::pair{r.Extra, "extra"},
                                    std::pair{r.Changed, "changed"}})
    if (count > kNamedTiles)
      r.Problems.push_back("and " + std::to_string(count - kNamedTiles) + " more tiles " + what);
  return r;
}

}  // namespace marovia
