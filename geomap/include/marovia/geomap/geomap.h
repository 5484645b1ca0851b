// TGeoMap: a control that shows one raster map image, relates its pixels to
// latitude and longitude through a calibration, and draws graticules, a UTM
// grid, landmarks and a mouse trace over it.
//
// Coordinates: image coordinates are pixels of the full-resolution map image
// (origin top left, y down); control coordinates are pixels of the client
// area. A control point is (image point - TopLeft) * Magnification.
//
// Every property writer that changes what is shown repaints at once by
// calling Paint, which composes the view into AuxBmp and copies it to the
// control's surface.
//
// Sources (geomap/src), by folder and concern:
//   control/       the control itself
//     geomap_core.cpp         construction, properties, Assign, Clear
//     calibration.cpp         calibration points, refits, quality, residuals
//     calibration_settings.cpp  the projected and thin-plate models' settings
//     conversion.cpp          pixel <-> geographic, control <-> image, extents
//     landmarks.cpp           the landmark list
//     image_loading.cpp       map image files, bitmaps and map sources, the size
//                             limit
//     interaction.cpp         mouse gestures
//     zoom_pan.cpp            zoom history, magnification, centring, resampling
//     mouse_trace.cpp         the mouse trace: points, clearing, drawing
//     map_output.cpp          saving, renaming, clipboard, CopyToBMP
//     map_generated.cpp       generated maps in memory and as files
//     map_printing.cpp        printing
//     print_georeference.cpp  where a printed window lies on the earth
//     print_page.cpp          a map window on a printed page (print_page.h)
//     view_request.cpp        views asked for as values (view_request.h)
//     symbol_repository.cpp   the symbol repository component
//   calibration/   the calibration value (map_calibration.h)
//     map_calibration*.cpp    fits, conversions, batches, residuals
//     lsq_solver.cpp          least squares by singular value decomposition
//     plane_polynomial.cpp, thin_plate_*.cpp  the projected and thin-plate fits
//     cholesky_kernel.cpp     the thin-plate fit's blocked, vectorised Cholesky
//     point_model_kernels.cpp the Miller and conic formulas, vectorised
//     crs_projection.cpp, proj_support.cpp    coordinate reference systems (PROJ)
//     conversion_lines.cpp    graticule line fits
//   source/        a calibrated map as data (map_source.h): the image rule,
//                  decoding by content, opening any map file (map_import.h)
//   files/         calibration, landmark and symbol files (calxml.h, xmltext.h)
//     map_folder.cpp          the files of a map folder (map_folder.h)
//     map_file_reader.cpp     the reader core: root-line search, element loop,
//                             cut sets
//     calxml_*.cpp            calibration files: root line, elements, readers,
//                             writers
//     landmark_element.cpp, landmark_files.cpp, symbol_files.cpp
//     xmltext_*.cpp           the XML text routines and tag table
//     replace_file.cpp        whole-or-nothing file replacement
//   render/        the composition of a view
//     render.cpp              Paint and the order of the composition steps
//     map_view.h              the view as a value and the image/control mapping
//     render_image.cpp        background, scaled-image cache, the map image
//     render_tiles.cpp        the map image of a tiled (large) map
//     render_border_clip.cpp  the map image outside the border (ClipToBorder)
//     render_grid.cpp         graticule lines by model, calibration markers
//     render_utm_grid.cpp     the UTM grid
//     render_mgrs_grid.cpp    the MGRS grid and its square letters
//     render_overlays.cpp     the overlay layers' list, drawing and clicks
//     overlay_layer_draw.cpp  tracks, routes, shapes, waypoints (TOverlayLayer)
//     geodb_layer.cpp         item database items and picks (TGeoDBLayer)
//     geodb_layer_towns.cpp   the towns' image pixels kept between draws
//     overlay_geometry.cpp    lines through the calibration: densify, clip, thin
//     overlay_line_cache.cpp  overlay lines' image pixels kept between draws
//     render_position.cpp     the live position: track so far, accuracy circle
//     overlay_paint.cpp       strokes with opacity and dashes, fills, markers
//     marker_stamp.cpp        many equal markers stamped straight into a surface
//     view_area.cpp           the latitude/longitude box of a view
//     render_landmarks.cpp    landmarks, sampling, captions, the highlight
//     render_captions.cpp     caption fonts and text cells
//     label_placement.cpp     captions placed without overlap: collision index
//     grid_scale.cpp, grid_steps.cpp  grid steps that suit a magnification
//     render_symbol_stamps.cpp, symbol_drawing.cpp  landmark symbols
//   interop/       maps from and to other software: world files, .map files,
//                  control-point lists, GDAL virtual rasters, KML/KMZ, GeoTIFF
//   tiles/         web tiles: tile math, warp, encoding, the tile stores,
//                  the JSON text of their metadata
// The atlas index, the atlas's web tiles, their job runner and page are in
// geoatlas (geoatlas.h).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "marovia/geobasics/ellipsoids.h"
#include "marovia/geomap/calib_types.h"
#include "marovia/geomap/calxml.h"
#include "marovia/geomap/grid_steps.h"
#include "marovia/geomap/landmark.h"
#include "marovia/geomap/map_calibration.h"
#include "marovia/geomap/map_source.h"
#include "marovia/platform/controls.h"
#include "marovia/platform/files.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/sample_display.h"
#include "marovia/platform/streams.h"
#include "marovia/zylbase/zylbase.h"
#include "marovia/zylmath/matrix.h"

