// TIFF samples to numbers, and the choice of a stretch range.
#include "tiff_samples.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>

namespace marovia::tiff {
namespace {

template <class T>
void Typed(const uint8_t* Row, uint64_t First, uint32_t Step, uint32_t Count, double* Out) {
  const uint8_t* p = Row + First * sizeof(T);
  const size_t step = size_t(Step) * sizeof(T);
  for (uint32_t i = 0; i < Count; ++i, p += step) {
    T v;
    std::memcpy(&v, p, sizeof v);
    Out[i] = static_cast<double>(v);
  }
}

// IEEE half precision: sign, 5 exponent bits, 10 fraction bits.
double HalfToDouble(uint16_t h) {
  const int sign = h >> 15, exponent = (h >> 10) & 0x1F, fraction = h & 0x3FF;
  double v = 0;
  if (exponent == 0) {
    v = std::ldexp(fraction, -24);
  } else if (exponent == 31) {
    v = fraction ? std::nan("") : INFINITY;
  } else {
    v = std::ldexp(fraction + 1024, exponent - 25);
  }
  return sign ? -v : v;
}

void Half(const uint8_t* Row, uint64_t First, uint32_t Step, uint32_t Count, double* Out) {
  for (uint32_t i = 0; i < Count; ++i) {
    uint16_t h;
    std::memcpy(&h, Row + (First + uint64_t(i) * Step) * 2, 2);
    Out[i] = HalfToDouble(h);
  }
}

// Three bytes, least significant first (libtiff swaps big-endian files).
void Triples(const uint8_t* Row, uint64_t First, uint32_t Step, uint32_t Count, bool Signed,
             double* Out) {
  for (uint32_t i = 0; i < Count; ++i) {
    const uint8_t* p = Row + (First + uint64_t(i) * Step) * 3;
    int32_t v = int32_t(p[0] | p[1] << 8 | p[2] << 16);
    if (Signed && (v & 0x800000)) v -= 0x1000000;
    Out[i] = v;
  }
}

// Bits packed from the high bit of each byte down, widths up to 32.
void Packed(const uint8_t* Row, uint64_t First, uint32_t Step, uint32_t Count, int Bits,
            bool Signed, double* Out) {
  const uint64_t top = uint64_t{1} << (Bits - 1);
  for (uint32_t i = 0; i < Count; ++i) {
    uint64_t bit = (First + uint64_t(i) * Step) * uint64_t(Bits);
    uint64_t v = 0;
    for (int left = Bits; left > 0;) {
      const int inByte = 8 - int(bit & 7);
      const int take = std::min(inByte, left);
      const uint32_t byte = Row[bit >> 3];
      v = v << take | ((byte >> (inByte - take)) & ((1u << take) - 1));
      left -= take;
      bit += uint64_t(take);
    }
    Out[i] = Signed && (v & top) ? double(int64_t(v) - int64_t(top << 1)) : double(v);
  }
}

bool IsInteger(TSampleType t) {
  return t.Format == SAMPLEFORMAT_UINT || t.Format == SAMPLEFORMAT_INT;
}

}  // namespace

std::string SampleTypeProblem(TSampleType T) {
  const std::string bits = std::to_string(T.Bits) + "-bit ";
  switch (T.Format) {
    case SAMPLEFORMAT_UINT:
    case SAMPLEFORMAT_INT:
      if ((T.Bits >= 1 && T.Bits <= 32) || T.Bits == 64) return "";
      return bits + "integer samples are not supported";
    case SAMPLEFORMAT_IEEEFP:
      if (T.Bits == 16 || T.Bits == 32 || T.Bits == 64) return "";
      return bits + "floating-point samples are not supported";
    case SAMPLEFORMAT_COMPLEXINT:
    case SAMPLEFORMAT_COMPLEXIEEEFP:
      return "complex samples are not supported";
    default:
      return "unknown sample format " + std::to_string(T.Format);
  }
}

void UnpackSamples(const uint8_t* Row, uint64_t First, uint32_t Step, uint32_t Count, TSampleType T,
                   double* Out) {
  const bool sign = T.Format == SAMPLEFORMAT_INT;
  if (T.Format == SAMPLEFORMAT_IEEEFP) {
    if (T.Bits == 16) return Half(Row, First, Step, Count, Out);
    if (T.Bits == 32) return Typed<float>(Row, First, Step, Count, Out);
    return Typed<double>(Row, First, Step, Count, Out);
  }
  switch (T.Bits) {
    case 8:
      return sign ? Typed<int8_t>(Row, First, Step, Count, Out)
                  : Typed<uint8_t>(Row, First, Step, Count, Out);
    case 16:
      return sign ? Typed<int16_t>(Row, First, Step, Count, Out)
                  : Typed<uint16_t>(Row, First, Step, Count, Out);
    case 24:
      return Triples(Row, First, Step, Count, sign, Out);
    case 32:
      return sign ? Typed<int32_t>(Row, First, Step, Count, Out)
                  : Typed<uint32_t>(Row, First, Step, Count, Out);
    case 64:
      return sign ? Typed<int64_t>(Row, First, Step, Count, Out)
                  : Typed<uint64_t>(Row, First, Step, Count, Out);
    default:
      return Packed(Row, First, Step, Count, T.Bits, sign, Out);
  }
}

bool FullRange(TSampleType T, double& Lo, double& Hi) {
  if (!IsInteger(T)) return false;
  if (T.Format == SAMPLEFORMAT_INT) {
    Lo = -std::ldexp(1.0, T.Bits - 1);
    Hi = std::ldexp(1.0, T.Bits - 1) - 1;
  } else {
    Lo = 0;
    Hi = std::ldexp(1.0, T.Bits) - 1;
  }
  return true;
}

TStretchKind ResolveAuto(TSampleType T, bool HasNodata) {
  if (T.Format == SAMPLEFORMAT_UINT && (T.Bits <= 8 || (T.Bits <= 16 && !HasNodata)))
    return skFullRange;
  return skPercentile;
}

void ChooseRange(std::vector<double>& Values, TStretchKind Kind, double Low, double High,
                 TSampleType T, double& Lo, double& Hi) {
  if (Kind == skFullRange && FullRange(T, Lo, Hi)) return;
  if (Kind == skRange) {
    Lo = Low;
    Hi = High;
    return;
  }
  if (Values.empty()) {
    Lo = 0;
    Hi = 1;
    return;
  }
  if (Kind == skPercentile) {
    const auto rank = [&](double p) {
      return static_cast<size_t>(std::floor(double(Values.size() - 1) * p / 100 + 0.5));
    };
    const size_t a = rank(Low), b = rank(High);
    std::nth_element(Values.begin(), Values.begin() + long(a), Values.end());
    Lo = Values[a];
    // Everything past a is at least Lo: the upper rank is found there.
    std::nth_element(Values.begin() + long(a), Values.begin() + long(b), Values.end());
    Hi = Values[b];
  } else {  // skMinMax, and skFullRange of floating point
    const auto [mn, mx] = std::minmax_element(Values.begin(), Values.end());
    Lo = *mn;
    Hi = *mx;
  }
  if (!(Hi > Lo)) {
    const double d = std::max(1.0, std::abs(Lo) * 1e-9);
    Hi = Lo + d;
    Lo -= d;
  }
}

}  // namespace marovia::tiff
