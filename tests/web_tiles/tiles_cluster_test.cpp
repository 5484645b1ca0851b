// Tiles made in parts as a cluster's tasks make them: the part taken from
// the scheduler's variables, fragments merged into the archive of one run
// and verified, a part complete already left alone; the maps of a
// collection that cover a place.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "arguments.h"
#include "marovia/geomap/tile_archive.h"
#include "run_tool.h"
#include "scheduler_part.h"
#include "support/temp_dir.h"

namespace marovia::geomaptool::test {
namespace {

namespace fs = std::filesystem;
using marovia::test::TempDir;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SchedulerPart, FromSlurmArraysAndKubernetesIndexes) {
  using Env = std::map<std::string, std::string>;
  const struct {
    Env Vars;
    std::optional<int> Parts;
    int Part, Of;  // 0: no part; -1: refused
    const char* Message;
  } rows[] = {
      {{}, std::nullopt, 0, 0, ""},
      {{{"SLURM_ARRAY_TASK_ID", "0"}, {"SLURM_ARRAY_TASK_COUNT", "4"}}, std::nullopt, 1, 4, ""},
      // --array=1-16: numbered from 1.
      {{{"SLURM_ARRAY_TASK_ID", "16"},
        {"SLURM_ARRAY_TASK_MIN", "1"},
        {"SLURM_ARRAY_TASK_MAX", "16"}},
       std::nullopt,
       16,
       16,
       ""},
      // --array=10-40:10 gives 10, 20, 30, 40.
      {{{"SLURM_ARRAY_TASK_ID", "30"},
        {"SLURM_ARRAY_TASK_MIN", "10"},
        {"SLURM_ARRAY_TASK_STEP", "10"},
        {"SLURM_ARRAY_TASK_COUNT", "4"}},
       std::nullopt,
       3,
       4,
       ""},
      {{{"SLURM_ARRAY_TASK_ID", "25"},
        {"SLURM_ARRAY_TASK_MIN", "10"},
        {"SLURM_ARRAY_TASK_STEP", "10"},
        {"SLURM_ARRAY_TASK_COUNT", "4"}},
       std::nullopt,
       -1,
       0,
       "Slurm array task 25 is not one of an array of 4"},
      {{{"SLURM_ARRAY_TASK_ID", "4"}, {"SLURM_ARRAY_TASK_COUNT", "4"}},
       std::nullopt,
       -1,
       0,
       "not one of an array of 4"},
      {{{"SLURM_ARRAY_TASK_ID", "x1"}, {"SLURM_ARRAY_TASK_COUNT", "4"}},
       std::nullopt,
       -1,
       0,
       "SLURM_ARRAY_TASK_ID='x1' is not a whole number"},
      {{{"SLURM_ARRAY_TASK_ID", "2"}}, std::nullopt, -1, 0, "without SLURM_ARRAY_TASK_COUNT"},
      // Slurm's variables win over an index that a pod template left.
      {{{"SLURM_ARRAY_TASK_ID", "1"},
        {"SLURM_ARRAY_TASK_COUNT", "2"},
        {"JOB_COMPLETION_INDEX", "0"}},
       std::nullopt,
       2,
       2,
       ""},
      {{{"JOB_COMPLETION_INDEX", "0"}, {"GEOMAP_PARTS", "16"}}, std::nullopt, 1, 16, ""},
      {{{"JOB_COMPLETION_INDEX", "15"}, {"GEOMAP_PARTS", "2"}}, 16, 16, 16, ""},
      {{{"JOB_COMPLETION_INDEX", "16"}, {"GEOMAP_PARTS", "16"}},
       std::nullopt,
       -1,
       0,
       "JOB_COMPLETION_INDEX 16 is not below the 16 parts"},
      {{{"JOB_COMPLETION_INDEX", "3"}}, std::nullopt, -1, 0, "--parts N or GEOMAP_PARTS"},
      {{{"JOB_COMPLETION_INDEX", "-1"}, {"GEOMAP_PARTS", "4"}},
       std::nullopt,
       -1,
       0,
       "JOB_COMPLETION_INDEX='-1'"},
      {{}, 4, -1, 0, "--parts needs JOB_COMPLETION_INDEX"},
  };
  for (const auto& row : rows) {
    const auto env = [&](const char* Name) -> const char* {
      const auto it = row.Vars.find(Name);
      return it == row.Vars.end() ? nullptr : it->second.c_str();
    };
    try {
      const auto part = PartFromScheduler(env, row.Parts);
      ASSERT_NE(row.Part, -1) << "accepted: " << row.Message;
      EXPECT_EQ(part.has_value(), row.Part != 0);
      if (part) {
        EXPECT_EQ(part->Part, row.Part);
        EXPECT_EQ(part->Parts, row.Of);
      }
    } catch (const TUsageError& e) {
      ASSERT_EQ(row.Part, -1) << e.what();
      EXPECT_NE(std::string(e.what()).find(row.Message), std::string::npos) << e.what();
    }
  }
}

// Sets the variables for the scope, as a pod's environment would.
class TEnvironment {
 public:
  explicit TEnvironment(std::map<std::string, std::string> Vars) : vars_(std::move(Vars)) {
    for (const auto& [name, value] : vars_) ::setenv(name.c_str(), value.c_str(), 1);
  }
  ~TEnvironment() {
    for (const auto& [name, value] : vars_) ::unsetenv(name.c_str());
  }

