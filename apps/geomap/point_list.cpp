#include "point_list.h"

#include <cctype>
#include <cmath>
#include <vector>

#include "cli_text.h"
#include "marovia/platform/strutils.h"

namespace marovia::geomaptool {

namespace {

// Pixels beyond this are no position on any map image the control accepts.
constexpr double kMaxPixel = 1e7;

double Number(const std::string& Token, const char* What, double Lo, double Hi) {
  const auto v = apps::ParseNumber(Token);
  if (!v)
    throw TPointLineError(std::string(What) + " '" + apps::Printable(Token) + "' is not a number");
  if (*v < Lo || *v > Hi) {
    throw TPointLineError(std::string(What) + " " + apps::Printable(Token) + " is outside " +
                          apps::Fixed(Lo, 0) + " to " + apps::Fixed(Hi, 0));
  }
  return *v;
}

int32_t Pixel(const std::string& Token, const char* What) {
  const double v = Number(Token, What, -kMaxPixel, kMaxPixel);
  if (v != std::floor(v)) {
    throw TPointLineError(std::string(What) + " " + apps::Printable(Token) +
                          " is not a whole pixel");
  }
  return static_cast<int32_t>(v);
}

}  // namespace

std::vector<std::string> LineFields(const std::string& Line) {
  std::vector<std::string> tokens;
  std::string current;
  for (const char c : Line) {
    if (c == '#') break;
    if (std::isspace(static_cast<unsigned char>(c)) || c == ',') {
      if (!current.empty()) tokens.push_back(std::move(current));
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) tokens.push_back(std::move(current));
  return tokens;
}

std::optional<TClickedPoint> ParsePointLine(const std::string& Line, TCalibModel Model) {
  const std::vector<std::string> t = LineFields(Line);
  if (t.empty()) return std::nullopt;
  if (t.size() != 4) {
    throw TPointLineError("expected 4 fields, found " + std::to_string(t.size()));
  }
  TClickedPoint p;
  p.X = Pixel(t[0], "x");
  p.Y = Pixel(t[1], "y");
  switch (Model) {
    case cmParabolicIp: {
      const std::string kind = LowerCase(t[2]);
      if (kind == "meridian") {
        p.Line = gtlMeridian;
        p.A = Number(t[3], "longitude", -180, 180);
      } else if (kind == "parallel") {
        p.Line = gtlParallel;
        p.A = Number(t[3], "latitude", -90, 90);
      } else {
        throw TPointLineError("'" + apps::Printable(t[2]) + "' is neither meridian nor parallel");
      }
      break;
    }
    case cmUTM:
      p.A = Number(t[2], "northing", 0, 10000000);
      p.B = Number(t[3], "easting", 0, 1000000);
      break;
    default:
      p.A = Number(t[2], "latitude", -90, 90);
      p.B = Number(t[3], "longitude", -180, 180);
      break;
  }
  return p;
}

}  // namespace marovia::geomaptool
