// The resources embedded in the library: the cursors "CURGEOZOOM" (32 x 32,
// hot spot (6, 6)) and "CURGEOHAND" (32 x 32, hot spot (0, 0)), and the
// button bitmaps "POINTR" and "ZOOMIN" (40 x 20, 8 bits per pixel, two 20 x 20
// glyphs side by side: normal and disabled).
#pragma once

#include "marovia/platform/resources.h"

namespace marovia {

// The library's module handle for LoadCursorW and LoadBitmapResource. The
// first call registers the resources.
HINSTANCE HInstance();

}  // namespace marovia
