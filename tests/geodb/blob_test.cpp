// BLOBs: adding from memory, streams and files, progress, retrieving to
// memory, streams and files, and their meta information.
#include "geodb_test_support.h"
#include "marovia/platform/datetime.h"

namespace marovia::testing {
namespace {

class GeoDBBlob : public GeoDBTest {
 protected:
  static std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return v;
  }
  static TMetaInfo Meta(const std::string& caption) {
    TMetaInfo m{};
    ClearMetaInfo(m);
    SetMetaItem(m, miCaption, caption);
    SetMetaItem(m, miKwd, "k1 k2");
    return m;
  }
  int AddMem(const std::string& name, const std::vector<uint8_t>& bytes, const TMetaInfo& m) {
    return db_->AddBLOB(name, 0, 0, 1, 2, 3, 4, 0, 0, 0, m, bytes.data(),
                        static_cast<int32_t>(bytes.size()));
  }
};

TEST_F(GeoDBBlob, MemoryBlobOf40000BytesReports0_41_82_100) {
  Open();
  std::vector<int> got;
  db_->OnPercentDone = [&](TObject*, int p) { got.push_back(p); };
  const auto bytes = Pattern(40000);
  const int e = AddMem("blob", bytes, Meta("cap"));
  EXPECT_EQ(got, (std::vector<int>{0, 41, 82, 100}));

  const TgdbData r = db_->Data(e);
  EXPECT_EQ(r.ItemKind, gitBLOB);
  EXPECT_EQ(r.Size, 40000);
  EXPECT_EQ(r.BlobOffset, 260);
  EXPECT_EQ(r.LatLow, 1.0f);  // bounds of a BLOB are taken as given
  EXPECT_EQ(r.LongHigh, 4.0f);
  const auto gdd = ReadBytes(File(".zylgdd"));
  ASSERT_EQ(gdd.size(), 260u + 1024u + 40000u);
  EXPECT_EQ(gdd[260 + 256], 3);  // caption length byte at meta offset 256
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), gdd.begin() + 1284));

  got.clear();
  std::vector<uint8_t> back(40000);
  TMetaInfo m{};
  ASSERT_TRUE(db_->RetrieveBLOB(e, m, back.data(), 40000));
  EXPECT_EQ(back, bytes);
  EXPECT_EQ(GetMetaItem(m, miCaption), "cap");
  EXPECT_EQ(GetMetaItem(m, miKwd), "k1 k2");
  EXPECT_EQ(got, (std::vector<int>{0, 41, 82, 100, 100}));
}

TEST_F(GeoDBBlob, RetrieveToMemoryRejectsABufferOneByteShort) {
  Open();
  const auto bytes = Pattern(1000);
  const int e = AddMem("b", bytes, Meta(""));
  std::vector<uint8_t> small(999, 0xEE);
  TMetaInfo m{};
  try {
    db_->RetrieveBLOB(e, m, small.data(), 999);
    FAIL() << "no error";
  } catch (const EZYLGeoDBError& err) {
    EXPECT_STREQ(err.what(),
                 "Component \"DB\": RetrieveBLOB: BLOB to be retrieved is larger than "
                 "SizeOfBlobData.");
  }
  EXPECT_EQ(small, std::vector<uint8_t>(999, 0xEE));  // nothing copied
}

TEST_F(GeoDBBlob, RetrieveOtherKindsOrMissingEntriesAnswersFalse) {
  Open();
  AddTownAt("t", 0, 0);
  TMetaInfo m{};
  uint8_t buf[4];
  EXPECT_FALSE(db_->RetrieveBLOB(1, m, buf, 4));
  EXPECT_FALSE(db_->RetrieveBLOB(5, m, buf, 4));
  EXPECT_FALSE(db_->GetMetaInfo(1, m));
  EXPECT_FALSE(db_->UpdateMetaInfo(1, m));
  EXPECT_FALSE(db_->RetrieveBLOB(1, (dir_ / "x").string(), m));
  EXPECT_FALSE(fs::exists(dir_ / "x"));
}

