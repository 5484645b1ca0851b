// Georeferenced pages of the printer: what AddGeoreference accepts, text
// strings, updates appended to a finished file (checked by qpdf), and the
// reader of the finished file refusing damaged files with EPrinter. What
// each page of a document ends up with is checked with the map control's
// printing (map_geopdf_test.cpp).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "marovia/platform/printers.h"
#include "pdf_update.h"
#include "pdf_viewports.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace marovia::test {
namespace {

using print::PdfIncrementalUpdate;
using print::PdfPageCount;
using print::PdfReadAt;

TPageGeoreference Georef(TRect Area, std::vector<TPageGeoPoint> Points) {
  TPageGeoreference g;
  g.Area = Area;
  g.Name = "map";
  g.Points = std::move(Points);
  return g;
}

// Pages of 50 x 40 mm at 100 dpi: 197 x 157 pixels.
void SmallPages(TPrinter& P, const std::string& File) {
  P.SetResolution(100);
  P.SetPaperSize(50, 40);
  P.SetFileName(File);
}

PdfReadAt ReaderOf(const std::string& Bytes) {
  return [&Bytes](uint64_t Offset, size_t Length) {
    return Offset >= Bytes.size() ? std::string() : Bytes.substr(Offset, Length);
  };
}

TEST(PrinterGeoreference, AreasAreCheckedAndCutToThePage) {
  TempDir dir;
  TPrinter p;
  SmallPages(p, dir.File("g.pdf"));
  EXPECT_THROW(p.AddGeoreference(Georef(Rect(0, 0, 10, 10), {})), EPrinter);
  p.BeginDoc();
  const struct {
    const char* What;
    TRect Area;
    std::vector<TPageGeoPoint> Points;
    TRect Kept;  // empty: refused with ERangeError
    size_t KeptPoints;
  } cases[] = {
      {"inside",
       Rect(10, 10, 100, 80),
       {{10, 10, 47, 8}, {100, 10, 47, 9}, {10, 80, 46, 8}},
       Rect(10, 10, 100, 80),
       3},
      {"two points", Rect(10, 10, 100, 80), {{10, 10, 47, 8}, {100, 10, 47, 9}}, {}, 0},
      {"beyond the pole",
       Rect(10, 10, 100, 80),
       {{10, 10, 90.5, 8}, {100, 10, 47, 9}, {10, 80, 46, 8}},
       {},
       0},
      {"not finite",
       Rect(10, 10, 100, 80),
       {{10, 10, 47, NAN}, {100, 10, 47, 9}, {10, 80, 46, 8}},
       {},
       0},
      {"cut at the page",
       Rect(-20, -20, 300, 300),
       {{0, 0, 47, 8}, {197, 0, 47, 9}, {0, 157, 46, 8}, {-20, -20, 48, 7}, {NAN, 5, 47, 8}},
       Rect(0, 0, 197, 157),
       3},
      {"off the page",
       Rect(500, 500, 600, 600),
       {{500, 500, 47, 8}, {600, 500, 47, 9}, {500, 600, 46, 8}},
       {},
       0},
  };
  size_t kept = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    if (c.Kept == TRect{}) {
      EXPECT_THROW(p.AddGeoreference(Georef(c.Area, c.Points)), ERangeError);
      continue;
    }
    p.AddGeoreference(Georef(c.Area, c.Points));
    ASSERT_EQ(p.Georeferences().size(), ++kept);
    EXPECT_EQ(p.Georeferences().back().Area, c.Kept);
    EXPECT_EQ(p.Georeferences().back().Points.size(), c.KeptPoints);
  }
  p.NewPage();
  EXPECT_TRUE(p.Georeferences().empty());
  p.Abort();
}

TEST(PrinterGeoreference, NamesAreTextStrings) {
  const struct {
    std::string Text, Pdf;
  } cases[] = {
      {"Alps", "(Alps)"},
      {"a(b)\\", "(a\\(b\\)\\\\)"},
      {"Z\xC3\xBCrich", "<FEFF005A00FC0072006900630068>"},
      {"\xF0\x9D\x84\x9E", "<FEFFD834DD1E>"},  // beyond 16 bits: a surrogate pair
      {"a\xFF", "<FEFF0061FFFD>"},             // not UTF-8: the replacement character
      {"", "()"},
  };
  for (const auto& c : cases) EXPECT_EQ(print::PdfTextString(c.Text), c.Pdf) << c.Text;
}

