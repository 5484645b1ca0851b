// The items of an item database (TGeoDB) as an overlay layer of the map.
//
// What is drawn, by kind:
//   towns                 a round symbol at the town's position, its name
//                         beside it where the caption placement finds room
//   lakes, closed cities  filled polygons with an outline
//   borders, rivers,      lines (closed lines when the item is closed)
//   roads, routes, cities
//   BLOBs                 nothing (they carry no geometry of their own)
// Every position goes through the map's calibration, like the tracks of
// TOverlayLayer: densified, clipped, simplified (overlay_layer.h).
//
// Which items: those whose bounding box meets the view's latitude and
// longitude box, found through the database's bound indexes
// (TGeoDB::FindItemsInArea); the box is taken from positions of points
// along the view's edges, grown by a margin, and reaches a pole when the
// pole lies in the view. The points of polygon items are read once and kept
// by item ID and data block (a replaced item's new block is read again);
// ForgetPoints drops them. The towns' image pixels are kept too, by entry,
// while the database's records (TGeoDB::Changes) and the calibration stay
// the same, and so is the last view's list of items while its box does:
// a redraw, a pan or a zoom converts only towns not seen before.
//
// Picking: a click (TMapLayer::Click) picks every item drawn within
// PickRadius view pixels of it: a town within that distance of its
// position, a line within that distance of the line, a filled polygon that
// contains the click or whose outline is that near. The items go to
// OnItemsPicked smallest first: by the area of their bounding box, then
// by distance, then by entry number. A click that picks nothing reports an
// empty list, so that a host can drop its selection.
//
// The database belongs to the host and must outlive the layer (or is handed
// over through a shared pointer); the layer only reads it, on the thread
// that paints.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "marovia/geodb/geodb.h"
#include "marovia/geomap/overlay_layer.h"

namespace marovia {

namespace render {
class TTownPixels;
}

struct TGeoDBPick {
  int Entry = 0;        // entry number (1-based) at the time of the pick
  TgdbData Item{};      // the item's record
  double Distance = 0;  // view pixels from the click to the item as drawn
  // Area of the item's bounding box in square degrees of latitude (the
  // longitude span scaled by the cosine of the middle latitude); 0 for a town.
  double Size = 0;
};

struct TGeoDBLayerStyle {
  TColor Town = TColor(0x00000080);  // dark red, outlined in white
  int TownRadius = 3;                // view pixels
  TColor Border = TColor(0x00800080);
  std::vector<double> BorderDash = {4, 2};
  TColor City = TColor(0x00304070);
  TColor CityFill = TColor(0x0080A0E0);
  TColor Lake = TColor(0x00A06020);
  TColor LakeFill = TColor(0x00F0C080);
  double FillOpacity = 0.5;
  TColor River = TColor(0x00C08020);
  TColor Road = TColor(0x00205090);
  TColor Route = TColor(0x000000C0);
  double Width = 2;  // view pixels
  bool Captions = true;
  // Town captions at most: with more towns in the view, those of the lower
  // class numbers (then the lower entries) get theirs.
  int MaxCaptions = 500;
  int CaptionHeight = 13;
  TColor CaptionColor = clBlack;
};

class TGeoDBLayer : public TMapLayer {
 public:
  explicit TGeoDBLayer(TGeoDB& DB, std::string LayerName = {});
  // The same, keeping the database alive as long as the layer.
  explicit TGeoDBLayer(std::shared_ptr<TGeoDB> DB, std::string LayerName = {});
  ~TGeoDBLayer() override;
  TGeoDBLayerStyle Style;
  double PickRadius = 5;  // view pixels
  std::function<void(TGeoDBLayer& Sender, const std::vector<TGeoDBPick>& Items)> OnItemsPicked;

  // The items within PickRadius of view pixel (X, Y), smallest first.
  std::vector<TGeoDBPick> Pick(const TLayerView& View, double X, double Y);
  // How many items the last Draw found in the view's box and drew.
  std::size_t DrawnItems() const { return drawn_; }
  // Drops the points of polygon items and the towns' pixels kept.
  void ForgetPoints();
  // How many town positions went through the calibration so far (for tests).
  std::size_t TownConversions() const;

  void Draw(TCanvas& Canvas, const TLayerView& View, TOverlayCaptions* Captions) override;
  void Click(const TLayerView& View, int X, int Y) override;

 private:
  struct TItemPoints {
    int32_t BlobOffset = -1;
    std::vector<double> Lat, Lon;
  };
  const TItemPoints* PointsOf(int Entry, const TgdbData& Item);
  // The entries of the view's box, kept for the next draw.
  const std::vector<int>& EntriesIn(double LatLow, double LatHigh, double LongLow, double LongHigh);

  std::shared_ptr<TGeoDB> owned_;
  TGeoDB& db_;
  std::unordered_map<int32_t, TItemPoints> points_;
  std::unique_ptr<render::TTownPixels> towns_;
  struct TFound {
    uint64_t Changes = 0;
    double Box[4] = {};
    std::vector<int> Entries;
    bool Valid = false;
  } found_;
  std::size_t drawn_ = 0;
};

}  // namespace marovia
