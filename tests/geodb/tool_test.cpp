// The geodb tool, driven in-process: text and GeoJSON import, GeoJSON export
// (checked by structure here and, when installed, by an independent reader),
// the JSON reader on hostile input, and the command line's errors.
#include <cstdlib>
#include <sstream>

#include "geodb_cli.h"
#include "geodb_test_support.h"
#include "importexport.h"
#include "json.h"

namespace marovia::testing {
namespace {

using geodbtool::JsonValue;

const std::string kData = std::string(MAROVIA_TEST_DATA_DIR) + "/geodb/";

class GeoDBTool : public GeoDBTest {
 protected:
  int Run(std::vector<std::string> args) {
    out_.str("");
    err_.str("");
    return geodbtool::RunGeodb(args, out_, err_);
  }
  JsonValue Export(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"export", Base(), (dir_ / "out.geojson").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    EXPECT_EQ(Run(args), 0) << err_.str();
    const auto b = ReadBytes(dir_ / "out.geojson");
    return geodbtool::ParseJson(std::string(b.begin(), b.end()));
  }
  std::ostringstream out_, err_;
};

const JsonValue& Member(const JsonValue& v, const char* name) {
  const JsonValue* m = v.Find(name);
  if (!m) throw std::runtime_error(std::string("member missing: ") + name);
  return *m;
}

TEST_F(GeoDBTool, TextImportThenExportGivesValidFeatureCollection) {
  ASSERT_EQ(Run({"create", Base(), "--description", "Alps"}), 0) << err_.str();
  ASSERT_EQ(Run({"import", Base(), kData + "sample.txt"}), 0) << err_.str();
  EXPECT_NE(out_.str().find("added 3 town(s) and 4 polygon item(s)"), std::string::npos)
      << out_.str();

  const JsonValue doc = Export();
  EXPECT_EQ(Member(doc, "type").string, "FeatureCollection");
  const auto& features = Member(doc, "features").array;
  ASSERT_EQ(features.size(), 7u);
  std::map<std::string, std::string> types;
  for (const auto& f : features) {
    EXPECT_EQ(Member(f, "type").string, "Feature");
    const auto& props = Member(f, "properties");
    const auto& g = Member(f, "geometry");
    const std::string type = g.IsNull() ? "null" : Member(g, "type").string;
    types[Member(props, "name").string] = type;
    if (type == "Polygon") {
      const auto& ring = Member(g, "coordinates").array.at(0).array;
      ASSERT_GE(ring.size(), 4u);
      EXPECT_EQ(ring.front().array[0].number, ring.back().array[0].number);
      EXPECT_EQ(ring.front().array[1].number, ring.back().array[1].number);
      double area = 0;  // counterclockwise: positive
      for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++)
        area += ring[j].array[0].number * ring[i].array[1].number -
                ring[i].array[0].number * ring[j].array[1].number;
      EXPECT_GT(area, 0);
    }
  }
  EXPECT_EQ(types["Graz"], "Point");
  EXPECT_EQ(types["Zürich"], "Point");
  EXPECT_EQ(types["Bodensee"], "Polygon");
  EXPECT_EQ(types["Inn"], "LineString");
  EXPECT_EQ(types["Tiny border"], "LineString");  // two points cannot make a ring
  EXPECT_EQ(types["Lone point"], "Point");

