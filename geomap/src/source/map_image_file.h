// The map image file of a source: what format its content is, and its
// pixels decoded whole.
#pragma once

#include <memory>
#include <string>

#include "marovia/platform/graphics.h"
#include "marovia/platform/sample_display.h"

namespace marovia::mapsource {

enum class TImageFormat { Bmp, Jpeg, Png, Tiff, Unknown };

// The format by the file's first bytes (its name does not count). Raises
// EInOutError naming the file when it cannot be read.
TImageFormat ImageFormatOfContent(const std::string& FileName);

// The whole image as a bitmap (0x00RRGGBB words), decoded by the decoder of
// its content's format, a TIFF's samples shown as Display says; OnProgress
// is told of the decoding. EZYLGeoMapError for content that is no image
// format the map reads; the decoders' errors pass through.
std::unique_ptr<TBitmap> DecodeImageFile(const std::string& FileName,
                                         const TProgressEvent& OnProgress,
                                         const TSampleDisplay& Display = {});

// The same with the format given (the map control's rule is the name's
// extension); the one decoding of each format for the whole library.
std::unique_ptr<TBitmap> DecodeImageFileAs(const std::string& FileName, TImageFormat Format,
                                           const TProgressEvent& OnProgress,
                                           const TSampleDisplay& Display = {});

}  // namespace marovia::mapsource
