// Overlay layers: the user's own data drawn over the map image, in the
// map's own pixels through its calibration.
//
// A host makes layers and hands them to the map control
// (TGeoMap::AddOverlayLayer); the control draws them in every composition of
// a view (the screen, renders, prints, tiles) after the image and its grids
// and before the landmarks, in the order they were added. Two kinds come
// with the library:
//   TOverlayLayer   tracks, routes, waypoints and shapes (tracks.h), as read
//                   from GPX, KML, GeoJSON and the other track files
//   TGeoDBLayer     the items of an item database (geodb_layer.h)
//
// How a line is drawn: its positions go through the calibration in one
// batch, segments the map bends are densified so that the drawn line stays
// within 0.5 view pixel of the conversion of every position along it (under
// every calibration model), the line is clipped to the view and thinned to
// what the magnification shows. Waypoint captions take free places through
// the map's caption placement, shared by all layers of one composition.
//
// Styles: a feature's own style (the colours, widths and dashes its file
// gives) wins over the layer's, member by member, unless the layer says
// otherwise (UseFileStyles). Widths, radii and fonts are in view pixels and
// grow with the map's OverlayScale when printed.
//
// Layers are values the host owns through shared pointers; it changes them
// on the thread that paints and repaints the map (TGeoMap::Paint).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "marovia/geomap/tracks.h"
#include "marovia/platform/graphics.h"

namespace marovia {

class TMapCalibration;
class TOverlayCaptions;  // caption placement of one composition (internal)
namespace render {
class TLineCache;  // the pixels of a layer's lines between draws (internal)
}

// The view a layer draws into: image pixel (Left, Top) lies at the view's
// top-left corner, Magnify view pixels per image pixel, Width x Height view
// pixels. Scale multiplies pen widths, symbol sizes and fonts (the map's
// OverlayScale: 1 on screen, the printer's pixels per view pixel on paper).
struct TLayerView {
  const TMapCalibration* Calib = nullptr;
  double Left = 0, Top = 0;
  double Magnify = 1;
  int Width = 0, Height = 0;
  double Scale = 1;
};

class TMapLayer {
 public:
  virtual ~TMapLayer() = default;
  std::string Name;
  bool Visible = true;
  // Draws the layer on Canvas, whose pixels (0, 0) to (Width, Height) are
  // the view. Captions: where captions find free places (null: each caption
  // goes beside its symbol, overlapping or not). Draws nothing without a
  // calibration that converts.
  virtual void Draw(TCanvas& Canvas, const TLayerView& View, TOverlayCaptions* Captions) = 0;
  // A click at view pixel (X, Y): a press and release of the left button
  // without moving. The default does nothing.
  virtual void Click(const TLayerView& View, int X, int Y);
};

// How a layer draws what its features do not say themselves. Colours are
// TColor values (red in the lowest byte); opacities 0..1; Dash lists dash and
// gap lengths in multiples of the line's width (empty: solid).
struct TOverlayLayerStyle {
  TColor TrackColor = TColor(0x00D000D0);  // magenta
  TColor RouteColor = TColor(0x00D07000);  // blue
  TColor ShapeColor = TColor(0x00007000);  // dark green
  TColor FillColor = TColor(0x0000B000);
  double FillOpacity = 0.3;
  double Opacity = 1;
  double Width = 3;  // view pixels
  std::vector<double> Dash;
  std::vector<double> RouteDash = {3, 2};
  TColor WaypointColor = TColor(0x000000C0);  // dark red, outlined in white
  int WaypointRadius = 4;
  bool Captions = true;    // waypoint names beside them
  int CaptionHeight = 13;  // pixels of the caption's cell
  TColor CaptionColor = clBlack;
  bool UseFileStyles = true;  // a feature's own colours, widths and dashes
};

// Tracks, routes, waypoints and shapes of track files as one layer.
//
// The layer keeps the image pixels of its lines between draws, so that a
// pan or zoom does not convert the positions again; it notices by itself
// when Data or the calibration changed (the first draw after that converts
// them all, and checking costs a hash of the positions, about a
// millisecond a million points). They take 16 bytes a point, and the
// thinned copies for the magnifications drawn 4 bytes a point kept. A copy
// of a layer starts without them. Draw changes them: one thread at a time.
class TOverlayLayer : public TMapLayer {
 public:
  TOverlayLayer();
  explicit TOverlayLayer(TTrackData Value, std::string LayerName = {});
  ~TOverlayLayer() override;
  TOverlayLayer(const TOverlayLayer& Other);
  TOverlayLayer& operator=(const TOverlayLayer& Other);
  TTrackData Data;
  TOverlayLayerStyle Style;
  void Draw(TCanvas& Canvas, const TLayerView& View, TOverlayCaptions* Captions) override;
  // How often the layer's positions went through a calibration (a draw
  // after a change of the data or the calibration converts them again).
  std::size_t Conversions() const;

 private:
  std::unique_ptr<render::TLineCache> cache_;
};

}  // namespace marovia