namespace marovia {

class TImagePyramid;
class TPositionLayer;
class TMapLayer;
struct TLayerView;

namespace mapfile {
class TSetInput;
}
namespace render {
class SymbolStamps;
struct TMapView;
struct TImageSource;
}  // namespace render

// Points a mouse trace holds; points beyond are not recorded.
constexpr int32_t kMaxTracePoints = 5000;

// Range of the display magnification (control pixels per image pixel).
// Writers clamp to it; NaN is ignored.
constexpr double kMinMagnification = 1.0 / 1024;
constexpr double kMaxMagnification = 1024;

// What grid is drawn over the map.
enum TShowGrat : uint8_t {
  sgNone,
  sgPoints,
  sgLines,
  sgPointsAndLines,
  sgUTMGrid,
  sgPointsAndUTMGrid
};

// A saved view: FTopLeft and the magnification. All three zero: empty.
struct TgmZoomStackEntry {
  int32_t Left = 0;
  int32_t Top = 0;
  double MagF = 0;
  bool Empty() const { return Left == 0 && Top == 0 && MagF == 0; }
  friend bool operator==(const TgmZoomStackEntry&, const TgmZoomStackEntry&) = default;
};

// Canvas is AuxBmp's canvas during the composition.
using TRenderEvent = std::function<void(TObject* Sender, TCanvas& Canvas)>;
// APoint: the landmark's position in control coordinates. Set Handled to
// suppress the built-in symbol and caption.
using TDrawLandMarkEvent = std::function<void(TObject* Sender, bool& Handled, TCanvas& Canvas,
                                              TPoint APoint, const TLandMark& LandMarkData)>;
// Priority of a landmark's caption when captions are placed without
// overlap: 0 on entry; higher values are placed first. Index: 1..NumLandMarks.
using TLabelPriorityEvent = std::function<void(TObject* Sender, int32_t Index,
                                               const TLandMark& LandMarkData, int32_t& Priority)>;
// Allowed is true on entry; false cancels the addition or removal.
using TLandMarkActionEvent = std::function<void(
    TObject* Sender, bool& Allowed, TLandMarkAction Action, const TLandMark& LandMarkData)>;
// The handler may change the file name of the map image to be opened.
using TMapImgRequestEvent = std::function<void(TObject* Sender, std::string& FileName)>;
// Lets the caller draw its own data on a generated map image.
using TOnDrawMapDataEvent =
    std::function<void(TObject* Sender, TCanvas& MapCanvas, double LatLow, double LongLow,
                       double LatHigh, double LongHigh, int32_t Wid, int32_t Hgt)>;

class TGeoMap : public TCustomControl {
 public:
  explicit TGeoMap(TComponent* AOwner);
  ~TGeoMap() override;
  std::string ClassName() const override { return "TGeoMap"; }

  // Copies everything but the mouse trace, the event handlers and the
  // inherited control properties from another TGeoMap; no repaint.
  void Assign(const TPersistent& Source) override;
  // Empties calibration, model, image name and mouse trace; keeps
  // landmarks, bitmap, zoom history and TopLeft.
  void Clear();

  // ---- Published properties --------------------------------------------

  bool AllowPan() const { return FMouseAction == maPan; }
  void SetAllowPan(bool Value);
  bool AntiAlias() const { return FAntiAlias; }
  void SetAntiAlias(bool Value);
  TCalibModel CalibModel() const { return FCalibModel; }
  void SetCalibModel(TCalibModel Value);
  // The image cache is used below this magnification, 0..2/3.
  double CacheMagLimit() const { return FCacheMagLimit; }
  void SetCacheMagLimit(double Value);
  TColor ColorBackGnd() const { return FColorBakGnd; }
  void SetColorBackGnd(TColor Value);
  TColor ColorGraticule() const { return FColorGratLine; }
  void SetColorGraticule(TColor Value);
  TColor ColorCalibPoints() const { return FColorGratPoints; }
  void SetColorCalibPoints(TColor Value);
  TColor ColorFrame() const { return FFrameColor; }
  void SetColorFrame(TColor Value);
  bool ConfinePanToMapImage() const { return FConfinePan; }
  void SetConfinePanToMapImage(bool Value);
  const std::string& EmptyMsg() const { return FEmptyMsg; }
  void SetEmptyMsg(const std::string& Value);
  TFrameStyle FrameStyle() const { return FFrameStyle; }
  void SetFrameStyle(TFrameStyle Value);
  // Degrees between graticule lines, 0..60; 0 lets the renderer choose.
  double GratLineDist() const { return FGratLineDist; }
  void SetGratLineDist(double Value);
  // Metres between UTM grid lines, 0..10000000; 0 lets the renderer choose.
  int32_t UTMGridDist() const { return FUTMGridDist; }
  void SetUTMGridDist(int32_t Value);
  // The graticule step (degrees) and UTM grid step (metres) that suit a
  // view of this map at Magnification: lines about 60 to 150 view pixels
  // apart at round steps (grid_steps.h), taken from the calibrated corners
  // (the larger of the degrees per pixel down and across) and the map's
  // resolution. 0 without a calibration that gives them. Hosts write them
  // to GratLineDist and UTMGridDist as the view zooms.
  double GratLineDistFor(double Magnification) const;
  int32_t UTMGridDistFor(double Magnification) const;
  // Zone of the UTM model; only 1..60 is stored. No refit, no repaint.
  int32_t UTMZone() const { return FCalibData.UTMZone; }
  void SetUTMZone(int32_t Value);
  THemisphere UTMHemisphere() const { return FCalibData.UTMSouth ? hemiSouth : hemiNorth; }
  void SetUTMHemisphere(THemisphere Value);
  // The CRS of the projected model: an authority code ("EPSG:3395"), a PROJ
  // string or WKT. Raises EZYLGeoMapError naming a text PROJ does not know
  // as a projected CRS (an empty text clears it). No refit, no repaint.
  const std::string& CrsText() const { return FCalibData.CrsText; }
  void SetCrsText(const std::string& Value);
  // Order of the projected model's polynomials: 1 (affine) or 2; other
  // values raise EZYLGeoMapError. No refit, no repaint.
  int32_t PolyOrder() const { return FCalibData.PolyOrder; }
  void SetPolyOrder(int32_t Value);
  // Smoothing of the thin-plate model, a number >= 0 (0: through the
  // points); others raise EZYLGeoMapError. No refit, no repaint.
  double Smoothing() const { return FCalibData.Smoothing; }
  void SetSmoothing(double Value);
  TMouseActMode MouseAction() const { return FMouseAction; }
  void SetMouseAction(TMouseActMode Value) { FMouseAction = Value; }
  TColor MouseTraceColor() const { return FColorMTrace; }
  void SetMouseTraceColor(TColor Value) { FColorMTrace = Value; }
  bool MouseTraceInvert() const { return FMTraceInvert; }
  void SetMouseTraceInvert(bool Value) { FMTraceInvert = Value; }
  TShowGrat ShowGraticule() const { return FShowGrat; }
  void SetShowGraticule(TShowGrat Value);
  // The MGRS grid over the map, under any calibration model: 100 km square
  // lines with the squares' letters, and finer lines (10 km down to 1 m) as
  // the view's scale allows, in the graticule colour. Independent of
  // ShowGraticule. Writing it repaints.
  bool ShowMGRSGrid() const { return FShowMGRSGrid; }
  void SetShowMGRSGrid(bool Value);

