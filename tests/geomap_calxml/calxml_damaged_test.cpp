// Damaged and hostile calibration files: every patch of one valid file
// gives a clear error or an answer, never a crash, a write past a capacity
// of the record or an allocation sized by a number in the file; and a read
// that raises leaves the record or the map exactly as it was.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "calxml_test_support.h"
#include "marovia/geomap/calxml.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

// A valid set with two lines (three points each), corners and quadruples.
std::string ValidFile() {
  TCalibData cd;
  cd.Caption = "valid";
  test::AddGraticule(cd);
  cd.NumCalLines = 2;
  test::AddGrid(cd);
  cd.NumCalQuads = 3;
  test::TempDir dir;
  test::WriteTextFile(dir.File("v.xml"), [&](TTextFile& f) {
    WriteRawCalDataToOpenXMLFile(f, true, "v", cd, cmBiquadraticPn);
  });
  return dir.Read("v.xml");
}

std::string Replaced(std::string s, const std::string& from, const std::string& to) {
  const size_t at = s.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) s.replace(at, from.size(), to);
  return s;
}

std::string Repeat(const std::string& s, int n) {
  std::string r;
  for (int i = 0; i < n; ++i) r += s;
  return r;
}

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

constexpr const char* kAny = "*";  // found, not found or an error: no crash
// The set ends before "</geomap>": the error names the source and the root
// line (line 4 of every cut below).
constexpr const char* kCut = "cut";

struct Outcome {
  bool found = false;
  std::string error;  // message without the reader's prefix; "" without error
  TCalibData data;
  TCalibData before;  // what the reader was handed (record) or held (map)
  TCalibModel model = cmUndefined, modelBefore = cmUndefined;
};

// Whether an error is the one for a set cut before its end, from the named
// source.
bool IsCutError(const std::string& error, const std::string& source) {
  const std::string tail = ": the data set of line 4 ends before </geomap>";
  return error.size() > tail.size() && error.rfind(source, 0) == 0 &&
         error.compare(error.size() - tail.size(), tail.size(), tail) == 0;
}

Outcome ReadAsRecord(const std::string& bytes) {
  Outcome o;
  TMemoryStream s;
  s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s.SetPosition(0);
  o.data.NumCalQuads = 1;  // something for a failed read to keep
  o.data.Resolution = 7;
  o.before = o.data;
  o.modelBefore = o.model = cmConicConformal;
  try {
    o.found = ParseCalibData(s, "", o.data, o.model);
  } catch (const EZYLGeoMapError& e) {
    const std::string prefix = "ParseCalibData: ";
    o.error = e.what();
    EXPECT_EQ(o.error.substr(0, prefix.size()), prefix);
    o.error.erase(0, prefix.size());
  }
  return o;
}

Outcome ReadIntoMap(const std::string& bytes, const test::TempDir& dir) {
  Outcome o;
  test::CalTestMap map;
  static const std::string valid = ValidFile();
  EXPECT_TRUE(map.LoadCalDataFromXML(dir.Write("d.xml", valid), ""));
  o.before = map.CalibData();
  o.modelBefore = map.CalibModel();
  try {
    o.found = map.LoadCalDataFromXML(dir.Write("d.xml", bytes), "");
  } catch (const EZYLGeoMapError& e) {
    const std::string prefix = test::MapError("");
    o.error = e.what();
    EXPECT_EQ(o.error.substr(0, prefix.size()), prefix);
    o.error.erase(0, prefix.size());
  }
  o.data = map.CalibData();
  o.model = map.CalibModel();
  return o;
}

void ExpectWithinCapacities(const TCalibData& cd, const std::string& what) {
  EXPECT_GE(cd.NumCalLines, 0) << what;
  EXPECT_LE(cd.NumCalLines, kMaxCalLines) << what;
  for (int i = 0; i < cd.NumCalLines; ++i) {
    EXPECT_GE(cd.CalLines[i].NumPoints, 0) << what;
    EXPECT_LE(cd.CalLines[i].NumPoints, kMaxLinePoints) << what;
  }
  EXPECT_GE(cd.NumCalQuads, 0) << what;
  EXPECT_LE(cd.NumCalQuads, kMaxCalQuads) << what;
}

