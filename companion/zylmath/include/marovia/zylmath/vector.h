// TVector: a vector of doubles with 1-based indexing.
#pragma once

#include <cstdint>
#include <vector>

#include "marovia/platform/classes.h"

namespace marovia {

// A vector of doubles, elements 1..NrOfElem. Indices outside raise
// EZYLIndexError. Create(nil) is the default constructor (empty vector).
class TVector : public TObject {
 public:
  TVector() = default;
  explicit TVector(int32_t n) { SetVecSize(n); }
  std::string ClassName() const override { return "TVector"; }

  // New size; elements 1..min(old, new) keep their values, new elements hold
  // 0. A negative size raises EZYLIndexError.
  void SetVecSize(int32_t n);
  int32_t NrOfElem() const { return static_cast<int32_t>(data_.size()); }

  void SetVal(int32_t i, double v) { data_[Index(i)] = v; }
  double GetVal(int32_t i) const { return data_[Index(i)]; }
  void Fill(double Value);

 private:
  size_t Index(int32_t i) const;
  std::vector<double> data_;
};

}  // namespace marovia
