// The file set: creation, byte layout, header properties, lazy writing and
// the small free functions.
#include <cmath>

#include "geodb_test_support.h"
#include "marovia/platform/datetime.h"
#include "marovia/zylmath/math1.h"

namespace marovia::testing {
namespace {

using GeoDBFileSet = GeoDBTest;

TEST_F(GeoDBFileSet, NewNameCreatesSevenFilesWithVersion4Header) {
  Open();
  for (const char* ext : {".zylgi0", ".zylgi1", ".zylgi2", ".zylgi3", ".zylgi4", ".zylgds"}) {
    ASSERT_TRUE(fs::exists(File(ext))) << ext;
    EXPECT_EQ(fs::file_size(File(ext)), 0u) << ext;
  }
  const auto gdd = ReadBytes(File(".zylgdd"));
  ASSERT_EQ(gdd.size(), 260u);
  EXPECT_EQ(I32At(gdd, 0), 0);   // HighestID
  EXPECT_EQ(I32At(gdd, 4), 4);   // DBVersion
  EXPECT_EQ(gdd[8], 0);          // empty description
  EXPECT_EQ(I32At(gdd, 72), 0);  // Revision
  EXPECT_EQ(db_->DBVersion(), 4);
  EXPECT_EQ(db_->NumEntries(), 0);
}

TEST_F(GeoDBFileSet, NameWithOrWithoutExtensionOpensTheSameSet) {
  Open();
  AddTownAt("A", 1, 2);
  db_->SetDBName("");
  EXPECT_EQ(db_->DBName(), "");
  db_->SetDBName(File(".zylgds").string());
  EXPECT_EQ(db_->DBName(), Base());
  EXPECT_EQ(db_->NumEntries(), 1);
  EXPECT_EQ(db_->GetGDBName(), Base());
}

TEST_F(GeoDBFileSet, DescriptionKeepsSixtyCharactersInWindows1252) {
  Open();
  const std::string long80(80, 'x');
  db_->SetDescription(long80);
  EXPECT_EQ(db_->Description(), std::string(60, 'x'));

  db_->SetDescription("Zürich");  // ü is one byte (0xFC) in the file
  Reopen();
  EXPECT_EQ(db_->Description(), "Zürich");
  const auto gdd = ReadBytes(File(".zylgdd"));
  EXPECT_EQ(gdd[8], 6);
  EXPECT_EQ(gdd[10], 0xFC);
}

TEST_F(GeoDBFileSet, HeaderWritesAreIgnoredWithoutDatabase) {
  db_->SetRevision(7);
  db_->SetDescription("ignored");
  EXPECT_EQ(db_->Revision(), 0);
  EXPECT_EQ(db_->Description(), "");

  Open();
  db_->SetRevision(7);
  EXPECT_EQ(I32At(ReadBytes(File(".zylgdd")), 72), 7);
  Reopen();
  EXPECT_EQ(db_->Revision(), 7);
}

TEST_F(GeoDBFileSet, FailedHeaderWriteRaisesNamedErrorAndKeepsValue) {
  Open();
  fs::remove(File(".zylgdd"));
  try {
    db_->SetDescription("lost");
    FAIL() << "no error raised";
  } catch (const EZYLGeoDBError& e) {
    EXPECT_STREQ(e.what(), "Component \"DB\": SetDescription: cannot open database.");
  }
  EXPECT_EQ(db_->Description(), "lost");
  EXPECT_THROW(db_->SetRevision(3), EZYLGeoDBError);
  EXPECT_EQ(db_->Revision(), 3);
}

TEST_F(GeoDBFileSet, ForeignVersionIsReportedAsStored) {
  Open();
  db_->SetDBName("");
  auto gdd = ReadBytes(File(".zylgdd"));
  gdd[4] = 9;
  WriteBytes(File(".zylgdd"), gdd);
  Open();
  EXPECT_EQ(db_->DBVersion(), 9);
}

TEST_F(GeoDBFileSet, RecordBytesSitAtTheirOffsets) {
  Open();
  db_->AddTown("Graz", 44000.5, 17, TSCoords{47.07f, 15.44f}, 353.0f, 3, 99);
  const auto b = ReadBytes(File(".zylgds"));
  ASSERT_EQ(b.size(), 120u);
  EXPECT_EQ(I32At(b, 0), 1);  // ItemId
  EXPECT_EQ(b[4], 4);         // name length
  EXPECT_EQ(std::string(b.begin() + 5, b.begin() + 9), "Graz");
  EXPECT_EQ(b[9], ' ');  // unused name bytes are spaces
  EXPECT_EQ(b[63], ' ');
  EXPECT_EQ(F32At(b, 64), 353.0f);
  EXPECT_EQ(b[68], 3);
  EXPECT_EQ(I32At(b, 72), 99);
  EXPECT_EQ(I32At(b, 76), -1);
  double date;
  std::memcpy(&date, b.data() + 80, 8);
  EXPECT_EQ(date, 44000.5);
  EXPECT_EQ(I32At(b, 88), 17);
  EXPECT_EQ(F32At(b, 92), 47.07f);
  EXPECT_EQ(F32At(b, 96), 47.07f);
  EXPECT_EQ(F32At(b, 100), 15.44f);
  EXPECT_EQ(F32At(b, 104), 15.44f);
  EXPECT_EQ(b[108], gitTown);
  EXPECT_EQ(I32At(ReadBytes(File(".zylgdd")), 0), 1);  // HighestID raised

  const auto ix1 = ReadBytes(File(".zylgi1"));
  ASSERT_EQ(ix1.size(), 8u);
  EXPECT_EQ(F32At(ix1, 0), 47.07f);
  EXPECT_EQ(I32At(ix1, 4), 0);
}

// A file set written elsewhere (bytes laid down by hand, Windows-1252 name)
// opens and reads back.
TEST_F(GeoDBFileSet, OpensFileSetWrittenByAnotherHost) {
  std::vector<uint8_t> gdd(260, 0);
  gdd[0] = 5;  // HighestID
  gdd[4] = 4;  // DBVersion
  gdd[8] = 3;  // description "Wld"
  gdd[9] = 'W', gdd[10] = 'l', gdd[11] = 'd';
  gdd[72] = 2;  // Revision
  std::vector<uint8_t> gds(120, 0);
  gds[0] = 5;                     // ItemId
  const char name[] = "K\xF6ln";  // Köln
  gds[4] = 4;
  std::memcpy(&gds[5], name, 4);
  const float lat = 50.94f, lon = 6.96f;
  for (size_t off : {92u, 96u}) std::memcpy(&gds[off], &lat, 4);
  for (size_t off : {100u, 104u}) std::memcpy(&gds[off], &lon, 4);
  const int32_t noBlock = -1;
  std::memcpy(&gds[76], &noBlock, 4);
  gds[108] = gitTown;
  WriteBytes(File(".zylgdd"), gdd);
  WriteBytes(File(".zylgds"), gds);
  // Index files of the same item.
  std::vector<uint8_t> ix0(8, 0);
  ix0[0] = 5;
  WriteBytes(File(".zylgi0"), ix0);
  for (int i = 1; i <= 4; ++i) {
    std::vector<uint8_t> ix(8, 0);
    std::memcpy(ix.data(), i <= 2 ? &lat : &lon, 4);
    WriteBytes(File(std::string(".zylgi") + std::to_string(i)), ix);
  }
  const auto before = ReadBytes(File(".zylgi0"));

  Open();
  EXPECT_EQ(db_->NumEntries(), 1);
  EXPECT_EQ(db_->Data(1).Name.Text(), "Köln");
  EXPECT_EQ(db_->Description(), "Wld");
  EXPECT_EQ(db_->Revision(), 2);
  EXPECT_EQ(db_->SearchForItemID(5), 1);
  EXPECT_EQ(ReadBytes(File(".zylgi0")), before);  // consistent indexes are not rewritten
  EXPECT_EQ(AddTownAt("Bonn", 50.7f, 7.1f), 2);
  EXPECT_EQ(db_->Data(2).ItemId, 6);
}

TEST_F(GeoDBFileSet, LazyWritingDefersIndexFilesUntilClose) {
  Open();
  db_->SetLazyWrite(true);
  AddTownAt("A", 1, 1);
  AddTownAt("B", 2, 2);
  EXPECT_EQ(fs::file_size(File(".zylgi0")), 0u);
  EXPECT_EQ(fs::file_size(File(".zylgds")), 240u);  // the item table is written through
  db_->SetDBName("");
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(fs::file_size(File(std::string(".zylgi") + std::to_string(i))), 16u) << i;
  EXPECT_FALSE(db_->LazyWrite());  // closing switches lazy writing off
}

TEST_F(GeoDBFileSet, LazyWritingEndsWithIndexFilesWrittenWhenSwitchedOffOrDestroyed) {
  Open();
  db_->SetLazyWrite(true);
  AddTownAt("A", 1, 1);
  db_->SetLazyWrite(false);
  EXPECT_EQ(fs::file_size(File(".zylgi3")), 8u);

  db_->SetLazyWrite(true);
  AddTownAt("B", 2, 2);
  EXPECT_EQ(fs::file_size(File(".zylgi3")), 8u);
  db_.reset();
  EXPECT_EQ(fs::file_size(File(".zylgi3")), 16u);
}

TEST_F(GeoDBFileSet, OpeningAnotherDatabaseWritesPendingIndexesOfTheFirst) {
  Open("first");
  db_->SetLazyWrite(true);
  AddTownAt("A", 1, 1);
  AddTownAt("B", 2, 2);
  Open("second");
  EXPECT_TRUE(db_->LazyWrite());  // the setting is kept
  EXPECT_EQ(db_->NumEntries(), 0);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(fs::file_size(File(std::string(".zylgi") + std::to_string(i), "first")), 16u) << i;

  db_->SetDBName("");
  Open("first");
  EXPECT_EQ(db_->SearchForItemID(2), 2);
}

TEST_F(GeoDBFileSet, NewDataFileNextToItemsNeverReusesTheirIds) {
  Open("other");
  db_->SetDescription("other database");
  AddTownAt("x", 0, 0);
  Open();  // switch directly, without closing
  AddTownAt("A", 1, 1);
  AddTownAt("B", 2, 2);
  db_->SetDBName("");
  fs::remove(File(".zylgdd"));
  Open("other");
  Open();
  EXPECT_EQ(db_->Description(), "");  // not the description of "other"
  AddTownAt("C", 3, 3);
  EXPECT_EQ(db_->Data(3).ItemId, 3);
}

TEST_F(GeoDBFileSet, GetSumdataClampsEntryNumbers) {
  Open();
  EXPECT_EQ(db_->Data(1).ItemKind, gitUndefined);  // no entries
  EXPECT_EQ(db_->Data(1).ItemId, 0);
  AddTownAt("A", 1, 1);
  AddTownAt("B", 2, 2);
  EXPECT_EQ(db_->Data(0).Name.Text(), "A");
  EXPECT_EQ(db_->Data(2 + 5).Name.Text(), "B");
}

TEST(GeoDBFreeFunctions, ClearGdbDataResetsAllButPointCount) {
  TgdbData d;
  std::memset(&d, 0x5A, sizeof d);
  d.NumPoints = 77;
  const TDateTime before = Now();
  ClearGdbData(d);
  EXPECT_EQ(d.NumPoints, 77);
  EXPECT_EQ(d.Name.Len, 0);
  EXPECT_EQ(std::string(d.Name.Data, 59), std::string(59, ' '));
  EXPECT_EQ(d.ItemId, 0);
  EXPECT_EQ(d.BlobOffset, -1);
  EXPECT_EQ(d.ItemKind, gitUndefined);
  EXPECT_EQ(d.Closed, 0);
  EXPECT_EQ(d.LatHigh, 0.0f);
  EXPECT_GE(d.Date, before);
  EXPECT_LT(d.Date - before, 1.0 / 24);
}

TEST(GeoDBFreeFunctions, LocationAndCoordinateTexts) {
  TgdbData d{};
  d.LatLow = 10.5f;
  d.LongLow = -3.25f;
  const TSCoords c = ExtractLocation(d);
  EXPECT_EQ(c.Latit, 10.5f);
  EXPECT_EQ(c.Longit, -3.25f);

  EXPECT_EQ(GeoLatitude(-95, dfDeg, 2), DegreeToStr(90, dfDeg, 2) + " S");
  EXPECT_EQ(GeoLatitude(0, dfDegMin, 1), DegreeToStr(0, dfDegMin, 1) + " N");
  EXPECT_EQ(GeoLongitude(0, dfDeg, 0), DegreeToStr(0, dfDeg, 0) + " E");
  EXPECT_EQ(GeoLongitude(-200, dfDegMinSec, 0), DegreeToStr(180, dfDegMinSec, 0) + " W");
  EXPECT_STREQ(GDB_ITEMNAMES[gitBLOB], "BLOB");
  EXPECT_STREQ(ItemKindName(static_cast<TgdbItem>(200)), "Undefined");
}

TEST_F(GeoDBFileSet, ReadSystemInformationWithoutOpening) {
  Open();
  db_->SetDescription("Alps");
  db_->SetRevision(12);
  AddTownAt("A", 1, 1);
  AddTownAt("B", 1, 1);
  db_->SetDBName("");
  const TgdbSystemInfo info = ReadSystemInformation(File(".zylgi3").string());
  EXPECT_EQ(info.BaseName, Base());
  EXPECT_EQ(info.HighestID, 2);
  EXPECT_EQ(info.DBVersion, 4);
  EXPECT_EQ(info.Description, "Alps");
  EXPECT_EQ(info.Revision, 12);
  EXPECT_EQ(info.NumEntries, 2);
  EXPECT_EQ(info.DataFileSize, 260);
  EXPECT_THROW(ReadSystemInformation(Base("missing")), EInOutError);
}

}  // namespace
}  // namespace marovia::testing
