// TMapCalibration: the calibration of one map image as a value. It holds the
// model, the calibration record (points, corners, UTM zone, ellipsoid), the
// parameters fitted to the points and the size of the image, and converts
// between image pixels and geographic positions, one point at a time or in
// batches. It knows no control and no canvas: a tool that only fits or
// converts uses it alone, and TGeoMap holds one.
//
// Coordinates: image pixels of the full-resolution map image, origin at the
// top left corner of the top left pixel, x right, y down (pixel (i, j) is
// the whole number position i, j; no half-pixel shift). The pixel/line
// coordinates of GDAL's ground control points and of gdaltransform are the
// same numbers: a point clicked at (i, j) here is pixel i, line j there. Latitudes and
// longitudes are decimal degrees, north and east positive; UTM northings
// and eastings metres.
//
// Fitting: Fit() refits everything from the current points; nothing is
// refitted implicitly when the model, the record or the image size change.
// Models and their parameters (geographic -> pixel "SPPL", pixel ->
// geographic "PLSP"):
//   cmParabolicIp        graticule matrix, one row per calibration line
//   cmBiquadraticPn      second-order polynomials both ways
//   cmConicConformal     cone apex, latitude ~ radius, longitude ~ angle
//   cmMillerCylindrical  two straight lines in the projection's terms
//   cmEquiRect, cmUTM    affine both ways (cmUTM: to northing and easting)
//   cmProjected          the points projected through the record's CRS
//                        (CrsText, resolved with PROJ), then an affine
//                        (PolyOrder 1) or second-order polynomial (2) both
//                        ways between pixels and the projected metres
//   cmThinPlate          a thin-plate spline each way between pixels and
//                        latitude/longitude, smoothing from the record
//                        (exact through the points when it is 0)
//
// Across 180 degrees: a map whose fitted longitudes pass 180 (a UTM map in
// zone 60 or 1 reaching across, an overlay given east of 180) gives
// longitudes within -180..180 on both sides and takes positions on either
// side (see LongitudeCentre).
//
// Conversions never raise: a point the model cannot convert (no value, a
// value that is not finite, or a pixel beyond 32 bits) is reported through
// a flag, and its outputs are 0.
//
// Threads: a calibration is a plain value. Any number of threads may
// convert with the same calibration at once as long as none changes or
// refits it; the conversions read the parameters and write only their
// outputs. Fitting is not safe to run concurrently with anything on the
// same object (the least-squares solver also reports progress through the
// companion's global progress counter).
//
// Sources, by concern:
//   map_calibration.cpp            construction, record, the model table, refits
//   map_calibration_fits.cpp       the fits of the point models, the conic apex search
//   map_calibration_convert.cpp    single-point conversions, UTM grid, extents
//   map_calibration_batch.cpp      the conversions over spans
//   map_calibration_residuals.cpp  quality, residuals and leave-one-out residuals
//   map_calibration_projected.cpp  the projected model: fit and conversions
//   map_calibration_thinplate.cpp  the thin-plate model: fit and conversions
//   conversion_lines.cpp           the graticule-line model's interpolation
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "marovia/geomap/calib_types.h"
#include "marovia/geomap/geomap_error.h"
#include "marovia/zylbase/zylbase.h"
#include "marovia/zylmath/matrix.h"

