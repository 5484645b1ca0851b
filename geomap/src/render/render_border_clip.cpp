// The map image clipped to the calibration's border: a pass after the image
// is drawn that fills what lies outside the border polygon with the
// background colour.
//
// A view pixel is outside when its centre is, by the even-odd rule of
// TMapCalibration::InsideBorder. Each view row crosses the border's edges
// at a few image columns; between crossing 2k and 2k+1 the row is inside,
// so the fill is a handful of spans per row whatever the view's size.
#include <algorithm>
#include <cmath>
#include <vector>

#include "marovia/geomap/geomap.h"
#include "render/map_view.h"

namespace marovia {

void TGeoMap::SetClipToBorder(bool Value) {
  if (FClipToBorder == Value) return;
  FClipToBorder = Value;
  Paint();
}

void TGeoMap::ClipMapImageToBorder(TCanvas& Canvas, const render::TMapView& View) {
  const std::vector<TBorderVertex>& border = FCalib.Border();
  if (!FClipToBorder || border.size() < 3 || !(View.Magnify > 0)) return;
  const int W = View.Width, H = View.Height;
  Canvas.Brush().SetColor(FColorBakGnd);
  Canvas.Pen().SetColor(FColorBakGnd);
  const std::size_t n = border.size();
  // The first view column whose centre lies at or right of image x.
  auto column = [&](double x) {
    const double c = std::ceil((x - View.TopLeft.X) * View.Magnify - 0.5);
    return static_cast<int>(std::clamp(c, 0.0, static_cast<double>(W)));
  };
  std::vector<double> crossings;
  for (int row = 0; row < H; ++row) {
    const double y = View.TopLeft.Y + (row + 0.5) / View.Magnify;
    crossings.clear();
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
      const TBorderVertex& a = border[i];
      const TBorderVertex& b = border[j];
      if ((a.Y > y) == (b.Y > y)) continue;
      crossings.push_back(a.X + (y - a.Y) * (b.X - a.X) / (b.Y - a.Y));
    }
    std::sort(crossings.begin(), crossings.end());
    int from = 0;  // the first column not yet decided
    for (std::size_t k = 0; k + 1 < crossings.size(); k += 2) {
      const int in = column(crossings[k]);
      const int out = column(crossings[k + 1]);
      if (in > from) Canvas.FillRect(TRect{from, row, in, row + 1});
      from = std::max(from, out);
    }
    if (from < W) Canvas.FillRect(TRect{from, row, W, row + 1});
  }
}

}  // namespace marovia
