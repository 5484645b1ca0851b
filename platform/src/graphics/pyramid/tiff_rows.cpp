// TIFF rows (placeholder until the row reader lands).
#include "row_source.h"

namespace marovia::pyr {

std::unique_ptr<TRowSource> OpenTiffRows(const std::string& FileName, int64_t) {
  FailSource(FileName, "TIFF images are not read into pyramids yet");
}

}  // namespace marovia::pyr