namespace marovia {

// Residual of one calibration point of a point model: the clicked pixel
// minus the pixel the fitted model gives for its position, and the distance
// in metres between its position and the position the model gives for its
// pixel. Valid is false when the model could not convert the point (or, for
// leave-one-out residuals, when the other points are too few for the model).
struct TCalibResidual {
  int32_t Index = 0;  // calibration point 1..NumCalQuads
  double dX = 0;
  double dY = 0;
  double DistanceMetres = 0;
  bool Valid = false;
};

// The position of an image pixel; each coordinate has its own flag (a
// Miller fit with one degenerate axis, or the conic apex row, leaves one
// of them undetermined). An invalid coordinate is 0.
struct TPixelPosition {
  double Latit = 0;
  double Longit = 0;
  bool LatValid = false;
  bool LongValid = false;
  bool Valid() const { return LatValid && LongValid; }
};

// Radius in metres of the sphere on which a calibration measures distances:
// the resolution along the middle row and the residuals in metres.
inline constexpr double kDistanceSphereRadius = 6378000;

// A vertex of a map's border polygon, in image pixels.
struct TBorderVertex {
  double X = 0;
  double Y = 0;
  friend bool operator==(const TBorderVertex&, const TBorderVertex&) = default;
};

// What a fit gave: whether the fitted model converts, and when it does not,
// why (too few points for the model included), in words for a user.
struct TFitOutcome {
  bool Ok = false;
  std::string Reason;
  explicit operator bool() const { return Ok; }
};

class TMapCalibration {
 public:
  // An empty record (UTMZone 0, no points) under cmUndefined, nothing fitted.
  TMapCalibration();
  // The record under Model for an image of Width x Height pixels; not yet
  // fitted (call Fit).
  TMapCalibration(TCalibModel Model, const TCalibData& Data, int32_t Width, int32_t Height);

  // ---- What is calibrated ------------------------------------------------

  TCalibModel Model() const { return FModel; }
  // Direct access, as TGeoMap's CalibModel field: nothing is refitted.
  TCalibModel& Model() { return FModel; }
  void SetModel(TCalibModel Value) { FModel = Value; }
  const TCalibData& Data() const { return FData; }
  // Direct access to the record: nothing is refitted.
  TCalibData& Data() { return FData; }
  void SetData(const TCalibData& Value) { FData = Value; }
  // Size of the map image in pixels: the conic fit starts its apex search
  // within it, and the corners and resolution are taken at its edges.
  int32_t ImageWidth() const { return FWidth; }
  int32_t ImageHeight() const { return FHeight; }
  void SetImageSize(int32_t Width, int32_t Height);

  // The outline of the mapped area within the image (the neatline of a
  // scanned sheet), in image pixels; the last vertex joins the first. Empty:
  // the whole image is map. The conversions do not depend on it.
  const std::vector<TBorderVertex>& Border() const { return FBorder; }
  void SetBorder(std::vector<TBorderVertex> Value) { FBorder = std::move(Value); }
  // Whether the pixel position (X, Y) lies inside the border by the
  // even-odd rule; true everywhere when there is no border (fewer than 3
  // vertices).
  bool InsideBorder(double X, double Y) const;

  // ---- Points (map_calibration.cpp); nothing is refitted ----------------

  // A point on a graticule line (cmParabolicIp): added to the line of that
  // kind and exactly that value, or to a new line. False, nothing changed,
  // when the value is not finite, 25 lines are held and none matches, or
  // the line holds 10 points.
  bool AddLinePoint(TGratLineKind Kind, double LineValue, int32_t X, int32_t Y);
  // A calibration point of the point models: latitude and longitude, or
  // under cmUTM northing and easting of the record's zone. False, nothing
  // changed, when a value is not finite or 200 points are held. Full-
  // precision points that stood for the record take the point too.
  bool AddPoint(double LatOrNorthing, double LongOrEasting, int32_t X, int32_t Y);

  // ---- Control points at full precision (map_calibration.cpp) -----------
  //
  // The record keeps at most 200 points on whole pixels, which is what its
  // readers and writers have always seen. Points from other software (GCPs,
  // control-point lists) lie between pixels and may be more: they are kept
  // here beside the record, and the fits use them as long as the record
  // still holds them (its points are the first 200 of them, rounded, halves
  // to even). A record changed in another way (a point added or removed
  // through it, the image resampled) stands on its own again.

