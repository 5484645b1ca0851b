// Position sources on their threads, delivering to this (main) thread: an
// NMEA log replayed, and a gpsd client against a small server in the test
// that speaks the daemon's protocol, goes away and comes back.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "marovia/geomap/gpsd_reports.h"
#include "marovia/geomap/position.h"
#include "nmea_log_maker.h"
#include "support/main_thread_pump.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

using namespace std::chrono_literals;

struct TRecorder {
  std::vector<TPositionFix> Fixes;
  std::vector<std::pair<TSourceState, std::string>> States;
  void Attach(TPositionSource& S) {
    S.OnFix = [this](const TPositionFix& F) { Fixes.push_back(F); };
    S.OnState = [this](TSourceState St, const std::string& Why) { States.push_back({St, Why}); };
  }
  bool Reached(TSourceState S, std::size_t Times = 1) const {
    std::size_t n = 0;
    for (const auto& s : States) n += s.first == S;
    return n >= Times;
  }
};

TEST(NmeaSource, ReplaysALogThenReportsItsEnd) {
  test::TempDir dir;
  std::string log = test::NmeaLog(47.0, 8.0, 47.01, 8.0, 5, "091226");
  // A damaged sentence in the middle is skipped and counted.
  log.insert(log.find("$GPRMC,120002"), "$GPGGA,garbage*00\r\n");
  const std::string file = dir.Write("log.nmea", log);
  TNmeaSourceOptions options;
  options.ReplaySpeed = 0;
  const auto source = OpenNmeaSource(file, options);
  EXPECT_EQ("NMEA " + file, source->Name());
  TRecorder rec;
  rec.Attach(*source);
  test::MainThreadPump pump;
  source->Start();
  ASSERT_TRUE(pump.Until([&] { return rec.Reached(TSourceState::Lost); }));
  ASSERT_EQ(10u, rec.Fixes.size());
  EXPECT_DOUBLE_EQ(47.01, rec.Fixes.back().Lat);
  ASSERT_EQ(3u, rec.States.size());
  EXPECT_EQ(TSourceState::Connecting, rec.States[0].first);
  EXPECT_EQ(TSourceState::Receiving, rec.States[1].first);
  EXPECT_EQ("end of " + file, rec.States[2].second);
  const TPositionCounters c = source->Counters();
  EXPECT_EQ(11, c.Lines);
  EXPECT_EQ(1, c.Skipped);
  EXPECT_EQ(10, c.Fixes);
  source->Stop();
  EXPECT_EQ(TSourceState::Stopped, rec.States.back().first);
}

TEST(NmeaSource, ReplaysAtTheLogsPace) {
  test::TempDir dir;
  const std::string file = dir.Write("log.nmea", test::NmeaLog(47, 8, 47.001, 8, 3, "091226"));
  TNmeaSourceOptions options;
  options.ReplaySpeed = 20;  // two seconds of log in 100 ms
  const auto source = OpenNmeaSource(file, options);
  TRecorder rec;
  rec.Attach(*source);
  test::MainThreadPump pump;
  source->Start();
  ASSERT_TRUE(pump.Until([&] { return rec.Reached(TSourceState::Lost); }));
  ASSERT_EQ(6u, rec.Fixes.size());
  EXPECT_GE(rec.Fixes.back().Received - rec.Fixes.front().Received, 95ms);
}

TEST(NmeaSource, ReportsAMissingFileAsLost) {
  const auto source = OpenNmeaSource("/nonexistent/route.nmea");
  TRecorder rec;
  rec.Attach(*source);
  test::MainThreadPump pump;
  source->Start();
  ASSERT_TRUE(pump.Until([&] { return rec.Reached(TSourceState::Lost); }));
  EXPECT_NE(std::string::npos, rec.States.back().second.find("No such file"));
}

TEST(NmeaSource, EventsQueuedBeforeDestructionAreDropped) {
  test::TempDir dir;
  const std::string file = dir.Write("log.nmea", test::NmeaLog(47, 8, 47.1, 8, 50, "091226"));
  TNmeaSourceOptions options;
  options.ReplaySpeed = 0;
  int fixes = 0;
  {
    auto source = OpenNmeaSource(file, options);
    source->OnFix = [&](const TPositionFix&) { ++fixes; };
    source->Start();
    while (PendingMainThreadTasks() == 0) std::this_thread::yield();
  }
  CheckSynchronize();  // the queued events find no source
  EXPECT_EQ(0, fixes);
}

