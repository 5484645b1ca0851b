// Track files: formats by name and content, reading whole files, and many
// files on several threads (see track_files.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include "marovia/geomap/track_files.h"
#include "marovia/platform/strutils.h"
#include "tracks/track_text.h"

namespace marovia {

using namespace tracks;

namespace {

std::string ReadWholeFile(const std::string& FileName) {
  const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EInOutError(FileName, std::strerror(errno), errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int e = errno;
    ::close(fd);
    throw EInOutError(FileName, S_ISDIR(st.st_mode) ? "is a folder" : "not a regular file", e);
  }
  if (st.st_size > kMaxTrackFileBytes) {
    ::close(fd);
    throw EInOutError(FileName, "larger than " + std::to_string(kMaxTrackFileBytes >> 20) +
                                    " MiB, more than a track file holds");
  }
  std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int e = n < 0 ? errno : 0;
      ::close(fd);
      throw EInOutError(FileName, n < 0 ? std::strerror(e) : "the file shrank while read", e);
    }
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return bytes;
}

std::string_view Extension(std::string_view Name) {
  const std::size_t slash = Name.find_last_of('/');
  const std::size_t dot = Name.find_last_of('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  return Name.substr(dot + 1);
}

}  // namespace

std::string TrackTimeText(double Seconds) {
  return FormatIsoTime(Seconds);
}

const char* TrackFormatName(TTrackFormat Format) {
  switch (Format) {
    case TTrackFormat::Gpx:
      return "GPX";
    case TTrackFormat::Kml:
      return "KML";
    case TTrackFormat::Kmz:
      return "KMZ";
    case TTrackFormat::GeoJson:
      return "GeoJSON";
    case TTrackFormat::Nmea:
      return "NMEA 0183";
    case TTrackFormat::Tcx:
      return "TCX";
    case TTrackFormat::Igc:
      return "IGC";
    case TTrackFormat::Plt:
      return "PLT";
    case TTrackFormat::Wpt:
      return "WPT";
    case TTrackFormat::Unknown:
      break;
  }
  return "unknown";
}

TTrackFormat TrackFormatOfName(std::string_view FileName) {
  const std::string ext = LowerCase(Extension(FileName));
  if (ext == "gpx") return TTrackFormat::Gpx;
  if (ext == "kml") return TTrackFormat::Kml;
  if (ext == "kmz") return TTrackFormat::Kmz;
  if (ext == "geojson" || ext == "json") return TTrackFormat::GeoJson;
  if (ext == "nmea" || ext == "nma") return TTrackFormat::Nmea;
  if (ext == "tcx") return TTrackFormat::Tcx;
  if (ext == "igc") return TTrackFormat::Igc;
  if (ext == "plt") return TTrackFormat::Plt;
  if (ext == "wpt") return TTrackFormat::Wpt;
  return TTrackFormat::Unknown;
}

TTrackFormat SniffTrackFormat(std::string_view Bytes) {
  if (Bytes.substr(0, 2) == "PK") return TTrackFormat::Kmz;
  if (Bytes.substr(0, 3) == "\xEF\xBB\xBF") Bytes.remove_prefix(3);
  const std::string_view head = TrimSpace(Bytes.substr(0, 4096));
  if (head.empty()) return TTrackFormat::Unknown;
  if (head[0] == '{') return TTrackFormat::GeoJson;
  if (head[0] == '$' || head[0] == '!') return TTrackFormat::Nmea;
  if (head[0] == '<') {
    // The root element: the first tag that is no declaration or comment.
    for (std::size_t i = 0; (i = head.find('<', i)) != std::string_view::npos; ++i) {
      const char next = i + 1 < head.size() ? head[i + 1] : '\0';
      if (next == '?' || next == '!') continue;
      std::size_t end = i + 1;
      while (end < head.size() && !IsSpace(head[end]) && head[end] != '>' && head[end] != '/')
        ++end;
      std::string_view name = head.substr(i + 1, end - i - 1);
      if (const std::size_t colon = name.find(':'); colon != std::string_view::npos)
        name = name.substr(colon + 1);
      if (name == "gpx") return TTrackFormat::Gpx;
      if (name == "kml") return TTrackFormat::Kml;
      if (name == "TrainingCenterDatabase") return TTrackFormat::Tcx;
      return TTrackFormat::Unknown;
    }
    return TTrackFormat::Unknown;
  }
  // IGC: an A record (the recorder's maker) and header or fix records.
  if (head[0] == 'A' &&
      (head.find("\nH") != std::string_view::npos || head.find("\nB") != std::string_view::npos))
    return TTrackFormat::Igc;
  const std::string first = LowerCase(head.substr(0, head.find_first_of("\r\n")));
  if (first.find("track point file") != std::string::npos) return TTrackFormat::Plt;
  if (first.find("waypoint file") != std::string::npos) return TTrackFormat::Wpt;
  return TTrackFormat::Unknown;
}

TTrackData ParseTrackBytes(std::string_view Bytes, TTrackFormat Format,
                           const std::string& FileName) {
  switch (Format) {
    case TTrackFormat::Gpx:
      return ParseGpx(Bytes, FileName);
    case TTrackFormat::Kml:
      return ParseKml(Bytes, FileName);
    case TTrackFormat::Kmz:
      return ParseKmz(Bytes, FileName);
    case TTrackFormat::GeoJson:
      return ParseGeoJson(Bytes, FileName);
    case TTrackFormat::Nmea:
      return ParseNmeaLog(Bytes, FileName);
    case TTrackFormat::Tcx:
      return ParseTcx(Bytes, FileName);
    case TTrackFormat::Igc:
      return ParseIgc(Bytes, FileName);
    case TTrackFormat::Plt:
      return ParsePlt(Bytes, FileName);
    case TTrackFormat::Wpt:
      return ParseWpt(Bytes, FileName);
    case TTrackFormat::Unknown:
      break;
  }
  throw ETrackFileError(FileName, 0, 0,
                        "not a track file of a known format (GPX, KML, KMZ, GeoJSON, NMEA 0183, "
                        "TCX, IGC, PLT, WPT)");
}

TTrackData ReadTrackFile(const std::string& FileName, TTrackFormat Format) {
  const std::string bytes = ReadWholeFile(FileName);
  if (Format == TTrackFormat::Unknown) Format = TrackFormatOfName(FileName);
  if (Format == TTrackFormat::Unknown) Format = SniffTrackFormat(bytes);
  return ParseTrackBytes(bytes, Format, FileName);
}

std::vector<TTrackFileResult> ReadTrackFiles(const std::vector<std::string>& FileNames,
                                             unsigned Threads) {
  std::vector<TTrackFileResult> results(FileNames.size());
  if (Threads == 0) Threads = std::max(1u, std::thread::hardware_concurrency());
  Threads = static_cast<unsigned>(std::min<std::size_t>(Threads, FileNames.size()));
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t i; (i = next.fetch_add(1)) < FileNames.size();) {
      TTrackFileResult& r = results[i];
      r.FileName = FileNames[i];
      try {
        r.Data = ReadTrackFile(FileNames[i]);
      } catch (const std::exception& e) {
        r.Error = e.what();
      }
    }
  };
  std::vector<std::thread> pool;
  for (unsigned k = 1; k < Threads; ++k) pool.emplace_back(work);
  work();
  for (std::thread& t : pool) t.join();
  return results;
}

}  // namespace marovia