  // Sets the points, any number; the record receives the first 200 rounded
  // to whole pixels. Points with a coordinate that is not finite, or a
  // pixel beyond 32 bits, are refused with EZYLGeoMapError and nothing
  // changes. Nothing is refitted.
  void SetControlPoints(std::vector<TControlPoint> Points);
  // Adds one point at full precision (to the record too while it has room,
  // else only here). False, nothing changed, like AddPoint for a value
  // that is not finite, or a pixel beyond 32 bits.
  bool AddControlPoint(const TControlPoint& Point);
  // Whether the full-precision points stand for the record's.
  bool HasExactPoints() const;
  // The points the fits use: the full-precision ones while they stand for
  // the record, else the record's quadruples.
  std::vector<TControlPoint> ControlPoints() const;
  // The stored full-precision points, whether or not they still stand for
  // the record (writers check HasExactPoints first).
  const std::vector<TControlPoint>& ExactPoints() const { return FExactPoints; }

  // ---- Fitting (map_calibration.cpp, map_calibration_fits.cpp) ----------

  // The graticule matrix, the fit of the model, then the corners and
  // resolution: computed at the image's edges (Compute), or (KeepStored)
  // left as the record gives them, as reading a calibration file into the
  // map control leaves them, and computed only where the record has none
  // (corners all zero, resolution 0). Answers whether the model converts
  // (Converts()) and, when not, why (FitMessage()): too few points or lines
  // for the model (RequiredPoints), a CRS or an order the projected model
  // cannot use, points the thin-plate model cannot pass through.
  // FitProjected raises for a CRS PROJ does not know.
  enum class TExtents { Compute, KeepStored };
  TFitOutcome Fit(TExtents Extents = TExtents::Compute);
  // The graticule matrix from the calibration lines; true when it has two
  // fitted parallels and two fitted meridians (the line model converts).
  bool FitLines();
  // The fit of the current model alone (none for cmParabolicIp and
  // cmUndefined); corners and resolution are left as they are.
  void FitModel();
  // The fits of the point models. Each reads the points and writes only its
  // own parameters. With too few points: equirect and biquadratic keep zero
  // parameters (none) or the least-norm solution, Miller cylindrical and
  // conic keep their previous parameters (fewer than 3).
  void FitEquiRect();
  void FitBiquadratic();
  void FitConic();
  void FitMillerCyl();
  // Zeroes the affine and biquadratic parameters and the graticule matrix
  // (5 x 1); Miller and conic parameters stay.
  void ClearFittedParameters();
  // The fits of the later models. Both replace what the last fit held; when
  // the points do not allow a fit nothing is kept, and FitMessage says why.
  // FitProjected raises EZYLGeoMapError naming the CRS when PROJ does not
  // know it (an empty CrsText only leaves the model unfitted).
  void FitProjected();
  void FitThinPlate();
  // Why the last fit left the model unfitted ("" when it converts): set by
  // Fit for every model, by FitProjected and FitThinPlate for theirs.
  const std::string& FitMessage() const { return FFitMessage; }
  // The longitude at the image's centre when the map crosses 180 degrees
  // (a corner of its fitted longitudes lies beyond -180..180), NaN when it
  // does not. FitModel (and Fit) finds it for the image size then set.
  // Across 180 degrees the conversions give longitudes within -180..180
  // and take a position at whichever of its longitudes (+-360) lies within
  // 180 degrees of this one; maps that do not cross convert as fitted. The
  // projected model leaves this to PROJ and never sets it.
  double LongitudeCentre() const { return FLongitudeCentre; }
  // Whether the fitted model gives positions at all (a fitted point model,
  // the line model with a usable matrix); cmUndefined answers false.
  bool Converts() const;
  // The fewest points the model needs for a determined fit: 3 for the affine
  // models, Miller, conic, projected and thin-plate, 6 for biquadratic; 0
  // for the others.
  static int MinPoints(TCalibModel Model);
  // The same for this calibration's settings: 6 for a projected model of
  // order 2.
  int RequiredPoints() const;

  // ---- Single points (map_calibration_convert.cpp) ----------------------

