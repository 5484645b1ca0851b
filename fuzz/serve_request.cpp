// What the page of geomap serve sends: the first byte chooses the parser,
// the rest is its input. '0' (and every byte = 0 mod 3): a fit request's
// lines, fitted for an image of 400 x 300 pixels; '1': a typed position;
// '2': the path of a /files/ request under one folder holding a/b.txt.
//
// Invariants checked: a request read has a model, at most the record's
// points and a mask of none or 3 to kMaxMaskVertices vertices, positions
// in range, and its fit's residuals are finite; a position read lies
// within latitude 90 and longitude 180; a path taken passes the text
// checks and names a file inside the folder.
#include <cmath>
#include <filesystem>
#include <fstream>

#include "fuzz_support.h"
#include "serve_paths.h"
#include "serve_position.h"
#include "serve_request.h"

using namespace marovia;
using namespace marovia::geomaptool;

namespace {

namespace fs = std::filesystem;

const fs::path& Root() {
  static const fs::path root = [] {
    const fs::path r = fs::temp_directory_path() / "marovia_fuzz_serve_root";
    fs::create_directories(r / "a");
    std::ofstream(r / "a" / "b.txt") << "b";
    return fs::canonical(r);
  }();
  return root;
}

void FitRequest(std::string_view Text) {
  const TFitRequest r = ParseFitRequest(Text);
  fuzz::Check(r.Setup.Model != cmUndefined, "a request without a model");
  fuzz::Check(r.Points.size() <= size_t(kMaxCalQuads), "more points than a record holds");
  fuzz::Check(r.Mask.empty() || (r.Mask.size() >= 3 && r.Mask.size() <= kMaxMaskVertices),
              "a mask of the wrong size");
  for (const TServePoint& p : r.Points)
    fuzz::Check(std::fabs(p.Lat) <= 90 && std::fabs(p.Lon) <= 180, "a position out of range");
  if (r.Points.size() > 40) return;  // the fits' cost is not what is fuzzed here
  TMapCalibration cal = RequestCalibration(r, "fuzz.jpg", 400, 300);
  fuzz::Refusing([&] {
    if (!cal.Fit()) return;
    for (const TCalibResidual& res : cal.Residuals())
      if (res.Valid)
        fuzz::Check(std::isfinite(res.dX) && std::isfinite(res.dY), "a residual not finite");
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size == 0) return 0;
  const std::string_view text = fuzz::AsText(Data + 1, Size - 1);
  try {
    switch (Data[0] % 3) {
      case 0:
        FitRequest(text);
        break;
      case 1: {
        const TTypedPosition p = ParseTypedPosition(text);
        fuzz::Check(std::fabs(p.Lat) <= 90 && std::fabs(p.Lon) <= 180, "a position out of range");
        break;
      }
      default: {
        const auto file = ConfinedFile({Root()}, text);
        if (!file) break;
        fuzz::Check(PlainRelativePath(text), "a path taken that the text checks refuse");
        const std::string f = file->string(), r = Root().string() + "/";
        fuzz::Check(f.compare(0, r.size(), r) == 0, "a file outside the folder");
        break;
      }
    }
  } catch (const TServeRequestError&) {
  }
  return 0;
}