TEST_F(GeoDBBlob, StreamRoundTripAndEntryNumbersBelowOneMeanOne) {
  Open();
  TMemoryStream in;
  const auto bytes = Pattern(20000);
  in.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  const int e = db_->AddBLOB("s", 0, 0, 0, 0, 0, 0, 0, 0, 0, Meta("st"), in);
  EXPECT_EQ(e, 1);
  TMemoryStream out;
  out.WriteBuffer("junk", 4);
  TMetaInfo m{};
  ASSERT_TRUE(db_->RetrieveBLOB(0, m, out));
  ASSERT_EQ(out.Size(), 20000);
  EXPECT_EQ(out.Position(), 0);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), out.Memory()));
  EXPECT_EQ(GetMetaItem(m, miCaption), "st");
}

TEST_F(GeoDBBlob, RetrieveToDirectoryUsesTheReducedItemName) {
  Open();
  const auto bytes = Pattern(300);
  const int e = AddMem("my file:1.txt", bytes, Meta(""));
  const fs::path sub = dir_ / "out";
  fs::create_directories(sub);
  TMetaInfo m{};
  ASSERT_TRUE(db_->RetrieveBLOB(e, sub.string() + "/", m));
  EXPECT_EQ(ReadBytes(sub / "myfile1.txt"), bytes);
  fs::remove(sub / "myfile1.txt");
  ASSERT_TRUE(db_->RetrieveBLOB(e, sub.string() + "\\", m));
  EXPECT_EQ(ReadBytes(sub / "myfile1.txt"), bytes);
  // An explicit target name is used as it is, replacing an existing file.
  WriteBytes(sub / "named.bin", std::vector<uint8_t>(5000, 1));
  ASSERT_TRUE(db_->RetrieveBLOB(e, (sub / "named.bin").string(), m));
  EXPECT_EQ(ReadBytes(sub / "named.bin"), bytes);
}

TEST_F(GeoDBBlob, RetrieveToFileWithoutUsableNameRaises) {
  Open();
  const int e = AddMem("///", Pattern(3), Meta(""));
  TMetaInfo m{};
  try {
    db_->RetrieveBLOB(e, "", m);
    FAIL() << "no error";
  } catch (const EZYLGeoDBError& err) {
    EXPECT_STREQ(err.what(), "Component \"DB\": RetrieveBLOB: invalid filename.");
  }
}

// Retrieving to a file of the database itself truncated it before the copy
// read from it, destroying the database.
TEST_F(GeoDBBlob, RetrieveNeverOverwritesAFileOfTheOpenDatabase) {
  Open();
  const int e = AddMem("world.zylgdd", Pattern(3000), Meta(""));
  const auto gdd = ReadBytes(File(".zylgdd"));
  const auto gds = ReadBytes(File(".zylgds"));
  TMetaInfo m{};
  for (const std::string& target : {File(".zylgdd").string(), File(".zylgds").string(),
                                    (dir_ / "." / "world.zylgi3").string(), dir_.string() + "/"}) {
    try {
      db_->RetrieveBLOB(e, target, m);
      FAIL() << "no error for " << target;
    } catch (const EZYLGeoDBError& err) {
      EXPECT_NE(std::string(err.what()).find("is a file of the open database."), std::string::npos);
    }
  }
  EXPECT_THROW(db_->ExportDataDebug(File(".zylgi0").string()), EZYLGeoDBError);
  EXPECT_EQ(ReadBytes(File(".zylgdd")), gdd);
  EXPECT_EQ(ReadBytes(File(".zylgds")), gds);
  EXPECT_EQ(fs::file_size(File(".zylgi0")), 8u);
  ASSERT_TRUE(db_->RetrieveBLOB(e, (dir_ / "copy.bin").string(), m));
  EXPECT_EQ(ReadBytes(dir_ / "copy.bin"), Pattern(3000));
}

