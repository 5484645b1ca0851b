// A view of a calibrated map as a request: its size, the position at its
// centre, its magnification and what is drawn over the map; placing it on
// a map control, and drawing it from a map source into a bitmap. The tools,
// the viewer and Python draw their views through it, so that a view asked
// for the same way looks the same everywhere.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "marovia/geomap/geomap.h"

namespace marovia {

struct TViewRequest {
  int Width = 800;  // view pixels
  int Height = 600;
  // The position at the view's centre (degrees); the image centre when
  // absent.
  std::optional<TCoords> Center;
  // View pixels per image pixel; when absent 1 with a centre, otherwise
  // the whole image fitted into the view.
  std::optional<double> Magnification;
  TShowGrat Grid = sgNone;
  double GridStepDegrees = 0;  // 0: the step that suits the view (grid_steps.h)
  int UtmStepMetres = 0;       // 0: likewise
  bool AntiAlias = true;
  // Captions placed without overlap; false draws every caption where its
  // offsets put it.
  bool PlaceLabels = true;
};

// The grid names: none, points, lines, lines+points, utm, utm+points.
std::optional<TShowGrat> GridFromName(const std::string& Name);

// Sizes Map to the view, sets what is drawn and places the view (painting
// suppressed meanwhile; Map paints once at the end). A grid step of 0
// becomes the round step that suits the view's magnification (lines 60 to
// 150 pixels apart). EZYLGeoMapError when the centre is not on the map or
// the calibration cannot place it; Map is then left unchanged.
void ApplyView(TGeoMap& Map, const TViewRequest& View);

// The view of Source drawn as a Width x Height 24-bit bitmap: a map control
// made for the call (named "Map") takes the source and Landmarks (when
// given), then the view is applied and drawn. Raises as SetMapSource and
// ApplyView do. The control is handed to Prepare (when given) before the
// view is applied, for settings the request does not cover.
void RenderView(const std::shared_ptr<const TMapSource>& Source, const TViewRequest& View,
                const std::vector<TLandMark>* Landmarks, TBitmap& Picture,
                const std::function<void(TGeoMap&)>& Prepare = {});

// An image file of a view: the format by the file's extension, without
// regard to case (.png, .bmp, .jpg or .jpeg).
enum class TViewImageFormat { Png, Bmp, Jpeg };
std::optional<TViewImageFormat> ViewImageFormatOf(const std::string& FileName);
// The top-left Width x Height pixels of Source as a 24-bit bitmap (the
// composed view of a map control may be larger than the control).
void CopyTopLeft(const TBitmap& Source, int Width, int Height, TBitmap& Dest);
// Writes Picture to FileName in Format; JpegQuality 1..100 is used for JPEG
// only. EInOutError naming the file when it cannot be written.
void SaveViewImage(const TBitmap& Picture, const std::string& FileName, TViewImageFormat Format,
                   int JpegQuality = 90);

}  // namespace marovia