// A one-page document of the printer, untouched by any update.
std::string PlainDocument(const TempDir& Dir) {
  TPrinter p;
  SmallPages(p, Dir.File("plain.pdf"));
  p.BeginDoc();
  p.EndDoc();
  return Dir.Read("plain.pdf");
}

TEST(PrinterGeoreference, UpdatesExtendTheFileAndAgain) {
  TempDir dir;
  std::string file = PlainDocument(dir);
  const std::string original = file;
  const print::PdfUpdateRequest request{{"/VP []"}, "/Version /1.7"};
  for (int round = 0; round < 2; ++round) {
    const std::string update = PdfIncrementalUpdate(ReaderOf(file), file.size(), request);
    ASSERT_FALSE(update.empty());
    file += update;
    EXPECT_EQ(PdfPageCount(ReaderOf(file), file.size()), 1u);
  }
  EXPECT_EQ(file.compare(0, original.size(), original), 0) << "written bytes changed";
  EXPECT_TRUE(PdfIncrementalUpdate(ReaderOf(file), file.size(), {{""}, "/X 1"}).empty());
  EXPECT_THROW(PdfIncrementalUpdate(ReaderOf(file), file.size(), {{"/A 1", "/B 2"}, ""}), EPrinter);
  if (HaveCommand("qpdf")) {
    const std::string pdf = dir.Write("twice.pdf", file);
    const CommandResult check = RunCommand("qpdf --check '" + pdf + "'");
    EXPECT_EQ(check.Status, 0) << check.Out << check.Err;
  }
}

// Damaged files, as patches to a valid one: each is refused with EPrinter.
TEST(PrinterGeoreference, DamagedFilesAreRefused) {
  TempDir dir;
  const std::string valid = PlainDocument(dir);
  const print::PdfUpdateRequest request{{"/VP []"}, ""};
  // The valid file with one update whose /Prev points at its own table.
  std::string looped = valid + PdfIncrementalUpdate(ReaderOf(valid), valid.size(), request);
  const size_t own = looped.rfind("startxref\n");
  const std::string ownXref = looped.substr(own + 10, looped.find('\n', own + 10) - own - 10);
  const size_t prev = looped.rfind("/Prev ");
  looped.replace(prev, looped.find(' ', prev + 6) - prev, "/Prev " + ownXref);
  const struct {
    const char* What;
    std::string From, To;
  } patches[] = {
      {"no startxref", "startxref", "startxrex"},
      {"startxref past the end", "startxref\n", "startxref\n9999"},
      {"a huge subsection", "xref\n0 ", "xref\n0 9999"},
      {"a damaged entry", " 65535 f ", " 65535 x "},
      {"no root", "/Root", "/Rott"},
      {"a page tree loop", "/Kids [ 2 0 R ]", "/Kids [ 1 0 R ]"},
      {"a page that is none", "/Type /Page %", "/Type /Pagex %"},
      {"an unclosed string", "<< /Type /Pages", "<< (/Type /Pages"},
      {"deep nesting", "<< /Type /Pages", std::string(200, '[') + "<< /Type /Pages"},
  };
  for (const auto& c : patches) {
    SCOPED_TRACE(c.What);
    std::string bad = valid;
    const size_t at = bad.find(c.From);
    ASSERT_NE(at, std::string::npos) << "the printer's file has changed its layout";
    bad.replace(at, c.From.size(), c.To);
    EXPECT_THROW(PdfIncrementalUpdate(ReaderOf(bad), bad.size(), request), EPrinter);
  }
  for (const std::string& bad : {looped, valid.substr(0, valid.size() / 2), std::string()}) {
    EXPECT_THROW(PdfIncrementalUpdate(ReaderOf(bad), bad.size(), request), EPrinter);
  }
}

}  // namespace
}  // namespace marovia::test
