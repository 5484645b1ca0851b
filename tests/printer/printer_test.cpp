// TPrinter: page sizes, the order of document operations, and the PDF files
// it writes as an independent reader (poppler's pdfinfo and pdftoppm) sees
// them: page count, physical page size, title, and drawn rectangles at their
// place and in their colour on the right page.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <regex>

#include "marovia/platform/graphics.h"
#include "marovia/platform/printers.h"
#include "support/temp_dir.h"

namespace marovia::test {
namespace {

bool HaveTool(const char* probe) {
  return std::system((std::string(probe) + " >/dev/null 2>&1").c_str()) == 0;
}

// What the command prints on standard output.
std::string Output(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    pclose(p);
  }
  return out;
}

// The value of one "Key: value" line of pdfinfo's report, "" if absent.
std::string Info(const std::string& pdf, const std::string& key) {
  const std::string report = Output("pdfinfo '" + pdf + "' 2>/dev/null");
  std::smatch m;
  if (std::regex_search(report, m, std::regex("(^|\n)" + key + ": *([^\n]*)"))) return m[2];
  return "";
}

// Page size in points from pdfinfo's "w x h pts" text.
std::pair<double, double> PageSize(const std::string& pdf) {
  double w = 0, h = 0;
  std::sscanf(Info(pdf, "Page size").c_str(), "%lf x %lf", &w, &h);
  return {w, h};
}

// A region of a page rendered back at the printer's resolution, so that
// one rendered pixel is one page pixel: pixels as 0x00RRGGBB, row by row.
struct Region {
  int X = 0, Y = 0, W = 0, H = 0;
  std::vector<uint32_t> Pixels;
  uint32_t At(int x, int y) const { return Pixels[size_t(y - Y) * size_t(W) + size_t(x - X)]; }
};

Region Render(const TempDir& dir, const std::string& pdf, int page, int x, int y, int w, int h,
              int dpi = 300) {
  Region r{x, y, w, h, {}};
  const std::string out = dir.File("render");
  const std::string cmd =
      "pdftoppm -r " + std::to_string(dpi) + " -singlefile -f " + std::to_string(page) + " -l " +
      std::to_string(page) + " -x " + std::to_string(x) + " -y " + std::to_string(y) + " -W " +
      std::to_string(w) + " -H " + std::to_string(h) + " '" + pdf + "' '" + out + "' 2>/dev/null";
  if (std::system(cmd.c_str()) != 0) return r;
  const std::string ppm = dir.Read("render.ppm");
  int pw = 0, ph = 0, max = 0, used = 0;
  if (std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &pw, &ph, &max, &used) != 3 || pw != w || ph != h ||
      max != 255 || ppm.size() != size_t(used) + 1 + size_t(w) * size_t(h) * 3) {
    return r;
  }
  const auto* p = reinterpret_cast<const uint8_t*>(ppm.data()) + used + 1;
  for (size_t i = 0; i < size_t(w) * size_t(h); ++i, p += 3) {
    r.Pixels.push_back(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
  }
  return r;
}

// Checks that the rectangle [l, r) x [t, b) of the region has colour in,
// and a band of 3 pixels around it has colour out; pixels right at the
// edges may be blended by the renderer and are not checked.
void ExpectRectangle(const Region& g, int l, int t, int r, int b, uint32_t in, uint32_t out,
                     const char* what) {
  ASSERT_FALSE(g.Pixels.empty()) << what << ": nothing rendered";
  int wrong = 0;
  for (int y = g.Y; y < g.Y + g.H; ++y) {
    for (int x = g.X; x < g.X + g.W; ++x) {
      const bool inside = x >= l + 1 && x < r - 1 && y >= t + 1 && y < b - 1;
      const bool outside = x < l - 1 || x >= r + 1 || y < t - 1 || y >= b + 1;
      if (!inside && !outside) continue;
      const uint32_t want = inside ? in : out;
      if (g.At(x, y) != want && wrong++ < 5) {
        ADD_FAILURE() << what << ": (" << x << ", " << y << ") is " << std::hex << g.At(x, y)
                      << ", expected " << want;
      }
    }
  }
  EXPECT_EQ(wrong, 0) << what;
}

bool HavePoppler() {
  return HaveTool("pdfinfo -v") && HaveTool("pdftoppm -v");
}

TEST(PrinterPage, SizesAndTheirLimits) {
  TPrinter p;
  EXPECT_EQ(p.Resolution(), 300);
  EXPECT_EQ(p.PageWidth(), 2480);  // A4 by default
  EXPECT_EQ(p.PageHeight(), 3508);
  p.SetOrientation(poLandscape);
  EXPECT_EQ(p.PageWidth(), 3508);
  EXPECT_EQ(p.PageHeight(), 2480);
  p.SetOrientation(poPortrait);
  p.SetPaperSize(215.9, 279.4);  // US letter
  p.SetResolution(150);
  EXPECT_EQ(p.PageWidth(), 1275);
  EXPECT_EQ(p.PageHeight(), 1650);

  EXPECT_THROW(p.SetResolution(2401), ERangeError);
  for (auto [w, h] : {std::pair{0.0, 297.0}, {5081.0, 297.0}, {NAN, 297.0}, {210.0, INFINITY}}) {
    EXPECT_THROW(p.SetPaperSize(w, h), ERangeError) << w << " x " << h;
  }
  EXPECT_EQ(p.PageWidth(), 1275);  // unchanged
  // Pages without a pixel, or too large for one raster, are refused when
  // the document starts.
  for (auto [mm, dpi] : {std::pair{0.1, 1}, {297.0, 2400}}) {
    p.SetPaperSize(mm, 297);
    p.SetResolution(dpi);
    EXPECT_THROW(p.BeginDoc(), EPrinter) << mm << " mm at " << dpi << " dpi";
    EXPECT_FALSE(p.Printing());
  }
}

TEST(PrinterDocument, OperationsOutOfTurnAreRefused) {
  TempDir dir;
  TPrinter p;
  p.SetResolution(30);
  EXPECT_THROW(p.NewPage(), EPrinter);
  EXPECT_THROW(p.EndDoc(), EPrinter);
  EXPECT_EQ(p.PageNumber(), 0);
  EXPECT_EQ(p.Canvas().Pixels(0, 0), -1);  // no page, nothing drawn
  p.Abort();                               // nothing to abort: no effect
  EXPECT_FALSE(p.Aborted());

  p.BeginDoc();
  EXPECT_TRUE(p.Printing());
  EXPECT_EQ(p.PageNumber(), 1);
  EXPECT_THROW(p.BeginDoc(), EPrinter);
  EXPECT_THROW(p.SetResolution(300), EPrinter);
  EXPECT_THROW(p.SetOrientation(poLandscape), EPrinter);
  EXPECT_THROW(p.SetPaperSize(100, 100), EPrinter);
  p.SetOrientation(poPortrait);  // no change: allowed
  EXPECT_EQ(p.PageWidth(), 248);
  p.NewPage();
  EXPECT_EQ(p.PageNumber(), 2);

  p.SetFileName(dir.File("aborted.pdf"));
  p.Abort();
  EXPECT_FALSE(p.Printing());
  EXPECT_TRUE(p.Aborted());
  EXPECT_EQ(p.PageNumber(), 0);
  EXPECT_FALSE(std::filesystem::exists(dir.File("aborted.pdf")));
  EXPECT_EQ(p.Canvas().Pixels(0, 0), -1);
  p.BeginDoc();
  EXPECT_FALSE(p.Aborted());
  p.Abort();
}

TEST(PrinterDocument, CanvasSettingsLastAcrossPagesAndPagesStartWhite) {
  TPrinter p;
  p.SetResolution(30);
  p.BeginDoc();
  TCanvas& c = p.Canvas();
  c.Pen().SetColor(clRed);
  c.Brush().SetColor(clBlue);
  c.FillRect(Rect(0, 0, 10, 10));
  c.SetClipRect(Rect(0, 0, 5, 5));
  c.MoveTo(50, 60);
  EXPECT_EQ(c.Pixels(3, 3), clBlue);
  p.NewPage();
  EXPECT_EQ(&p.Canvas(), &c);
  EXPECT_EQ(c.Pixels(3, 3), clWhite);
  EXPECT_EQ(c.Pixels(200, 300), clWhite);  // the clip rectangle was reset
  EXPECT_EQ(c.PenPos(), (TPoint{0, 0}));
  EXPECT_EQ(c.Pen().Color(), clRed);
  EXPECT_EQ(c.Brush().Color(), clBlue);
  p.Abort();
}

TEST(PrinterPdf, TwoPagesAsAnIndependentReaderSeesThem) {
  if (!HavePoppler()) GTEST_SKIP() << "pdfinfo and pdftoppm (poppler-utils) are not installed";
  TempDir dir;
  const std::string pdf = dir.File("map.pdf");
  TPrinter p;
  p.SetTitle(
      "Map of Gr\xC3\xBC"
      "nwald");
  p.SetFileName(pdf);
  p.BeginDoc();
  TCanvas& c = p.Canvas();
  c.Pen().SetColor(clRed);
  c.Brush().SetColor(clRed);
  c.Rectangle(600, 900, 1200, 1500);
  p.NewPage();
  c.Pen().SetColor(clNavy);
  c.Brush().SetColor(clNavy);
  c.Rectangle(1500, 2800, 2000, 3100);
  p.EndDoc();
  EXPECT_FALSE(p.Printing());
  EXPECT_EQ(p.PageNumber(), 0);

  EXPECT_EQ(Info(pdf, "Pages"), "2");
  const auto [w, h] = PageSize(pdf);
  EXPECT_NEAR(w, 595.276, 0.01);  // 210 mm
  EXPECT_NEAR(h, 841.890, 0.01);  // 297 mm
  EXPECT_EQ(Info(pdf, "Title"), "Map of Gr\xC3\xBCnwald");

  // Each page shows its own rectangle and not the other page's: a page
  // raster reused for the next page must not change the page written.
  ExpectRectangle(Render(dir, pdf, 1, 560, 860, 700, 700), 600, 900, 1200, 1500, 0xFF0000, 0xFFFFFF,
                  "page 1");
  ExpectRectangle(Render(dir, pdf, 1, 1460, 2760, 600, 400), 0, 0, 0, 0, 0, 0xFFFFFF,
                  "page 1 where page 2 draws");
  ExpectRectangle(Render(dir, pdf, 2, 1460, 2760, 600, 400), 1500, 2800, 2000, 3100, 0x000080,
                  0xFFFFFF, "page 2");
  ExpectRectangle(Render(dir, pdf, 2, 560, 860, 700, 700), 0, 0, 0, 0, 0, 0xFFFFFF,
                  "page 2 where page 1 draws");
}

TEST(PrinterPdf, LandscapePagesAreWide) {
  if (!HavePoppler()) GTEST_SKIP() << "pdfinfo and pdftoppm (poppler-utils) are not installed";
  TempDir dir;
  TPrinter p;
  p.SetOrientation(poLandscape);
  p.SetResolution(100);
  p.SetFileName(dir.File("wide.pdf"));
  p.BeginDoc();
  EXPECT_EQ(p.PageWidth(), 1169);
  EXPECT_EQ(p.PageHeight(), 827);
  p.Canvas().Brush().SetColor(clLime);
  p.Canvas().FillRect(Rect(1000, 700, 1169, 827));  // bottom right corner
  p.EndDoc();
  const auto [w, h] = PageSize(dir.File("wide.pdf"));
  EXPECT_NEAR(w, 841.890, 0.01);
  EXPECT_NEAR(h, 595.276, 0.01);
  ExpectRectangle(Render(dir, dir.File("wide.pdf"), 1, 900, 600, 269, 227, 100), 1000, 700, 1169,
                  827, 0x00FF00, 0xFFFFFF, "corner");
}

TEST(PrinterPdf, EndDocWithoutAFileKeepsTheDocument) {
  if (!HavePoppler()) GTEST_SKIP() << "pdfinfo and pdftoppm (poppler-utils) are not installed";
  TempDir dir;
  TPrinter p;
  p.SetResolution(50);
  p.BeginDoc();
  p.NewPage();
  try {
    p.EndDoc();
    FAIL() << "no error";
  } catch (const EPrinter& e) {
    EXPECT_NE(std::string(e.what()).find("file"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(p.Printing());
  EXPECT_EQ(p.PageNumber(), 2);
  p.SetFileName(dir.File("late.pdf"));
  p.EndDoc();
  EXPECT_EQ(Info(dir.File("late.pdf"), "Pages"), "2");
}

TEST(PrinterPdf, AFileThatCannotBeWrittenIsNamedAndCanBeChosenAgain) {
  if (!HavePoppler()) GTEST_SKIP() << "pdfinfo and pdftoppm (poppler-utils) are not installed";
  TempDir dir;
  const std::string bad = dir.File("no such folder/out.pdf");
  TPrinter p;
  p.SetResolution(50);
  p.SetFileName(bad);
  p.BeginDoc();
  try {
    p.EndDoc();
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.FileName(), bad);
  }
  EXPECT_TRUE(p.Printing());
  EXPECT_THROW(p.NewPage(), EPrinter);  // the document is complete, only unwritten

  // A file in the way is replaced.
  const std::string good = dir.Write("out.pdf", "old contents");
  p.SetFileName(good);
  p.EndDoc();
  EXPECT_FALSE(p.Printing());
  EXPECT_EQ(Info(good, "Pages"), "1");
}

TEST(PrinterPdf, TitlesWithInvalidTextStillGiveAValidFile) {
  if (!HavePoppler()) GTEST_SKIP() << "pdfinfo and pdftoppm (poppler-utils) are not installed";
  TempDir dir;
  TPrinter p;
  p.SetResolution(20);
  p.SetTitle("Karte \xFC\xC3 (alt)");  // bytes of another code page
  p.SetFileName(dir.File("t.pdf"));
  p.BeginDoc();
  p.EndDoc();
  EXPECT_EQ(Info(dir.File("t.pdf"), "Pages"), "1");
  EXPECT_EQ(Info(dir.File("t.pdf"), "Title"), "Karte \xEF\xBF\xBD\xEF\xBF\xBD (alt)");
}

// Runs Check in a child process whose files cannot grow beyond 64 KiB, as
// on a full disk; answers its exit status (0: Check answered true).
int StatusWithSmallFiles(const std::function<bool()>& Check) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);  // writes fail with EFBIG instead
    const rlimit r{64 << 10, 64 << 10};
    if (setrlimit(RLIMIT_FSIZE, &r) != 0) std::_Exit(2);
    bool ok = false;
    try {
      ok = Check();
    } catch (...) {
    }
    std::fflush(nullptr);
    std::_Exit(ok ? 0 : 1);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// A band of noise that no compression makes small.
void DrawNoise(TCanvas& c) {
  std::mt19937 rng(7);
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 2480; ++x) c.SetPixels(x, y, TColor(rng() & 0xFFFFFF));
  }
}

TEST(PrinterPdf, AFullDiskEndsTheDocumentWithAnError) {
  TempDir dir;
  const std::string out = dir.File("full.pdf");
  for (bool atEnd : {false, true}) {
    const int status = StatusWithSmallFiles([&] {
      TPrinter p;
      p.SetFileName(out);
      p.BeginDoc();
      DrawNoise(p.Canvas());
      std::string error;
      try {
        atEnd ? p.EndDoc() : p.NewPage();
      } catch (const EPrinter& e) {
        error = e.what();
      }
      if (error.find("File too large") != std::string::npos && !p.Printing() && !p.Aborted() &&
          !std::filesystem::exists(out)) {
        return true;
      }
      std::fprintf(stderr, "error \"%s\", printing %d\n", error.c_str(), int(p.Printing()));
      return false;
    });
    EXPECT_EQ(status, 0) << (atEnd ? "EndDoc" : "NewPage");
  }
}

}  // namespace
}  // namespace marovia::test
