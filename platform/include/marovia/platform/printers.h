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
#pragma once

#include <memory>
#include <string>

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