  // ---- Public properties -------------------------------------------------

  // Direct access to the calibration record; nothing is recalculated.
  const TCalibData& CalibData() const { return FCalibData; }
  void SetCalibData(const TCalibData& Value) { FCalibData = Value; }
  // The calibration as a value: model, record, fitted parameters and image
  // size (as of the last refit or image change). A host that converts many
  // points, or from other threads, takes a copy.
  const TMapCalibration& Calibration() const { return FCalib; }
  // Takes over model, record and fitted parameters of a calibration (its
  // image size is not taken: the control's image decides), then computes
  // the corners and resolution for the control's image and repaints.
  void SetCalibration(const TMapCalibration& Value);
  // Name of the calibration file last loaded; writing loads the first data
  // set of an existing file, or empties the map for a missing one.
  const std::string& CalibDataFile() const { return FCalDatName; }
  void SetCalibDataFile(const std::string& Value) { SetCalDatName(Value); }
  void SetCalDatName(const std::string& Name);
  // The map caption (FCalibData.Caption); writing does not repaint.
  const std::string& Caption() const { return GetMapCaption(); }
  void SetCaption(const std::string& Value) { SetMapCaption(Value); }
  const std::string& GetMapCaption() const { return FCalibData.Caption; }
  void SetMapCaption(const std::string& Value) { FCalibData.Caption = Value; }
  int32_t HighLightLandMark() const { return FHighLM; }
  void SetHighLightLandMark(int32_t Value) { SetHighLM(Value); }
  void SetHighLM(int32_t Value);
  void SetHighLightProperties(TColor ColorFG, TColor ColorBG, bool Transparent);
  const TLandMark& LandMarkDefault() const { return FDefaultLM; }
  void SetLandMarkDefault(const TLandMark& Value) { FDefaultLM = Value; }
  // Landmark i, 1..NumLandMarks. Reading outside raises EZYLGeoMapError;
  // writing outside is ignored.
  TLandMark LandMarkData(int32_t i) const { return GetLandMarkData(i); }
  void SetLandMarkData(int32_t i, const TLandMark& LandMark);
  TLandMark GetLandMarkData(int32_t i) const;
  bool LMClassVisible(uint8_t Cls) const { return GetClassVisibility(Cls); }
  void SetLMClassVisible(uint8_t Cls, bool Value) { SetClassVisibility(Cls, Value); }
  bool GetClassVisibility(uint8_t Cls) const { return FLMClassVisible[Cls]; }
  void SetClassVisibility(uint8_t Cls, bool Value);
  // Position of the last mouse press; 0 when the map cannot convert it.
  double LastClickLatitude() const { return GetLastMClickLatitude(); }
  double LastClickLongitude() const { return GetLastMClickLongitude(); }
  double GetLastMClickLatitude() const;
  double GetLastMClickLongitude() const;
  int32_t LastClickPosX() const { return FLastMClickPosX; }
  int32_t LastClickPosY() const { return FLastMClickPosY; }
  int32_t LastMousePosX() const { return FLastMMousePosX; }
  int32_t LastMousePosY() const { return FLastMMousePosY; }
  // Landmark count above which only a random sample is drawn; only values
  // above 1000 are accepted.
  int32_t LMRandomDisplayThreshold() const { return FLMRandSampleLimit; }
  void SetLMRandomDisplayThreshold(int32_t Value) { SetRandSampleLimit(Value); }
  void SetRandSampleLimit(int32_t Value);
  // Captions placed without overlap (off: each caption where its offsets
  // put it, however crowded). When on, captions are taken in priority
  // order (OnLabelPriority, then the highlighted landmark, a lower class
  // number, a larger symbol, the list position), each tried at its own
  // position and then around its symbol; one that overlaps every time
  // another caption or a symbol, or reaches past the view's edge, is left
  // out (its symbol stays). Repaints when changed.
  bool PlaceLabels() const { return FPlaceLabels; }
  void SetPlaceLabels(bool Value);
  // Device pixels per view pixel for everything drawn over the map
  // (symbols, captions, line widths, markers): 1 on screen; a printout
  // sets its dots per view pixel so that the overlays keep their size on
  // paper. Clamped to 1/4..16; NaN is ignored. Repaints when changed.
  double OverlayScale() const { return FOverlayScale; }
  void SetOverlayScale(double Value);
  double Magnification() const { return FMagnify; }
  void SetMagnification(double Magnification);
  // Whether the map image outside the calibration's border (a scanned
  // sheet's margin and legend) is filled with the background colour; off by
  // default, and without effect for a calibration without a border. The
  // grid, landmarks and trace are drawn over the fill. Repaints when
  // changed (render_border_clip.cpp).
  bool ClipToBorder() const { return FClipToBorder; }
  void SetClipToBorder(bool Value);
  // Name of the map image file; writing loads it (image_loading.cpp).
  const std::string& MapImgFile() const { return FMapImgName; }
  void SetMapImgFile(const std::string& Value) { SetMapImgName(Value); }
  void SetMapImgName(const std::string& Value);
  int32_t MapImgWidth() const { return FMapImgWidth; }
  int32_t MapImgHeight() const { return FMapImgHeight; }
  // Largest map image the control takes, in pixels (default kMaxMapPixels,
  // clamped to kMaxMapPixels..kMaxTiledMapPixels). Images up to
  // kMaxMapPixels are decoded into memory; larger ones, up to this limit,
  // are held as a tile pyramid (a file through a cache file in
  // PyramidCacheDir, a bitmap in memory) of which a view reads only the
  // tiles it shows. Applies to the next image loaded.
  int64_t MaxMapPixels() const { return FMaxMapPixels; }
  void SetMaxMapPixels(int64_t Value);
  // Directory of the pyramids' cache files; empty: the user's cache
  // directory. Applies to the next image loaded.
  const std::string& PyramidCacheDir() const { return FPyramidCacheDir; }
  void SetPyramidCacheDir(const std::string& Value) { FPyramidCacheDir = Value; }
  // How a map image whose samples are not 8-bit colours is shown (a TIFF
  // elevation model, a multi-band scene): its bands and stretch
  // (sample_display.h). Default: the first three bands, or the first as
  // grey, stretched by the rule for their sample type. Raises
  // EZYLGeoMapError for a display SampleDisplayProblem refuses. Applies to
  // the next image loaded.
  const TSampleDisplay& SampleDisplay() const { return FSampleDisplay; }
  void SetSampleDisplay(const TSampleDisplay& Value);
  // True while the map image is held as a tile pyramid. Whatever needs the
  // whole bitmap at once (MapBitmap, ResizeMap, SaveMap,
  // CopyEntireMapToClipboard) then raises EZYLGeoMapError and changes
  // nothing.
  bool MapImageTiled() const { return FPyramid != nullptr; }
  // Takes a map source (map_source.h) as the map: its calibration (model,
  // record, border and fitted parameters) and its image, decoded by the
  // source or read through its tile pyramid, without reading a file again
  // (OnMapImageRequest is not asked). MapImgFile becomes the source's image
  // file and CalibDataFile its calibration file; the view starts at the
  // top left, the zoom history and the landmarks stay. The size check of
  // MaxMapPixels applies as to every image; a refused or undecodable
  // source raises and leaves the map as it was. Repaints.
  void SetMapSource(const std::shared_ptr<const TMapSource>& Source);
  // The same, with a tiled source's pixels read through Levels instead of
  // the source's own pyramid: a host that reads tiles ahead on a worker
  // gives a pyramid answering from what is loaded. Levels must have the
  // source's size (EZYLGeoMapError otherwise); null: the source's own.
  void SetMapSource(const std::shared_ptr<const TMapSource>& Source,
                    std::shared_ptr<const TImagePyramid> Levels);
  // The live position drawn over the landmarks (position_layer.h): the
  // track so far, the accuracy circle and the marker; null for none. The
  // host keeps changing its layer and gives it again after each change:
  // every call repaints, the same layer included (render_position.cpp).
  const std::shared_ptr<const TPositionLayer>& PositionLayer() const { return FPositionLayer; }
  void SetPositionLayer(std::shared_ptr<const TPositionLayer> Layer);
  // Overlay layers (overlay_layer.h): tracks, waypoints, shapes, item
  // databases, drawn after the image and its grids and before the landmarks
  // in the order added (render_overlays.cpp). Adding, removing and clearing
  // repaint; a host that changes a layer repaints itself. A left click
  // (press and release within 2 pixels) goes to every visible layer, last
  // added first. A layer null or already added is not added again: Add
  // answers its index then, else the new one. Remove of an index outside
  // 0..OverlayLayerCount() - 1 does nothing.
  int AddOverlayLayer(std::shared_ptr<TMapLayer> Layer);
  int OverlayLayerCount() const { return static_cast<int>(FOverlayLayers.size()); }
  const std::shared_ptr<TMapLayer>& OverlayLayer(int i) const;
  void RemoveOverlayLayer(int i);
  void ClearOverlayLayers();
  // The control's view as the layers see it (for a host that draws or
  // picks a layer itself).
  TLayerView LayerView() const;
  // The map image at full resolution; writing takes a copy.
  const TBitmap& MapBitmap() const;
  void SetMapBitmap(const TBitmap& Value) { SetMapBitMap(Value); }
  void SetMapBitMap(const TBitmap& Value);
  TColoredPoint MouseTrace(int32_t i) const { return GetMTracePoint(i); }
  int32_t NumLandMarks() const { return FNumLandMarks; }
  // Length of the landmark storage: a multiple of 1000, at least NumLandMarks.
  int32_t LandMarkCapacity() const { return static_cast<int32_t>(FLandMarks.size()); }
  int32_t NumMTracePoints() const { return FNumMTrace; }
  bool SuppressPaint() const { return FSuppressPaint; }
  void SetSuppressPaint(bool Value);
  TPoint TopLeft() const { return FTopLeft; }
  void SetTopLeft(const TPoint& P);
  TgmZoomStackEntry ZoomStack(int32_t i) const { return GetZoomStackEntry(i); }
  TZoomState ZoomState() const { return FZoomState; }
  // The composed view (valid after the last Paint).
  const TBitmap& ComposedView() const { return *AuxBmp; }

