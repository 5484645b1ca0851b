// The sample display value: its key, its checks and its command-line text.
#include "marovia/platform/sample_display.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "marovia/platform/sysutils.h"

namespace marovia {
namespace {

const char* const kStretchNames[] = {"auto", "full", "minmax", "percentile", "range"};

// A whole decimal number (no sign, no spaces) or false.
bool ParseBand(const std::string& Text, int& Band) {
  if (Text.empty() || Text.size() > 5) return false;
  int v = 0;
  for (const char c : Text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  Band = v;
  return true;
}

// "LOW,HIGH" as two finite numbers or false.
bool ParsePair(const std::string& Text, double& Low, double& High) {
  const size_t comma = Text.find(',');
  if (comma == std::string::npos) return false;
  const std::string a = Text.substr(0, comma), b = Text.substr(comma + 1);
  char* end = nullptr;
  Low = std::strtod(a.c_str(), &end);
  if (a.empty() || *end != '\0') return false;
  High = std::strtod(b.c_str(), &end);
  if (b.empty() || *end != '\0') return false;
  return std::isfinite(Low) && std::isfinite(High);
}

}  // namespace

std::string TSampleDisplay::Key() const {
  std::string key = "bands=";
  for (size_t i = 0; i < Bands.size(); ++i) key += (i ? "," : "") + std::to_string(Bands[i]);
  key += ";stretch=";
  key += Stretch >= skAuto && Stretch <= skRange ? kStretchNames[Stretch] : "?";
  if (Stretch == skPercentile || Stretch == skRange) {
    char text[64];
    std::snprintf(text, sizeof text, ":%.17g,%.17g", Low, High);
    key += text;
  }
  return key;
}

std::string SampleDisplayProblem(const TSampleDisplay& Display) {
  if (Display.Bands.size() != 0 && Display.Bands.size() != 1 && Display.Bands.size() != 3)
    return "one band (grey) or three (red, green, blue) are shown, not " +
           std::to_string(Display.Bands.size());
  for (const int b : Display.Bands)
    if (b < 1 || b > 65535) return "band " + std::to_string(b) + " does not exist";
  switch (Display.Stretch) {
    case skAuto:
    case skFullRange:
    case skMinMax:
      return "";
    case skPercentile:
      if (!(Display.Low >= 0 && Display.Low < Display.High && Display.High <= 100))
        return "percentiles must satisfy 0 <= low < high <= 100";
      return "";
    case skRange:
      if (!(std::isfinite(Display.Low) && std::isfinite(Display.High) &&
            Display.Low < Display.High))
        return "a stretch range needs finite values, low below high";
      return "";
  }
  return "unknown stretch";
}

TSampleDisplay ParseSampleDisplay(const std::string& Bands, const std::string& Stretch) {
  TSampleDisplay d;
  if (!Bands.empty()) {
    size_t start = 0;
    for (;;) {
      const size_t comma = Bands.find(',', start);
      const std::string part = Bands.substr(start, comma - start);
      int band = 0;
      if (!ParseBand(part, band))
        throw EConvertError("\"" + Bands + "\" is not a list of band numbers such as 4,3,2");
      d.Bands.push_back(band);
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  const size_t colon = Stretch.find(':');
  const std::string name = Stretch.substr(0, colon);
  const std::string args = colon == std::string::npos ? "" : Stretch.substr(colon + 1);
  bool ok = true;
  if (name.empty() || name == "auto") {
    d.Stretch = skAuto;
  } else if (name == "full") {
    d.Stretch = skFullRange;
  } else if (name == "minmax") {
    d.Stretch = skMinMax;
  } else if (name == "percentile") {
    d.Stretch = skPercentile;
    if (!args.empty()) ok = ParsePair(args, d.Low, d.High);
  } else if (name == "range") {
    d.Stretch = skRange;
    ok = ParsePair(args, d.Low, d.High);
  } else {
    ok = false;
  }
  if (!ok || ((d.Stretch != skPercentile && d.Stretch != skRange) && colon != std::string::npos))
    throw EConvertError("\"" + Stretch +
                        "\" is not a stretch: auto, full, minmax, percentile[:LOW,HIGH] or "
                        "range:LOW,HIGH");
  const std::string problem = SampleDisplayProblem(d);
  if (!problem.empty()) throw EConvertError(problem);
  return d;
}

}  // namespace marovia
