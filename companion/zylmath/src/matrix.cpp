// TMatrix storage and bounds checks.
#include "marovia/zylmath/matrix.h"

#include <algorithm>

#include "marovia/zylmath/math1.h"

namespace marovia {

void TMatrix::Resize(int32_t Columns, int32_t Rows) {
  if (Columns < 0 || Rows < 0)
    throw EZYLIndexError("TMatrix.Resize: negative size " + std::to_string(Columns) + " x " +
                         std::to_string(Rows));
  const int64_t cells = static_cast<int64_t>(Columns) * Rows;
  if (cells > INT32_MAX)
    throw EZYLMathError("TMatrix.Resize: " + std::to_string(Columns) + " x " +
                        std::to_string(Rows) + " cells are too many");
  if (Columns == cols_ && Rows == rows_) return;
  std::vector<double> next(static_cast<size_t>(cells), 0.0);
  const int32_t keepCols = std::min(Columns, cols_);
  const int32_t keepRows = std::min(Rows, rows_);
  for (int32_t c = 0; c < keepCols; ++c)
    std::copy_n(data_.begin() + static_cast<ptrdiff_t>(c) * rows_, keepRows,
                next.begin() + static_cast<ptrdiff_t>(c) * Rows);
  data_.swap(next);
  cols_ = Columns;
  rows_ = Rows;
}

size_t TMatrix::Index(int32_t Column, int32_t Row) const {
  if (Column < 1 || Column > cols_ || Row < 1 || Row > rows_)
    throw EZYLIndexError("TMatrix: cell (" + std::to_string(Column) + ", " + std::to_string(Row) +
                         ") outside the " + std::to_string(cols_) + " x " + std::to_string(rows_) +
                         " matrix");
  return static_cast<size_t>(Column - 1) * static_cast<size_t>(rows_) +
         static_cast<size_t>(Row - 1);
}

void TMatrix::Fill(double Value) {
  std::fill(data_.begin(), data_.end(), Value);
}

void TMatrix::Clone(const TMatrix& Source) {
  if (&Source == this) return;
  data_ = Source.data_;
  cols_ = Source.cols_;
  rows_ = Source.rows_;
}

}  // namespace marovia