  void DoZoomPanEvent();
  void DoSelectRectEvent(int32_t Kind, double X1, double Y1, double X2, double Y2);

  // ---- Calibration (calibration.cpp; the fits: map_calibration*.cpp) ----

  // A point on a graticule line (cmParabolicIp only).
  bool AddCalibPoint(TGratLineKind GratLineKind, double LineValue, int32_t PixPosX,
                     int32_t PixPosY);
  // A geographic point (the four geographic point models).
  bool AddCalibPoint(double Latit, double Longit, int32_t PixPosX, int32_t PixPosY);
  // A UTM point of the map's zone and hemisphere (cmUTM only).
  bool AddCalibPoint(double Northing, double Easting, int32_t Zone, THemisphere Hemisphere,
                     int32_t PixPosX, int32_t PixPosY);
  bool RemoveCalibPoint(TGratLineKind GratLineKind, double LineValue, int32_t PixPosX,
                        int32_t PixPosY);
  // Removes the calibration point nearest to the pixel, under any model.
  bool RemoveCalibPoint(int32_t PixPosX, int32_t PixPosY);
  void RestoreLastDeletedCalPoint();
  void ClearCalibData();
  void RecalcCalibration();
  bool RecalcGratMat();
  void CalcEquiRectCalibration();
  void CalcBiquadraticCalibration();
  void CalcConicCalibration();
  void CalcMillerCylCalibration();
  // Root-mean-square pixel error of the point models, per axis.
  void CalibQuality(double& QualX, double& QualY);
  // Per-point residuals of the point models (empty for the others).
  std::vector<TCalibResidual> CalibResiduals() const;
  // The same with each point left out of the fit that measures it
  // (TMapCalibration::LeaveOneOutResiduals).
  std::vector<TCalibResidual> CalibLeaveOneOutResiduals() const;