 private:
  std::map<std::string, std::string> vars_;
};

// The tiles of an archive by id.
std::map<uint64_t, std::vector<uint8_t>> TilesOf(const std::string& File) {
  const auto archive = OpenTileArchive(File);
  std::map<uint64_t, std::vector<uint8_t>> tiles;
  for (const uint64_t id : archive->TileIds()) archive->Read(id, tiles[id]);
  return tiles;
}

TEST(TilesCluster, KubernetesIndexedPodsMergeIntoTheArchiveOfOneRun) {
  TempDir dir;
  auto args = [&](const std::string& Out) {
    return std::vector<std::string>{"tiles", Sample(), "-o", Out, "--zoom", "2-6"};
  };
  const TResult one = RunTool(args(dir.File("one.pmtiles")));
  ASSERT_EQ(one.Status, kExitOk) << one.Err;
  // PMTiles fragments join into the very bytes of one run; MBTiles
  // fragments into its tiles (their bounds went through text).
  for (const std::string kind : {".pmtiles", ".mbtiles"}) {
    const std::string shards = dir.File("shards" + kind), merged = dir.File("merged" + kind);
    const std::string out = shards + "/atlas" + kind;
    for (const int index : {2, 0, 1}) {
      TEnvironment env({{"JOB_COMPLETION_INDEX", std::to_string(index)}, {"GEOMAP_PARTS", "3"}});
      const TResult r = RunTool(args(out));
      ASSERT_EQ(r.Status, kExitOk) << r.Err;
      EXPECT_NE(r.Out.find("part " + std::to_string(index + 1) +
                           "/3 (Kubernetes completion index " + std::to_string(index) + ")"),
                std::string::npos)
          << r.Out;
    }
    std::vector<std::string> fragments;
    for (const auto& e : fs::directory_iterator(shards))
      if (e.path().extension() == kind) fragments.push_back(e.path().string());
    std::sort(fragments.begin(), fragments.end());
    ASSERT_EQ(fragments.size(), 3u);
    EXPECT_EQ(fs::path(fragments[1]).filename(), "atlas.part-2-of-3" + kind);

    // A pod run again after it completed makes nothing.
    {
      TEnvironment env({{"JOB_COMPLETION_INDEX", "1"}, {"GEOMAP_PARTS", "3"}});
      const auto before = fs::last_write_time(fragments[1]);
      const TResult again = RunTool(args(out));
      EXPECT_EQ(again.Status, kExitOk);
      EXPECT_NE(again.Out.find("part 2/3 is complete already"), std::string::npos) << again.Out;
      EXPECT_EQ(fs::last_write_time(fragments[1]), before);
    }

    std::vector<std::string> merge = {"tiles", "merge"};
    merge.insert(merge.end(), fragments.begin(), fragments.end());
    merge.insert(merge.end(), {"-o", merged});
    const TResult m = RunTool(merge);
    ASSERT_EQ(m.Status, kExitOk) << m.Err;
    if (kind == ".pmtiles") {
      EXPECT_TRUE(ReadAll(merged) == ReadAll(dir.File("one.pmtiles")));
    }
    EXPECT_TRUE(TilesOf(merged) == TilesOf(dir.File("one.pmtiles")));
    const TResult verified = RunTool({"tiles", "verify", merged, shards});
    EXPECT_EQ(verified.Status, kExitOk) << verified.Err;
    EXPECT_NE(verified.Out.find("0 missing, 0 extra, 0 changed"), std::string::npos);
  }

  // A part's manifest lost: verify names the part and the tiles it finds
  // extra.
  const std::string shards = dir.File("shards.pmtiles");
  const std::string third = shards + "/atlas.part-3-of-3.pmtiles";
  fs::remove(third + ".manifest");
  const TResult lost = RunTool({"tiles", "verify", dir.File("merged.pmtiles"), shards});
  EXPECT_EQ(lost.Status, kExitBadInput);
  EXPECT_NE(lost.Err.find("part 3 of 3: no manifest"), std::string::npos) << lost.Err;
  EXPECT_NE(lost.Err.find("extra tile"), std::string::npos) << lost.Err;

  const struct {
    std::vector<std::string> Args;
    int Status;
    const char* Message;
  } rows[] = {
      {{"tiles", "merge", third}, kExitUsage, "-o ARCHIVE"},
      {{"tiles", "merge", third, "-o", dir.File("dir")}, kExitUsage, "not '"},
      {{"tiles", "merge", dir.File("none.pmtiles"), "-o", dir.File("m.pmtiles")},
       kExitBadInput,
       "none.pmtiles"},
      {{"tiles", "merge", shards + "/atlas.part-1-of-3.pmtiles.manifest", "-o",
        dir.File("m.pmtiles")},
       kExitBadInput,
       "manifest"},
      {{"tiles", "merge", third, "-o", dir.File("no/such/folder/m.pmtiles")},
       kExitIo,
       "no/such/folder"},
      {{"tiles", "verify", dir.File("merged.pmtiles")}, kExitUsage, "folder of its manifests"},
  };
  for (const auto& row : rows) {
    const TResult r = RunTool(row.Args);
    EXPECT_EQ(r.Status, row.Status) << row.Message << ": " << r.Err;
    EXPECT_NE(r.Err.find(row.Message), std::string::npos) << r.Err;
  }
}

TEST(FindCommand, ListsTheMapsOfATreeThatCoverAPlaceFinestFirst) {
  TempDir dir;
  fs::create_directories(dir.Path() / "alpine" / "swiss");
  const std::map<std::string, std::string> where = {{"zurich_utm32", "alpine/swiss"},
                                                    {"switzerland_eqc", "alpine/swiss"},
                                                    {"alps_eqc", "alpine"},
                                                    {"europe_lcc", "alpine"},
                                                    {"iberia_stereo", ""}};
  for (const auto& [name, folder] : where)
    for (const char* ext : {".xml", ".jpg"})
      fs::copy_file(Sample(name + ext), dir.Path() / folder / (name + ext));
  const auto file = [&](const std::string& Name) {
    return (dir.Path() / where.at(Name) / (Name + ".xml")).string();
  };
  const TResult zurich = RunTool({"find", "47.37,8.54", dir.Path().string()});
  ASSERT_EQ(zurich.Status, kExitOk) << zurich.Err;
  std::vector<std::string> lines;
  std::istringstream in(zurich.Out);
  for (std::string line; std::getline(in, line);) lines.push_back(line.substr(0, line.find('\t')));
  EXPECT_EQ(lines, (std::vector<std::string>{file("zurich_utm32"), file("switzerland_eqc"),
                                             file("alps_eqc"), file("europe_lcc")}))
      << zurich.Out;
  EXPECT_NE(zurich.Out.find("\t124.8"), std::string::npos) << zurich.Out;

  const TResult madrid = RunTool({"find", "40.42, -3.70", dir.Path().string()});
  EXPECT_EQ(madrid.Out.substr(0, madrid.Out.find('\t')), file("iberia_stereo")) << madrid.Out;
  const TResult sea = RunTool({"find", "-40,-30", dir.Path().string()});
  EXPECT_EQ(sea.Status, kExitOk);
  EXPECT_EQ(sea.Out, "");
  EXPECT_EQ(RunTool({"find", "47.37", dir.Path().string()}).Status, kExitUsage);
  // Tiles of the top folder alone, or of its whole tree.
  const TResult top =
      RunTool({"tiles", dir.Path().string(), "-o", dir.File("top.pmtiles"), "--zoom", "5"});
  const TResult tree = RunTool(
      {"tiles", dir.Path().string(), "-o", dir.File("tree.pmtiles"), "--zoom", "5", "--tree"});
  ASSERT_EQ(top.Status, kExitOk) << top.Err;
  ASSERT_EQ(tree.Status, kExitOk) << tree.Err;
  EXPECT_LT(OpenTileArchive(dir.File("top.pmtiles"))->TileCount(),
            OpenTileArchive(dir.File("tree.pmtiles"))->TileCount());
  EXPECT_EQ(RunTool({"find", "95,8", dir.Path().string()}).Status, kExitUsage);
}

}  // namespace
}  // namespace marovia::geomaptool::test
