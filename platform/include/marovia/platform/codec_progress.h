// The progress callback every image codec (BMP, JPEG, PNG, TIFF) reports through.
#pragma once

#include <functional>

namespace marovia {

// Share of a decoder's or encoder's work done, 0..100, reported only when it
// grows. An exception thrown by the callback aborts the work and reaches the
// caller.
using TCodecProgress = std::function<void(int Percent)>;

}  // namespace marovia
