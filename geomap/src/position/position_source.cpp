// The thread of a position source and the delivery of its events to the
// main thread.
//
// Every event is a closure queued with QueueOnMainThread. It holds the
// shared token of the run that made it; Stop() and the destructor (main
// thread, like the closures) clear the token's owner, so an event left in
// the queue finds no source and does nothing.
#include <cstdio>
#include <utility>

#include "marovia/geomap/position.h"
#include "marovia/platform/main_thread.h"

namespace marovia {

struct TPositionSource::TShared {
  TPositionSource* Owner = nullptr;  // main thread only
};

const char* SourceStateName(TSourceState State) {
  switch (State) {
    case TSourceState::Connecting:
      return "connecting";
    case TSourceState::Receiving:
      return "receiving";
    case TSourceState::Lost:
      return "lost";
    case TSourceState::Stopped:
      return "stopped";
  }
  return "?";
}

TPositionSource::TPositionSource(std::string Name, TPositionSourceOptions Options)
    : name_(std::move(Name)), options_(Options) {}

TPositionSource::~TPositionSource() {
  // Each derived destructor halts the thread before its own members go;
  // this is for a source that was never started.
  Halt();
}

void TPositionSource::Start() {
  if (thread_.joinable()) return;
  stop_ = false;
  {
    std::lock_guard lock(countersLock_);
    counters_ = {};
  }
  everReceived_ = lostReported_ = receiving_ = false;
  shared_ = std::make_shared<TShared>();
  shared_->Owner = this;
  SetState(TSourceState::Connecting, "");
  thread_ = std::thread([this] { Run(); });
}

void TPositionSource::Stop() {
  if (!thread_.joinable()) return;
  Halt();
  SetState(TSourceState::Stopped, "");
}

void TPositionSource::Halt() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(wait_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
  if (shared_) shared_->Owner = nullptr;
  shared_.reset();
}

TPositionCounters TPositionSource::Counters() const {
  std::lock_guard lock(countersLock_);
  return counters_;
}

void TPositionSource::Run() {
  while (!Stopping()) {
    NoteAttempt();
    Session();
    if (Stopping()) break;
    Pause(options_.RetryInterval);
  }
}

void TPositionSource::Pause(std::chrono::milliseconds Time) {
  std::unique_lock lock(wait_);
  wake_.wait_for(lock, Time, [this] { return Stopping(); });
}

void TPositionSource::Queue(std::function<void(TPositionSource&)> Event) {
  QueueOnMainThread([shared = shared_, event = std::move(Event)] {
    if (shared->Owner) event(*shared->Owner);
  });
}

void TPositionSource::SetState(TSourceState State, const std::string& Why) {
  state_ = State;
  if (OnState) OnState(State, Why);
}

void TPositionSource::EmitFix(TPositionFix Fix) {
  {
    std::lock_guard lock(countersLock_);
    ++counters_.Fixes;
    if (!receiving_ && lostReported_) ++counters_.Reconnects;
  }
  silenceFrom_ = Fix.Received;
  if (!receiving_) {
    receiving_ = true;
    everReceived_ = true;
    lostReported_ = false;
    Queue([](TPositionSource& s) { s.SetState(TSourceState::Receiving, ""); });
  }
  Queue([Fix](TPositionSource& s) {
    if (s.OnFix) s.OnFix(Fix);
  });
}

void TPositionSource::EmitSky(TSkyView Sky) {
  Queue([Sky = std::move(Sky)](TPositionSource& s) {
    if (s.OnSky) s.OnSky(Sky);
  });
}

void TPositionSource::NoteAttempt() {
  // Start reported the first attempt; later ones are retries after a loss,
  // which stays the state until a fix comes.
  silenceFrom_ = std::chrono::steady_clock::now();
}

void TPositionSource::EmitLost(const std::string& Why) {
  receiving_ = false;
  if (lostReported_) return;
  lostReported_ = true;
  Queue([Why](TPositionSource& s) { s.SetState(TSourceState::Lost, Why); });
}

void TPositionSource::CountLine(bool Damaged, bool Ignored) {
  std::lock_guard lock(countersLock_);
  ++counters_.Lines;
  if (Damaged) ++counters_.Skipped;
  if (Ignored) ++counters_.Ignored;
}

void TPositionSource::CheckSilence() {
  if (lostReported_ || options_.SilenceTimeout.count() <= 0) return;
  const auto quiet = std::chrono::steady_clock::now() - silenceFrom_;
  if (quiet >= options_.SilenceTimeout) {
    char text[64];
    std::snprintf(text, sizeof text, "no fix for %.1f s",
                  static_cast<double>(options_.SilenceTimeout.count()) / 1000.0);
    EmitLost(text);
  }
}

}  // namespace marovia
