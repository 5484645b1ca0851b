// Live position: fixes from a GPS receiver, read on a thread of their own
// and handed to the host's main thread.
//
// Where things are
//   position.h         this: the fix, the sky, the source and its states
//   gpsd_reports.h     one line of the gpsd daemon's JSON protocol
//   nmea_stream.h      NMEA 0183 bytes to fixes (sentences: nmea.h)
//   position_layer.h   what a map draws of it: marker, accuracy, track
//
// Sources (geomap/src/position): position_source.cpp (the thread, the
// states, delivery), gpsd_source.cpp, nmea_source.cpp, byte_channel.cpp
// (TCP, serial devices, files), gpsd_reports.cpp, nmea_stream.cpp.
//
// Delivery: a source's thread never calls the host. It queues each event
// for the main thread (QueueOnMainThread, main_thread.h); the host's
// message loop (Application().ProcessMessages()) fires OnFix, OnSky and
// OnState there, in the order the thread saw them. Events queued before a
// source is stopped or destroyed are dropped, never fired afterwards.
//
// States, as reported through OnState (each change once):
//   (Start)    -> Connecting  the first attempt
//   Connecting -> Receiving   the first fix arrives
//   Connecting -> Lost        the first attempt fails, or brings no fix
//                             within SilenceTimeout (Why says how)
//   Receiving  -> Lost        the connection drops, the device goes away, a
//                             file ends, or no fix for SilenceTimeout
//   Lost       -> Receiving   a fix again: the source has returned (it is
//                             tried again every RetryInterval meanwhile)
//   any        -> Stopped     Stop() (not fired from the destructor)
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "marovia/geomap/tracks.h"

namespace marovia {

enum class TFixMode : uint8_t { Unknown, NoFix, Fix2D, Fix3D };

// One position of the receiver. Quantities the source does not give are
// NaN (numbers) or -1 (counts).
struct TPositionFix {
  double Lat = 0, Lon = 0;            // degrees, WGS 84; latitude [-90, 90], longitude [-180, 180]
  double Altitude = kNoValue;         // metres above mean sea level
  double Speed = kNoValue;            // metres per second over ground
  double Course = kNoValue;           // degrees clockwise from true north, [0, 360)
  double HorizontalError = kNoValue;  // metres: the source's estimate (gpsd's eph, or
                                      // kNmeaMetresPerHdop times the HDOP), about 95 %
  int SatellitesUsed = -1;
  int SatellitesVisible = -1;
  TFixMode Mode = TFixMode::Unknown;
  double Time = kNoValue;  // seconds since 1970-01-01T00:00:00Z, as the receiver says
  // When the source's thread read it (for latencies).
  std::chrono::steady_clock::time_point Received;
};

// Metres of horizontal error per unit of HDOP, for sources that give only
// the dilution (NMEA): a receiver's typical user range error of about 2.5 m,
// doubled for a 95 % radius.
constexpr double kNmeaMetresPerHdop = 5.0;

struct TSatellite {
  int Prn = 0;
  double Elevation = kNoValue;  // degrees
  double Azimuth = kNoValue;    // degrees
  double Snr = kNoValue;        // dB-Hz
  bool Used = false;
};

struct TSkyView {
  std::vector<TSatellite> Satellites;
  int Used = -1;     // satellites used in the fix
  int Visible = -1;  // satellites seen
  double Hdop = kNoValue;
};

enum class TSourceState : uint8_t { Connecting, Receiving, Lost, Stopped };
// "connecting", "receiving", "lost", "stopped".
const char* SourceStateName(TSourceState State);

// What a source has read, counted since it started; safe to read from any
// thread.
struct TPositionCounters {
  int64_t Lines = 0;       // sentences or reports received
  int64_t Fixes = 0;       // fixes delivered
  int64_t Skipped = 0;     // damaged lines passed over (checksum, truncation, bad fields)
  int64_t Ignored = 0;     // well-formed lines without a position (other sentences, no fix)
  int64_t Reconnects = 0;  // times the source came back after being lost
};

struct TPositionSourceOptions {
  // Time between attempts to reach a source that failed or went away.
  std::chrono::milliseconds RetryInterval{1000};
  // A source that delivers no fix for this long is reported Lost (0: never
  // on silence alone).
  std::chrono::milliseconds SilenceTimeout{5000};
  // How long a connection attempt may take.
  std::chrono::milliseconds ConnectTimeout{3000};
};

class TPositionSource {
 public:
  virtual ~TPositionSource();
  TPositionSource(const TPositionSource&) = delete;
  TPositionSource& operator=(const TPositionSource&) = delete;

