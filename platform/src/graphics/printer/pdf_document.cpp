// PDF pages through cairo. cairo never calls back into C++ code that can
// throw: its output goes through a C callback that only writes to the
// temporary file and records errno. Failures are read back from cairo's
// status after each step and raised here.
#include "pdf_document.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "marovia/platform/printers.h"
#include "marovia/platform/streams.h"
#include "pdf_update.h"
#include "pdf_viewports.h"

namespace marovia::print {
namespace {

extern "C" {
static cairo_status_t WriteToSink(void* closure, const unsigned char* data, unsigned int length) {
  auto* sink = static_cast<PdfSink*>(closure);
  if (sink->Error != 0) return CAIRO_STATUS_WRITE_ERROR;
  if (std::fwrite(data, 1, length, sink->File) != length) {
    sink->Error = errno != 0 ? errno : EIO;
    return CAIRO_STATUS_WRITE_ERROR;
  }
  return CAIRO_STATUS_SUCCESS;
}
}  // extern "C"

struct SurfaceFree {
  void operator()(cairo_surface_t* s) const {
    cairo_surface_finish(s);  // cairo lets go of the pixels here, whoever still refers to them
    cairo_surface_destroy(s);
  }
};
struct ContextFree {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};

// Length of the well-formed UTF-8 sequence at s[i], 0 if there is none.
size_t SequenceLength(const std::string& s, size_t i) {
  const auto at = [&s](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b = at(i);
  if (b < 0x80) return 1;
  size_t n = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    if (b == 0xE0) lo = 0xA0;  // overlong
    if (b == 0xED) hi = 0x9F;  // surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    if (b == 0xF0) lo = 0x90;  // overlong
    if (b == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (i + n > s.size() || at(i + 1) < lo || at(i + 1) > hi) return 0;
  for (size_t k = 2; k < n; ++k) {
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  }
  return n;
}

}  // namespace

std::string ValidUtf8(const std::string& Text) {
  std::string out;
  out.reserve(Text.size());
  for (size_t i = 0; i < Text.size();) {
    const size_t n = SequenceLength(Text, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(Text, i, n);
      i += n;
    }
  }
  return out;
}

PdfDocument::PdfDocument(double WidthPt, double HeightPt, const std::string& Title)
    : heightPt_(HeightPt) {
  sink_.File = std::tmpfile();
  if (!sink_.File) {
    throw EPrinter(std::string("Cannot create the temporary file of the print job: ") +
                   std::strerror(errno));
  }
  pdf_ = cairo_pdf_surface_create_for_stream(WriteToSink, &sink_, WidthPt, HeightPt);
  try {
    Check("start the document");
  } catch (...) {
    cairo_surface_destroy(pdf_);
    std::fclose(sink_.File);
    throw;
  }
  if (!Title.empty()) {
    cairo_pdf_surface_set_metadata(pdf_, CAIRO_PDF_METADATA_TITLE, ValidUtf8(Title).c_str());
  }
}

PdfDocument::~PdfDocument() {
  // Finishing an unfinished document writes its trailer into the temporary
  // file, which is thrown away with it.
  cairo_surface_destroy(pdf_);
  std::fclose(sink_.File);
}

void PdfDocument::Check(const char* What) const {
  const cairo_status_t st = cairo_surface_status(pdf_);
  if (st == CAIRO_STATUS_SUCCESS && sink_.Error == 0) return;
  std::string cause =
      sink_.Error != 0 ? std::string(std::strerror(sink_.Error)) : cairo_status_to_string(st);
  throw EPrinter(std::string("Cannot ") + What + " of the print job: " + cause);
}

void PdfDocument::AddPage(const uint32_t* Pixels, int Width, int Height, double PointsPerPixel,
                          const std::vector<TPageGeoreference>& Georeferences) {
  if (finished_) throw EPrinter("Cannot add a page to a finished print job");
  std::string viewports = PdfViewportEntries(Georeferences, PointsPerPixel, heightPt_);
  // cairo's RGB24 pixels are 32-bit words 0x??RRGGBB, exactly the bitmap's
  // layout, so the page raster is handed over without a copy. cairo only
  // reads from it.
  std::unique_ptr<cairo_surface_t, SurfaceFree> image(cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(Pixels)), CAIRO_FORMAT_RGB24, Width,
      Height, Width * 4));
  if (cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS) {
    throw EPrinter("Cannot use a page of " + std::to_string(Width) + " x " +
                   std::to_string(Height) +
                   " pixels: " + cairo_status_to_string(cairo_surface_status(image.get())));
  }
  {
    std::unique_ptr<cairo_t, ContextFree> cr(cairo_create(pdf_));
    cairo_scale(cr.get(), PointsPerPixel, PointsPerPixel);
    cairo_set_source_surface(cr.get(), image.get(), 0, 0);
    // Nearest-neighbour: the raster already has the printer's resolution,
    // and viewers are told not to smooth it.
    cairo_pattern_set_filter(cairo_get_source(cr.get()), CAIRO_FILTER_NEAREST);
    cairo_paint(cr.get());
    cairo_show_page(cr.get());
  }
  image.reset();
  Check("write a page");
  pageEntries_.push_back(std::move(viewports));
}

void PdfDocument::Finish() {
  if (finished_) return;
  finished_ = true;
  cairo_surface_finish(pdf_);
  Check("complete the document");
  if (std::fflush(sink_.File) != 0) {
    throw EPrinter(std::string("Cannot complete the document of the print job: ") +
                   std::strerror(errno));
  }
  AppendViewports();
}

void PdfDocument::AppendViewports() {
  PdfUpdateRequest request;
  request.PageEntries = pageEntries_;
  request.CatalogEntries = PdfGeospatialCatalogEntries();
  std::FILE* f = sink_.File;
  if (std::fseek(f, 0, SEEK_END) != 0) {
    throw EPrinter(std::string("Cannot read back the print job: ") + std::strerror(errno));
  }
  const long size = std::ftell(f);
  if (size < 0) {
    throw EPrinter(std::string("Cannot read back the print job: ") + std::strerror(errno));
  }
  const PdfReadAt read = [f](uint64_t Offset, size_t Length) {
    std::string bytes(Length, '\0');
    if (std::fseek(f, static_cast<long>(Offset), SEEK_SET) != 0) return std::string();
    bytes.resize(std::fread(bytes.data(), 1, Length, f));
    return bytes;
  };
  const std::string update = PdfIncrementalUpdate(read, static_cast<uint64_t>(size), request);
  if (update.empty()) return;
  if (std::fseek(f, 0, SEEK_END) != 0 ||
      std::fwrite(update.data(), 1, update.size(), f) != update.size() || std::fflush(f) != 0) {
    throw EPrinter(std::string("Cannot write the georeferencing of the print job: ") +
                   std::strerror(errno));
  }
}

void PdfDocument::SaveTo(const std::string& FileName) const {
  if (!finished_) throw EPrinter("The print job is not complete");
  std::rewind(sink_.File);
  std::vector<char> buffer(1 << 16);
  // A file that cannot be created raises here and nothing is touched.
  std::error_code ec;
  const bool existed = std::filesystem::exists(FileName, ec);
  auto out = std::make_unique<TFileStream>(FileName, fmCreate);
  try {
    for (;;) {
      const size_t n = std::fread(buffer.data(), 1, buffer.size(), sink_.File);
      if (n > 0) out->WriteBuffer(buffer.data(), static_cast<int64_t>(n));
      if (n == buffer.size()) continue;
      if (std::ferror(sink_.File)) {
        throw EInOutError(FileName, "cannot read the print job back from its temporary file",
                          errno);
      }
      break;
    }
  } catch (...) {
    // A cut-off PDF is of no use to anybody. Only a file made here is
    // removed: what existed before may be a device or a pipe.
    out.reset();
    if (!existed) std::filesystem::remove(FileName, ec);
    throw;
  }
}

}  // namespace marovia::print
