// TBitFld: a set of bits at positions 1..Size.
#pragma once

#include <cstdint>
#include <vector>

#include "marovia/platform/classes.h"

namespace marovia {

// A bit field over positions 1..Size, all bits clear when created. Positions
// outside 1..Size raise EZYLIndexError. Create(nil) is the default
// constructor; the field is owned like any value.
class TBitFld : public TObject {
 public:
  TBitFld() = default;
  std::string ClassName() const override { return "TBitFld"; }

  // Resizes to n positions (n >= 0; a negative n raises EZYLIndexError).
  // Bits 1..min(old, new size) keep their values, new bits are clear.
  void SetSize(int32_t n);
  int32_t Size() const { return size_; }
  // Clears every bit; the size stays.
  void Clear();
  void SetBit(int32_t i, bool b);
  bool GetBit(int32_t i) const;

 private:
  void Check(int32_t i) const;
  std::vector<uint64_t> words_;
  int32_t size_ = 0;
};

}  // namespace marovia
