// Symbol files: the written layout, round trips, sets selected by
// identifier, capacity growth while loading, damaged files and failed saves.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "marovia/geomap/geomap.h"
#include "marovia/geomap/symbol_repository.h"
#include "marovia/platform/files.h"
#include "marovia/platform/streams.h"
#include "marovia/platform/sysutils.h"
#include "support/temp_dir.h"

using namespace marovia;
namespace fs = std::filesystem;

namespace {

TSymbol Symbol(const std::string& name, TLandMarkElement kind, int32_t category = 0) {
  TSymbol s = DefaultSymbolRecord();
  s.Name = name;
  s.Properties.Kind = kind;
  s.Category = category;
  return s;
}

void Fill(TSymbolRepository& r, const std::vector<TSymbol>& entries) {
  r.SetNEntries(static_cast<int32_t>(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) r.SetValues(static_cast<int32_t>(i) + 1, entries[i]);
}

std::vector<TSymbol> EntriesOf(const TSymbolRepository& r) {
  std::vector<TSymbol> v;
  for (int32_t i = 1; i <= r.NumEntries(); ++i) v.push_back(r.GetValues(i));
  return v;
}

std::string SymbolLine(const std::string& attributes) {
  return "<symbol " + attributes + " />\r\n";
}

// A symbol file with the sets "a" (two entries) and "b" (one entry), the
// second one written without the encoding in its declaration.
const std::string kTwoSets =
    "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n\r\n"
    "<!-- TGeoMap Landmark Repository / Quorvant -->\r\n"
    "<lmsymbols sig=\"Quorvant\" vers=\"1.0\" id=\"a\">\r\n" +
    SymbolLine("element=\"Square\" name=\"a1\"") + SymbolLine("element=\"Circle\" name=\"a2\"") +
    "</lmsymbols>\r\n"
    "<?xml version=\"1.0\"?>\r\n\r\n"
    "<!-- TGeoMap Landmark Repository / Quorvant -->\r\n"
    "<lmsymbols sig=\"Quorvant\" vers=\"1.0\" id=\" B \">\r\n" +
    SymbolLine("element=\"Spade\" name=\"b1\"") + "</lmsymbols>\r\n";

std::string NamesOf(const TSymbolRepository& r) {
  std::string s;
  for (const auto& e : EntriesOf(r)) s += e.Name + ";";
  return s;
}

}  // namespace

TEST(SymbolFiles, StoreOnFileWritesTheLayoutInWindows1252) {
  test::TempDir dir;
  TSymbolRepository r(nullptr);
  TSymbol s = Symbol("Caf\xC3\xA9 \"A\"", lmArrowTo, -3);
  s.Properties.FGColor = 0x00123456;
  s.Properties.BGColor = static_cast<TColor>(0xFF00FF00u);
  s.Properties.Transparent = true;
  Fill(r, {s, TSymbol{}});
  r.StoreOnFile(dir.File("s.xml"), "Set <1>");
  EXPECT_EQ(dir.Read("s.xml"),
            "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n"
            "\r\n"
            "<!-- TGeoMap Landmark Repository / Quorvant -->\r\n"
            "<lmsymbols sig=\"Quorvant\" vers=\"1.0\" id=\"Set &lt;1&gt;\">\r\n"
            "<symbol element=\"ArrowTo\" name=\"Caf\xE9 &quot;A&quot;\" category=\"-3\" "
            "colorfg=\"00123456\" colorbg=\"FF00FF00\" size=\"8\" transp=\"TRUE\" dir=\"90\" "
            "leng=\"40\" />\r\n"
            "<symbol element=\"Plus\" name=\"\" category=\"0\" colorfg=\"00000000\" "
            "colorbg=\"00000000\" size=\"0\" transp=\"FALSE\" dir=\"0\" leng=\"0\" />\r\n"
            "</lmsymbols>\r\n");
}

TEST(SymbolFiles, EntriesSurviveARoundTrip) {
  test::TempDir dir;
  std::vector<TSymbol> entries;
  for (int k = 0; k < kNumLandMarkElements; ++k) {
    // Fixed fault: lmPlus and lmUserDef used to come back as lmCross.
    TSymbol s =
        Symbol("shape " + std::to_string(k), static_cast<TLandMarkElement>(k), k * 1000 - 5);
    s.Properties.Size = k + 1;
    s.Properties.Direction = -45 * k;
    s.Properties.Length = 7 * k;
    s.Properties.Transparent = k % 2 == 1;
    s.Properties.FGColor = static_cast<TColor>(0x80000000u + static_cast<uint32_t>(k));
    s.Properties.BGColor = 0x00FFFFFF - k;
    entries.push_back(s);
  }
  // Fixed fault: a '"' in a value used to cut the file short.
  entries.push_back(Symbol("Quote \" <tag> & \xC3\xBC\xE2\x82\xAC \xD0\x96 \t", lmCircle));
  entries.push_back(Symbol("", lmSquare));
  TSymbolRepository out(nullptr), in(nullptr);
  Fill(out, entries);
  out.StoreOnFile(dir.File("s.xml"), "Id with \"quotes\"");
  ASSERT_TRUE(in.LoadFromFile(dir.File("s.xml"), "ID WITH \"QUOTES\""));
  EXPECT_EQ(EntriesOf(in), entries);
}

TEST(SymbolFiles, SelectsSetsByIdentifier) {
  test::TempDir dir;
  const std::string file = dir.Write("two.xml", kTwoSets);
  TSymbolRepository r(nullptr);
  ASSERT_TRUE(r.LoadFromFile(file, "a"));
  EXPECT_EQ(NamesOf(r), "a1;a2;");
  ASSERT_TRUE(r.LoadFromFile(file, "b"));  // the file's id is trimmed
  EXPECT_EQ(NamesOf(r), "b1;");
  EXPECT_EQ(r.GetValues(1).Properties.Kind, lmSpade);
  ASSERT_TRUE(r.LoadFromFile(file, ""));  // the first set
  EXPECT_EQ(NamesOf(r), "a1;a2;");
  ASSERT_TRUE(r.LoadFromFile(file, "A"));
  EXPECT_FALSE(r.LoadFromFile(file, " b"));  // the request is not trimmed
  EXPECT_FALSE(r.LoadFromFile(file, "c"));
  EXPECT_FALSE(r.LoadFromFile(dir.File("missing.xml"), ""));
  EXPECT_EQ(NamesOf(r), "a1;a2;");  // not found: unchanged
}

TEST(SymbolFiles, ReadsSetsOneAfterAnotherFromAnOpenFile) {
  test::TempDir dir;
  TTextFile f(dir.Write("two.xml", kTwoSets));
  f.Reset();
  TSymbolRepository r(nullptr);
  r.SetNEntries(1);
  r.Backup();
  EXPECT_TRUE(r.ReadFromOpenXMLFile(f, "a"));
  EXPECT_TRUE(r.ReadFromOpenXMLFile(f, "b"));
  EXPECT_EQ(NamesOf(r), "b1;");
  EXPECT_FALSE(r.ReadFromOpenXMLFile(f, "a"));  // already passed
  EXPECT_EQ(NamesOf(r), "b1;");
  r.Restore();  // the backup was not touched by loading
  EXPECT_EQ(r.NumEntries(), 1);
}

TEST(SymbolFiles, ReadsAttributesLeniently) {
  test::TempDir dir;
  const std::string name50(50, 'n');
  const std::string file = dir.Write(
      "s.xml",
      "<LMSYMBOLS SIG=\"QUORVANT\" ID=\"x\">\r\n" +
          SymbolLine("LENG=\"5\" Element=\"user-defined\" transp=\"untrue\" NAME=\"" + name50 +
                     "\"") +
          SymbolLine("name=\"half\" size==3 dir=\"7\"") +  // malformed: later ones missing
          SymbolLine(
              "size=\"99999999999\" colorfg=\"1FFFFFFFF\" category=\"12abc\" element=\"?\"") +
          "<symbol\r\n  name=\"wrapped\"\r\n  size=\"3\" />\r\n"
          "<unknown><symbol name=\"nested\" /></unknown>\r\n"
          "</lmsymbols>\r\n" +
          SymbolLine("name=\"after the end\""));
  TSymbolRepository r(nullptr);
  ASSERT_TRUE(r.LoadFromFile(file, "X"));
  ASSERT_EQ(r.NumEntries(), 5);
  TSymbol first = DefaultSymbolRecord();
  first.Properties.Length = 5;
  first.Properties.Kind = lmUserDef;
  first.Properties.Transparent = true;  // the value contains "true"
  first.Name = name50.substr(0, 40);
  EXPECT_EQ(r.GetValues(1), first);
  TSymbol half = DefaultSymbolRecord();
  half.Name = "half";  // size and dir keep the default
  EXPECT_EQ(r.GetValues(2), half);
  const TSymbol third = r.GetValues(3);
  EXPECT_EQ(third.Properties.Size, INT32_MAX);
  EXPECT_EQ(third.Properties.FGColor, -1);
  EXPECT_EQ(third.Category, 12);
  EXPECT_EQ(third.Properties.Kind, lmCross);
  EXPECT_EQ(r.GetValues(4).Name, "wrapped");
  EXPECT_EQ(r.GetValues(4).Properties.Size, 3);
  EXPECT_EQ(r.GetValues(5).Name, "nested");
}

TEST(SymbolFiles, LoadingGrowsTheCapacityInSteps) {
  test::TempDir dir;
  const struct {
    int entries;
    int capacity;
  } cases[] = {{1000, 1000}, {1001, 2001}};
  for (const auto& c : cases) {
    std::string text = "<lmsymbols sig=\"Quorvant\" id=\"n\">\r\n";
    for (int i = 0; i < c.entries; ++i) text += SymbolLine("name=\"" + std::to_string(i) + "\"");
    text += "</lmsymbols>\r\n";
    TSymbolRepository r(nullptr);
    r.SetNEntries(5);
    ASSERT_TRUE(r.LoadFromFile(dir.Write("n.xml", text), "n"));
    EXPECT_EQ(r.NumEntries(), c.entries);
    EXPECT_EQ(r.Capacity(), c.capacity) << c.entries << " entries";
    if (c.entries > 0) {
      EXPECT_EQ(r.GetValues(c.entries).Name, std::to_string(c.entries - 1));
    }
  }
}

// A set cut before "</lmsymbols>" is refused with the file (or stream) and
// the set's line, and the entries stay; the same bytes read the same from a
// file and from a stream.
TEST(SymbolFiles, DamagedFilesGiveFalseOrAnErrorAndKeepTheEntries) {
  test::TempDir dir;
  const std::string head =
      "<?xml version=\"1.0\"?>\r\n\r\n<lmsymbols sig=\"Quorvant\" vers=\"1.0\" id=\"d\">\r\n";
  const std::string valid = head + SymbolLine("element=\"Square\" name=\"one\" size=\"4\"") +
                            SymbolLine("element=\"Circle\" name=\"two\"") + "</lmsymbols>\r\n";
  std::mt19937 rng(7);
  std::string garbage(65536, '\0');
  for (char& c : garbage) c = static_cast<char>(rng());
  const std::string kCut = "<cut>", kNone = "<not found>";
  const struct {
    const char* what;
    std::string bytes;
    std::string names;  // after the load; kNone: not found; kCut: refused
  } cases[] = {
      {"valid", valid, "one;two;"},
      {"no end tag", valid.substr(0, valid.size() - 14), kCut},
      {"cut inside the second element", valid.substr(0, head.size() + 60), kCut},
      {"cut inside a quoted value", head + "<symbol name=\"on", kCut},
      {"no root line", valid.substr(head.size()), kNone},
      {"root line cut before its signature", valid.substr(0, head.size() - 30), kNone},
      {"binary garbage", garbage, kNone},
      {"garbage after the root line", head + garbage, kCut},
      {"a NUL byte in a value",
       head + std::string("<symbol name=\"a\0b\" size=\"2\" />\r\n", 32) + "</lmsymbols>",
       std::string("a\0b;", 4)},
      {"a stray quote", head + "<symbol name=\"a\" \" size=\"2\" />\r\n</lmsymbols>", ""},
      {"unterminated quote across lines",
       head + "<symbol name=\"open\r\n<symbol name=\"next\" />\r\n</lmsymbols>", "next;"},
      {"one huge line", head + "<symbol name=\"" + std::string(1 << 20, 'x'), kCut},
      {"empty file", "", kNone},
  };
  for (const auto& c : cases) {
    for (const bool fromStream : {false, true}) {
      const std::string what = std::string(c.what) + (fromStream ? " (stream)" : " (file)");
      TSymbolRepository r(nullptr);
      r.SetName("Symbols");
      Fill(r, {Symbol("old", lmSquare)});
      bool found = false;
      std::string error;
      try {
        if (fromStream) {
          TMemoryStream s;
          s.WriteBuffer(c.bytes.data(), static_cast<int64_t>(c.bytes.size()));
          s.SetPosition(0);
          found = r.LoadFromStream(s, "d");
        } else {
          found = r.LoadFromFile(dir.Write("d.xml", c.bytes), "d");
        }
      } catch (const EZYLGeoMapError& e) {
        error = e.what();
      }
      if (c.names == kCut) {
        const std::string source = fromStream ? "the stream" : "file \"" + dir.File("d.xml") + "\"";
        EXPECT_EQ(error, "Component \"Symbols\": " + source +
                             ": the data set of line 3 ends before </lmsymbols>")
            << what;
      } else {
        EXPECT_EQ(error, "") << what;
      }
      EXPECT_EQ(found, c.names != kNone && c.names != kCut) << what;
      if (c.names != kNone && c.names != kCut) {
        EXPECT_EQ(NamesOf(r), c.names) << what;
      } else {
        EXPECT_EQ(NamesOf(r), "old;") << what;
      }
    }
  }
}

TEST(SymbolFiles, AFailedSaveLeavesTheExistingFileUnchanged) {
  test::TempDir dir;
  TSymbolRepository r(nullptr);
  Fill(r, std::vector<TSymbol>(2000, Symbol("a fairly long symbol name", lmCircle)));
  const std::string target = dir.Write("s.xml", "previous contents\r\n");

  // Writes beyond 4 KiB fail (EFBIG) while the limit holds.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  bool raised = false;
  std::string named;
  try {
    r.StoreOnFile(target, "s");
  } catch (const EInOutError& e) {
    raised = true;
    named = e.FileName();
  }
  ::setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_TRUE(raised);
  EXPECT_EQ(named, target);
  EXPECT_EQ(dir.Read("s.xml"), "previous contents\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);

  // A name that cannot be created.
  try {
    r.StoreOnFile(dir.File("missing/s.xml"), "s");
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.FileName(), dir.File("missing/s.xml"));
  }
}

TEST(SymbolFiles, WrittenFilesAreWellFormedXML) {
  if (std::system("command -v xmllint > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "xmllint is not installed (Debian package libxml2-utils)";
  test::TempDir dir;
  TSymbolRepository r(nullptr);
  Fill(r, {Symbol("Stra\xC3\x9F"
                  "e & \"Pl\xC3\xA4tze\" <\xE2\x82\xAC>",
                  lmPlus),
           Symbol("\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0\r\n", lmUserDef, -1)});
  r.StoreOnFile(dir.File("s.xml"), "\xC3\x84rger & Co");
  const std::string cmd = "xmllint --noout '" + dir.File("s.xml") + "' 2>&1";
  FILE* p = ::popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string output;
  char buf[256];
  while (std::fgets(buf, sizeof buf, p) != nullptr) output += buf;
  const int status = ::pclose(p);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  EXPECT_EQ(output, "");
}
