// File-name helpers and StringIx.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "marovia/zylbase/stringl.h"

using namespace marovia;

TEST(StripExtension, RemovesOnlyTheLastExtensionOfTheFileName) {
  EXPECT_EQ(StripExtension("maps/vienna.jpg"), "maps/vienna");
  EXPECT_EQ(StripExtension("archive.tar.gz"), "archive.tar");
  EXPECT_EQ(StripExtension("name."), "name");
  EXPECT_EQ(StripExtension("noext"), "noext");
  EXPECT_EQ(StripExtension("dir.d/noext"), "dir.d/noext");  // dots in directories stay
  EXPECT_EQ(StripExtension("C:\\maps.v2\\world"), "C:\\maps.v2\\world");
  EXPECT_EQ(StripExtension(".profile"), ".profile");  // hidden file, no extension
  EXPECT_EQ(StripExtension("dir/.hidden.txt"), "dir/.hidden");
  EXPECT_EQ(StripExtension(""), "");
}

TEST(StripPath, KeepsTheTextAfterTheLastSeparator) {
  EXPECT_EQ(StripPath("a.b/c/map.xml"), "map.xml");
  EXPECT_EQ(StripPath("C:\\data\\map.xml"), "map.xml");
  EXPECT_EQ(StripPath("map.xml"), "map.xml");
  EXPECT_EQ(StripPath("dir/"), "");
  EXPECT_EQ(StripExtension(StripPath("/x/y.z/map.jpeg")) + ".jpg", "map.jpg");
}

TEST(ReduceStringToFN83CompliantChars, KeepsAPlainFileName) {
  EXPECT_EQ(ReduceStringToFN83CompliantChars("My Map (v2)!.jpg"), "MyMap(v2)!.jpg");
  EXPECT_EQ(ReduceStringToFN83CompliantChars("Z\xC3\xBCrich*?<>|\":;,+=[]"), "Zrich");
  EXPECT_EQ(ReduceStringToFN83CompliantChars("~a_b-c@d#e$f%g&h'i^j`k{l}"),
            "~a_b-c@d#e$f%g&h'i^j`k{l}");
  // Separators and leading dots go, so the name cannot leave its directory.
  EXPECT_EQ(ReduceStringToFN83CompliantChars("../../etc/passwd"), "etcpasswd");
  EXPECT_EQ(ReduceStringToFN83CompliantChars("..\\..\\boot.ini"), "boot.ini");
  EXPECT_EQ(ReduceStringToFN83CompliantChars(".."), "");
  EXPECT_EQ(ReduceStringToFN83CompliantChars(std::string("a\0b", 3)), "ab");
}

TEST(StringIx, AnswersOneBasedPositionOrZero) {
  const std::vector<std::string> list = {"WGS84", "GRS80", "WGS84", "Clarke"};
  EXPECT_EQ(StringIx("WGS84", list, 3), 1);  // first match
  EXPECT_EQ(StringIx("Clarke", list, 3), 4);
  EXPECT_EQ(StringIx("Clarke", list, 2), 0);  // beyond High
  EXPECT_EQ(StringIx("wgs84", list, 3), 0);   // exact comparison
  EXPECT_EQ(StringIx("Clarke", list, 99), 4);
  EXPECT_EQ(StringIx("WGS84", list, -1), 0);
  const std::array<const char*, 3> raw = {"a", nullptr, "c"};
  EXPECT_EQ(StringIx("c", raw, 2), 3);
}
