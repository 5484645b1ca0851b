// TOverlayLayer: tracks, routes, shapes and waypoints drawn into a view.
//
// Order within the layer: shapes' fills, shapes' outlines and lines,
// routes, tracks, waypoint markers, then their captions (so that no caption
// of the layer covers one of its markers).
#include <algorithm>
#include <cmath>
#include <vector>

#include "marovia/geomap/map_calibration.h"
#include "marovia/geomap/overlay_layer.h"
#include "render/overlay_geometry.h"
#include "render/overlay_line_cache.h"
#include "render/overlay_paint.h"
#include "render/render_pixels.h"

namespace marovia {

using render::TViewPath;
using render::TViewPoint;

void TMapLayer::Click(const TLayerView&, int, int) {}

namespace {

struct TLineLook {
  TColor Color;
  double Opacity;
  double Width;  // view pixels
  std::vector<double> Dash;
};

TLineLook LookOf(const TOverlayStyle& Own, const TOverlayLayerStyle& Layer, TColor Colour,
                 const std::vector<double>& Dash) {
  TLineLook look{Colour, Layer.Opacity, Layer.Width, Dash};
  if (!Layer.UseFileStyles) return look;
  if (Own.LineColor) look.Color = *Own.LineColor;
  if (Own.LineOpacity) look.Opacity = std::clamp(*Own.LineOpacity, 0.0, 1.0);
  if (Own.Width && std::isfinite(*Own.Width) && *Own.Width > 0)
    look.Width = std::min(*Own.Width, 100.0);
  if (!Own.Dash.empty()) look.Dash = Own.Dash;
  return look;
}

render::TStroke StrokeOf(const TLineLook& Look, double Scale) {
  render::TStroke s;
  s.Color = Look.Color;
  s.Opacity = Look.Opacity;
  const double w = Look.Width * Scale;
  s.Width = std::max(1, static_cast<int>(std::lround(w)));
  for (double d : Look.Dash) s.Dash.push_back(std::max(d, 0.0) * std::max(w, 1.0));
  return s;
}

class TLayerPainter {
 public:
  TLayerPainter(TCanvas& Canvas, const TLayerView& View, const TTrackData& Data,
                render::TLineCache& Cache)
      : canvas_(Canvas),
        view_(View),
        data_(Data),
        calib_(*View.Calib),
        cache_(Cache),
        ov_{View.Left, View.Top, View.Magnify, View.Width, View.Height} {
    ov_.Straight = render::StraightLength(calib_, ov_);
  }

  void Line(TPointRange R, const TLineLook& Look) { Stroke(R, Look, false); }

  void Shape(const TShape& S, const TOverlayLayerStyle& Style) {
    const TLineLook look = LookOf(S.Style, Style, Style.ShapeColor, Style.Dash);
    if (S.Kind == TShapeKind::Polygon) {
      TColor fill = Style.FillColor;
      double opacity = Style.FillOpacity;
      if (Style.UseFileStyles) {
        if (S.Style.FillColor) fill = *S.Style.FillColor;
        if (S.Style.FillOpacity) opacity = std::clamp(*S.Style.FillOpacity, 0.0, 1.0);
      }
      std::vector<std::vector<TViewPoint>> rings;
      std::vector<uint8_t> holes;
      for (const TShapePart& part : S.Parts) {
        if (part.Points.End > data_.Points.Size() || part.Points.Size() < 3) continue;
        rings.push_back(render::ProjectRing(calib_, ov_, Span(data_.Points.Lat, part.Points),
                                            Span(data_.Points.Lon, part.Points), 2));
        holes.push_back(part.Hole ? 1 : 0);
      }
      render::FillRings(canvas_, view_.Width, view_.Height, rings, holes, fill, opacity);
    }
    for (const TShapePart& part : S.Parts) {
      TPointRange r = part.Points;
      if (S.Kind == TShapeKind::Polygon && !r.Empty() && r.End <= data_.Points.Size()) {
        // The outline closes the ring.
        ClosedLine(r, look);
      } else {
        Line(r, look);
      }
    }
  }

  // Markers of the waypoints in the view; their boxes for the captions.
  struct TShown {
    std::size_t Index;
    TRect Box;
  };
  std::vector<TShown> Waypoints(const TOverlayLayerStyle& Style) {
    const std::size_t n = data_.Waypoints.size();
    std::vector<double> lat(n), lon(n), x(n), y(n);
    std::vector<uint8_t> ok(n);
    for (std::size_t i = 0; i < n; ++i) {
      lat[i] = data_.Waypoints[i].Lat;
      lon[i] = data_.Waypoints[i].Lon;
    }
    calib_.GeoToPixel(lat, lon, x, y, ok);
    const int radius =
        std::max(1, static_cast<int>(std::lround(Style.WaypointRadius * view_.Scale)));
    std::vector<TShown> shown;
    for (std::size_t i = 0; i < n; ++i) {
      if (!ok[i]) continue;
      const TViewPoint v = ov_.ToView(x[i], y[i]);
      if (v.X < -radius || v.Y < -radius || v.X > view_.Width + radius ||
          v.Y > view_.Height + radius)
        continue;
      const TWaypoint& w = data_.Waypoints[i];
      const TColor fill =
          Style.UseFileStyles && w.Style.MarkerColor ? *w.Style.MarkerColor : Style.WaypointColor;
      shown.push_back(TShown{i, render::DrawMarker(canvas_, render::CanvasPoint(v), radius, fill)});
    }
    return shown;
  }

