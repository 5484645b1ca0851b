// TTimer: registered with the application while it runs; the message loop
// fires it (TApplication::FireDueTimers).
#include <algorithm>

#include "marovia/platform/extctrls.h"
#include "marovia/platform/forms.h"

namespace marovia {

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {
  Restart();
}

TTimer::~TTimer() {
  Application().RemoveTimer(this);
}

void TTimer::SetEnabled(bool Value) {
  enabled_ = Value;
  Restart();
}

void TTimer::SetInterval(int Value) {
  interval_ = std::max(Value, 0);
  Restart();
}

void TTimer::Restart() {
  if (enabled_ && interval_ > 0) {
    due_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(interval_);
    Application().AddTimer(this);
  } else {
    due_ = std::chrono::steady_clock::time_point::max();
    Application().RemoveTimer(this);
  }
}

}  // namespace marovia
