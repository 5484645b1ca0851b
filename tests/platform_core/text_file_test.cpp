#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "marovia/platform/files.h"
#include "marovia/platform/sysutils.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

TEST(TextFile, WritesCrLfAndReadsEveryLineEnd) {
  test::TempDir dir;
  TTextFile out(dir.File("a.txt"));
  out.Rewrite();
  out.WriteLn("first");
  out.Write("sec");
  out.WriteLn("ond");
  out.WriteLn();
  out.CloseFile();
  EXPECT_EQ(dir.Read("a.txt"), "first\r\nsecond\r\n\r\n");

  dir.Write("b.txt", "lf\ncrlf\r\ncr\rlast");
  TTextFile in(dir.File("b.txt"));
  in.Reset();
  std::vector<std::string> lines;
  while (!in.Eof()) lines.push_back(in.ReadLn());
  EXPECT_EQ(lines, (std::vector<std::string>{"lf", "crlf", "cr", "last"}));
  EXPECT_EQ(in.ReadLn(), "");  // reading at the end answers an empty line
}

TEST(TextFile, EofOnEmptyFileAndLinesKeepTheirBytes) {
  test::TempDir dir;
  dir.Write("empty.txt", "");
  TTextFile f(dir.File("empty.txt"));
  f.Reset();
  EXPECT_TRUE(f.Eof());
  f.CloseFile();

  dir.Write("bytes.txt", std::string("a\0\xE9\x80\r\n", 6));
  f.AssignFile(dir.File("bytes.txt"));
  f.Reset();
  EXPECT_EQ(f.ReadLn(), std::string("a\0\xE9\x80", 4));
  EXPECT_TRUE(f.Eof());
}

TEST(TextFile, AppendAddsAtTheEndAndNeedsAnExistingFile) {
  test::TempDir dir;
  dir.Write("log.txt", "one\r\n");
  TTextFile f(dir.File("log.txt"));
  f.Append();
  f.WriteLn("two");
  f.CloseFile();
  EXPECT_EQ(dir.Read("log.txt"), "one\r\ntwo\r\n");

  TTextFile g(dir.File("none.txt"));
  EXPECT_THROW(g.Append(), EInOutError);
  EXPECT_FALSE(std::filesystem::exists(dir.File("none.txt")));
}

TEST(TextFile, MissingFileRaisesInOutErrorNamingIt) {
  test::TempDir dir;
  const std::string name = dir.File("missing.xml");
  TTextFile f(name);
  try {
    f.Reset();
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.FileName(), name);
    EXPECT_NE(e.Message().find(name), std::string::npos);
    EXPECT_NE(e.Message().find("No such file"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(f.IsOpen());
  EXPECT_FALSE(std::filesystem::exists(name));
}

TEST(TextFile, RewriteBelowARegularFileFails) {
  test::TempDir dir;
  dir.Write("plain", "x");
  const std::string name = dir.File("plain") + "/out.txt";
  TTextFile f(name);
  try {
    f.Rewrite();
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.FileName(), name);
    EXPECT_EQ(e.ErrorCode(), ENOTDIR);
  }
}

TEST(TextFile, RewriteInReadOnlyDirectoryFails) {
  if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
  test::TempDir dir;
  std::filesystem::create_directory(dir.File("ro"));
  std::filesystem::permissions(dir.File("ro"), std::filesystem::perms(0555));
  TTextFile f(dir.File("ro") + "/out.txt");
  EXPECT_THROW(f.Rewrite(), EInOutError);
  std::filesystem::permissions(dir.File("ro"), std::filesystem::perms(0755));
}

TEST(TextFile, RefusesEmptyNamesDirectoriesAndWrongDirection) {
  test::TempDir dir;
  TTextFile unnamed;
  EXPECT_THROW(unnamed.Rewrite(), EInOutError);  // never standard output
  TTextFile d(dir.Path().string());
  EXPECT_THROW(d.Reset(), EInOutError);

  TTextFile f(dir.File("w.txt"));
  EXPECT_THROW(f.ReadLn(), EInOutError);  // not open
  f.Rewrite();
  EXPECT_THROW(f.ReadLn(), EInOutError);  // open for output
  EXPECT_THROW(f.Eof(), EInOutError);
  f.CloseFile();
  f.Reset();
  EXPECT_THROW(f.WriteLn("x"), EInOutError);  // open for input
}

TEST(TextFile, LostWriteIsReportedAtClose) {
  // The device answers every write with "no space left".
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TTextFile f("/dev/full");
  f.Rewrite();
  f.WriteLn("buffered");
  EXPECT_THROW(f.CloseFile(), EInOutError);
  EXPECT_FALSE(f.IsOpen());
}

TEST(TextFile, TextPosReturnsToAnEarlierLine) {
  test::TempDir dir;
  dir.Write("t.txt", "a\r\nbb\r\nccc\r\n");
  TTextFile f(dir.File("t.txt"));
  f.Reset();
  f.ReadLn();
  const int64_t mark = f.TextPos();
  EXPECT_EQ(mark, 3);
  EXPECT_EQ(f.ReadLn(), "bb");
  EXPECT_EQ(f.ReadChar(), 'c');
  f.SetTextPos(mark);
  EXPECT_EQ(f.PeekChar(), 'b');
  EXPECT_EQ(f.ReadLn(), "bb");
  EXPECT_THROW(f.SetTextPos(-1), EInOutError);
}

TEST(TextFile, BlocksAndCharactersReadTheSameBytes) {
  // Longer than the read-ahead, with a CR LF across every 4 KiB boundary.
  std::string bytes;
  for (int i = 0; bytes.size() < 200000; ++i) {
    bytes += std::string(4095 - bytes.size() % 4096, static_cast<char>('a' + i % 26));
    bytes += "\r\n";
  }
  test::TempDir dir;
  dir.Write("big.txt", bytes);
  TTextFile f(dir.File("big.txt"));
  f.Reset();
  std::string got;
  size_t step = 1;
  for (std::string_view block = f.PeekBlock(); !block.empty(); block = f.PeekBlock()) {
    // Mix the ways of reading: runs of growing length, then single bytes.
    const size_t n = std::min(block.size(), step++ % 7000);
    got.append(block.substr(0, n));
    f.SkipBytes(n);
    EXPECT_EQ(f.TextPos(), static_cast<int64_t>(got.size()));
    if (f.PeekChar() >= 0) got += static_cast<char>(f.ReadChar());
  }
  EXPECT_EQ(got, bytes);
  EXPECT_TRUE(f.Eof());
  f.SkipBytes(10);  // nothing left to skip
  EXPECT_EQ(f.ReadChar(), -1);

  f.SetTextPos(0);
  size_t lines = 0;
  while (!f.Eof()) {
    const std::string line = f.ReadLn();
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
    ++lines;
  }
  size_t ends = 0;
  for (size_t at = bytes.find("\r\n"); at != std::string::npos; at = bytes.find("\r\n", at + 1))
    ++ends;
  EXPECT_EQ(lines, ends);
}

}  // namespace
}  // namespace marovia
