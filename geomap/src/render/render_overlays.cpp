// The overlay layers of the map control: the list the host keeps on the
// control, their drawing in a composition and the clicks they are given.
#include <algorithm>

#include "marovia/geomap/geomap.h"
#include "marovia/geomap/overlay_layer.h"
#include "render/map_view.h"
#include "render/overlay_paint.h"

namespace marovia {

using render::TMapView;

int TGeoMap::AddOverlayLayer(std::shared_ptr<TMapLayer> Layer) {
  if (!Layer) return -1;
  const auto at = std::find(FOverlayLayers.begin(), FOverlayLayers.end(), Layer);
  if (at != FOverlayLayers.end()) return static_cast<int>(at - FOverlayLayers.begin());
  FOverlayLayers.push_back(std::move(Layer));
  Paint();
  return OverlayLayerCount() - 1;
}

const std::shared_ptr<TMapLayer>& TGeoMap::OverlayLayer(int i) const {
  if (i < 0 || i >= OverlayLayerCount())
    RaiseError("overlay layer index " + std::to_string(i) + " out of range");
  return FOverlayLayers[static_cast<std::size_t>(i)];
}

void TGeoMap::RemoveOverlayLayer(int i) {
  if (i < 0 || i >= OverlayLayerCount()) return;
  FOverlayLayers.erase(FOverlayLayers.begin() + i);
  Paint();
}

void TGeoMap::ClearOverlayLayers() {
  if (FOverlayLayers.empty()) return;
  FOverlayLayers.clear();
  Paint();
}

TLayerView TGeoMap::LayerViewOf(const TMapView& View) const {
  TLayerView v;
  v.Calib = &FCalib;
  v.Left = View.TopLeft.X;
  v.Top = View.TopLeft.Y;
  v.Magnify = View.Magnify;
  v.Width = View.Width;
  v.Height = View.Height;
  v.Scale = FOverlayScale;
  return v;
}

TLayerView TGeoMap::LayerView() const {
  return LayerViewOf(ControlView());
}

void TGeoMap::DrawOverlayLayers(TCanvas& Canvas, const TMapView& View) {
  if (!FCalib.Converts() || View.Width <= 0 || View.Height <= 0) return;
  const TLayerView view = LayerViewOf(View);
  TOverlayCaptions captions(View.Width, View.Height);
  // A copy: a layer's drawing may not change the list under the loop.
  const auto layers = FOverlayLayers;
  for (const auto& layer : layers)
    if (layer->Visible) layer->Draw(Canvas, view, &captions);
  Canvas.Pen().SetMode(pmCopy);
  Canvas.Pen().SetStyle(psSolid);
  Canvas.Pen().SetWidth(1);
  Canvas.Brush().SetStyle(bsSolid);
}

}  // namespace marovia
