// StringIx: position of a text in a list of texts.
#include <algorithm>

#include "marovia/zylbase/stringl.h"

namespace marovia {

namespace {

template <typename List>
int Find(std::string_view S, const List& list, int High) {
  const int64_t last = std::min<int64_t>(High, static_cast<int64_t>(list.size()) - 1);
  for (int64_t i = 0; i <= last; ++i)
    if (std::string_view(list[i]) == S) return static_cast<int>(i) + 1;
  return 0;
}

}  // namespace

int StringIx(std::string_view S, std::span<const std::string> List, int High) {
  return Find(S, List, High);
}

int StringIx(std::string_view S, std::span<const char* const> List, int High) {
  // A null entry never matches.
  const int64_t last = std::min<int64_t>(High, static_cast<int64_t>(List.size()) - 1);
  for (int64_t i = 0; i <= last; ++i)
    if (List[i] != nullptr && std::string_view(List[i]) == S) return static_cast<int>(i) + 1;
  return 0;
}

}  // namespace marovia
