// One line of the gpsd daemon's JSON protocol: each report is a JSON object
// on a line of its own, its "class" member saying what it is.
//
//   TPV      time-position-velocity: "mode" (0 unknown, 1 no fix, 2 2D,
//            3 3D), "time" (ISO 8601), "lat", "lon", "altMSL" (or "alt"),
//            "speed" (m/s), "track" (degrees true), "eph" (or the larger of
//            "epx" and "epy"; metres)
//   SKY      "satellites": [{"PRN", "el", "az", "ss", "used"}, ...], "uSat",
//            "nSat", "hdop"
//   VERSION, DEVICES, DEVICE, WATCH: the session's bookkeeping
//   ERROR    "message": the daemon refused a command
// Members the reader does not know are ignored, as the protocol asks of
// clients; a member of the wrong type counts as absent.
//
// The parser is a pure function of one line, safe on any thread; it never
// raises. Lines longer than kMaxGpsdLine are refused before scanning.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "marovia/geomap/position.h"

namespace marovia {

// The daemon's longest reports (SKY of many satellites) stay far below.
constexpr std::size_t kMaxGpsdLine = 64 * 1024;

enum class TGpsdReportKind : uint8_t {
  Malformed,  // not one JSON object, no class, too long (Why says what)
  Tpv,
  Sky,
  Version,
  Devices,
  Watch,
  Error,  // the daemon's ERROR report (Why holds its message)
  Other   // any other class (PPS, TOFF, ATT, ...)
};

struct TGpsdReport {
  TGpsdReportKind Kind = TGpsdReportKind::Malformed;
  std::string Why;
  std::string Device;  // "device" when given
  // TPV: a fix when HasPosition (mode 2 or 3 with finite lat and lon in
  // range); Fix.Received is left for the caller.
  bool HasPosition = false;
  TPositionFix Fix;
  TSkyView Sky;  // SKY
};

TGpsdReport ParseGpsdReport(std::string_view Line);

// The command that starts the stream of reports.
inline constexpr std::string_view kGpsdWatchCommand = "?WATCH={\"enable\":true,\"json\":true};\n";

}  // namespace marovia
