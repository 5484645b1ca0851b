// geomap convert: converts positions to pixels of a calibrated map image,
// or pixels to positions (--to-geo), one line of standard input at a time,
// through the calibration's batch conversion.
//
// Input lines hold two numbers separated by blanks or a comma; # starts a
// comment, and blank or comment lines give no output. Each line that
// converts gives one output line; a line that does not parse, or that the
// calibration cannot convert, is reported on the error stream with its
// number, and the others are still converted.
#include <cctype>
#include <cstdio>
#include <istream>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "arguments.h"
#include "cli_text.h"
#include "commands.h"
#include "geomap_cli.h"
#include "marovia/geomap/map_source.h"
#include "point_list.h"
#include "render_source.h"

namespace marovia::geomaptool {

namespace {

// Lines converted at once: large enough for the batch to pay, small enough
// that results follow the input promptly through a pipe.
constexpr size_t kBatchLines = 4096;

struct TInputLine {
  long Number;
  double A, B;  // latitude and longitude, or x and y
};

// The two numbers of a line; nullopt for a blank or comment line. Raises
// std::runtime_error naming what is wrong.
std::optional<std::pair<double, double>> ParseLine(const std::string& Line, bool ToGeo) {
  const std::vector<std::string> tokens = LineFields(Line);
  if (tokens.empty()) return std::nullopt;
  const char* what = ToGeo ? "X Y" : "LATITUDE LONGITUDE";
  if (tokens.size() != 2)
    throw std::runtime_error("expected " + std::string(what) + ", found " +
                             std::to_string(tokens.size()) + " field(s)");
  const auto a = apps::ParseNumber(tokens[0]);
  const auto b = apps::ParseNumber(tokens[1]);
  if (!a || !b) {
    const std::string& bad = a ? tokens[1] : tokens[0];
    throw std::runtime_error("'" + apps::Printable(bad) + "' is not a number");
  }
  if (!ToGeo && (*a < -90 || *a > 90))
    throw std::runtime_error("latitude " + apps::Printable(tokens[0]) + " is outside -90 to 90");
  return std::pair{*a, *b};
}

std::string Format(const char* Fmt, double A, double B) {
  char buf[128];
  std::snprintf(buf, sizeof buf, Fmt, A, B);
  return buf;
}

// Converts the collected lines, writes one line for each that converts and
// reports the others; answers whether all converted.
bool ConvertBatch(const TMapCalibration& Cal, bool ToGeo, const std::vector<TInputLine>& Lines,
                  std::ostream& Out, std::ostream& Err) {
  const size_t n = Lines.size();
  std::vector<double> a(n), b(n), u(n), v(n);
  std::vector<uint8_t> ok(n);
  for (size_t i = 0; i < n; ++i) {
    a[i] = Lines[i].A;
    b[i] = Lines[i].B;
  }
  if (ToGeo) {
    Cal.PixelToGeo(a, b, u, v, ok);
  } else {
    Cal.GeoToPixel(a, b, u, v, ok);
  }
  bool all = true;
  for (size_t i = 0; i < n; ++i) {
    if (ok[i]) {
      Out << Format(ToGeo ? "%.8f %.8f\n" : "%.3f %.3f\n", u[i], v[i]);
    } else {
      Report(Err, "line " + std::to_string(Lines[i].Number) + ": the calibration cannot convert " +
                      Format("%.17g %.17g", a[i], b[i]));
      all = false;
    }
  }
  return all;
}

}  // namespace

int RunConvert(std::span<const std::string> Args, std::istream& In, std::ostream& Out,
               std::ostream& Err) {
  static const TOptionDef kOptions[] = {{"to-geo", 0, false}};
  const TArguments args(Args, kOptions);
  if (args.Positional().size() != 1) throw TUsageError("convert needs one calibration file");
  const bool toGeo = args.Has("to-geo");

  // Opened as render and info open it, so that convert answers what they
  // show; only the image's header is read.
  const std::string& file = args.Positional()[0];
  std::shared_ptr<const TMapSource> source;
  try {
    source = OpenMapArgument(file, {});
  } catch (const std::exception& e) {
    const std::string what = e.what();
    Report(Err, apps::Printable(what.find(file) != std::string::npos ? what : file + ": " + what));
    return kExitBadInput;
  }
  const TMapCalibration& cal = source->Calibration();

  int status = kExitOk;
  std::vector<TInputLine> batch;
  std::string line;
  for (long lineNo = 1; std::getline(In, line); ++lineNo) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (lineNo == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    try {
      if (const auto p = ParseLine(line, toGeo)) batch.push_back({lineNo, p->first, p->second});
    } catch (const std::exception& e) {
      // Lines before it are written first, so the output keeps input order.
      if (!ConvertBatch(cal, toGeo, batch, Out, Err)) status = kExitBadInput;
      batch.clear();
      Report(Err, "line " + std::to_string(lineNo) + ": " + apps::Printable(e.what()));
      status = kExitBadInput;
    }
    if (batch.size() == kBatchLines) {
      if (!ConvertBatch(cal, toGeo, batch, Out, Err)) status = kExitBadInput;
      batch.clear();
    }
  }
  if (!ConvertBatch(cal, toGeo, batch, Out, Err)) status = kExitBadInput;
  if (In.bad()) {
    Report(Err, "cannot read the input");
    return kExitIo;
  }
  return status;
}

}  // namespace marovia::geomaptool