// A server speaking gpsd's protocol on a port of this machine: answers
// ?WATCH with a VERSION and Count TPV reports, then closes.
class TFakeGpsd {
 public:
  explicit TFakeGpsd(int Port = 0) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(Port));
    EXPECT_EQ(0, ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a));
    ::listen(fd_, 4);
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~TFakeGpsd() {
    if (thread_.joinable()) thread_.join();
    ::close(fd_);
  }
  int Port() const { return port_; }
  // Serves one client on a thread: Count fixes from Lat, one every 10 ms.
  void Serve(int Count, double Lat) {
    thread_ = std::thread([this, Count, Lat] {
      const int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) return;
      char buf[256];
      const ssize_t n = ::recv(c, buf, sizeof buf, 0);
      if (n > 0) Watch = std::string(buf, static_cast<std::size_t>(n));
      Send(c, R"({"class":"VERSION","release":"3.22"})");
      Send(c, R"({"class":"SKY","uSat":7,"nSat":11,"satellites":[]})");
      for (int i = 0; i < Count; ++i) {
        Send(c, R"({"class":"TPV","mode":3,"lat":)" + std::to_string(Lat + i * 1e-4) +
                    R"(,"lon":8.5,"eph":12.5,"speed":3,"track":90})");
        std::this_thread::sleep_for(10ms);
      }
      ::close(c);
    });
  }
  std::string Watch;

 private:
  static void Send(int C, const std::string& Line) {
    const std::string l = Line + "\r\n";
    ::send(C, l.data(), l.size(), MSG_NOSIGNAL);
  }
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

TEST(GpsdSource, ReportsLossAndReturnOfTheDaemon) {
  TPositionSourceOptions options;
  options.RetryInterval = 50ms;
  int port = 0;
  test::MainThreadPump pump;
  TRecorder rec;
  std::unique_ptr<TPositionSource> source;
  {
    TFakeGpsd first;
    port = first.Port();
    first.Serve(3, 47.0);
    source = OpenGpsdSource("127.0.0.1", port, options);
    EXPECT_EQ("gpsd 127.0.0.1:" + std::to_string(port), source->Name());
    rec.Attach(*source);
    source->Start();
    ASSERT_TRUE(pump.Until([&] { return rec.Reached(TSourceState::Lost); }));
    EXPECT_EQ(std::string(kGpsdWatchCommand), first.Watch);
  }
  ASSERT_EQ(3u, rec.Fixes.size());
  EXPECT_EQ(7, rec.Fixes[0].SatellitesUsed);  // from the SKY before
  EXPECT_EQ(11, rec.Fixes[0].SatellitesVisible);
  EXPECT_DOUBLE_EQ(12.5, rec.Fixes[0].HorizontalError);
  EXPECT_EQ("gpsd closed the connection", rec.States.back().second);
  // Down for a while: the retries fail without new reports.
  std::this_thread::sleep_for(150ms);
  CheckSynchronize();
  EXPECT_EQ(TSourceState::Lost, rec.States.back().first);
  // Back on the same port: the source returns on its own.
  TFakeGpsd second(port);
  second.Serve(2, 48.0);
  ASSERT_TRUE(pump.Until([&] { return rec.Reached(TSourceState::Receiving, 2); }));
  ASSERT_TRUE(pump.Until([&] { return rec.Fixes.size() == 5; }));
  EXPECT_DOUBLE_EQ(48.0, rec.Fixes[3].Lat);
  EXPECT_EQ(1, source->Counters().Reconnects);
  source->Stop();
  const std::vector<TSourceState> want = {TSourceState::Connecting, TSourceState::Receiving,
                                          TSourceState::Lost,       TSourceState::Receiving,
                                          TSourceState::Lost,       TSourceState::Stopped};
  std::vector<TSourceState> got;
  for (const auto& s : rec.States) got.push_back(s.first);
  // The second server closes after its fixes, which may or may not have
  // been seen before the stop.
  if (got.size() == want.size() - 1) got.insert(got.end() - 1, TSourceState::Lost);
  EXPECT_EQ(want, got);
}

TEST(GpsdSource, ReportsSilenceAsLoss) {
  TPositionSourceOptions options;
  options.SilenceTimeout = 100ms;
  TFakeGpsd server;
  server.Serve(0, 0);  // connects, sends no fix, then closes
  const auto source = OpenGpsdSource("127.0.0.1", server.Port(), options);
  TRecorder rec;
  rec.Attach(*source);
  test::MainThreadPump pump;
  source->Start();
  ASSERT_TRUE(pump.Until([&] { return rec.Reached(TSourceState::Lost); }));
  source->Stop();
}

TEST(PositionSources, ParseHostPortTable) {
  struct TCase {
    const char* Text;
    bool Ok;
    const char* Host;
    int Port;
  };
  const TCase cases[] = {
      {"", true, "localhost", 2947},
      {"gps.local", true, "gps.local", 2947},
      {"10.0.0.2:3000", true, "10.0.0.2", 3000},
      {":4000", true, "localhost", 4000},
      {"[::1]:2948", true, "::1", 2948},
      {"[::1]", true, "::1", 2947},
      {"::1", false, "", 0},
      {"host:0", false, "", 0},
      {"host:65536", false, "", 0},
      {"host:12a", false, "", 0},
      {"[::1", false, "", 0},
  };
  for (const TCase& c : cases) {
    std::string host;
    int port = 0;
    EXPECT_EQ(c.Ok, ParseHostPort(c.Text, 2947, host, port)) << c.Text;
    if (!c.Ok) continue;
    EXPECT_EQ(c.Host, host) << c.Text;
    EXPECT_EQ(c.Port, port) << c.Text;
  }
}

}  // namespace
}  // namespace marovia
