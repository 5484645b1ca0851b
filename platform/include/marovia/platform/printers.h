// The printer of the host framework, printing to PDF files.
//
// A document is BeginDoc, drawing on Canvas, NewPage for each further page,
// and EndDoc. Each page is a raster TBitmap of PageWidth x PageHeight device
// pixels (white when the page starts), drawn through the ordinary TCanvas,
// so every pixel rule is the screen's. When a page is done (NewPage, EndDoc)
// its raster becomes one page of the PDF file, at the paper's physical size,
// embedded losslessly: line work and captions keep hard edges and exact
// colours, and the large flat areas of maps compress well without loss.
// Only one page raster exists at a time; finished pages wait in an unnamed
// temporary file that disappears with the document.
//
// The output file is written at EndDoc, as a whole; nothing is written
// before, and an aborted or failed document leaves no file behind. The file
// name may be set or changed until then.
//
// Page size: paper width and height in millimetres (portrait; landscape
// swaps them) times the resolution in dots per inch, each rounded to whole
// pixels. The default is A4 (210 x 297 mm) at 300 dpi: 2480 x 3508 pixels,
// 595.28 x 841.89 points.
//
// Fonts: TFont sizes in points are converted at 96 pixels per inch, as on
// the screen; text meant to have a physical size on paper sets the font's
// Height in device pixels (points * Resolution / 72).
//
// Georeferencing: a rectangle of a page that shows a map can be given the
// geographic positions of points within it (AddGeoreference). The PDF file
// then carries, for that page, a viewport with a geospatial measure in
// latitude and longitude on WGS 84, which map apps and GIS software read to
// place the printed map (and a position on it) on the earth. Readers
// interpolate between the points given, so a map that is not affine on the
// page needs enough of them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "marovia/platform/graphics.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

// A printing operation out of turn (NewPage without BeginDoc, changing the
// page while printing) or a print job that cannot be produced.
class EPrinter : public Exception {
 public:
  using Exception::Exception;
};

enum TPrinterOrientation { poPortrait, poLandscape };

// A point of a page's georeferencing: a position on the page in device
// pixels (x right, y down from the page's top-left corner; pixel (i, j)
// covers i..i+1 across and j..j+1 down) and the geographic position shown
// there, in degrees on WGS 84 (latitude -90..90, longitude any finite
// value: a map across 180 degrees may continue beyond it).
struct TPageGeoPoint {
  double X = 0;
  double Y = 0;
  double Lat = 0;
  double Long = 0;
};

// A rectangle of a page that shows a map, and points that place it.
struct TPageGeoreference {
  TRect Area;                         // device pixels, right and bottom exclusive
  std::string Name;                   // what readers call it (UTF-8)
  std::vector<TPageGeoPoint> Points;  // at least 3, within Area
  // The coordinate system the map is drawn in, when it is known and based
  // on WGS 84: readers that fit one affine transform to the points do so in
  // its coordinates, which is exact for a map that is affine in them. Its
  // EPSG code (0: none, the WKT alone says it) and its WKT (empty: WGS 84
  // latitude/longitude, EPSG 4326); the points stay latitude and longitude
  // on WGS 84 either way.
  int CrsEpsg = 4326;
  std::string CrsWkt;
  bool CrsProjected = false;
};

class TPrinter : public TObject {
 public:
  TPrinter();
  // An unfinished document is discarded.
  ~TPrinter() override;
  TPrinter(const TPrinter&) = delete;
  TPrinter& operator=(const TPrinter&) = delete;
  std::string ClassName() const override { return "TPrinter"; }

  // Starts a document on page 1. EPrinter when a document is already being
  // printed, or when the page raster would exceed 32767 pixels a side or
  // kMaxImagePixels in all; ERangeError when there is no memory for it.
  void BeginDoc();
  // Finishes the current page and starts the next, white. EPrinter when not
  // printing. EPrinter also when the finished page cannot be stored (the
  // temporary file fails, for example on a full disk): the document then
  // ends, as it can no longer be completed.
  void NewPage();
  // Finishes the last page and writes the PDF file. EPrinter when not
  // printing or when no file name is set; EInOutError naming the file when
  // it cannot be written. After either error the document is still open
  // (Printing stays true): set another file name and call EndDoc again, or
  // call Abort. A failure to store the last page ends the document as in
  // NewPage.
  void EndDoc();
  // Discards the document; no file is written. Nothing happens when not
  // printing.
  void Abort();

  // Georeferences a rectangle of the current page (several may share a
  // page). Area is cut to the page; points outside what is left (or not on
  // the page at all) are dropped. EPrinter when not printing; ERangeError when what is left of
  // Area is empty or holds fewer than 3 points, or a point is not finite or
  // its latitude lies outside -90..90.
  void AddGeoreference(TPageGeoreference Value);
  // The georeferencing given for the current page, in the order given.
  const std::vector<TPageGeoreference>& Georeferences() const { return georeferences_; }

  // True from BeginDoc until EndDoc succeeds or Abort.
  bool Printing() const { return job_ != nullptr; }
  // True after Abort, until the next BeginDoc.
  bool Aborted() const { return aborted_; }
  // The page being drawn, from 1; 0 when not printing.
  int PageNumber() const { return pageNumber_; }

  // The canvas of the current page. Pen, brush and font settings last
  // across pages and documents; the pen position and clip rectangle are
  // reset with every page. When not printing the canvas has no surface and
  // draws nothing.
  TCanvas& Canvas() { return *canvas_; }

  // Size of the page in device pixels, for the current settings.
  int PageWidth() const;
  int PageHeight() const;

  // Dots per inch, 1..2400. Default 300. EPrinter while printing,
  // ERangeError outside the range.
  int Resolution() const { return resolution_; }
  void SetResolution(int Value);
  // Paper size in millimetres as the paper stands in portrait orientation,
  // each side above 0 and at most 5080 (200 inches, the largest PDF page).
  // Default 210 x 297 (A4). EPrinter while printing, ERangeError outside
  // the range.
  double PaperWidth() const { return paperWidth_; }
  double PaperHeight() const { return paperHeight_; }
  void SetPaperSize(double Width, double Height);
  // Default poPortrait. EPrinter while printing.
  TPrinterOrientation Orientation() const { return orientation_; }
  void SetOrientation(TPrinterOrientation Value);

  // Title of the document, stored in the PDF file's information (UTF-8;
  // invalid bytes are stored as U+FFFD). Taken at BeginDoc.
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& Value) { title_ = Value; }
  // The PDF file EndDoc writes (replaced if it exists).
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& Value) { fileName_ = Value; }

 private:
  class Job;
  void RequireIdle(const char* What) const;
  void RequirePrinting(const char* What) const;
  void StartPage();
  void Discard();

  std::unique_ptr<Job> job_;
  std::unique_ptr<TBitmap> page_;
  std::unique_ptr<TCanvas> canvas_;
  std::vector<TPageGeoreference> georeferences_;  // of the current page
  int pageNumber_ = 0;
  bool aborted_ = false;
  bool finished_ = false;  // the last page is in the job; only the copy to the file is left
  int resolution_ = 300;
  double paperWidth_ = 210;
  double paperHeight_ = 297;
  TPrinterOrientation orientation_ = poPortrait;
  std::string title_;
  std::string fileName_;
};

// The printer of the process.
TPrinter& Printer();

}  // namespace marovia