  // ---- Conversion (conversion.cpp) ----------------------------------------
  //
  // No conversion raises. valid / the result is false when the model gives
  // no value, or a value that is not finite or does not fit a pixel.

  double CalcLatitude(int32_t x, int32_t y, bool& valid) const;
  double CalcLatitude(TPoint APoint, bool& valid) const {
    return CalcLatitude(APoint.X, APoint.Y, valid);
  }
  double CalcLongitude(int32_t x, int32_t y, bool& valid) const;
  double CalcLongitude(TPoint APoint, bool& valid) const {
    return CalcLongitude(APoint.X, APoint.Y, valid);
  }
  bool CalcPixelCoords(double Lat, double Long, int32_t& x, int32_t& y) const;
  bool CalcPixelCoordsUTM(double Northing, double Easting, int32_t& x, int32_t& y) const;
  // Crossing of a northing line with pixel column x, of an easting line with
  // pixel row y (UTM grid); valid false when the fitted parameters leave it
  // undetermined (the plain forms then answer 0).
  int32_t CalcUTMyFromNorthingX(double Northing, int32_t x) const;
  int32_t CalcUTMyFromNorthingX(double Northing, int32_t x, bool& valid) const;
  int32_t CalcUTMxFromEastingY(double Easting, int32_t y) const;
  int32_t CalcUTMxFromEastingY(double Easting, int32_t y, bool& valid) const;
  TPoint ControlToMapImage(TPoint APoint) const;
  TPoint MapImageToControl(TPoint APoint) const;
  void CalcExtentsAndResolution();
  bool IsPositionWithinMap(double Latit, double Longit) const;

  // ---- Calibration files (calxml_read.cpp, calxml_write.cpp) -----------

  void WriteCalDataToOpenXMLFile(TTextFile& TextFile, bool Header, const std::string& DataID);
  void SaveCalDataAsXML(const std::string& FileName, const std::string& DataID);
  void SaveCalDataAsXML(TStream& OutStream, const std::string& DataID);
  bool ReadCalDataFromOpenXMLFile(TTextFile& TextFile, const std::string& DataID);
  bool LoadCalDataFromXML(const std::string& FName, const std::string& DataID);
  bool LoadCalDataFromXML(TStream& InStream, const std::string& DataID);

  // ---- Landmarks (landmarks.cpp) --------------------------------------

  void AddLandMark(double Lat, double Long, double Altitude);
  void AddLandMark(double Lat, double Long, double Altitude, const TLMIdentifier& Identifier,
                   TDateTime Time);
  void AddLandMark(double Lat, double Long, double Altitude, const std::string& CaptionText,
                   int32_t CaptionSize, TColor CaptionColor);
  void AddLandMark(double Lat, double Long, double Altitude, const TLMIdentifier& Identifier,
                   TDateTime Time, const std::string& CaptionText, int32_t CaptionSize,
                   TColor CaptionColor);
  void AddLandMark(double Lat, double Long, double Altitude, TLandMarkElement Element,
                   uint8_t ClassFlag, const TLMIdentifier& Identifier, TDateTime Time, int32_t Tag,
                   TColor ColorFG, TColor ColorBG, int32_t Size, bool Transparent,
                   int32_t Direction, int32_t Length);
  // ClassFlag -1 (or outside 0..255) means every class.
  int32_t RemoveLandMark(double Lat, double Long, int32_t ClassFlag, double Radius);
  int32_t RemoveLandMark(const TRectDouble& Rect, int32_t ClassFlag);
  int32_t RemoveLandMark(double Lat, double Long, int32_t ClassFlag);
  int32_t RemoveLandMark(int32_t LmIndex);
  void RemoveLastLandMark();
  void RemoveAllLandMarks(uint8_t ClassFlag);
  void RemoveAllLandMarks();
  int32_t FindLandMark(double Lat, double Long, int32_t ClassFlag) const;
  // Replaces the list by Landmarks as reading a landmark set does (the host
  // is not asked about each, the highlight stays); repaints. Landmarks read
  // without a control (ReadLandMarkFile) reach a map this way.
  void AssignLandMarks(const std::vector<TLandMark>& Landmarks);

  // ---- Landmark files (landmark_files.cpp) ------------------------------

  // The landmark file layout is described in landmark.h. A set that is
  // found replaces the list once it is read whole and the answer is true;
  // a set that is not found leaves the list and answers false. A set cut
  // before its "</gmlandmarks>" raises EZYLGeoMapError naming the file (or
  // the stream) and the set's line, and leaves the list as it was.
  // Reads from an open text file's position; the file is left after the set.
  bool ReadLandMarksFromOpenXMLFile(TTextFile& TextFile, const std::string& DataID);
  // Opens, reads and repaints; false without an exception when the file
  // cannot be opened.
  bool LoadLandMarks(const std::string& FName, const std::string& DataID);
  // Reads from the stream's position and repaints; the stream is left after
  // the set.
  bool LoadLandMarks(TStream& InStream, const std::string& DataID);
  void WriteLandMarksToOpenXMLFile(TTextFile& TextFile, bool Header, const std::string& DataID);
  void SaveLandmarks(const std::string& FileName, const std::string& DataID);

  // ---- Painting (render*.cpp) -------------------------------------------

  void Paint() override;

  // ---- Mouse, zoom and pan (interaction.cpp, zoom_pan.cpp) --------------

  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  // Lets the user drag a box and answers its normalised corners (control
  // coordinates); false when aborted or when the control goes away.
  bool MouseBox(int32_t& xLo, int32_t& yLo, int32_t& xHi, int32_t& yHi);
  void MouseBoxAbort();
  void ZoomStateOnStack();
  TgmZoomStackEntry GetZoomStackEntry(int32_t StackIx) const;
  void ZoomHistory(int32_t Index);
  void ClearZoomHistory();
  void ClearMouseTrace();
  TColoredPoint GetMTracePoint(int32_t idx) const;
  void DrawMouseTrace(int32_t x, int32_t y, TBitmap& Bitmap);
  void ResizeMap(double Magnification);
  void ResizeMap(int32_t LongerEdgeLength);
  void ZoomFitPage();
  void PanMapToFillWindow();
  void BringMapPixelToCenter(TPoint APoint);
  void BringLocationToCenter(double Latitude, double Longitude);

