// The latest values a thread keeps by their text (a CRS, a pair of CRSs):
// at most N, the one used longest ago giving way to a new one. Internal to
// the map control.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>

namespace marovia {

template <typename Value, std::size_t N>
class TRecentByText {
 public:
  // The value kept for the text, now the latest used; null when none is.
  Value* Find(const std::string& text) {
    const auto it = kept_.find(text);
    if (it == kept_.end()) return nullptr;
    it->second.lastUse = ++clock_;
    return &it->second.value;
  }
  void Keep(const std::string& text, Value value) {
    if (kept_.size() >= N && kept_.count(text) == 0)
      kept_.erase(std::min_element(kept_.begin(), kept_.end(), [](auto& a, auto& b) {
        return a.second.lastUse < b.second.lastUse;
      }));
    kept_[text] = Entry{std::move(value), ++clock_};
  }
  // Before the context the values were made in goes.
  void Clear() { kept_.clear(); }

 private:
  struct Entry {
    Value value;
    uint64_t lastUse = 0;
  };
  std::unordered_map<std::string, Entry> kept_;
  uint64_t clock_ = 0;
};

}  // namespace marovia
