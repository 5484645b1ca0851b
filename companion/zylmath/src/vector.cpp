// TVector storage and bounds checks.
#include "marovia/zylmath/vector.h"

#include <algorithm>

#include "marovia/zylbase/zylbase.h"

namespace marovia {

void TVector::SetVecSize(int32_t n) {
  if (n < 0) throw EZYLIndexError("TVector.SetVecSize: negative size " + std::to_string(n));
  data_.resize(static_cast<size_t>(n), 0.0);
}

size_t TVector::Index(int32_t i) const {
  if (i < 1 || i > NrOfElem())
    throw EZYLIndexError("TVector: element " + std::to_string(i) + " outside 1.." +
                         std::to_string(NrOfElem()));
  return static_cast<size_t>(i - 1);
}

void TVector::Fill(double Value) {
  std::fill(data_.begin(), data_.end(), Value);
}

}  // namespace marovia
