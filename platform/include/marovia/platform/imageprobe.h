// The declared size of an image file, read from its header without decoding.
//
// A caller that limits image sizes asks here first and refuses a file whose
// header claims too many pixels before any decoder allocates memory for
// them. The format is recognised by content, not by the file name:
//
//   BMP   "BM", then the width and height of the info header (16-bit
//         unsigned in a 12-byte core header, 32-bit signed otherwise; a
//         negative height marks top-down rows and answers its magnitude);
//   JPEG  FF D8, then the segments up to the first start-of-frame marker
//         (SOF0..SOF15 other than DHT, JPG and DAC), whose height and width
//         are answered; every other segment is skipped by its length;
//   PNG   the 8-byte signature, then the IHDR chunk's width and height;
//   TIFF  "II" or "MM", version 42 (classic) or 43 (BigTIFF), then the
//         ImageWidth and ImageLength entries of the first directory (SHORT
//         or LONG, LONG8 in BigTIFF; at most 4096 entries are looked at).
//
// Values are answered exactly as declared, however large, so that the caller
// can refuse them with its own message. Content that is none of the four,
// or whose header is cut short or malformed (a zero or negative width, a
// zero height, a JPEG that reaches its scan or end before a frame header),
// answers false: the caller then decodes the file and gets the decoder's
// error. At most a few dozen bytes per JPEG segment are read, and never more
// than a fixed number of segments, whatever the file's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace marovia {

class TStream;

// Reads from the stream's position; the position afterwards is unspecified.
bool ReadImageDimensions(TStream& Stream, int64_t& Width, int64_t& Height);

// Opens the file for reading only; a file that cannot be opened raises
// EInOutError naming it.
bool ReadImageDimensions(const std::string& FileName, int64_t& Width, int64_t& Height);

// The same for a file held in memory.
bool ReadImageDimensions(const uint8_t* Data, size_t Size, int64_t& Width, int64_t& Height);

}  // namespace marovia