  // Positions are [longitude, latitude], as stored (shortest float text).
  const auto& graz = features[0];
  EXPECT_EQ(Member(Member(graz, "geometry"), "coordinates").array[0].number, 15.44);
  EXPECT_EQ(Member(Member(graz, "properties"), "class").number, 2);
  EXPECT_EQ(Member(Member(graz, "properties"), "altitude").number, 353);
}

TEST_F(GeoDBTool, GeoJsonImportMapsGeometriesKindsAndProperties) {
  ASSERT_EQ(Run({"create", Base()}), 0);
  ASSERT_EQ(Run({"import", Base(), kData + "sample.geojson", "--line-kind", "route"}), 0)
      << err_.str();
  EXPECT_NE(err_.str().find("1 hole(s) dropped"), std::string::npos) << err_.str();
  EXPECT_NE(err_.str().find("no geometry"), std::string::npos);

  Open();
  // Wien, Donau, See, 2 x Grenze, Köln, 2 points + 2 lines of the collection.
  ASSERT_EQ(db_->NumEntries(), 10);
  const TgdbData wien = db_->Data(1);
  EXPECT_EQ(wien.ItemKind, gitTown);
  EXPECT_EQ(wien.Altitude, 170.0f);
  EXPECT_EQ(wien.ClassFlag, 3);
  EXPECT_EQ(wien.Tag, 7);
  EXPECT_EQ(wien.LatLow, 48.21f);
  EXPECT_EQ(db_->Data(2).ItemKind, gitRiver);  // the kind property wins over --line-kind
  const TgdbData see = db_->Data(3);
  EXPECT_EQ(see.ItemKind, gitLake);
  EXPECT_EQ(see.NumPoints, 4);  // the repeated closing point is not stored
  EXPECT_EQ(see.Closed, 1);
  EXPECT_EQ(db_->Data(4).ItemKind, gitBorder);
  EXPECT_EQ(db_->Data(5).Name.Text(), "Grenze");
  EXPECT_EQ(db_->Data(6).Name.Text(), "Köln \"Dom\"");
  EXPECT_EQ(db_->Data(8).ItemKind, gitTown);
  EXPECT_EQ(db_->Data(10).ItemKind, gitRoute);

  // And back out: the same count, names escaped properly.
  db_->SetDBName("");
  const JsonValue doc = Export();
  ASSERT_EQ(Member(doc, "features").array.size(), 10u);
  EXPECT_EQ(Member(Member(Member(doc, "features").array[5], "properties"), "name").string,
            "Köln \"Dom\"");
}

TEST_F(GeoDBTool, ExportedGeoJsonOpensInIndependentReader) {
  if (std::system("command -v ogrinfo >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "ogrinfo (gdal-bin) is not installed";
  ASSERT_EQ(Run({"create", Base()}), 0);
  ASSERT_EQ(Run({"import", Base(), kData + "sample.txt"}), 0) << err_.str();
  ASSERT_EQ(Run({"import", Base(), kData + "sample.geojson"}), 0) << err_.str();
  const std::vector<uint8_t> blob(100, 1);
  WriteBytes(dir_ / "b.bin", blob);
  ASSERT_EQ(Run({"add-blob", Base(), (dir_ / "b.bin").string(), "--caption", "x"}), 0);
  ASSERT_EQ(Run({"export", Base(), (dir_ / "out.geojson").string()}), 0) << err_.str();

  const fs::path report = dir_ / "ogrinfo.txt";
  const std::string cmd = "ogrinfo -ro -al -so \"" + (dir_ / "out.geojson").string() + "\" > \"" +
                          report.string() + "\" 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const auto b = ReadBytes(report);
  const std::string text(b.begin(), b.end());
  EXPECT_NE(text.find("Feature Count: 18"), std::string::npos) << text;
}

TEST_F(GeoDBTool, ExportByRectangleWritesOnlyTheItemsThere) {
  ASSERT_EQ(Run({"create", Base()}), 0);
  ASSERT_EQ(Run({"import", Base(), kData + "sample.txt"}), 0);
  const JsonValue doc = Export({"--rect", "47.3,47.4,8,9"});
  ASSERT_EQ(Member(doc, "features").array.size(), 1u);
  EXPECT_EQ(Member(Member(Member(doc, "features").array[0], "properties"), "name").string,
            "Zürich");
}

TEST_F(GeoDBTool, CommandsReportErrorsWithoutTouchingFiles) {
  EXPECT_EQ(Run({}), 2);
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(out_.str().find("Examples:"), std::string::npos);
  EXPECT_EQ(Run({"frobnicate"}), 2);
  EXPECT_EQ(Run({"list", Base()}), 1);  // no database: not created
  EXPECT_NE(err_.str().find("no database"), std::string::npos);
  EXPECT_FALSE(fs::exists(File(".zylgds")));
  ASSERT_EQ(Run({"create", Base()}), 0);
  EXPECT_EQ(Run({"create", Base()}), 1);  // exists already
  EXPECT_EQ(Run({"find", Base(), "--rect", "1,2,3"}), 2);
  EXPECT_EQ(Run({"find", Base(), "--bogus", "1"}), 2);
  EXPECT_EQ(Run({"polygon", Base(), "1"}), 1);
  EXPECT_EQ(Run({"import", Base(), kData + "sample.txt", "--line-kind", "town"}), 2);
  EXPECT_EQ(Run({"delete", Base(), "--id", "5"}), 1);
}

// A bad line is reported with its file and line number and the import
// goes on, as geoconvert and geomap do: a bad record line is passed over,
// an item with a bad point is left out whole.
TEST_F(GeoDBTool, TextImportReportsEachBadLineAndGoesOn) {
  ASSERT_EQ(Run({"create", Base()}), 0);
  const fs::path bad = dir_ / "bad.txt";
  const std::string text =
      "town;A;1;2\n\n# c\ntown;B;95;2\nlake;L\n1;2\nx;y\nend\n"
      "forest;F\nriver;R\n1;2\n3;4\nend\nriver;;open\n5;6\nend\ntown;C;3;4\n";
  WriteBytes(bad, std::vector<uint8_t>(text.begin(), text.end()));
  EXPECT_EQ(Run({"import", Base(), bad.string()}), 1);
  for (const char* e : {"bad.txt:4: latitude 95 outside -90..90", "bad.txt:7:", "('L' left out)",
                        "bad.txt:9: expected a record", "bad.txt:14: name missing"})
    EXPECT_NE(err_.str().find(e), std::string::npos) << e << "\n" << err_.str();
  EXPECT_NE(out_.str().find("added 2 town(s) and 1 polygon item(s)"), std::string::npos)
      << out_.str();
  Open();
  EXPECT_EQ(db_->NumEntries(), 3);
  EXPECT_EQ(db_->SearchForItemID(1), 1);  // the index files were written

  const std::string unterminated = "river;R\n1;2\n";
  WriteBytes(bad, std::vector<uint8_t>(unterminated.begin(), unterminated.end()));
  db_->SetDBName("");
  EXPECT_EQ(Run({"import", Base(), bad.string()}), 1);
  EXPECT_NE(err_.str().find("'end' missing"), std::string::npos) << err_.str();
}

// A stray file of a database name: not "create it", which would refuse.
TEST_F(GeoDBTool, InfoOnAPartialFileSetSaysWhatIsThere) {
  WriteBytes(fs::path(Base() + ".zylgi0"), {1, 2, 3});
  EXPECT_EQ(Run({"info", Base()}), 1);
  EXPECT_EQ(err_.str().find("geodb create"), std::string::npos) << err_.str();
  EXPECT_NE(err_.str().find("is not a whole database"), std::string::npos) << err_.str();
  EXPECT_EQ(Run({"create", Base()}), 1);
}

TEST_F(GeoDBTool, BlobCommandsRoundTripAFile) {
  ASSERT_EQ(Run({"create", Base()}), 0);
  const std::vector<uint8_t> bytes = {0, 1, 2, 255, 254, 10, 13};
  WriteBytes(dir_ / "photo.bin", bytes);
  ASSERT_EQ(Run({"add-blob", Base(), (dir_ / "photo.bin").string(), "--caption", "Summit", "--box",
                 "47,47.5,11,11.5"}),
            0)
      << err_.str();
  fs::create_directories(dir_ / "out");
  ASSERT_EQ(Run({"blob", Base(), "1", (dir_ / "out").string() + "/"}), 0) << err_.str();
  EXPECT_EQ(ReadBytes(dir_ / "out" / "photo.bin"), bytes);
  EXPECT_NE(out_.str().find("caption:  Summit"), std::string::npos);
  ASSERT_EQ(Run({"find", Base(), "--rect", "47.2,47.3,11.2,11.3"}), 0);
  ASSERT_EQ(Run({"delete", Base(), "1"}), 0);
  ASSERT_EQ(Run({"gc", Base()}), 0);
  EXPECT_NE(out_.str().find("freed 1031 bytes"), std::string::npos) << out_.str();
}

TEST(GeoDBToolJson, RejectsHostileInputWithClearErrors) {
  using geodbtool::JsonError;
  using geodbtool::ParseJson;
  EXPECT_THROW(ParseJson(std::string(100000, '[')), JsonError);  // no stack overflow
  EXPECT_THROW(ParseJson("{\"a\":1"), JsonError);
  EXPECT_THROW(ParseJson("\"abc"), JsonError);
  EXPECT_THROW(ParseJson("[1,]"), JsonError);
  EXPECT_THROW(ParseJson("[1] x"), JsonError);
  EXPECT_THROW(ParseJson("\"\\ud800\""), JsonError);
  EXPECT_THROW(ParseJson("1e999"), JsonError);
  EXPECT_THROW(ParseJson(std::string("\"a\0b\"", 5)), JsonError);
  try {
    ParseJson("{\n  \"a\": tru }");
    FAIL();
  } catch (const JsonError& e) {
    EXPECT_NE(std::string(e.what()).find("line 2"), std::string::npos) << e.what();
  }
  const JsonValue v = ParseJson("\xEF\xBB\xBF{\"s\":\"\\u00e9\\ud83d\\ude00\",\"n\":-0.5e1}");
  EXPECT_EQ(v.Find("s")->string, "é\xF0\x9F\x98\x80");
  EXPECT_EQ(v.Find("n")->number, -5);
  EXPECT_EQ(geodbtool::JsonQuote("a\"\\\n\x01"), "\"a\\\"\\\\\\u000a\\u0001\"");
  EXPECT_EQ(geodbtool::JsonNumber(47.07f), "47.07");
  EXPECT_EQ(geodbtool::JsonNumber(std::nan("")), "null");
}

TEST_F(GeoDBTool, GeoJsonImportRejectsBadDocuments) {
  ASSERT_EQ(Run({"create", Base()}), 0);
  Open();
  const geodbtool::ImportOptions opt;
  EXPECT_THROW(geodbtool::ImportGeoJson(*db_, "{\"type\":\"Point\",\"coordinates\":[1]}", opt),
               geodbtool::ImportError);
  EXPECT_THROW(geodbtool::ImportGeoJson(*db_, "{\"type\":\"Blob\",\"coordinates\":[]}", opt),
               geodbtool::ImportError);
  EXPECT_THROW(geodbtool::ImportGeoJson(*db_, "{\"type\":\"FeatureCollection\"}", opt),
               geodbtool::ImportError);
  EXPECT_THROW(
      geodbtool::ImportGeoJson(
          *db_,
          R"({"type":"Feature","properties":{"class":300},"geometry":{"type":"Point","coordinates":[1,2]}})",
          opt),
      geodbtool::ImportError);
  EXPECT_EQ(db_->NumEntries(), 0);
}

// Altitudes and box bounds beyond the range of a single were converted to
// one regardless, which is undefined.
TEST_F(GeoDBTool, ValuesBeyondTheRangeOfASingleAreRejected) {
  ASSERT_EQ(Run({"create", Base()}), 0);
  Open();
  const geodbtool::ImportOptions opt;
  EXPECT_THROW(geodbtool::ImportGeoJson(*db_, R"({"type":"Point","coordinates":[1,2,1e300]})", opt),
               geodbtool::ImportError);
  EXPECT_THROW(
      geodbtool::ImportGeoJson(
          *db_,
          R"({"type":"Feature","properties":{"altitude":-1e39},"geometry":{"type":"Point","coordinates":[1,2]}})",
          opt),
      geodbtool::ImportError);
  geodbtool::ImportGeoJson(*db_, R"({"type":"Point","coordinates":[1,2,2962.5]})", opt);
  ASSERT_EQ(db_->NumEntries(), 1);
  EXPECT_EQ(db_->Data(1).Altitude, 2962.5f);
  db_->SetDBName("");

  WriteBytes(dir_ / "b.bin", {1, 2, 3});
  EXPECT_EQ(Run({"add-blob", Base(), (dir_ / "b.bin").string(), "--box", "0,1e300,0,1"}), 2);
  EXPECT_EQ(Run({"add-blob", Base(), (dir_ / "b.bin").string(), "--box", "0,1,-181,1"}), 2);
  EXPECT_EQ(Run({"add-blob", Base(), (dir_ / "b.bin").string(), "--box", "0,1,170,-170"}), 0)
      << err_.str();
}

}  // namespace
}  // namespace marovia::testing