  // The position of image pixel (x, y).
  TPixelPosition PixelToGeo(double x, double y) const;
  // The image pixel of a position before rounding (under cmConicConformal
  // the column comes from the unrounded row); false, X = Y = 0, when the
  // model gives none or a value that is not finite.
  bool GeoToPixelExact(double Lat, double Long, double& X, double& Y) const;
  // The same rounded to whole pixels, halves to even (under
  // cmConicConformal the column follows from the rounded row); false, x =
  // y = 0, also when a value leaves 32 bits.
  bool GeoToPixel(double Lat, double Long, int32_t& x, int32_t& y) const;
  // The pixel of a UTM northing and easting of the map's zone (cmUTM only).
  bool UTMToPixel(double Northing, double Easting, int32_t& x, int32_t& y) const;
  // The row at which a northing line crosses pixel column x, the column at
  // which an easting line crosses pixel row y (the affine parameters of the
  // UTM model); valid false, result 0, when they leave it undetermined.
  int32_t UTMyFromNorthingX(double Northing, int32_t x, bool& valid) const;
  int32_t UTMxFromEastingY(double Easting, int32_t y, bool& valid) const;

  // Corners of the image (pixels (0, 0), (0, H), (W, H), (W, 0); an
  // invalid conversion stores 0) and the resolution in metres per pixel
  // along the middle row, into the record. The second form takes the edges
  // of an image of another size.
  void CalcExtentsAndResolution();
  void CalcExtentsAndResolution(int32_t Width, int32_t Height);

  // ---- Batches (map_calibration_batch.cpp) --------------------------------
  //
  // Element i of the outputs answers element i of the inputs, exactly as the
  // single-point form would (the same bits). Ok[i] is 1 when the point
  // converted, else 0 with its outputs 0; for PixelToGeo it is 1 only when
  // both coordinates are valid (each invalid coordinate is 0 on its own).
  // All spans must have the same length (EZYLGeoMapError otherwise);
  // outputs must not overlap the inputs.

  // Positions to pixels before rounding (GeoToPixelExact).
  void GeoToPixel(std::span<const double> Lat, std::span<const double> Long, std::span<double> X,
                  std::span<double> Y, std::span<uint8_t> Ok) const;
  // Positions to whole pixels (GeoToPixel).
  void GeoToPixel(std::span<const double> Lat, std::span<const double> Long, std::span<int32_t> x,
                  std::span<int32_t> y, std::span<uint8_t> Ok) const;
  // Pixels to positions (PixelToGeo).
  void PixelToGeo(std::span<const double> X, std::span<const double> Y, std::span<double> Lat,
                  std::span<double> Long, std::span<uint8_t> Ok) const;

  // ---- Quality (map_calibration_residuals.cpp) --------------------------

  // The companion statistic of the whole-pixel errors of the point models,
  // across and down (0 for the others).
  void CalibQuality(double& QualX, double& QualY) const;
  // The residual of every calibration point of a point model under the
  // fitted parameters (empty for the other models).
  std::vector<TCalibResidual> Residuals() const;
  // The residual of every calibration point under the model fitted to all
  // the other points: how far a point misses when it did not pull the fit
  // towards itself. Invalid where the other points are fewer than
  // MinPoints. Refits the model once per point (the conic apex search
  // makes that the slowest: about a second for 200 points), except the
  // unsmoothed thin-plate model, whose every left-out fit follows from the
  // one factorisation of its system (about a refit's cost for all points).
  std::vector<TCalibResidual> LeaveOneOutResiduals() const;

  // ---- Fitted parameters, read-only ---------------------------------------

  using TAffineRows = std::array<std::array<double, 3>, 2>;
  using TQuadraticRows = std::array<std::array<double, 6>, 2>;
  const TMatrix& GratMat() const { return FGratMat; }
  const TAffineRows& EquRectSPPL() const { return FEquRectSPPL; }
  const TAffineRows& EquRectPLSP() const { return FEquRectPLSP; }
  const TQuadraticRows& CalParsSPPL() const { return FCalParsSPPL; }
  const TQuadraticRows& CalParsPLSP() const { return FCalParsPLSP; }
  const std::array<std::array<double, 2>, 2>& MillercylPar() const { return FMillercylPar; }
  const std::array<double, 6>& ConicPars() const { return FConicPars; }

