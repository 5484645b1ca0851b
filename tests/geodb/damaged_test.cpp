// Damaged files: every count, offset and length read from a file is checked
// before use, readers fail with an error naming the file, and nothing else
// is lost.
#include "geodb_test_support.h"

namespace marovia::testing {
namespace {

class GeoDBDamaged : public GeoDBTest {
 protected:
  // A database with a town, a border of three points and a BLOB of 100
  // bytes, closed.
  void Build() {
    Open();
    AddTownAt("town", 1, 2);
    AddBorderOf("border", {{1, 1}, {2, 2}, {3, 3}});
    std::vector<uint8_t> bytes(100, 0xAB);
    TMetaInfo m{};
    ClearMetaInfo(m);
    db_->AddBLOB("blob", 0, 0, 0, 0, 0, 0, 0, 0, 0, m, bytes.data(), 100);
    db_->SetDBName("");
  }
  TgdbData Record(int k) {
    const auto b = ReadBytes(File(".zylgds"));
    TgdbData r;
    std::memcpy(&r, b.data() + (k - 1) * 120, sizeof r);
    return r;
  }
  void Patch(int k, void (*change)(TgdbData&)) {
    TgdbData r = Record(k);
    change(r);
    PatchRecord(File(".zylgds"), k, r);
  }
  // The error names the data file.
  void ExpectNamesDataFile(const std::function<void()>& f) {
    try {
      f();
      ADD_FAILURE() << "no error";
    } catch (const EZYLGeoDBError& e) {
      EXPECT_NE(std::string(e.what()).find(File(".zylgdd").string()), std::string::npos)
          << e.what();
      EXPECT_EQ(std::string(e.what()).rfind("Component \"DB\": ", 0), 0u) << e.what();
    }
  }
};

TEST_F(GeoDBDamaged, NameLengthByteBeyondItsFieldIsClamped) {
  Build();
  Patch(1, [](TgdbData& r) { r.Name.Len = 250; });
  Open();
  EXPECT_EQ(db_->Data(1).Name.Text().size(), 59u);
  EXPECT_EQ(db_->SearchData("town"), 0);
  db_->ExportDataDebug((dir_ / "dump.txt").string());
  TgdbData r = db_->Data(1);
  db_->UpdateBasicData(1, r);  // stores a length within the field
  EXPECT_EQ(Record(1).Name.Len, 59);
}

TEST_F(GeoDBDamaged, DescriptionLengthByteBeyondItsFieldIsClamped) {
  Build();
  auto gdd = ReadBytes(File(".zylgdd"));
  gdd[8] = 255;
  WriteBytes(File(".zylgdd"), gdd);
  Open();
  EXPECT_EQ(db_->Description().size(), 63u);
  EXPECT_EQ(ReadSystemInformation(Base()).Description.size(), 63u);
}

TEST_F(GeoDBDamaged, PolygonOffsetPastEndOfDataFileRaisesNamedError) {
  Build();
  Patch(2, [](TgdbData& r) { r.BlobOffset = 1 << 30; });
  Open();
  TgdbPolygon p{{9, 9}};
  ExpectNamesDataFile([&] { db_->RetrievePolygon(2, p); });
  EXPECT_EQ(p.size(), 1u);  // untouched
  // The rest of the database still works.
  TMetaInfo m{};
  std::vector<uint8_t> b(100);
  EXPECT_TRUE(db_->RetrieveBLOB(3, m, b.data(), 100));
}

TEST_F(GeoDBDamaged, HugeOrNegativePointCountNeverSizesAnAllocation) {
  Build();
  Patch(2, [](TgdbData& r) { r.NumPoints = INT32_MAX; });
  Open();
  TgdbPolygon p;
  ExpectNamesDataFile([&] { db_->RetrievePolygon(2, p); });
  db_->SetDBName("");
  Patch(2, [](TgdbData& r) { r.NumPoints = -5; });
  Open();
  ExpectNamesDataFile([&] { db_->RetrievePolygon(2, p); });
  EXPECT_TRUE(p.empty());
}

TEST_F(GeoDBDamaged, BlobSizePastEndOfDataFileRaisesInEveryReader) {
  Build();
  Patch(3, [](TgdbData& r) { r.Size = INT32_MAX; });
  Open();
  TMetaInfo m{};
  std::vector<uint8_t> buf(100);
  TMemoryStream s;
  ExpectNamesDataFile([&] { db_->RetrieveBLOB(3, m, s); });
  EXPECT_EQ(s.Size(), 0);
  ExpectNamesDataFile([&] { db_->RetrieveBLOB(3, (dir_ / "out.bin").string(), m); });
  EXPECT_FALSE(fs::exists(dir_ / "out.bin"));
  ExpectNamesDataFile([&] { db_->GetMetaInfo(3, m); });
  ExpectNamesDataFile([&] { db_->UpdateMetaInfo(3, m); });
  // The buffer check comes first for memory: the size is larger than it.
  EXPECT_THROW(db_->RetrieveBLOB(3, m, buf.data(), 100), EZYLGeoDBError);
}

TEST_F(GeoDBDamaged, BlobOffsetBeforeTheBlocksRaises) {
  Build();
  Patch(3, [](TgdbData& r) { r.BlobOffset = -1; });
  Open();
  TMetaInfo m{};
  TMemoryStream s;
  ExpectNamesDataFile([&] { db_->RetrieveBLOB(3, m, s); });
}

TEST_F(GeoDBDamaged, TownWithGarbageCountDoesNotSizeTheStream) {
  Build();
  Patch(1, [](TgdbData& r) { r.NumPoints = INT32_MAX; });
  Open();
  TMemoryStream s;
  s.WriteBuffer("abc", 3);
  TMetaInfo m{};
  EXPECT_FALSE(db_->RetrieveBLOB(1, m, s));
  EXPECT_EQ(s.Size(), 0);
}

TEST_F(GeoDBDamaged, TruncatedItemTableOpensWithWholeRecordsAndRebuiltIndexes) {
  Build();
  auto gds = ReadBytes(File(".zylgds"));
  gds.resize(2 * 120 + 50);  // the third record is cut
  WriteBytes(File(".zylgds"), gds);
  Open();
  ASSERT_EQ(db_->NumEntries(), 2);
  EXPECT_EQ(db_->SearchForItemID(3), 0);
  EXPECT_EQ(db_->SearchForItemID(2), 2);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(fs::file_size(File(std::string(".zylgi") + std::to_string(i))), 16u) << i;
  // Adding continues at a record boundary, with a fresh ID.
  EXPECT_EQ(AddTownAt("new", 0, 0), 3);
  EXPECT_EQ(db_->Data(3).ItemId, 4);
  Reopen();
  EXPECT_EQ(db_->Data(3).Name.Text(), "new");
}

TEST_F(GeoDBDamaged, IndexFileWithOtherCountIsRebuiltOnOpening) {
  Build();
  auto ix = ReadBytes(File(".zylgi2"));
  ix.resize(8);
  WriteBytes(File(".zylgi2"), ix);
  Open();
  EXPECT_EQ(fs::file_size(File(".zylgi2")), 24u);
  EXPECT_EQ(db_->IxLatHigh(3).index, 1);  // the border reaches 3
  db_->DeleteData(1);
  EXPECT_EQ(db_->NumEntries(), 2);
}

TEST_F(GeoDBDamaged, IndexEntriesOutsideTheItemTableAreRebuiltOnOpening) {
  Build();
  auto ix = ReadBytes(File(".zylgi0"));
  const int32_t bad = 1000000;
  std::memcpy(ix.data() + 4, &bad, 4);
  WriteBytes(File(".zylgi0"), ix);
  Open();
  EXPECT_EQ(db_->SearchForItemID(1), 1);
  EXPECT_EQ(I32At(ReadBytes(File(".zylgi0")), 4), 0);
  db_->DeleteData(3);
  db_->DeleteData(1);
  EXPECT_EQ(db_->SearchForItemID(2), 1);
}

TEST_F(GeoDBDamaged, IndexOutOfOrderOrWithWrongKeysIsRebuilt) {
  Build();
  auto ix = ReadBytes(File(".zylgi1"));
  std::swap_ranges(ix.begin(), ix.begin() + 8, ix.begin() + 16);
  WriteBytes(File(".zylgi1"), ix);
  Open();
  for (int i = 2; i <= 3; ++i) EXPECT_LE(db_->IxLatLow(i - 1).LLValue, db_->IxLatLow(i).LLValue);
}

TEST_F(GeoDBDamaged, LazyRebuildIsWrittenAtClose) {
  Build();
  WriteBytes(File(".zylgi4"), {});
  db_->SetLazyWrite(true);
  Open();
  EXPECT_EQ(fs::file_size(File(".zylgi4")), 0u);
  EXPECT_EQ(db_->IxLongHigh(3).index, 1);
  db_->SetDBName("");
  EXPECT_EQ(fs::file_size(File(".zylgi4")), 24u);
}

TEST_F(GeoDBDamaged, DataFileShorterThanItsHeaderFailsOpeningAndIsKept) {
  Build();
  WriteBytes(File(".zylgdd"), std::vector<uint8_t>(100, 7));
  try {
    Open();
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.FileName(), File(".zylgdd").string());
  }
  EXPECT_EQ(db_->DBName(), "");
  EXPECT_EQ(db_->NumEntries(), 0);
  EXPECT_EQ(AddTownAt("x", 0, 0), -1);  // nothing looks open
  EXPECT_EQ(ReadBytes(File(".zylgdd")), std::vector<uint8_t>(100, 7));
  EXPECT_EQ(fs::file_size(File(".zylgds")), 360u);
}

TEST_F(GeoDBDamaged, EmptyDataFileGetsAFreshHeader) {
  Build();
  WriteBytes(File(".zylgdd"), {});
  Open();
  EXPECT_EQ(fs::file_size(File(".zylgdd")), 260u);
  EXPECT_EQ(db_->DBVersion(), 4);
  EXPECT_EQ(AddTownAt("x", 0, 0), 4);
  EXPECT_EQ(db_->Data(4).ItemId, 4);  // above the IDs present
}

TEST_F(GeoDBDamaged, FailedOpeningDoesNotWriteBackIndexes) {
  Build();
  db_->SetLazyWrite(true);
  const auto ix0 = ReadBytes(File(".zylgi0"));
  WriteBytes(File(".zylgdd"), std::vector<uint8_t>(10, 0));
  EXPECT_THROW(Open(), EInOutError);
  db_.reset();  // destroying with lazy writing on writes nothing
  EXPECT_EQ(ReadBytes(File(".zylgi0")), ix0);
}

TEST_F(GeoDBDamaged, UnknownItemKindIsTreatedAsWithoutBlock) {
  Build();
  Patch(2, [](TgdbData& r) { r.ItemKind = static_cast<TgdbItem>(77); });
  Open();
  TgdbPolygon p;
  EXPECT_FALSE(db_->RetrievePolygon(2, p));
  EXPECT_STREQ(ItemKindName(db_->Data(2).ItemKind), "Undefined");
  EXPECT_GT(db_->GarbageCollection(), 0);  // the border's points are no longer referenced
  db_->ExportDataDebug((dir_ / "dump.txt").string());
}

}  // namespace
}  // namespace marovia::testing
