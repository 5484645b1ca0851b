// TMatrix: a dense matrix of doubles with 1-based, column-first indexing.
#pragma once

#include <cstdint>
#include <vector>

#include "marovia/platform/classes.h"

namespace marovia {

// A Columns x Rows matrix of doubles; cell (c, r) with 1 <= c <= Columns and
// 1 <= r <= Rows. Indices outside the matrix raise EZYLIndexError. Create(nil)
// is the default constructor (an empty 0 x 0 matrix); the matrix is owned
// like any value (copyable and movable).
class TMatrix : public TObject {
 public:
  TMatrix() = default;
  TMatrix(int32_t Columns, int32_t Rows) { Resize(Columns, Rows); }
  std::string ClassName() const override { return "TMatrix"; }

  // New size; cells inside both the old and the new size keep their values,
  // new cells hold 0. Negative sizes raise EZYLIndexError, sizes whose cell
  // count exceeds 2^31 - 1 EZYLMathError.
  void Resize(int32_t Columns, int32_t Rows);
  int32_t NrOfColumns() const { return cols_; }
  int32_t NrOfRows() const { return rows_; }

  void SetVal(int32_t Column, int32_t Row, double Value) { data_[Index(Column, Row)] = Value; }
  double GetVal(int32_t Column, int32_t Row) const { return data_[Index(Column, Row)]; }
  // Sets every cell to Value.
  void Fill(double Value);
  // Takes over size and contents of Source.
  void Clone(const TMatrix& Source);

 private:
  size_t Index(int32_t Column, int32_t Row) const;
  std::vector<double> data_;  // column after column
  int32_t cols_ = 0;
  int32_t rows_ = 0;
};

}  // namespace marovia