  // ---- Map files and output (map_output.cpp, map_generated.cpp,
  //      map_printing.cpp) --------------------------------------------------

  // Writes the image as JPEG (<name>.jpg beside FileName, whatever its
  // extension) and then the calibration (<name>.xml); MapImgFile becomes
  // the bare image name. The image is complete before the calibration that
  // names it is written.
  void SaveMap(const std::string& FileName, const std::string& DataID);
  // Renames the image file within its directory, keeping its extension, to
  // Name reduced to 8.3-safe characters. False, with nothing changed, when
  // there is no image file, the name is empty, a file of the new name
  // exists, or the system refuses the rename.
  bool RenameMapImg(const std::string& Name);
  // A blank calibrated map with a labelled grid, in memory (cmEquiRect) or
  // as FName's .bmp and .xml files loaded back (cmBiquadraticPn). Limits
  // that give no map (equal, not finite, a grid finer than the map can
  // show, a size beyond the map limit) raise EZYLGeoMapError first.
  void CreateEmptyMapInMemory(double LatLow, double LongLow, double LatHigh, double LongHigh,
                              double dLat, double dLong, int32_t Wid, int32_t Hgt, bool ShowGrid,
                              const TOnDrawMapDataEvent& OnDrawMapData);
  void CreateAndLoadEmptyMap(const std::string& FName, double LatLow, double LongLow,
                             double LatHigh, double LongHigh, double dLat, double dLong,
                             int32_t Wid, int32_t Hgt, const TOnDrawMapDataEvent& OnDrawMapData);
  // The last composed view, inside a black outline, as a bitmap.
  void CopyToClipboard();
  // The whole map at magnification 1 with everything drawn over it (grid,
  // landmarks, trace, the host's render events), without frame. Nothing
  // without a map.
  void CopyEntireMapToClipboard();
  // Renders Width x Height pixels of the map from image pixel TopLeft at
  // MagFact (clamped like Magnification; EZYLGeoMapError unless positive)
  // into DestBmp at (PosHoriz, PosVert), growing DestBmp where needed.
  void CopyToBMP(TBitmap& DestBmp, TPoint TopLeft, double MagFact, int32_t PosHoriz,
                 int32_t PosVert, int32_t Width, int32_t Height);
  // Printing (Printer(), whose file name the host sets). ScaleF is printer
  // dots per image pixel; the integer Scale is the same in percent (100:
  // one dot per pixel). What falls beyond the page is cut off. A map whose
  // calibration converts georeferences each window it prints on the page
  // (TPrinter::AddGeoreference, named by its caption): a grid of the
  // positions of its dots, fine enough that interpolating in it stays
  // within half a dot (or half a map pixel) of the map's conversion, and
  // the UTM zone of a map that is affine in one.
  // PrintIt: one document with the whole map at the page's top left.
  void PrintIt(double ScaleF);
  // The whole map at (x, y) of the open page; x, y then hold its
  // bottom-right corner.
  void CopyToOpenPrinter(int32_t& x, int32_t& y, double ScaleF);
  // A window of the map (image pixels) at (PosHoriz, PosVert) of the open
  // page. EZYLGeoMapError when no document is open.
  void CopyToOpenPrinter(const TRect& MapWindow, int32_t Scale, int32_t PosHoriz, int32_t PosVert);
  void CopyToOpenPrinter(TPoint TopLeft, int32_t Scale, int32_t PosHoriz, int32_t PosVert,
                         int32_t Width, int32_t Height);
  // The printed size of a window, in printer dots.
  void CalcExtentsOfPrint(const TRect& MapWindow, int32_t Scale, int32_t& Width, int32_t& Height);

  // ---- Events ------------------------------------------------------------

  TProgressEvent OnDataLoading;
  TRenderEvent OnBeforeRenderData;
  TRenderEvent OnDataRendered;
  TDrawLandMarkEvent OnDrawLandmark;
  TLabelPriorityEvent OnLabelPriority;
  TMapImgRequestEvent OnMapImageRequest;
  TLandMarkActionEvent OnLandMarkAction;
  TZoomPanEvent OnZoomPan;
  TOnRubberBandActionEvent OnBeginRubberBand;
  TOnRubberBandActionEvent OnContinueRubberBand;
  TOnRubberBandActionEvent OnEndRubberBand;
  TSelectRectEvent OnSelectRect;

 protected:
  void AssignTo(TPersistent& Dest) const override;

 private:
  // "Component \"<Name>\": " + Text, as an EZYLGeoMapError.
  [[noreturn]] void RaiseError(const std::string& Text) const;

  // ---- geomap_core.cpp helpers

  // ---- calibration.cpp helpers
  // The model's fit (none for cmParabolicIp and cmUndefined).
  void FitModel();
  // FitModel, then CalcExtentsAndResolution.
  void FitModelAndExtents();

  // The calibration's image size set to the control's (FMapImgWidth,
  // FMapImgHeight), which the conic fit searches within.
  void SyncCalibImageSize();

  // ---- conversion.cpp helpers
  // Latitude and longitude of an image pixel, each with its flag: the one
  // conversion behind CalcLatitude and CalcLongitude.
  TPixelPosition PixelPosition(int32_t x, int32_t y) const { return FCalib.PixelToGeo(x, y); }

  // ---- calxml helpers
  bool ReadCalDataIntern(bool TextMode, TTextFile* TextFile, TStream* Stream,
                         const std::string& DataID);

  // ---- landmark_files.cpp helpers
  // Reads the set DataID from Input into a new list that replaces the
  // landmarks once the set is read whole; false when it is not found.
  bool ReadLandMarkSet(mapfile::TSetInput& Input, const std::string& DataID);