  // What it reads from, for messages ("gpsd localhost:2947", "/dev/ttyUSB0").
  const std::string& Name() const { return name_; }

  // Starts the thread (once; later calls do nothing) and reports
  // Connecting. Main thread.
  void Start();
  // Stops the thread and waits for it; queued events are dropped; fires
  // OnState(Stopped). Main thread.
  void Stop();
  bool Running() const { return thread_.joinable(); }
  TSourceState State() const { return state_; }
  TPositionCounters Counters() const;

  // Fired on the main thread (see above).
  std::function<void(const TPositionFix& Fix)> OnFix;
  std::function<void(const TSkyView& Sky)> OnSky;
  std::function<void(TSourceState State, const std::string& Why)> OnState;

 protected:
  TPositionSource(std::string Name, TPositionSourceOptions Options);

  // The thread's body: runs until Stopping(). Implementations read their
  // channel and call the Emit* members; they return to be called again
  // after RetryInterval (the connection was lost: EmitLost first).
  virtual void Session() = 0;

  bool Stopping() const { return stop_.load(std::memory_order_relaxed); }
  // Stops the thread without reporting it; every derived destructor calls
  // it first, so that Session never runs on a half-destroyed source.
  void Halt();
  // Waits up to Time, or less when the source is being stopped.
  void Pause(std::chrono::milliseconds Time);
  const TPositionSourceOptions& Options() const { return options_; }

  // From the thread: queue an event for the main thread.
  void EmitFix(TPositionFix Fix);
  void EmitSky(TSkyView Sky);
  void EmitLost(const std::string& Why);
  // Counting, from the thread.
  void CountLine(bool Damaged, bool Ignored);
  // Checks the silence timeout (call at least every few hundred ms while
  // connected): reports Lost once when no fix came for SilenceTimeout.
  void CheckSilence();

 private:
  struct TShared;
  void Run();
  void NoteAttempt();
  void Queue(std::function<void(TPositionSource&)> Event);
  void SetState(TSourceState State, const std::string& Why);

  std::string name_;
  TPositionSourceOptions options_;
  std::shared_ptr<TShared> shared_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  mutable std::mutex countersLock_;
  TPositionCounters counters_;
  std::mutex wait_;
  std::condition_variable_any wake_;
  TSourceState state_ = TSourceState::Stopped;  // main thread's view
  // The thread's view.
  bool everReceived_ = false;
  bool lostReported_ = false;
  bool receiving_ = false;
  std::chrono::steady_clock::time_point silenceFrom_;  // the last fix, or the attempt's start
};

// A client of the gpsd daemon (its JSON protocol over TCP): sends
// ?WATCH={"enable":true,"json":true} and reads TPV reports as fixes and SKY
// reports as the sky; reconnects when the daemon goes away. Host is a name
// or address, Port gpsd's (2947 by default).
std::unique_ptr<TPositionSource> OpenGpsdSource(const std::string& Host, int Port = 2947,
                                                const TPositionSourceOptions& Options = {});

// An NMEA 0183 reader. Source is
//   tcp://HOST:PORT          a TCP stream of sentences
//   a character device       a serial port (/dev/ttyUSB0), optionally
//   followed by @BAUD        (4800 by default: the standard's rate)
//   any other path           a log file, replayed at the pace of its
//                            sentences' times (or at once, ReplaySpeed 0)
// Damaged sentences are skipped and counted (TPositionCounters::Skipped).
struct TNmeaSourceOptions : TPositionSourceOptions {
  // Files only: 1 replays at the recorded pace, 2 twice as fast, 0 at once.
  double ReplaySpeed = 1;
};
std::unique_ptr<TPositionSource> OpenNmeaSource(const std::string& Source,
                                                const TNmeaSourceOptions& Options = {});

// "HOST[:PORT]" as the --gpsd option takes it (an IPv6 address in
// brackets); false for a malformed text or a port outside 1..65535.
bool ParseHostPort(const std::string& Text, int DefaultPort, std::string& Host, int& Port);

}  // namespace marovia
