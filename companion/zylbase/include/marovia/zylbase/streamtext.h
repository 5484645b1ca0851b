// Writing text lines to byte streams.
#pragma once

#include <string_view>

#include "marovia/platform/streams.h"

namespace marovia {

// Appends Line at the stream's position as Windows-1252 bytes (one byte per
// character; characters the code page lacks become '?'), followed by CR LF.
// A short write raises EWriteError.
void WriteLnStream(TStream& Stream, std::string_view Line);

}  // namespace marovia