const std::string kCountError =
    "specified number of calibration points and actual number does not match";

TEST(CalXmlDamaged, PatchesOfOneValidFile) {
  const std::string valid = ValidFile();
  const std::string line3 =
      "<calline type=\"meridian\" value=\"1\" npoints=\"3\">[1,2] [3,4] [5,6]</calline>\r\n";
  const std::string quad = "[1.00000,2.00000,3,4] ";
  const struct {
    const char* what;
    std::string bytes;
    const char* error;  // nullptr: no error; kAny: anything but a crash
    bool found;
    int lines, quads;  // counts after the read (-1: not checked)
  } cases[] = {
      {"valid", valid, nullptr, true, 2, 3},
      {"26 lines", Replaced(valid, "<corners>", Repeat(line3, 26) + "<corners>"),
       "a data set holds more than 25 calibration lines", false, 25, -1},
      {"11 points in a line", Replaced(valid, "[0,700] [500,690] [1000,700]", Repeat("[1,2] ", 11)),
       "a calibration line holds more than 10 points", false, 1, -1},
      {"5 corners", Replaced(valid, "</corners>", "[1,2] </corners>"),
       "a data set holds more than 4 corners", false, -1, -1},
      {"201 quadruples",
       Replaced(valid, "npoints=\"3\">\r\n[46", "npoints=\"201\">\r\n" + Repeat(quad, 198) + "[46"),
       "a data set holds more than 200 calibration points", false, 2, 200},
      {"a huge quadruple count",
       Replaced(valid, "calquads npoints=\"3\"", "calquads npoints=\"2000000000\""),
       kCountError.c_str(), false, 2, 3},
      {"a huge line count", Replaced(valid, "npoints=\"3\"", "npoints=\"2000000000\""),
       kCountError.c_str(), false, 0, -1},
      {"a negative count", Replaced(valid, "npoints=\"3\"", "npoints=\"-3\""), kCountError.c_str(),
       false, 0, -1},
      {"a count beyond 32 bits",
       Replaced(valid, "calquads npoints=\"3\"", "calquads npoints=\"99999999999999999999\""),
       kCountError.c_str(), false, 2, 3},
      {"no npoints", Replaced(valid, " npoints=\"3\">\r\n[0,100]", ">\r\n[0,100]"),
       kCountError.c_str(), false, 0, -1},
      {"no line type", Replaced(valid, "type=\"parallel\" ", ""),
       "invalid type of graticule line: type=\"\"", false, 0, -1},
      {"an unknown line type", Replaced(valid, "type=\"parallel\"", "type=\"Equator\""),
       "invalid type of graticule line: type=\"equator\"", false, 0, -1},
      {"an unknown ellipsoid", Replaced(valid, "gelWGS84", "gelMars"),
       "unknown ellipsoid \"gelMars\"", false, 0, -1},
      {"no end tags", Replaced(Replaced(valid, "</calquads>\r\n", ""), "</geomap>\r\n", ""), kCut,
       false, -1, -1},
      {"no end of the set", Replaced(valid, "</geomap>\r\n", ""), kCut, false, -1, -1},
      {"cut inside the end tag", valid.substr(0, valid.find("</geomap>") + 5), kCut, false, -1, -1},
      {"cut in a quadruple", valid.substr(0, valid.find("[46.00000,12")), kCountError.c_str(),
       false, 2, 1},
      {"cut after the root line", valid.substr(0, valid.find("<corners>")), kCut, false, -1, -1},
      {"cut between elements", valid.substr(0, valid.find("<calline")), kCut, false, -1, -1},
      {"a million brackets", Replaced(valid, "[46.00000", std::string(1000000, '[') + "[46.00000"),
       nullptr, true, 2, 3},
      {"a million unmatched brackets",
       valid.substr(0, valid.find("[46.00000")) + std::string(1000000, '[') +
           "\r\n</calquads>\r\n</geomap>\r\n",
       kCountError.c_str(), false, -1, -1},
      {"a million closing brackets first",
       Replaced(valid, "[46.00000", std::string(1000000, ']') + "[46.00000"), kCountError.c_str(),
       false, -1, -1},
      {"a line of a million characters before the root", std::string(1000000, 'x') + valid, nullptr,
       true, 2, 3},
      {"a root line of a million characters",
       Replaced(valid, "caption=\"valid\"", "caption=\"" + std::string(1000000, 'c') + "\""),
       nullptr, true, 2, 3},
      {"no root line", valid.substr(valid.find("<corners>")), nullptr, false, 0, 0},
      {"binary garbage", RandomBytes(1 << 16, 1), nullptr, false, 0, 0},
      {"garbage after the root line", Replaced(valid, "<corners>", RandomBytes(1 << 16, 2)), kAny,
       false, -1, -1},
      {"NUL bytes", Replaced(valid, "valid", std::string("va\0id", 5)), nullptr, true, 2, 3},
      {"empty file", "", nullptr, false, 0, 0},
  };
  test::TempDir dir;
  for (const auto& c : cases) {
    for (int reader = 0; reader < 2; ++reader) {
      const std::string what = std::string(c.what) + (reader == 0 ? " (record)" : " (map)");
      const Outcome o = reader == 0 ? ReadAsRecord(c.bytes) : ReadIntoMap(c.bytes, dir);
      ExpectWithinCapacities(o.data, what);
      if (c.error == kAny) continue;
      if (c.error == kCut) {
        EXPECT_TRUE(IsCutError(o.error, reader == 0 ? "the stream" : "file \"" + dir.File("d.xml")))
            << what << ": " << o.error;
      } else {
        EXPECT_EQ(o.error, c.error ? c.error : "") << what;
      }
      if (c.error != nullptr) {
        // A read that raises changes nothing.
        EXPECT_EQ(o.data, o.before) << what;
        EXPECT_EQ(o.model, o.modelBefore) << what;
        continue;
      }
      EXPECT_EQ(o.found, c.found) << what;
      if (c.found) {
        EXPECT_EQ(o.data.NumCalLines, c.lines) << what;
        EXPECT_EQ(o.data.NumCalQuads, c.quads) << what;
      }
    }
  }
}

