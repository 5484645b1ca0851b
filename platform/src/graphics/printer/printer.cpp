// TPrinter: the document's state around one page raster and a PDF job.
//
// States and what moves between them:
//   idle      BeginDoc -> printing (page 1, white)
//   printing  AddGeoreference -> printing (the page's georeferencing grows)
//             NewPage  -> printing (the page goes to the job with its
//                         georeferencing, next page white and without)
//             EndDoc   -> idle (last page to the job, job to the file), or
//                         stays printing when there is no file name, or
//                         finished when the file cannot be written
//             Abort    -> idle, Aborted
//   finished  EndDoc   -> idle (only the copy to the file is retried)
//             Abort    -> idle, Aborted
// A failure of the job itself (its temporary file) ends the document: it
// cannot be completed any more.
#include <algorithm>
#include <cmath>

#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/printers.h"
#include "pdf_document.h"

namespace marovia {

class TPrinter::Job : public print::PdfDocument {
 public:
  using PdfDocument::PdfDocument;
};

namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kPointsPerInch = 72;
constexpr double kMaxPaperMm = 5080;   // 200 inches: the largest page a PDF may have
constexpr int kMaxRasterSide = 32767;  // cairo's largest image

}  // namespace

TPrinter& Printer() {
  static TPrinter* printer = new TPrinter();
  return *printer;
}

TPrinter::TPrinter() : canvas_(std::make_unique<TCanvas>(nullptr)) {}

TPrinter::~TPrinter() = default;

void TPrinter::RequireIdle(const char* What) const {
  if (Printing()) throw EPrinter(std::string("Printing in progress: cannot ") + What);
}

void TPrinter::RequirePrinting(const char* What) const {
  if (!Printing()) throw EPrinter(std::string("Printer is not printing: cannot ") + What);
}

int TPrinter::PageWidth() const {
  const double mm = orientation_ == poPortrait ? paperWidth_ : paperHeight_;
  return static_cast<int>(Round(mm * resolution_ / kMmPerInch));
}

int TPrinter::PageHeight() const {
  const double mm = orientation_ == poPortrait ? paperHeight_ : paperWidth_;
  return static_cast<int>(Round(mm * resolution_ / kMmPerInch));
}

void TPrinter::SetResolution(int Value) {
  RequireIdle("change the resolution");
  if (Value < 1 || Value > 2400) {
    throw ERangeError("Printer resolution " + std::to_string(Value) + " dpi is outside 1..2400");
  }
  resolution_ = Value;
}

void TPrinter::SetPaperSize(double Width, double Height) {
  RequireIdle("change the paper size");
  // Written so that NaN fails too.
  if (!(Width > 0 && Width <= kMaxPaperMm && Height > 0 && Height <= kMaxPaperMm)) {
    throw ERangeError("Paper size " + std::to_string(Width) + " x " + std::to_string(Height) +
                      " mm is outside 0..5080 mm");
  }
  paperWidth_ = Width;
  paperHeight_ = Height;
}

void TPrinter::SetOrientation(TPrinterOrientation Value) {
  if (Value == orientation_) return;
  RequireIdle("change the orientation");
  orientation_ = Value;
}

void TPrinter::StartPage() {
  georeferences_.clear();
  canvas_->SetSurface(page_.get());
  canvas_->ResetClipRect();
  canvas_->SetPenPos(TPoint{0, 0});
}

void TPrinter::BeginDoc() {
  RequireIdle("start another document");
  const int w = PageWidth(), h = PageHeight();
  if (w < 1 || h < 1 || w > kMaxRasterSide || h > kMaxRasterSide ||
      int64_t{w} * h > kMaxImagePixels) {
    throw EPrinter("Cannot print pages of " + std::to_string(w) + " x " + std::to_string(h) +
                   " pixels: at most " + std::to_string(kMaxRasterSide) + " pixels a side and " +
                   std::to_string(kMaxImagePixels) + " in all");
  }
  const bool portrait = orientation_ == poPortrait;
  const double wPt = (portrait ? paperWidth_ : paperHeight_) / kMmPerInch * kPointsPerInch;
  const double hPt = (portrait ? paperHeight_ : paperWidth_) / kMmPerInch * kPointsPerInch;
  auto job = std::make_unique<Job>(wPt, hPt, title_);
  auto page = std::make_unique<TBitmap>();
  page->SetPixelFormat(pf24bit);
  page->SetSize(w, h);  // white
  job_ = std::move(job);
  page_ = std::move(page);
  pageNumber_ = 1;
  aborted_ = false;
  finished_ = false;
  StartPage();
}

void TPrinter::NewPage() {
  RequirePrinting("start a new page");
  if (finished_) throw EPrinter("The document is complete: cannot start a new page");
  try {
    job_->AddPage(page_->Bits(), page_->Width(), page_->Height(), kPointsPerInch / resolution_,
                  georeferences_);
  } catch (...) {
    Discard();
    throw;
  }
  std::fill_n(page_->Bits(), size_t(page_->Width()) * size_t(page_->Height()), 0x00FFFFFFu);
  ++pageNumber_;
  StartPage();
}

void TPrinter::EndDoc() {
  RequirePrinting("end the document");
  if (fileName_.empty()) throw EPrinter("No output file is set for the document");
  if (!finished_) {
    try {
      job_->AddPage(page_->Bits(), page_->Width(), page_->Height(), kPointsPerInch / resolution_,
                    georeferences_);
      job_->Finish();
    } catch (...) {
      Discard();
      throw;
    }
    finished_ = true;
    canvas_->SetSurface(nullptr);
    page_.reset();
  }
  job_->SaveTo(fileName_);  // on failure the complete job stays for another try
  job_.reset();
  pageNumber_ = 0;
  finished_ = false;
}

void TPrinter::AddGeoreference(TPageGeoreference Value) {
  RequirePrinting("georeference the page");
  if (finished_) throw EPrinter("The document is complete: cannot georeference a page");
  TRect& a = Value.Area;
  a = Rect(std::max(a.Left, 0), std::max(a.Top, 0), std::min(a.Right, page_->Width()),
           std::min(a.Bottom, page_->Height()));
  std::erase_if(Value.Points, [&a](const TPageGeoPoint& p) {
    return !(p.X >= a.Left && p.X <= a.Right && p.Y >= a.Top && p.Y <= a.Bottom);
  });
  for (const TPageGeoPoint& p : Value.Points) {
    if (!std::isfinite(p.Lat) || !std::isfinite(p.Long) || std::abs(p.Lat) > 90) {
      throw ERangeError("A georeferenced point of the page lies at no position on the earth");
    }
  }
  if (a.Width() <= 0 || a.Height() <= 0 || Value.Points.size() < 3) {
    throw ERangeError("A georeferenced area of the page needs an extent on the page and 3 points");
  }
  georeferences_.push_back(std::move(Value));
}

void TPrinter::Discard() {
  georeferences_.clear();
  canvas_->SetSurface(nullptr);
  page_.reset();
  job_.reset();
  pageNumber_ = 0;
  finished_ = false;
}

void TPrinter::Abort() {
  if (!Printing()) return;
  Discard();
  aborted_ = true;
}

}  // namespace marovia
