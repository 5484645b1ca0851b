// The NMEA 0183 reader: a TCP stream, a serial device or a log file through
// one TNmeaStream. A log is replayed at the pace of its sentences' times and
// then reported lost ("end of file") for good; the others are reopened
// after a loss.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>

#include "marovia/geomap/geomap_error.h"
#include "marovia/geomap/nmea_stream.h"
#include "position/byte_channel.h"

namespace marovia {

namespace {

using namespace std::chrono_literals;
using position::TByteChannel;

// The longest pause between two epochs of a replayed log; a gap in the
// recording is not waited out.
constexpr double kMaxReplayGap = 5.0;

enum class TKind { Tcp, Device, File };

struct TAddress {
  TKind Kind = TKind::File;
  std::string Path;  // file or device
  std::string Host;
  int Port = 0;
  int Baud = 4800;
};

bool IsCharDevice(const std::string& Path) {
  struct stat st {};
  return ::stat(Path.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode));
}

TAddress ParseAddress(const std::string& Source) {
  TAddress s;
  if (Source.rfind("tcp://", 0) == 0) {
    s.Kind = TKind::Tcp;
    if (!ParseHostPort(Source.substr(6), 10110, s.Host, s.Port))
      throw EZYLGeoMapError("NMEA source '" + Source + "' is not tcp://HOST:PORT");
    return s;
  }
  s.Path = Source;
  const auto at = Source.rfind('@');
  if (at != std::string::npos && at + 1 < Source.size() &&
      Source.find_first_not_of("0123456789", at + 1) == std::string::npos &&
      Source.size() - at <= 7) {
    s.Path = Source.substr(0, at);
    s.Baud = std::stoi(Source.substr(at + 1));
    s.Kind = TKind::Device;
    return s;
  }
  if (IsCharDevice(Source) || Source.rfind("/dev/", 0) == 0) s.Kind = TKind::Device;
  return s;
}

std::string NameOf(const TAddress& S) {
  switch (S.Kind) {
    case TKind::Tcp:
      return "NMEA tcp://" + S.Host + ":" + std::to_string(S.Port);
    case TKind::Device:
      return "NMEA " + S.Path + " at " + std::to_string(S.Baud) + " baud";
    case TKind::File:
      break;
  }
  return "NMEA " + S.Path;
}

class TNmeaSource : public TPositionSource {
 public:
  TNmeaSource(const TAddress& Address, const TNmeaSourceOptions& Options)
      : TPositionSource(NameOf(Address), Options),
        address_(Address),
        replay_(Options.ReplaySpeed) {}
  ~TNmeaSource() override { Halt(); }

 protected:
  void Session() override {
    if (ended_) {
      while (!Stopping()) Pause(1h);
      return;
    }
    TByteChannel channel;
    std::string why;
    switch (address_.Kind) {
      case TKind::Tcp:
        why = channel.ConnectTcp(address_.Host, address_.Port, Options().ConnectTimeout);
        break;
      case TKind::Device:
        why = channel.OpenDevice(address_.Path, address_.Baud);
        break;
      case TKind::File:
        why = channel.OpenFile(address_.Path);
        break;
    }
    if (!why.empty()) {
      EmitLost(why);
      return;
    }
    TNmeaStream stream;
    countedLines_ = countedDamaged_ = countedFixes_ = 0;
    char buffer[4096];
    while (!Stopping()) {
      std::size_t got = 0;
      const auto r = channel.Read(buffer, sizeof buffer, got, 100ms, why);
      if (r == TByteChannel::TRead::Timeout) {
        CheckSilence();
        continue;
      }
      if (r != TByteChannel::TRead::Data) {
        Take(stream, stream.Finish());
        if (address_.Kind == TKind::File && r == TByteChannel::TRead::Closed) {
          ended_ = true;
          EmitLost("end of " + address_.Path);
        } else {
          const bool tcp = address_.Kind == TKind::Tcp;
          EmitLost(r == TByteChannel::TRead::Closed
                       ? (tcp ? std::string("connection closed") : address_.Path + " closed")
                       : why);
        }
        return;
      }
      // Line by line, so that a replay can wait between epochs.
      std::size_t from = 0;
      for (std::size_t i = 0; i < got && !Stopping(); ++i) {
        if (buffer[i] != '\n') continue;
        Take(stream, stream.Feed(std::string_view(buffer + from, i + 1 - from)));
        from = i + 1;
      }
      if (from < got) Take(stream, stream.Feed(std::string_view(buffer + from, got - from)));
      CheckSilence();
    }
  }

 private:
  void Take(const TNmeaStream& Stream, std::vector<TPositionFix> Fixes) {
    // Counting from the stream's totals keeps the counters exact however
    // the bytes were split.
    const int64_t lines = Stream.Lines(), damaged = Stream.Damaged();
    const int64_t fixes = Stream.Count(TNmeaSkip::None);
    for (; countedLines_ < lines; ++countedLines_) {
      const bool bad = countedDamaged_ < damaged;
      if (bad) ++countedDamaged_;
      const bool fix = !bad && countedFixes_ < fixes;
      if (fix) ++countedFixes_;
      CountLine(bad, !bad && !fix);
    }
    for (TPositionFix& f : Fixes) {
      if (address_.Kind == TKind::File && replay_ > 0) WaitForEpoch(Stream.LastTimeOfDay());
      f.Received = std::chrono::steady_clock::now();
      EmitFix(f);
    }
  }

  void WaitForEpoch(double TimeOfDay) {
    if (std::isnan(TimeOfDay)) return;
    if (!std::isnan(lastEpoch_) && TimeOfDay != lastEpoch_) {
      double gap = TimeOfDay - lastEpoch_;
      if (gap < 0) gap += 86400;  // past midnight
      gap = std::min(gap, kMaxReplayGap) / replay_;
      Pause(std::chrono::milliseconds(static_cast<int64_t>(gap * 1000)));
    }
    lastEpoch_ = TimeOfDay;
  }

  TAddress address_;
  double replay_;
  bool ended_ = false;
  double lastEpoch_ = kNoValue;
  int64_t countedLines_ = 0, countedDamaged_ = 0, countedFixes_ = 0;
};

}  // namespace

std::unique_ptr<TPositionSource> OpenNmeaSource(const std::string& Source,
                                                const TNmeaSourceOptions& Options) {
  if (Source.empty()) throw EZYLGeoMapError("no NMEA source given");
  return std::make_unique<TNmeaSource>(ParseAddress(Source), Options);
}

}  // namespace marovia
