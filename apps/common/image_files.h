// Writing a picture as an image file, the format chosen by the file name.
#pragma once

#include <optional>
#include <string>

namespace marovia {
class TBitmap;
}

namespace marovia::apps {

enum class TImageFormat { Png, Bmp, Jpeg };

// By the extension, without regard to case: .png, .bmp, .jpg or .jpeg.
std::optional<TImageFormat> ImageFormatOf(const std::string& FileName);

// The top-left Width x Height pixels of Source as a 24-bit bitmap (the
// composed view of a map control may be larger than the control).
void CopyTopLeft(const TBitmap& Source, int Width, int Height, TBitmap& Dest);

// Writes Picture to FileName in Format; JpegQuality 1..100 is used for
// JPEG only. Raises EInOutError naming the file when it cannot be written.
void SaveImage(const TBitmap& Picture, const std::string& FileName, TImageFormat Format,
               int JpegQuality = 90);

}  // namespace marovia::apps
