#include <gtest/gtest.h>

#include <cstring>

#include "marovia/platform/streams.h"
#include "marovia/platform/sysutils.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

std::string Contents(TMemoryStream& m) {
  return std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size()));
}

TEST(MemoryStream, WriteAfterSeekPastEndFillsZeros) {
  TMemoryStream m;
  m.WriteBuffer("ab", 2);
  EXPECT_EQ(m.Seek(5, soBeginning), 5);
  EXPECT_EQ(m.Size(), 2);  // seeking alone does not grow
  m.WriteBuffer("z", 1);
  EXPECT_EQ(Contents(m), std::string("ab\0\0\0z", 6));
  EXPECT_EQ(m.Position(), 6);
}

TEST(MemoryStream, ReadAtEndAnswersZeroAndReadBufferRaises) {
  TMemoryStream m;
  m.WriteBuffer("hello", 5);
  char buf[8] = {};
  EXPECT_EQ(m.Read(buf, 8), 0);
  m.SetPosition(3);
  EXPECT_EQ(m.Read(buf, 8), 2);
  EXPECT_EQ(std::string(buf, 2), "lo");
  m.SetPosition(9);
  EXPECT_EQ(m.Read(buf, 1), 0);
  m.SetPosition(2);
  EXPECT_THROW(m.ReadBuffer(buf, 4), EReadError);
  EXPECT_EQ(m.Read(buf, -1), 0);
}

TEST(MemoryStream, SeekOriginsAndInvalidPositions) {
  TMemoryStream m;
  m.WriteBuffer("0123456789", 10);
  EXPECT_EQ(m.Seek(-3, soEnd), 7);
  EXPECT_EQ(m.Seek(1, soCurrent), 8);
  EXPECT_THROW(m.Seek(-1, soBeginning), EStreamError);
  EXPECT_THROW(m.Seek(-11, soEnd), EStreamError);
  EXPECT_EQ(m.Position(), 8);  // a refused seek keeps the position
  m.SetPosition(INT64_MAX);
  EXPECT_THROW(m.Write("x", 1), EStreamError);  // no wrap-around, no huge allocation
  EXPECT_THROW(m.Seek(1, soCurrent), EStreamError);
}

TEST(MemoryStream, SetSizeKeepsOrClampsThePosition) {
  TMemoryStream m;
  m.WriteBuffer("abcdef", 6);
  m.SetPosition(2);
  m.SetSize(10);
  EXPECT_EQ(m.Position(), 2);
  EXPECT_EQ(Contents(m), std::string("abcdef\0\0\0\0", 10));
  m.SetSize(1);
  EXPECT_EQ(m.Position(), 1);
  EXPECT_EQ(Contents(m), "a");
  EXPECT_THROW(m.SetSize(-1), EStreamError);
  m.Clear();
  EXPECT_EQ(m.Size(), 0);
  EXPECT_EQ(m.Position(), 0);
}

TEST(MemoryStream, LoadSaveAndCopy) {
  test::TempDir dir;
  TMemoryStream a;
  a.WriteBuffer("payload", 7);
  a.SetPosition(3);
  a.SaveToFile(dir.File("p.bin"));  // the whole contents, not from the position
  EXPECT_EQ(dir.Read("p.bin"), "payload");

  TMemoryStream b;
  b.WriteBuffer("old", 3);
  b.LoadFromFile(dir.File("p.bin"));
  EXPECT_EQ(Contents(b), "payload");
  EXPECT_EQ(b.Position(), 0);

  // A failed load leaves the stream as it was.
  EXPECT_THROW(b.LoadFromFile(dir.File("missing.bin")), EInOutError);
  EXPECT_EQ(Contents(b), "payload");

  TMemoryStream c;
  b.SetPosition(4);
  EXPECT_EQ(c.CopyFrom(b, 2), 2);
  EXPECT_EQ(Contents(c), "oa");
  EXPECT_EQ(c.CopyFrom(b, 0), 7);  // 0: all of the source
  EXPECT_EQ(Contents(c), "oapayload");
  b.SetPosition(6);
  EXPECT_THROW(c.CopyFrom(b, 5), EReadError);

  b.LoadFromStream(b);  // loading from itself keeps the bytes
  EXPECT_EQ(Contents(b), "payload");
}

TEST(FileStream, CreateWriteReadSeekAndResize) {
  test::TempDir dir;
  const std::string name = dir.File("f.bin");
  {
    TFileStream f(name, fmCreate);
    f.WriteBuffer("0123456789", 10);
    EXPECT_EQ(f.Size(), 10);
    EXPECT_EQ(f.Seek(-4, soEnd), 6);
    char buf[4];
    f.ReadBuffer(buf, 4);
    EXPECT_EQ(std::string(buf, 4), "6789");
    EXPECT_EQ(f.Read(buf, 4), 0);
    EXPECT_THROW(f.ReadBuffer(buf, 1), EReadError);
    f.Seek(12, soBeginning);
    f.WriteBuffer("x", 1);
    EXPECT_EQ(f.Size(), 13);
    f.SetSize(5);
    EXPECT_EQ(f.Position(), 5);
    EXPECT_THROW(f.Seek(-1, soBeginning), EStreamError);
  }
  EXPECT_EQ(dir.Read("f.bin"), "01234");
  {
    TFileStream r(name, fmOpenRead);
    EXPECT_EQ(r.FileName(), name);
    EXPECT_THROW(r.WriteBuffer("y", 1), EInOutError);  // read-only descriptor
  }
}

TEST(FileStream, OpenFailuresNameTheFile) {
  test::TempDir dir;
  const std::string missing = dir.File("nope.bin");
  try {
    TFileStream f(missing, fmOpenRead);
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.FileName(), missing);
    EXPECT_NE(e.Message().find(missing), std::string::npos);
    EXPECT_EQ(e.ErrorCode(), ENOENT);
  }
  EXPECT_FALSE(std::filesystem::exists(missing));  // opening for reading creates nothing
  EXPECT_THROW(TFileStream(dir.Path().string(), fmOpenRead), EInOutError);  // a directory
  EXPECT_THROW(TFileStream("", fmCreate), EInOutError);
  EXPECT_THROW(TFileStream(std::string("a\0b", 3), fmCreate), EInOutError);
}

}  // namespace
}  // namespace marovia