TEST_F(GeoDBBlob, FileBlobTakesNameDateAndSizeFromTheFile) {
  Open();
  const fs::path src = dir_ / "photo.jpg";
  const auto bytes = Pattern(50000);
  WriteBytes(src, bytes);
  std::vector<int> got;
  db_->OnPercentDone = [&](TObject*, int p) { got.push_back(p); };
  const int e = db_->AddBLOB(src.string(), 1.0, 0, 0, 0, 0, 0, 0, 0, 0, Meta("c"));
  // Blocks of 16384 bytes: 33 %, 66 %, 98 %, then the last partial block
  // (which would be 131 %) is reported as 100.
  EXPECT_EQ(got, (std::vector<int>{0, 33, 66, 98, 100, 100}));
  const TgdbData r = db_->Data(e);
  EXPECT_EQ(r.Name.Text(), "photo.jpg");
  EXPECT_EQ(r.Size, 50000);
  TDateTime age;
  ASSERT_TRUE(FileAge(src.string(), age));
  EXPECT_EQ(r.Date, age);
  TMetaInfo m{};
  ASSERT_TRUE(db_->GetMetaInfo(e, m));
  EXPECT_EQ(GetMetaItem(m, miFilePath), src.string());
  EXPECT_EQ(GetMetaItem(m, miCaption), "c");

  TMemoryStream out;
  ASSERT_TRUE(db_->RetrieveBLOB(e, m, out));
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), out.Memory()));
}

TEST_F(GeoDBBlob, FileBlobWithNameInDatabaseAndRecordedPath) {
  Open();
  const fs::path src = dir_ / "a.bin";
  WriteBytes(src, Pattern(10));
  const int e1 = db_->AddBLOB(src.string(), "x/y/stored.bin", 0, 0, 0, 0, 0, 0, 0, 0, 0, Meta(""));
  EXPECT_EQ(db_->Data(e1).Name.Text(), "stored.bin");
  const int e2 = db_->AddBLOB(src.string(), "C:\\maps\\alpine.bin", "C:\\maps\\alpine.bin", 0, 0, 0,
                              0, 0, 0, 0, 0, 0, Meta(""));
  EXPECT_EQ(db_->Data(e2).Name.Text(), "alpine.bin");
  TMetaInfo m{};
  ASSERT_TRUE(db_->GetMetaInfo(e2, m));
  EXPECT_EQ(GetMetaItem(m, miFilePath), "C:\\maps\\alpine.bin");
}

TEST_F(GeoDBBlob, BlobSourcePathLongerThan127CharactersIsReadInFull) {
  Open();
  fs::path deep = dir_;
  while (deep.string().size() < 150) deep /= "subdirectory";
  fs::create_directories(deep);
  const fs::path src = deep / "data.bin";
  ASSERT_GT(src.string().size(), 127u);
  const auto bytes = Pattern(777);
  WriteBytes(src, bytes);
  const int e = db_->AddBLOB(src.string(), 0, 0, 0, 0, 0, 0, 0, 0, 0, Meta(""));
  ASSERT_EQ(e, 1);
  TMetaInfo m{};
  std::vector<uint8_t> back(777);
  ASSERT_TRUE(db_->RetrieveBLOB(e, m, back.data(), 777));
  EXPECT_EQ(back, bytes);
  EXPECT_EQ(GetMetaItem(m, miFilePath), src.string().substr(0, 127));
}

TEST_F(GeoDBBlob, MissingSourceFileRaisesAndAddsNothing) {
  Open();
  EXPECT_THROW(db_->AddBLOB((dir_ / "none").string(), 0, 0, 0, 0, 0, 0, 0, 0, 0, Meta("")),
               EInOutError);
  EXPECT_EQ(db_->NumEntries(), 0);
  EXPECT_EQ(fs::file_size(File(".zylgds")), 0u);
}

