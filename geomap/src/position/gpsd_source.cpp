// The gpsd client: connect, ask for JSON reports, read lines, turn TPV into
// fixes and SKY into the sky; any failure ends the session (the base class
// retries).
#include <chrono>
#include <string>

#include "marovia/geomap/gpsd_reports.h"
#include "position/byte_channel.h"

namespace marovia {

namespace {

using namespace std::chrono_literals;
using position::TByteChannel;

class TGpsdSource : public TPositionSource {
 public:
  TGpsdSource(const std::string& Host, int Port, const TPositionSourceOptions& Options)
      : TPositionSource("gpsd " + Host + ":" + std::to_string(Port), Options),
        host_(Host),
        port_(Port) {}
  ~TGpsdSource() override { Halt(); }

 protected:
  void Session() override {
    TByteChannel channel;
    std::string why = channel.ConnectTcp(host_, port_, Options().ConnectTimeout);
    if (why.empty()) why = channel.Write(std::string(kGpsdWatchCommand));
    if (!why.empty()) {
      EmitLost(why);
      return;
    }
    std::string line;
    bool overlong = false;
    char buffer[4096];
    while (!Stopping()) {
      std::size_t got = 0;
      const auto r = channel.Read(buffer, sizeof buffer, got, 100ms, why);
      if (r == TByteChannel::TRead::Timeout) {
        CheckSilence();
        continue;
      }
      if (r != TByteChannel::TRead::Data) {
        EmitLost(r == TByteChannel::TRead::Closed ? "gpsd closed the connection" : why);
        return;
      }
      for (std::size_t i = 0; i < got; ++i) {
        const char c = buffer[i];
        if (c != '\n') {
          // A report without an end in sight is damage: dropped whole.
          if (line.size() >= kMaxGpsdLine) overlong = true;
          if (!overlong) line.push_back(c);
          continue;
        }
        if (overlong) {
          CountLine(true, false);
        } else if (!line.empty()) {
          Report(line);
        }
        line.clear();
        overlong = false;
      }
      CheckSilence();
    }
  }

 private:
  void Report(const std::string& Line) {
    TGpsdReport r = ParseGpsdReport(Line);
    const bool damaged = r.Kind == TGpsdReportKind::Malformed;
    const bool fix = r.Kind == TGpsdReportKind::Tpv && r.HasPosition;
    CountLine(damaged, !damaged && !fix);
    if (fix) {
      r.Fix.Received = std::chrono::steady_clock::now();
      // SKY comes less often than TPV: its counts ride along.
      if (r.Fix.SatellitesUsed < 0) r.Fix.SatellitesUsed = used_;
      if (r.Fix.SatellitesVisible < 0) r.Fix.SatellitesVisible = visible_;
      EmitFix(r.Fix);
    } else if (r.Kind == TGpsdReportKind::Sky) {
      used_ = r.Sky.Used;
      visible_ = r.Sky.Visible;
      EmitSky(std::move(r.Sky));
    }
  }

  std::string host_;
  int port_;
  int used_ = -1, visible_ = -1;
};

}  // namespace

std::unique_ptr<TPositionSource> OpenGpsdSource(const std::string& Host, int Port,
                                                const TPositionSourceOptions& Options) {
  return std::make_unique<TGpsdSource>(Host, Port, Options);
}

bool ParseHostPort(const std::string& Text, int DefaultPort, std::string& Host, int& Port) {
  std::string host = Text, port;
  if (!host.empty() && host.front() == '[') {
    const auto close = host.find(']');
    if (close == std::string::npos) return false;
    port = host.substr(close + 1);
    host = host.substr(1, close - 1);
    if (!port.empty() && port.front() != ':') return false;
    if (!port.empty()) port.erase(0, 1);
  } else if (const auto colon = host.rfind(':'); colon != std::string::npos) {
    if (host.find(':') != colon) return false;  // a bare IPv6 address needs brackets
    port = host.substr(colon + 1);
    host.erase(colon);
  }
  if (host.empty()) host = "localhost";
  int p = DefaultPort;
  if (!port.empty()) {
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
    p = std::stoi(port);
  }
  if (p < 1 || p > 65535) return false;
  Host = host;
  Port = p;
  return true;
}

}  // namespace marovia
