// Replacing a file whole: the target is either the old file or the new one,
// never a half-written one, and no temporary file is left behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "files/replace_file.h"
#include "marovia/platform/sysutils.h"
#include "support/temp_dir.h"

using namespace marovia;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> Entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void WriteTwoLines(TTextFile& f) {
  f.WriteLn("new 1");
  f.WriteLn("new 2");
}

}  // namespace

TEST(FileReplacement, CreatesAndReplacesWithCrLfLines) {
  test::TempDir dir;
  const std::string target = dir.File("set.xml");
  ReplaceFileContents(target, WriteTwoLines);
  EXPECT_EQ(dir.Read("set.xml"), "new 1\r\nnew 2\r\n");

  TFileReplacement r(target);
  r.WriteLn(
      "Gr\xC3\xBC\xC3\x9F"
      "e");                                              // UTF-8 in, Windows-1252 out
  EXPECT_EQ(dir.Read("set.xml"), "new 1\r\nnew 2\r\n");  // untouched until Commit
  r.Commit();
  EXPECT_EQ(dir.Read("set.xml"),
            "Gr\xFC\xDF"
            "e\r\n");
  EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"set.xml"});
}

TEST(FileReplacement, AFailureWhileWritingLeavesTheTargetAsItWas) {
  test::TempDir dir;
  const std::string target = dir.Write("set.xml", "old contents\r\n");
  EXPECT_THROW(ReplaceFileContents(target,
                                   [](TTextFile& f) {
                                     f.WriteLn("half");
                                     throw std::runtime_error("midway");
                                   }),
               std::runtime_error);
  EXPECT_EQ(dir.Read("set.xml"), "old contents\r\n");
  EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"set.xml"});

  {
    TFileReplacement dropped(target);
    dropped.WriteLn("never committed");
  }
  EXPECT_EQ(dir.Read("set.xml"), "old contents\r\n");
  EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"set.xml"});
}

TEST(FileReplacement, ErrorsNameTheTargetNotTheTemporaryFile) {
  test::TempDir dir;
  // A folder that does not exist.
  const std::string missing = dir.File("no/such/folder/set.xml");
  try {
    ReplaceFileContents(missing, WriteTwoLines);
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.FileName(), missing);
    EXPECT_NE(e.Message().find("cannot create"), std::string::npos) << e.Message();
  }
  // A failure of the temporary file inside the writer.
  const std::string target = dir.Write("set.xml", "old\r\n");
  try {
    ReplaceFileContents(target, [](TTextFile& f) { f.ReadLn(); });
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.FileName(), target);
    EXPECT_EQ(e.Message(), "File \"" + target + "\": file not open for input");
  }
  // The target is a folder: the rename fails.
  fs::create_directory(dir.File("folder.xml"));
  try {
    ReplaceFileContents(dir.File("folder.xml"), WriteTwoLines);
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.FileName(), dir.File("folder.xml"));
  }
  EXPECT_TRUE(fs::is_directory(dir.File("folder.xml")));
  EXPECT_EQ(dir.Read("set.xml"), "old\r\n");
  EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"folder.xml", "set.xml"}));
  EXPECT_THROW(TFileReplacement(""), EInOutError);
}

TEST(FileReplacement, KeepsPermissionsAndSymbolicLinks) {
  test::TempDir dir;
  const std::string real = dir.Write("real.xml", "old\r\n");
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  fs::create_symlink("real.xml", dir.File("link.xml"));

  ReplaceFileContents(dir.File("link.xml"), WriteTwoLines);
  EXPECT_TRUE(fs::is_symlink(dir.File("link.xml")));
  EXPECT_EQ(dir.Read("real.xml"), "new 1\r\nnew 2\r\n");
  struct stat st;
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"link.xml", "real.xml"}));
}