// The data file grows while it is copied into itself; the copy once chased
// its own end until the 2 GiB limit.
TEST_F(GeoDBBlob, SourceGrowingWhileCopiedIsReadOnlyToItsSizeAtTheStart) {
  Open();
  AddMem("first", Pattern(40000), Meta(""));
  const auto before = ReadBytes(File(".zylgdd"));
  const int e =
      db_->AddBLOB(File(".zylgdd").string(), "self", 0, 0, 0, 0, 0, 0, 0, 0, 0, Meta("self"));
  ASSERT_EQ(e, 2);
  EXPECT_EQ(db_->Data(e).Size, static_cast<int32_t>(before.size()));
  EXPECT_EQ(fs::file_size(File(".zylgdd")), 2 * before.size() + sizeof(TMetaInfo));
  std::vector<uint8_t> back(before.size());
  TMetaInfo m{};
  ASSERT_TRUE(db_->RetrieveBLOB(e, m, back.data(), static_cast<int32_t>(back.size())));
  // Everything but the header, whose HighestID was raised before the copy.
  EXPECT_TRUE(std::equal(back.begin() + sizeof(TgdbSystemData), back.end(),
                         before.begin() + sizeof(TgdbSystemData)));
}

TEST_F(GeoDBBlob, InvalidMemoryArgumentsAreRejectedBeforeWriting) {
  Open();
  EXPECT_THROW(db_->AddBLOB("n", 0, 0, 0, 0, 0, 0, 0, 0, 0, Meta(""), nullptr, 10), EZYLGeoDBError);
  uint8_t b = 0;
  EXPECT_THROW(db_->AddBLOB("n", 0, 0, 0, 0, 0, 0, 0, 0, 0, Meta(""), &b, -1), EZYLGeoDBError);
  EXPECT_EQ(db_->NumEntries(), 0);
  EXPECT_EQ(db_->HighestID(), 0);
  EXPECT_EQ(fs::file_size(File(".zylgdd")), 260u);
  // An empty BLOB is fine.
  const int e = db_->AddBLOB("n", 0, 0, 0, 0, 0, 0, 0, 0, 0, Meta(""), nullptr, 0);
  TMemoryStream out;
  TMetaInfo m{};
  EXPECT_TRUE(db_->RetrieveBLOB(e, m, out));
  EXPECT_EQ(out.Size(), 0);
}

TEST_F(GeoDBBlob, UpdateMetaInfoOverwritesInPlace) {
  Open();
  const auto bytes = Pattern(100);
  const int e = AddMem("b", bytes, Meta("old"));
  const auto size0 = fs::file_size(File(".zylgdd"));
  TMetaInfo m = Meta("new caption");
  SetMetaItem(m, miComment, std::string(300, 'c'));  // cut to 255
  ASSERT_TRUE(db_->UpdateMetaInfo(e, m));
  EXPECT_EQ(fs::file_size(File(".zylgdd")), size0);
  TMetaInfo back{};
  std::vector<uint8_t> data(100);
  ASSERT_TRUE(db_->RetrieveBLOB(e, back, data.data(), 100));
  EXPECT_EQ(GetMetaItem(back, miCaption), "new caption");
  EXPECT_EQ(GetMetaItem(back, miComment), std::string(255, 'c'));
  EXPECT_EQ(data, bytes);
}

TEST_F(GeoDBBlob, ReplaceBlobFromMemoryAndFile) {
  Open();
  const int e = AddMem("b", Pattern(10), Meta(""));
  const auto bytes = Pattern(20);
  db_->ReplaceBLOB(e, "b2", 0, 0, 0, 0, 0, 0, 0, 0, 0, Meta("r"), bytes.data(), 20);
  EXPECT_EQ(db_->Data(e).Size, 20);
  EXPECT_EQ(db_->Data(e).ItemId, 1);
  const fs::path src = dir_ / "r.bin";
  WriteBytes(src, Pattern(33));
  db_->ReplaceBLOB(e, src.string(), 0, 0, 0, 0, 0, 0, 0, 0, 0, Meta(""));
  EXPECT_EQ(db_->Data(e).Name.Text(), "r.bin");
  TMemoryStream out;
  TMetaInfo m{};
  ASSERT_TRUE(db_->RetrieveBLOB(e, m, out));
  EXPECT_EQ(out.Size(), 33);
}

}  // namespace
}  // namespace marovia::testing