  // ---- landmarks.cpp helpers
  // The list becomes List, in a storage of the block rule's length.
  void ReplaceLandMarks(std::vector<TLandMark>&& List);
  // The landmark storage set back to 1000 entries.
  void ResetLandMarkCapacity();
  // Appends a landmark, growing the storage by the block rule.
  void AppendLandMark(const TLandMark& LandMark);
  // Raises when called from inside OnLandMarkAction: the handler may only
  // answer, not change the list it is asked about.
  void CheckLandMarkListChangeAllowed() const;
  // Asks OnLandMarkAction (when assigned) whether Action may happen.
  bool LandMarkActionAllowed(TLandMarkAction Action, const TLandMark& LandMark);
  void AddPreparedLandMark(TLandMark LandMark);
  // A copy of the template at a position.
  TLandMark LandMarkAt(double Lat, double Long, double Altitude) const;
  // Removes the landmarks whose flag is set (flags of positions 1..n in
  // [0..n-1]) after asking OnLandMarkAction for each; answers the number
  // removed.
  int32_t RemoveChosenLandMarks(std::vector<bool>& Chosen);
  bool FInLandMarkAction = false;

  // ---- image_loading.cpp helpers
  // Raises the size error for an image above MaxMapPixels, or above Limit:
  // images made in memory (generated, resized) keep to kMaxMapPixels.
  void CheckMapImageSize(int64_t Width, int64_t Height) const {
    CheckMapImageSize(Width, Height, FMaxMapPixels);
  }
  void CheckMapImageSize(int64_t Width, int64_t Height, int64_t Limit) const;
  // Raises, naming What, when the map image is a tile pyramid.
  void RefuseOnTiledMap(const std::string& What) const;
  // Takes the image now in GrafBmp as the map, known by Name.
  void AcceptMapImage(const std::string& Name);
  // Takes a tile pyramid as the map, known by Name; GrafBmp is emptied.
  void AcceptTiledImage(const std::string& Name, std::shared_ptr<const TImagePyramid> Pyramid);
  // The pyramid of an image file, OnDataLoading told of its building.
  std::shared_ptr<const TImagePyramid> OpenMapPyramid(const std::string& FileName);
  // Decodes a map image file by its extension (.jpg, .jpeg, .bmp, .png,
  // .tif, .tiff; others load nothing and answer null), refusing a declared
  // size beyond the limit before decoding.
  std::unique_ptr<TBitmap> LoadMapImageFile(const std::string& FileName);

  // ---- render helpers
  void ConstructInternalMapImg();
  // The control's own view: FTopLeft, FMagnify, the client size, the image.
  render::TMapView ControlView() const;
  render::TImageSource ImageSource() const;
  // The composition steps on Target's canvas for View. UseCache: the
  // scaled-image cache may be built and read (the control's own view);
  // exports stretch directly.
  void ComposeView(TBitmap& Target, const render::TMapView& View, bool UseCache, bool ControlFrame);
  void RefreshImageCache();
  // The part of the view that the map image will cover, and the background
  // fill of the rest (with the brush and pen in the background colour
  // afterwards, as a fill of the whole view leaves them).
  TRect MapImageCoverage(const render::TMapView& View, bool UseCache) const;
  void FillBackground(TCanvas& Canvas, int W, int H, const TRect& Covered);
  void DrawMapImage(TCanvas& Canvas, const render::TMapView& View, bool UseCache);
  // Fills the view pixels whose centres lie outside the border with the
  // background colour, row by row as spans (ClipToBorder).
  void ClipMapImageToBorder(TCanvas& Canvas, const render::TMapView& View);
  // The map image from its tile pyramid (render_tiles.cpp).
  void DrawTiledImage(TCanvas& Canvas, const render::TMapView& View);
  void DrawGrid(TCanvas& Canvas, const render::TMapView& View);
  void DrawGridLines(TCanvas& Canvas, const render::TMapView& View);
  void DrawGraticule(TCanvas& Canvas, const render::TMapView& View, int ParallelSegments,
                     int MeridianSegments);
  void DrawParabolicCalLines(TCanvas& Canvas, const render::TMapView& View, bool Lines,
                             bool Points);
  void DrawCalibPointMarkers(TCanvas& Canvas, const render::TMapView& View);
  void DrawUTMGrid(TCanvas& Canvas, const render::TMapView& View);
  void DrawMGRSGrid(TCanvas& Canvas, const render::TMapView& View);
  void DrawLandMarks(TCanvas& Canvas, const render::TMapView& View);
  double LandMarkSampleRate(const render::TMapView& View) const;
  // A landmark drawn in the current composition, for caption placement.
  struct TShownLandMark {
    int32_t Index;  // 0-based position
    TPoint P;       // control point
  };
  void DrawSymbol(render::SymbolStamps& Stamps, TCanvas& Canvas, TPoint P,
                  const TSymbolProperties& S, TColor FG, TColor BG, bool Transparent);
  void PlaceAndDrawCaptions(TCanvas& Canvas, int W, int H,
                            const std::vector<TShownLandMark>& Shown);
  void DrawHighLightedLandMark(TCanvas& Canvas, const render::TMapView& View);
  void DrawPositionLayer(TCanvas& Canvas, const render::TMapView& View);
  void DrawOverlayLayers(TCanvas& Canvas, const render::TMapView& View);
  TLayerView LayerViewOf(const render::TMapView& View) const;
  void DrawMouseTrace(const render::TMapView& View, TBitmap& Bitmap);
  // The image pixel of a position, as the grid lines take it (the result
  // of CalcPixelCoords is not consulted), in control coordinates.
  TPoint GeoToControl(const render::TMapView& View, double Lat, double Long) const;

  // ---- interaction / zoom_pan helpers
  // Value clamped to kMinMagnification..kMaxMagnification, the one rule of
  // every magnification the control takes; NaN keeps the current one.
  double ClampedMagnification(double Value) const;
  // XOR outlines on the control's surface (drawn twice they vanish).
  void XorBox(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, bool Dotted);
  void XorLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void StartDrag(int32_t X, int32_t Y);
  void PanFromAnchor(int32_t X, int32_t Y);
  void ZoomFromAnchor(int32_t X, int32_t Y);
  void AppendTracePoint(int32_t X, int32_t Y);
  void ReportSelectRect(TPoint AnchorCtl, TPoint ReleaseCtl);
  void ZoomToBox(int32_t X, int32_t Y);
  // False once the control is destroyed; MouseBox holds a copy while it
  // runs the message loop.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);

