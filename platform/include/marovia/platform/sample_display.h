// How an image whose samples are not 8-bit colours is shown: elevation
// models, analysis grids and multi-band scenes in TIFF files (8, 16, 32 and
// 64-bit integers, signed and unsigned, 16, 32 and 64-bit floating point,
// one to many bands).
//
// Bands: one band is shown as grey levels, three as red, green and blue.
// By default an image with three or more bands shows its first three (RGB
// or not), one or two bands the first as grey; a palette image is shown
// through its palette.
//
// Stretch: each shown band maps a range [Lo, Hi] of its values linearly to
// 0..255: round((v - Lo) * 255 / (Hi - Lo)), rounding halves up, values
// outside the range clamped. Where the range is one value, that value is
// mid grey (128). The range is one of:
//   skAuto        unsigned integers of up to 8 bits as stored (their full
//                 range), unsigned integers of 9 to 16 bits too unless the
//                 file declares a nodata value (then skPercentile): pictures
//                 and scans keep their colours; every other sample type
//                 (signed, 24 to 64-bit integers, floating point) as
//                 skPercentile;
//   skFullRange   the range of the sample type (0..2^bits - 1, or
//                 -2^(bits-1)..2^(bits-1) - 1; floating point: skMinMax);
//   skMinMax      the smallest and largest value of the sample;
//   skPercentile  the Low and High percentiles of the sample (default 2 and
//                 98): the value of rank round((n - 1) * p / 100) of the n
//                 sorted values;
//   skRange       Low and High as given, the same for every band.
// The sample is taken once per image, from the file alone, so that the image
// decoded whole and its pyramid's tiles are the same bytes: every pixel of
// up to 256 strips or tiles spread evenly over the image (at most 64 MiB of
// decoded samples), thinned to at most 2^20 values a band. Nodata values,
// NaN and infinities are left out of it.
//
// Transparency: a pixel where a shown band holds the nodata value (the
// GDAL_NODATA field, 42113) or is not a finite number, or that the file's
// mask image marks as empty, is white, as transparent pixels are laid over
// white paper; an alpha band is laid over white likewise.
#pragma once

#include <string>
#include <vector>

namespace marovia {

enum TStretchKind { skAuto, skFullRange, skMinMax, skPercentile, skRange };

struct TSampleDisplay {
  // 1-based band numbers: none (the default choice), one (grey) or three
  // (red, green, blue).
  std::vector<int> Bands;
  TStretchKind Stretch = skAuto;
  // skPercentile: percentiles, 0 <= Low < High <= 100. skRange: the values
  // shown as 0 and 255, Low < High.
  double Low = 2;
  double High = 98;

  bool operator==(const TSampleDisplay&) const = default;
  bool IsDefault() const { return *this == TSampleDisplay{}; }
  // A text naming every choice, the same for equal values (used to tell
  // cached pyramids apart).
  std::string Key() const;
};

// What is wrong with a display, in words; empty when it can be used (band
// numbers are checked against the image only when it is decoded).
std::string SampleDisplayProblem(const TSampleDisplay& Display);

// Reads a display from the text of a command-line option pair: Bands as
// "4,3,2" or "1" (empty: the default), Stretch as "auto", "full",
// "minmax", "percentile" or "percentile:LOW,HIGH", "range:LOW,HIGH" (empty:
// auto). Raises EConvertError naming the part that is wrong.
TSampleDisplay ParseSampleDisplay(const std::string& Bands, const std::string& Stretch);

}  // namespace marovia
