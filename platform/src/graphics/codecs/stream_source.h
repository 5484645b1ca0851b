// Reading image files from streams: the bytes, and the file they came from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace marovia {
class TStream;

namespace codecs {

// The bytes from the stream's position to its end; the position moves to
// the end.
std::vector<uint8_t> ReadRest(TStream& Stream);

// The name of the file behind the stream, or "" when it is not a file.
std::string SourceName(TStream& Stream);

// Message with the file's name appended when there is one.
std::string WithSource(const std::string& Message, const std::string& Source);

}  // namespace codecs
}  // namespace marovia