  // ---- map_output helpers
  // GrafBmp as a JPEG file, written under a temporary name and renamed.
  void WriteMapImageAsJpeg(const std::string& FileName);
  // The view of W x H pixels from image pixel TopLeft at Magnify, composed
  // into Out (24-bit) without frame and without the image cache; the
  // control's own view settings are left as they were.
  void RenderMapWindow(TBitmap& Out, TPoint TopLeft, double Magnify, int W, int H);
  // The map window from TopLeft at Scale dots per image pixel, PrintW x
  // PrintH dots, onto the open printer page at (PosHoriz, PosVert).
  void PrintWindow(TPoint TopLeft, double Scale, int32_t PrintW, int32_t PrintH, int32_t PosHoriz,
                   int32_t PosVert);
  // Refuses generator limits that give no map: not finite, equal, a grid
  // finer than any map can show, a size beyond the map limit.
  void CheckGeneratorLimits(double LatLow, double LongLow, double LatHigh, double LongHigh,
                            double dLat, double dLong, int32_t Wid, int32_t Hgt) const;
  // ClearCalibData, then the record of a generated map: corners, caption
  // and nine calibration points (on the grid frame, or on the edges).
  TCalibData GeneratedCalibration(double LatLow, double LongLow, double LatHigh, double LongHigh,
                                  int32_t Wid, int32_t Hgt, bool OnGrid,
                                  const std::string& MapFName);

  // ---- Fields (declaration order as the control has always kept them) ----
  std::unique_ptr<TBitmap> AuxBmp;     // composed view, 15-bit
  std::unique_ptr<TBitmap> FImgCache;  // scaled map image, 15-bit
  double FCacheMag = 0;                // magnification of FImgCache; 0 = invalid
  bool FCacheAA = true;
  double FCacheMagLimit = 2.0 / 3.0;
  int32_t FNumLandMarks = 0;
  std::vector<TLandMark> FLandMarks;  // positions 1..FNumLandMarks are [0..n-1]
  TLandMark FDefaultLM;
  TColor FColorBakGnd = clSilver;
  TFrameStyle FFrameStyle = fsLowered;
  TColor FFrameColor = clBlack;
  TColor FColorGratLine = clBlue;
  TColor FColorGratPoints = clRed;
  TColor FColBlackLine = clBlack;
  TColor FColGrayLine = clGray;
  TColor FColWhiteLine = clWhite;
  std::string FEmptyMsg;
  bool FLButtonWasDown = false;
  std::array<bool, 256> FLMClassVisible{};
  int32_t FLMRandSampleLimit = 20000;
  std::string FMapImgName;
  int32_t FMapImgWidth = 0;
  int32_t FMapImgHeight = 0;
  double FMagnify = 1.0;
  TZoomState FZoomState = zsIdle;
  TMouseBoxState FMouseBoxState = mbsIdle;
  int32_t FMouseBoxX1 = 0, FMouseBoxX2 = 0, FMouseBoxY1 = 0, FMouseBoxY2 = 0;
  std::vector<TColoredPoint> FMTrace;
  int32_t FNumMTrace = 0;
  TColor FColorMTrace = clWhite;
  bool FMTraceInvert = true;
  int32_t FWindOldCornerX = 0, FWindOldCornerY = 0;
  int32_t FWindAnchorX = 0, FWindAnchorY = 0;
  TShowGrat FShowGrat = sgNone;
  bool FShowMGRSGrid = false;
  TPoint FTopLeft;
  // Model, record and fitted parameters (the graticule matrix and the
  // parameter arrays of every model) live in the calibration value;
  // FCalibModel and FCalibData name its model and record, as every source of
  // the control always has.
  TMapCalibration FCalib;
  TCalibModel& FCalibModel = FCalib.Model();
  TCalQuad FBiQuadOops;
  TCalibLine FParaIpOops;
  bool FRestoreBiQuadOK = false;
  bool FRestoreParaIpOK = false;
  bool FSuppressPaint = false;
  bool FClipToBorder = false;
  bool FConfinePan = true;
  TMouseActMode FMouseAction = maPan;
  bool FRubberBandOn = false;
  bool FSelectRectOn = false;
  int32_t FRubberBAnchorX = 0, FRubberBAnchorY = 0;
  int32_t FRubberBandOldX = 0, FRubberBandOldY = 0;
  bool FAntiAlias = true;
  double FGratLineDist = 0;
  int32_t FUTMGridDist = 0;
  TCalibData& FCalibData = FCalib.Data();
  int32_t FHighLM = 0;
  bool FPlaceLabels = false;
  double FOverlayScale = 1;
  TColor FHighLMColFG = clBlue;
  TColor FHighLMColBG = clYellow;
  bool FHighLMTrans = false;
  int32_t FTopLeftXAnchor = 0, FTopLeftYAnchor = 0;
  std::array<TgmZoomStackEntry, 16> FZoomStack{};  // slots 1..16 are [0..15]
  int32_t FZStackPoi = 1;
  std::string FCalDatName;
  int32_t MouseAnchorX = 0, MouseAnchorY = 0;
  int32_t FLastMClickPosX = 0, FLastMClickPosY = 0;
  int32_t FLastMMousePosX = 0, FLastMMousePosY = 0;
  std::unique_ptr<TBitmap> GrafBmp;  // the map image at full resolution
  // A map image above kMaxMapPixels; GrafBmp is then empty. Shared by
  // Assign: a pyramid is read-only and safe for concurrent readers.
  std::shared_ptr<const TImagePyramid> FPyramid;
  std::unique_ptr<TBitmap> FTileRegion;  // the level window a tiled view draws from
  int64_t FMaxMapPixels = kMaxMapPixels;
  std::string FPyramidCacheDir;
  TSampleDisplay FSampleDisplay;
  std::shared_ptr<const TPositionLayer> FPositionLayer;
  std::vector<std::shared_ptr<TMapLayer>> FOverlayLayers;
  TPoint FPressAt;  // control pixel of the last left press, for clicks
  bool FPressed = false;
};

}  // namespace marovia
