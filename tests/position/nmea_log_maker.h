// NMEA logs made for the position tests: an RMC and a GGA sentence per
// second along a straight line, as a receiver moving steadily sends them.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>

namespace marovia::test {

// "$" Body "*" and the checksum (the XOR of Body's bytes).
inline std::string WithChecksum(const std::string& Body) {
  unsigned sum = 0;
  for (unsigned char c : Body) sum ^= c;
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X", sum);
  return "$" + Body + tail;
}

// ddmm.mmmmmm with hemisphere, as NMEA writes a latitude (Degits 2) or a
// longitude (3).
inline std::string NmeaAngle(double Value, int Digits, char Plus, char Minus) {
  const double a = std::fabs(Value);
  const int degrees = static_cast<int>(a);
  char text[40];
  std::snprintf(text, sizeof text, "%0*d%09.6f,%c", Digits, degrees, (a - degrees) * 60,
                Value < 0 ? Minus : Plus);
  return text;
}

// Epochs from (Lat0, Lon0) to (Lat1, Lon1), one a second from 12:00:00 on
// Date (ddmmyy), at 10 knots on course 45; FirstSecond shifts the times.
inline std::string NmeaLog(double Lat0, double Lon0, double Lat1, double Lon1, int Epochs,
                           const std::string& Date, int FirstSecond = 0) {
  std::string log;
  for (int i = 0; i < Epochs; ++i) {
    const double t = Epochs > 1 ? static_cast<double>(i) / (Epochs - 1) : 0;
    const std::string lat = NmeaAngle(Lat0 + (Lat1 - Lat0) * t, 2, 'N', 'S');
    const std::string lon = NmeaAngle(Lon0 + (Lon1 - Lon0) * t, 3, 'E', 'W');
    const int s = FirstSecond + i;
    char time[32];
    std::snprintf(time, sizeof time, "%02d%02d%02d.00", 12 + s / 3600, (s / 60) % 60, s % 60);
    log += WithChecksum(std::string("GPRMC,") + time + ",A," + lat + "," + lon + ",10.0,45.0," +
                        Date + ",,,A") +
           "\r\n";
    log += WithChecksum(std::string("GPGGA,") + time + "," + lat + "," + lon +
                        ",1,08,0.9,410.0,M,47.0,M,,") +
           "\r\n";
  }
  return log;
}

}  // namespace marovia::test
