// TBitFld: bits packed 64 to a word, position i in word (i-1) / 64.
#include "marovia/zylbase/bitfld.h"

#include <algorithm>

#include "marovia/zylbase/zylbase.h"

namespace marovia {

void TBitFld::SetSize(int32_t n) {
  if (n < 0) throw EZYLIndexError("TBitFld.SetSize: negative size " + std::to_string(n));
  words_.resize((static_cast<size_t>(n) + 63) / 64, 0);
  // Bits beyond the new size must read as clear if the field grows again.
  if (n % 64 != 0) words_.back() &= (uint64_t{1} << (n % 64)) - 1;
  size_ = n;
}

void TBitFld::Clear() {
  std::fill(words_.begin(), words_.end(), 0);
}

void TBitFld::Check(int32_t i) const {
  if (i < 1 || i > size_)
    throw EZYLIndexError("TBitFld: bit index " + std::to_string(i) + " out of range 1.." +
                         std::to_string(size_));
}

void TBitFld::SetBit(int32_t i, bool b) {
  Check(i);
  const auto k = static_cast<uint32_t>(i - 1);
  const uint64_t mask = uint64_t{1} << (k % 64);
  if (b)
    words_[k / 64] |= mask;
  else
    words_[k / 64] &= ~mask;
}

bool TBitFld::GetBit(int32_t i) const {
  Check(i);
  const auto k = static_cast<uint32_t>(i - 1);
  return (words_[k / 64] >> (k % 64)) & 1;
}

}  // namespace marovia
