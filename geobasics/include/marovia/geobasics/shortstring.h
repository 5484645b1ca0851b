// Fixed-capacity 8-bit string, the text field of the constant geodesy tables.
//
// Layout: one length byte followed by N bytes of Windows-1252 text (bytes past
// the length are zero). The record fields that use it keep the same capacity
// whether a table is compiled in or read from elsewhere, and the type is a
// literal type, so whole tables can be constant-initialised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "marovia/platform/strutils.h"

namespace marovia {

template <std::size_t N>
struct TShortString {
  static_assert(N >= 1 && N <= 255, "a short string holds 1 to 255 bytes");

  uint8_t Len = 0;
  char Data[N] = {};

  constexpr TShortString() = default;

  // Builds from Windows-1252 bytes; a text longer than N bytes is cut at N
  // (the tables are generated so that this never happens for them).
  constexpr TShortString(const char* s) {  // NOLINT: implicit on purpose
    std::size_t n = 0;
    while (s[n] != '\0' && n < N) {
      Data[n] = s[n];
      ++n;
    }
    Len = static_cast<uint8_t>(n);
  }

  static constexpr std::size_t Capacity() { return N; }
  constexpr std::size_t Length() const { return Len; }
  constexpr bool Empty() const { return Len == 0; }

  // The stored Windows-1252 bytes.
  constexpr std::string_view View() const { return std::string_view(Data, Len); }
  std::string Bytes() const { return std::string(Data, Len); }
  // The text converted to UTF-8, for hosts.
  std::string Utf8() const;

  friend constexpr bool operator==(const TShortString& a, std::string_view b) {
    return a.View() == b;
  }
};

template <std::size_t N>
std::string TShortString<N>::Utf8() const {
  return Cp1252ToUtf8(View());
}

}  // namespace marovia
