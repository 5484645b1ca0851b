#include <gtest/gtest.h>

#include <cstring>

#include "marovia/platform/files.h"
#include "marovia/platform/sysutils.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

struct Rec {
  int32_t id;
  float value;
};
static_assert(sizeof(Rec) == 8);

TEST(BinaryFile, WritesReadsSeeksAndTruncatesRecords) {
  test::TempDir dir;
  TBinaryFile f(dir.File("r.dat"), sizeof(Rec));
  f.Rewrite();
  Rec recs[3] = {{1, 1.5f}, {2, 2.5f}, {3, 3.5f}};
  f.BlockWrite(recs, 3);
  EXPECT_EQ(f.FileSize(), 3);
  EXPECT_EQ(f.FilePos(), 3);
  EXPECT_TRUE(f.Eof());
  f.Seek(1);
  Rec r{};
  f.BlockRead(&r, 1);
  EXPECT_EQ(r.id, 2);
  EXPECT_EQ(f.FilePos(), 2);
  f.Seek(1);
  Rec changed{9, 9.5f};
  f.BlockWrite(&changed, 1);  // overwrite in place
  f.Truncate();
  EXPECT_EQ(f.FileSize(), 2);
  f.Seek(5);
  f.BlockWrite(&changed, 1);  // writing past the end extends the file
  EXPECT_EQ(f.FileSize(), 6);
  f.CloseFile();
  EXPECT_EQ(std::filesystem::file_size(dir.File("r.dat")), 48u);

  f.Reset(TFileAccess::faReadOnly);
  Rec back[2];
  f.BlockRead(back, 2);
  EXPECT_EQ(back[0].id, 1);
  EXPECT_EQ(back[1].id, 9);
}

TEST(BinaryFile, ShortReadRaisesButTheResultFormCounts) {
  test::TempDir dir;
  dir.Write("d.bin", std::string(20, 'x'));  // 2.5 records of 8 bytes
  TBinaryFile f(dir.File("d.bin"), 8);
  f.Reset(TFileAccess::faReadOnly);
  EXPECT_EQ(f.FileSize(), 2);
  char buf[32];
  try {
    f.BlockRead(buf, 3);
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.FileName(), dir.File("d.bin"));
    EXPECT_NE(e.Message().find("read past end of file"), std::string::npos);
  }
  EXPECT_EQ(f.FilePos(), 0);  // a failed read does not move
  int64_t got = -1;
  f.BlockRead(buf, 4, got);
  EXPECT_EQ(got, 2);
  EXPECT_EQ(f.FilePos(), 2);
  f.BlockRead(buf, 1, got);
  EXPECT_EQ(got, 0);
}

TEST(BinaryFile, ReadOnlyResetNeitherCreatesNorWrites) {
  test::TempDir dir;
  TBinaryFile f(dir.File("none.zylgds"), 120);
  try {
    f.Reset(TFileAccess::faReadOnly);
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), ENOENT);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("none.zylgds")));

  dir.Write("one.bin", std::string(8, 'a'));
  TBinaryFile g(dir.File("one.bin"), 8);
  g.Reset(TFileAccess::faReadOnly);
  EXPECT_THROW(g.BlockWrite("bbbbbbbb", 1), EInOutError);
  EXPECT_THROW(g.Truncate(), EInOutError);
  g.CloseFile();
  EXPECT_EQ(dir.Read("one.bin"), std::string(8, 'a'));
}

TEST(BinaryFile, InvalidUseRaisesInsteadOfMisbehaving) {
  test::TempDir dir;
  TBinaryFile f(dir.File("x.bin"), 8);
  char buf[8];
  EXPECT_THROW(f.BlockRead(buf, 1), EInOutError);  // not open
  EXPECT_THROW(f.FileSize(), EInOutError);
  f.Rewrite();
  EXPECT_THROW(f.Seek(-1), EInOutError);
  EXPECT_THROW(f.BlockRead(buf, -1), EInOutError);
  EXPECT_THROW(f.Seek(INT64_MAX / 4), EInOutError);  // byte offset would overflow
  EXPECT_THROW(TBinaryFile(dir.File("y.bin"), 0), EInOutError);
  TBinaryFile below(dir.File("x.bin") + "/sub.bin", 8);  // parent is a file
  EXPECT_THROW(below.Rewrite(), EInOutError);
}

TEST(BinaryFile, DiskFullRaisesInOutError) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TBinaryFile f("/dev/full", 4);
  f.Reset(TFileAccess::faWriteOnly);
  try {
    f.BlockWrite("abcd", 1);
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), ENOSPC);
  }
}

TEST(FileUtils, ExistenceRenameDeleteAndNameParts) {
  test::TempDir dir;
  const std::string a = dir.Write("a.txt", "abc");
  EXPECT_TRUE(FileExists(a));
  EXPECT_FALSE(FileExists(dir.Path().string()));
  EXPECT_TRUE(DirectoryExists(dir.Path().string()));
  EXPECT_EQ(FileSizeByName(a), 3);
  EXPECT_EQ(FileSizeByName(dir.File("none")), -1);
  const std::string b = dir.Write("b.txt", "x");
  EXPECT_TRUE(RenameFile(a, b));  // replaces the existing target
  EXPECT_EQ(dir.Read("b.txt"), "abc");
  EXPECT_FALSE(FileExists(a));
  EXPECT_TRUE(DeleteFile(b));
  EXPECT_FALSE(DeleteFile(b));
  EXPECT_TRUE(ForceDirectories(dir.File("p/q/r")));
  EXPECT_TRUE(DirectoryExists(dir.File("p/q/r")));
  EXPECT_FALSE(FileExists(""));

  EXPECT_EQ(ExtractFileName("/maps/world.jpg"), "world.jpg");
  EXPECT_EQ(ExtractFilePath("/maps/world.jpg"), "/maps/");
  EXPECT_EQ(ExtractFileName("C:\\maps\\world.jpg"), "world.jpg");
  EXPECT_EQ(ExtractFileExt("/maps.d/world"), "");
  EXPECT_EQ(ExtractFileExt("world.tar.gz"), ".gz");
  EXPECT_EQ(ChangeFileExt("/db/world.zylgds", ".zylgdd"), "/db/world.zylgdd");
  EXPECT_EQ(ChangeFileExt("/db.x/world", ".zylgi0"), "/db.x/world.zylgi0");
  EXPECT_EQ(ChangeFileExt("world.zylgds", ""), "world");
}

}  // namespace
}  // namespace marovia
