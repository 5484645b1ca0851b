// A PDF document written page by page through cairo into an unnamed
// temporary file, and copied to its destination when complete. Pages that
// are georeferenced get their viewports when the document is complete, by
// an incremental update appended to cairo's file (cairo writes no page
// dictionary entries of its callers').
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "marovia/platform/printers.h"

typedef struct _cairo_surface cairo_surface_t;

namespace marovia::print {

// Where cairo's output goes: the temporary file, and the errno of the first
// write that failed (0 while all went well).
struct PdfSink {
  std::FILE* File = nullptr;
  int Error = 0;
};

class PdfDocument {
 public:
  // Every page is WidthPt x HeightPt points (1/72 inch). Title (UTF-8) goes
  // into the document information; invalid UTF-8 bytes become U+FFFD.
  // Raises EPrinter when the temporary file cannot be created.
  PdfDocument(double WidthPt, double HeightPt, const std::string& Title);
  ~PdfDocument();
  PdfDocument(const PdfDocument&) = delete;
  PdfDocument& operator=(const PdfDocument&) = delete;

  // Adds a page showing Width x Height pixels (0x00RRGGBB words, rows
  // top-down, stride Width) from the page's top-left corner, each pixel
  // PointsPerPixel points wide and high, stored losslessly and drawn
  // without interpolation, and placed on the earth by Georeferences
  // (areas and points in the page's pixels). The pixels are not needed
  // after the call. Raises EPrinter when the page cannot be written.
  void AddPage(const uint32_t* Pixels, int Width, int Height, double PointsPerPixel,
               const std::vector<TPageGeoreference>& Georeferences = {});

  // Completes the document, georeferenced pages included; no page can be
  // added afterwards. Raises EPrinter when it cannot be written.
  void Finish();

  // Copies the completed document to FileName (created or replaced).
  // Raises EInOutError naming the file; a file created here and left partly
  // written is removed.
  void SaveTo(const std::string& FileName) const;

 private:
  void Check(const char* What) const;
  // Appends the viewports of the georeferenced pages to the complete file.
  void AppendViewports();

  PdfSink sink_;
  cairo_surface_t* pdf_ = nullptr;
  double heightPt_ = 0;
  std::vector<std::string> pageEntries_;  // the /VP entry of each page added, "" for none
  bool finished_ = false;
};

// Text as valid UTF-8: every byte that does not start a well-formed
// sequence (overlong forms, surrogates and values above U+10FFFF included)
// becomes U+FFFD.
std::string ValidUtf8(const std::string& Text);

}  // namespace marovia::print
