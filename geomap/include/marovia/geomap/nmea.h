// One NMEA 0183 sentence to a position fix, or the reason it gives none.
//
// ParseNmeaSentence is a pure function of one line, safe to call from any
// thread: the log reader (ParseNmeaLog in track_files.h) calls it for every
// line of a file, a live position source for every line it receives from a
// serial device or a socket.
//
// A sentence is
//   $TTSSS,field,field,...*HH
// '$', a talker of two letters (GP GPS, GL GLONASS, GA Galileo, GB BeiDou,
// GN several systems, any other pair alike), the sentence type, the fields,
// '*' and the checksum: two hexadecimal digits, the XOR of every byte
// between '$' and '*'. Line ends and blanks around the sentence are
// ignored. A sentence without a checksum is refused (NoChecksum): a line
// cut short by a serial link loses its checksum, and its last field would
// otherwise be taken at whatever length it was cut to.
//
// Fields used (1-based, after the sentence type):
//   GGA  1 time  2 latitude  3 N/S  4 longitude  5 E/W  6 quality
//        (0 no fix, 1 GPS, 2 differential, 3 PPS, 4 RTK fixed, 5 RTK float,
//        6 estimated, 7 manual, 8 simulation)  7 satellites  8 HDOP
//        9 altitude above mean sea level  10 "M"  11 geoid separation
//        12 "M"  13 age of differential data  14 station
//   RMC  1 time  2 status (A valid, V void)  3-6 position  7 speed in knots
//        8 course over ground, degrees true  9 date ddmmyy
//        10 magnetic variation  11 E/W  12 mode (N: no fix)
//   GNS  1 time  2-5 position  6 mode, one letter per satellite system
//        (N no fix, A autonomous, D differential, P precise, R RTK,
//        F float RTK, E estimated, M manual, S simulation)  7 satellites
//        8 HDOP  9 altitude above mean sea level  10 geoid separation
// Times are hhmmss with any number of decimals of the second; latitudes
// ddmm and longitudes dddmm with any number of decimals of the minute (or
// fewer leading digits of the degrees). Two-digit years are 1980 to 2079.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "marovia/geomap/tracks.h"

namespace marovia {

enum class TNmeaKind : uint8_t { GGA, RMC, GNS };

// Why a line gave no fix. The first four mean the line is damaged;
// Unsupported is any other well-formed sentence (GSV, VTG, proprietary
// $P... sentences, AIS's '!'); NoFix a sentence saying it has no position.
enum class TNmeaSkip : uint8_t {
  None,          // a fix
  Empty,         // blank line
  NotASentence,  // no '$' and sentence type at its start
  NoChecksum,    // no '*' and two hexadecimal digits at its end
  BadChecksum,   // checksum does not match
  Malformed,     // a field is not what its place demands (TNmeaSentence::Why)
  Unsupported,   // a sentence of another type
  NoFix,         // GGA quality 0, RMC status V or mode N, GNS modes all N
};
// "bad checksum", "no fix", ... for messages.
const char* NmeaSkipText(TNmeaSkip Skip);
// Whether the reason marks a damaged line (NotASentence to Malformed).
bool NmeaSkipIsDamage(TNmeaSkip Skip);

struct TNmeaFix {
  TNmeaKind Kind = TNmeaKind::GGA;
  char Talker[3] = {0, 0, 0};         // "GP", "GN", ...
  double TimeOfDay = kNoValue;        // seconds since 00:00 UTC; NaN: field empty
  int Year = 0, Month = 0, Day = 0;   // RMC's date; 0 when none
  double Lat = 0, Lon = 0;            // degrees, WGS 84
  double Altitude = kNoValue;         // metres above mean sea level (GGA, GNS)
  double GeoidSeparation = kNoValue;  // metres (GGA, GNS)
  double Speed = kNoValue;            // metres per second over ground (RMC)
  double Course = kNoValue;           // degrees true, [0, 360) (RMC)
  int Satellites = -1;                // in use (GGA, GNS); -1: not given
  double Hdop = kNoValue;
  int Quality = -1;  // GGA's quality field; -1 for the others
  char Mode = 0;     // RMC's mode, GNS's first letter; 0: none
};

struct TNmeaSentence {
  TNmeaSkip Skip = TNmeaSkip::None;
  std::string Why;  // for Malformed: which field and what it holds
  TNmeaFix Fix;     // when Skip is None
};

// Parses one line (with or without its line end).
TNmeaSentence ParseNmeaSentence(std::string_view Line);

}  // namespace marovia