 private:
  // Why the model does not convert with the points it has.
  std::string TooFewMessage() const;
  // The residual of calibration point c (numbered Index) under this
  // calibration's parameters.
  TCalibResidual ResidualOf(const TControlPoint& c, int32_t Index) const;
  // The leave-one-out residuals of the thin-plate model without refits
  // (map_calibration_thinplate.cpp); false when they cannot be had that
  // way. Points that the identity leaves undetermined keep Index 0.
  bool ThinPlateLeaveOneOut(const std::vector<TControlPoint>& Points,
                            std::vector<TCalibResidual>& Out) const;

  // The later models' conversions (map_calibration_projected.cpp,
  // map_calibration_thinplate.cpp): one point, and spans with flags; failed
  // points leave their outputs 0.
  bool ProjectedGeoToPixel(double Lat, double Long, double& X, double& Y) const;
  bool ProjectedPixelToGeo(double X, double Y, double& Lat, double& Long) const;
  void ProjectedGeoToPixel(std::span<const double> Lat, std::span<const double> Long,
                           std::span<double> X, std::span<double> Y, std::span<uint8_t> Ok) const;
  void ProjectedPixelToGeo(std::span<const double> X, std::span<const double> Y,
                           std::span<double> Lat, std::span<double> Long,
                           std::span<uint8_t> Ok) const;
  bool ThinPlateGeoToPixel(double Lat, double Long, double& X, double& Y) const;
  bool ThinPlatePixelToGeo(double X, double Y, double& Lat, double& Long) const;
  void ThinPlateGeoToPixel(std::span<const double> Lat, std::span<const double> Long,
                           std::span<double> X, std::span<double> Y, std::span<uint8_t> Ok) const;
  void ThinPlatePixelToGeo(std::span<const double> X, std::span<const double> Y,
                           std::span<double> Lat, std::span<double> Long,
                           std::span<uint8_t> Ok) const;
  // Whether the model is one of the later ones, converted by the functions
  // above rather than by the parameter rows.
  bool ConvertsThroughFit() const { return FModel == cmProjected || FModel == cmThinPlate; }
  // The later models' conversions over spans, by model.
  void FitGeoToPixel(std::span<const double> Lat, std::span<const double> Long, std::span<double> X,
                     std::span<double> Y, std::span<uint8_t> Ok) const;
  void FitPixelToGeo(std::span<const double> X, std::span<const double> Y, std::span<double> Lat,
                     std::span<double> Long, std::span<uint8_t> Ok) const;

  TCalibModel FModel = cmUndefined;
  TCalibData FData;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  TMatrix FGratMat;            // 5 columns, one row per calibration line
  TAffineRows FEquRectSPPL{};  // geographic (northing, easting) -> pixel
  TAffineRows FEquRectPLSP{};  // pixel -> geographic (northing, easting)
  TQuadraticRows FCalParsPLSP{};
  TQuadraticRows FCalParsSPPL{};
  std::array<std::array<double, 2>, 2> FMillercylPar{};
  std::array<double, 6> FConicPars{};
  // The fitted later models; immutable once fitted, so copies share them
  // and threads read them at once.
  struct TProjectedFit;
  struct TThinPlateFit;
  std::shared_ptr<const TProjectedFit> FProjected;
  std::shared_ptr<const TThinPlateFit> FThinPlate;
  std::string FFitMessage;
  std::vector<TBorderVertex> FBorder;
  std::vector<TControlPoint> FExactPoints;
  double FLongitudeCentre = std::numeric_limits<double>::quiet_NaN();
  // Sets FLongitudeCentre from the fitted model and the image size.
  void FindLongitudeWindow();
};

}  // namespace marovia
