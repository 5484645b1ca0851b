// TIFF samples as numbers, and the stretch that shows them as 8-bit
// levels (the rules are stated in marovia/platform/sample_display.h).
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "marovia/platform/sample_display.h"

namespace marovia::tiff {

// A sample's format (SAMPLEFORMAT_UINT, _INT or _IEEEFP) and width.
struct TSampleType {
  uint16_t Format = 1;
  uint16_t Bits = 8;
};

// Empty when samples of this type can be read, else why not ("complex
// samples are not supported", ...). Integers of 1 to 32 bits and of 64 bits
// are read, signed or not; floating point of 16, 32 and 64 bits.
std::string SampleTypeProblem(TSampleType Type);

// Converts Count samples of Row to doubles: the first is sample number
// First of the row (counting every sample of every pixel), each next one
// Step samples further. Multiples of 8 bits are in native byte order (as
// libtiff hands them over), other widths packed from the high bit down.
void UnpackSamples(const uint8_t* Row, uint64_t First, uint32_t Step, uint32_t Count,
                   TSampleType Type, double* Out);

// The range of an integer type; false for floating point.
bool FullRange(TSampleType Type, double& Lo, double& Hi);

// The stretch skAuto stands for, for this type (HasNodata: the file
// declares a nodata value).
TStretchKind ResolveAuto(TSampleType Type, bool HasNodata);

// The range [Lo, Hi] that Kind (not skAuto) gives for the sample Values
// (nodata and non-finite values left out; reordered here). A range of one
// value is widened each way (by 1, or more for values beyond 10^9), so that
// the value shows as mid grey.
void ChooseRange(std::vector<double>& Values, TStretchKind Kind, double Low, double High,
                 TSampleType Type, double& Lo, double& Hi);

// [Lo, Hi] linearly to 0..255, rounding halves up, clamped; a range too
// narrow for doubles shows everything as mid grey.
class TStretch {
 public:
  TStretch() = default;
  TStretch(double Lo, double Hi) : scale_(255.0 / (Hi - Lo)), offset_(-Lo * scale_) {
    if (!std::isfinite(scale_) || !std::isfinite(offset_) || !(scale_ > 0)) {
      scale_ = 0;
      offset_ = 128;
    }
  }
  uint8_t operator()(double V) const {
    const double x = std::floor(V * scale_ + offset_ + 0.5);
    return x <= 0 ? 0 : x >= 255 ? 255 : static_cast<uint8_t>(x);
  }

 private:
  double scale_ = 1;
  double offset_ = 0;
};

}  // namespace marovia::tiff