// Only a prefix that holds the whole set reads as one: a shorter one either
// has no root line yet (not found) or is refused and changes nothing.
TEST(CalXmlDamaged, NoCutFileReadsAsASet) {
  const std::string valid = ValidFile();
  const size_t root = valid.find("Quorvant\" vers") + 8;
  const size_t end = valid.find("</geomap>") + 9;
  test::TempDir dir;
  for (size_t cut = 0; cut <= valid.size(); ++cut) {
    const std::string bytes = valid.substr(0, cut);
    // The map reads through the record's parser: every cut reaches the
    // parser, every fourth and those at a tag's edge also the whole map.
    const bool atTag = cut > 0 && (valid[cut - 1] == '>' || valid[cut - 1] == '<');
    const int readers = cut % 4 == 0 || atTag || cut + 1 >= end ? 2 : 1;
    for (int reader = 0; reader < readers; ++reader) {
      const std::string what =
          "cut at " + std::to_string(cut) + (reader == 0 ? " (record)" : " (map)");
      const Outcome o = reader == 0 ? ReadAsRecord(bytes) : ReadIntoMap(bytes, dir);
      if (cut >= end) {
        EXPECT_TRUE(o.found) << what;
        EXPECT_EQ(o.error, "") << what;
      } else if (cut < root) {
        EXPECT_FALSE(o.found) << what;
        EXPECT_EQ(o.error, "") << what;
      } else {
        EXPECT_NE(o.error, "") << what;
        EXPECT_EQ(o.data, o.before) << what;
      }
    }
  }
}

}  // namespace
}  // namespace marovia
