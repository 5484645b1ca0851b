// Every map file the project ships (the sample atlas) reads whole, from a
// file and from a stream alike: the reader's refusal of cut sets must never
// refuse a complete one. The counts are checked against a plain count of
// the elements in the file's text.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "marovia/geomap/calxml.h"
#include "marovia/geomap/geomap.h"
#include "marovia/geomap/symbol_repository.h"
#include "marovia/platform/streams.h"

namespace marovia {
namespace {

std::string Bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Fill(TMemoryStream& s, const std::string& bytes) {
  s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s.SetPosition(0);
}

// Occurrences of Text in Bytes.
int Count(const std::string& bytes, const std::string& text) {
  int n = 0;
  for (size_t at = bytes.find(text); at != std::string::npos; at = bytes.find(text, at + 1)) ++n;
  return n;
}

// Bracketed pieces inside the elements called Name.
int PiecesIn(const std::string& bytes, const std::string& name) {
  int n = 0;
  for (size_t at = bytes.find("<" + name); at != std::string::npos;
       at = bytes.find("<" + name, at + 1))
    n += Count(bytes.substr(at, bytes.find("</" + name, at) - at), "[");
  return n;
}

TEST(StoredMapFiles, EverySampleFileReadsWhole) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(MAROVIA_SAMPLES_DIR)) {
    if (entry.path().extension() != ".xml") continue;
    ++files;
    const std::string name = entry.path().string();
    SCOPED_TRACE(name);
    const std::string bytes = Bytes(entry.path());
    TMemoryStream stream;
    Fill(stream, bytes);
    if (bytes.find("<geomap ") != std::string::npos) {
      TCalibData fromFile, fromStream;
      TCalibModel m1 = cmUndefined, m2 = cmUndefined;
      ASSERT_TRUE(ParseCalibData(name, "", fromFile, m1));
      ASSERT_TRUE(ParseCalibData(stream, "", fromStream, m2));
      EXPECT_EQ(fromFile, fromStream);
      EXPECT_EQ(m1, m2);
      EXPECT_EQ(fromFile.NumCalLines, Count(bytes, "<calline "));
      EXPECT_EQ(fromFile.NumCalQuads, PiecesIn(bytes, "calquads"));
    } else if (bytes.find("<gmlandmarks ") != std::string::npos) {
      TGeoMap fromFile(nullptr), fromStream(nullptr);
      ASSERT_TRUE(fromFile.LoadLandMarks(name, ""));
      ASSERT_TRUE(fromStream.LoadLandMarks(stream, ""));
      ASSERT_EQ(fromFile.NumLandMarks(), Count(bytes, "<landmark "));
      for (int i = 1; i <= fromFile.NumLandMarks(); ++i)
        EXPECT_EQ(fromFile.LandMarkData(i), fromStream.LandMarkData(i)) << i;
    } else {
      ASSERT_NE(bytes.find("<lmsymbols "), std::string::npos);
      TSymbolRepository fromFile(nullptr), fromStream(nullptr);
      ASSERT_TRUE(fromFile.LoadFromFile(name, ""));
      ASSERT_TRUE(fromStream.LoadFromStream(stream, ""));
      ASSERT_EQ(fromFile.NumEntries(), Count(bytes, "<symbol "));
      for (int i = 1; i <= fromFile.NumEntries(); ++i)
        EXPECT_EQ(fromFile.Symbols(i), fromStream.Symbols(i)) << i;
    }
  }
  EXPECT_EQ(files, 9);
}

}  // namespace
}  // namespace marovia
