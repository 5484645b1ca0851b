// Base services of the companion package: the exception classes, numeric
// limits, the enumerations, records and event types shared by the controls,
// and the progress and abort hooks of the numeric solvers.
//
// Section index: exceptions; limits; enumerations; records; events; solver
// hooks.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "marovia/platform/classes.h"
#include "marovia/platform/sysutils.h"
#include "marovia/platform/types.h"

namespace marovia {

// ---------------------------------------------------------------- exceptions

// Base class of the exceptions of every unit of the library
// (EZYLGeoBasicsError, EZYLGeoDBError, EZYLGeoMapError). Carries a message.
class EZYLError : public Exception {
 public:
  using Exception::Exception;
};

// An index outside the valid range of a container of the companion packages
// (TBitFld, TMatrix, TVector). The message names the class, the index and
// the valid range.
class EZYLIndexError : public EZYLError {
 public:
  using EZYLError::EZYLError;
};

// ---------------------------------------------------------------- limits

// Largest and smallest positive (normalised) double.
constexpr double uc_MaxDouble = std::numeric_limits<double>::max();
constexpr double uc_MinDouble = std::numeric_limits<double>::min();

// ---------------------------------------------------------------- enumerations
//
// All enumerations are one byte wide, so records that embed them keep the
// layout of the host framework's records.

// Look of the frame that DrawFrame draws around a control. The map control
// uses fsLowered (ordinal 1) by default.
enum class TFrameStyle : uint8_t { fsNone, fsLowered, fsRaised, fsFlat, fsEtched, fsBump };
constexpr TFrameStyle fsNone = TFrameStyle::fsNone;
constexpr TFrameStyle fsLowered = TFrameStyle::fsLowered;
constexpr TFrameStyle fsRaised = TFrameStyle::fsRaised;
constexpr TFrameStyle fsFlat = TFrameStyle::fsFlat;
constexpr TFrameStyle fsEtched = TFrameStyle::fsEtched;
constexpr TFrameStyle fsBump = TFrameStyle::fsBump;

// State of the zoom-box gesture.
enum class TZoomState : uint8_t { zsIdle, zsDragging };
constexpr TZoomState zsIdle = TZoomState::zsIdle;
constexpr TZoomState zsDragging = TZoomState::zsDragging;

// State of the modal mouse-box query.
enum class TMouseBoxState : uint8_t { mbsIdle, mbsAwaitPress, mbsDragging, mbsFinished };
constexpr TMouseBoxState mbsIdle = TMouseBoxState::mbsIdle;
constexpr TMouseBoxState mbsAwaitPress = TMouseBoxState::mbsAwaitPress;
constexpr TMouseBoxState mbsDragging = TMouseBoxState::mbsDragging;
constexpr TMouseBoxState mbsFinished = TMouseBoxState::mbsFinished;

// What the left mouse button does in a control. The map control gives
// behaviour to maNone, the three pan modes, maRubberBand, maZoomWind,
// maZoomDrag, maSelectRect and maMouseTrace; the other values are reserved
// for controls that offer those gestures and do nothing in the map control.
enum class TMouseActMode : uint8_t {
  maNone = 0,          // no action
  maPan = 1,           // drag pans in both directions
  maPanHoriz = 2,      // drag pans horizontally
  maPanVert = 3,       // drag pans vertically
  maCenter = 4,        // a click centres the view on the point
  maRubberBand = 5,    // clicks start, extend and end a rubber-band line
  maRubberBox = 6,     // drag a rubber-band rectangle
  maZoomWind = 7,      // drag a box, release zooms to it
  maZoomSquare = 8,    // like maZoomWind with a square box
  maZoomDrag = 9,      // drag changes the magnification continuously
  maZoomIn = 10,       // a click zooms in
  maZoomOut = 11,      // a click zooms out
  maCrossHair = 12,    // a cross hair follows the mouse
  maMeasure = 13,      // drag measures a distance
  maDrawLine = 14,     // drag draws a straight line
  maSelectPoint = 15,  // a click selects the nearest object
  maSelectRect = 16,   // drag a dotted box, release reports it
  maMouseTrace = 17,   // drag records and draws a freehand trace
};
constexpr TMouseActMode maNone = TMouseActMode::maNone;
constexpr TMouseActMode maPan = TMouseActMode::maPan;
constexpr TMouseActMode maPanHoriz = TMouseActMode::maPanHoriz;
constexpr TMouseActMode maPanVert = TMouseActMode::maPanVert;
constexpr TMouseActMode maCenter = TMouseActMode::maCenter;
constexpr TMouseActMode maRubberBand = TMouseActMode::maRubberBand;
constexpr TMouseActMode maRubberBox = TMouseActMode::maRubberBox;
constexpr TMouseActMode maZoomWind = TMouseActMode::maZoomWind;
constexpr TMouseActMode maZoomSquare = TMouseActMode::maZoomSquare;
constexpr TMouseActMode maZoomDrag = TMouseActMode::maZoomDrag;
constexpr TMouseActMode maZoomIn = TMouseActMode::maZoomIn;
constexpr TMouseActMode maZoomOut = TMouseActMode::maZoomOut;
constexpr TMouseActMode maCrossHair = TMouseActMode::maCrossHair;
constexpr TMouseActMode maMeasure = TMouseActMode::maMeasure;
constexpr TMouseActMode maDrawLine = TMouseActMode::maDrawLine;
constexpr TMouseActMode maSelectPoint = TMouseActMode::maSelectPoint;
constexpr TMouseActMode maSelectRect = TMouseActMode::maSelectRect;
constexpr TMouseActMode maMouseTrace = TMouseActMode::maMouseTrace;

// Vertical placement of a text relative to its anchor point.
enum class TVerticalAlignment : uint8_t { vaTop, vaMiddle, vaBottom };
constexpr TVerticalAlignment vaTop = TVerticalAlignment::vaTop;
constexpr TVerticalAlignment vaMiddle = TVerticalAlignment::vaMiddle;
constexpr TVerticalAlignment vaBottom = TVerticalAlignment::vaBottom;

// Text form of an angle (DegreeToStr): decimal degrees "12.5°", degrees and
// decimal minutes "12°30.0'", degrees, minutes and decimal seconds
// "12°30'00.0\"". The texts are described with DegreeToStr.
enum class TDegreeFormat : uint8_t { dfDeg, dfDegMin, dfDegMinSec };
constexpr TDegreeFormat dfDeg = TDegreeFormat::dfDeg;
constexpr TDegreeFormat dfDegMin = TDegreeFormat::dfDegMin;
constexpr TDegreeFormat dfDegMinSec = TDegreeFormat::dfDegMinSec;

// Language of month names in date pictures (ScanDateTime).
enum class TLanguage : uint8_t { lanEnglish, lanGerman };
constexpr TLanguage lanEnglish = TLanguage::lanEnglish;
constexpr TLanguage lanGerman = TLanguage::lanGerman;

// ---------------------------------------------------------------- records

// Flag bits of TColoredPoint::Flags.
constexpr int16_t cpStrokeEnd = 0x0001;  // no segment from this point to the next
constexpr int16_t cpXorMode = 0x0002;    // the segment ending here is drawn with XOR
constexpr int16_t cpInvalid = -1;        // the whole word: the point is not valid

// A point of a freehand trace: position (image pixels), flags, colour.
struct TColoredPoint {
  double X = 0;
  double Y = 0;
  int16_t Flags = 0;
  TColor Color = 0;
};
static_assert(sizeof(TColoredPoint) == 24, "TColoredPoint keeps the framework's record layout");

// A rectangle of real coordinates. Which edges are included is up to the
// user of the record.
struct TRectDouble {
  double Left = 0;
  double Top = 0;
  double Right = 0;
  double Bottom = 0;
};
static_assert(sizeof(TRectDouble) == 32, "TRectDouble is four doubles");

// ---------------------------------------------------------------- events

// After a zoom or pan by the user.
using TZoomPanEvent = std::function<void(TObject* Sender)>;
// End of a selection rectangle: Kind 1 gives geographic coordinates (X =
// longitude, Y = latitude, degrees), Kind 0 image pixels.
using TSelectRectEvent =
    std::function<void(TObject* Sender, int32_t Kind, double X1, double Y1, double X2, double Y2)>;
// A step of a rubber-band gesture, at an image position.
using TOnRubberBandActionEvent = std::function<void(TObject* Sender, TPoint Position)>;
// Progress of a long operation, Percent 0..100.
using TOnPercentDoneEvent = std::function<void(TObject* Sender, int32_t Percent)>;

// ---------------------------------------------------------------- solver hooks
//
// Progress and abort hooks of the long-running numeric routines (the
// least-squares solver of the map calibration). They are process-wide
// globals, shared by every control and every thread: a host that runs
// solvers on several threads at once must serialise them itself.
//
// A solver adds 1 to ProcStat at each step and, when MathFeedBackProc is
// assigned, calls it with the new count. When AbortMathProc is true after
// that call the solver stops and reports failure. The host resets ProcStat
// and AbortMathProc before a computation it wants to watch or cancel.
extern double ProcStat;
using TMathFeedBackProc = std::function<void(double Count)>;
extern TMathFeedBackProc MathFeedBackProc;
extern bool AbortMathProc;

}  // namespace marovia