 private:
  static std::span<const double> Span(const std::vector<double>& V, TPointRange R) {
    return std::span<const double>(V).subspan(R.Begin, R.Size());
  }

  void ClosedLine(TPointRange R, const TLineLook& Look) {
    const auto& lat = data_.Points.Lat;
    const auto& lon = data_.Points.Lon;
    const bool open = lat[R.Begin] != lat[R.End - 1] || lon[R.Begin] != lon[R.End - 1];
    Stroke(R, Look, open);
  }

  void Stroke(TPointRange R, const TLineLook& Look, bool Close) {
    if (R.End > data_.Points.Size() || R.Begin >= R.End) return;
    const render::TStroke stroke = StrokeOf(Look, view_.Scale);
    paths_.clear();
    cache_.Project(calib_, ov_, R, stroke.Width / 2.0 + 2, Close, paths_, !stroke.Dash.empty());
    render::StrokePaths(canvas_, view_.Width, view_.Height, paths_, stroke);
  }

  TCanvas& canvas_;
  const TLayerView& view_;
  const TTrackData& data_;
  const TMapCalibration& calib_;
  render::TLineCache& cache_;
  render::TOverlayView ov_;
  std::vector<TViewPath> paths_;  // reused from line to line
};

}  // namespace

TOverlayLayer::TOverlayLayer() : cache_(std::make_unique<render::TLineCache>()) {}

TOverlayLayer::TOverlayLayer(TTrackData Value, std::string LayerName)
    : Data(std::move(Value)), cache_(std::make_unique<render::TLineCache>()) {
  Name = std::move(LayerName);
}

TOverlayLayer::~TOverlayLayer() = default;

TOverlayLayer::TOverlayLayer(const TOverlayLayer& Other)
    : TMapLayer(Other),
      Data(Other.Data),
      Style(Other.Style),
      cache_(std::make_unique<render::TLineCache>()) {}

TOverlayLayer& TOverlayLayer::operator=(const TOverlayLayer& Other) {
  if (this == &Other) return *this;
  TMapLayer::operator=(Other);
  Data = Other.Data;
  Style = Other.Style;
  cache_->Clear();
  return *this;
}

std::size_t TOverlayLayer::Conversions() const {
  return cache_->Conversions();
}

void TOverlayLayer::Draw(TCanvas& Canvas, const TLayerView& View, TOverlayCaptions* Captions) {
  if (!Visible || !View.Calib || !View.Calib->Converts() || View.Width <= 0 || View.Height <= 0)
    return;
  // Every line the layer draws: the cache keeps their ends whatever the
  // thinning.
  std::vector<TPointRange> lines;
  for (const TShape& s : Data.Shapes)
    for (const TShapePart& part : s.Parts) lines.push_back(part.Points);
  for (const TRoute& r : Data.Routes) lines.push_back(r.Points);
  for (const TTrack& t : Data.Tracks)
    lines.insert(lines.end(), t.Segments.begin(), t.Segments.end());
  cache_->Update(*View.Calib, Data.Points.Lat, Data.Points.Lon, std::move(lines));
  TLayerPainter paint(Canvas, View, Data, *cache_);
  for (const TShape& s : Data.Shapes) paint.Shape(s, Style);
  for (const TRoute& r : Data.Routes)
    paint.Line(r.Points, LookOf(r.Style, Style, Style.RouteColor, Style.RouteDash));
  for (const TTrack& t : Data.Tracks) {
    const TLineLook look = LookOf(t.Style, Style, Style.TrackColor, Style.Dash);
    for (const TPointRange& seg : t.Segments) paint.Line(seg, look);
  }
  const auto shown = paint.Waypoints(Style);
  if (!Style.Captions || shown.empty()) return;
  std::vector<int32_t> owners;
  for (const auto& s : shown) {
    owners.push_back(Captions ? Captions->NewOwner() : -1);
    if (Captions) Captions->Placer.AddObstacle(s.Box, owners.back());
  }
  Canvas.Font().SetHeight(
      std::max(1, static_cast<int>(std::lround(Style.CaptionHeight * View.Scale))));
  Canvas.Font().SetColor(Style.CaptionColor);
  Canvas.Font().SetOrientation(0);
  for (std::size_t k = 0; k < shown.size(); ++k)
    render::DrawCaption(Canvas, Captions, owners[k], shown[k].Box,
                        Data.Waypoints[shown[k].Index].Name);
}

}  // namespace marovia
