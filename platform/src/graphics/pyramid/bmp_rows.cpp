// BMP rows (placeholder until the row reader lands).
#include "row_source.h"

namespace marovia::pyr {

std::unique_ptr<TRowSource> OpenBmpRows(const std::string& FileName, int64_t) {
  FailSource(FileName, "BMP images are not read into pyramids yet");
}

}  // namespace marovia::pyr
