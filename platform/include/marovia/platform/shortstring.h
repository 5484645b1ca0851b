// Fixed-capacity 8-bit string: the text field of the constant geodesy tables
// and of the database records.
//
// Layout: one length byte followed by N bytes of Windows-1252 text, nothing
// else, so a record that embeds it has the same bytes in memory and on disk.
// Bytes past the length carry no meaning. The length byte may come from a
// damaged file: readers never trust it beyond the field and clamp it to N.
// The type is trivial and a literal type, so records holding it are plain
// bytes and whole tables can be constant-initialised.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "marovia/platform/strutils.h"

namespace marovia {

template <std::size_t N>
struct TShortString {
  static_assert(N >= 1 && N <= 255, "a short string holds 1 to 255 bytes");

  uint8_t Len;
  char Data[N];

  // Trivial, like the records that embed it: those are filled from files and
  // cleared as raw bytes. Value-initialise (`{}`) for an empty string.
  TShortString() = default;

  // Builds from Windows-1252 bytes, the rest of the field zero; a text longer
  // than N bytes is cut at N (the tables are generated so that this never
  // happens for them).
  constexpr TShortString(const char* s) : Len(0), Data{} {  // NOLINT: implicit on purpose
    std::size_t n = 0;
    while (s[n] != '\0' && n < N) {
      Data[n] = s[n];
      ++n;
    }
    Len = static_cast<uint8_t>(n);
  }

  static constexpr std::size_t Capacity() { return N; }
  constexpr std::size_t Length() const { return std::min<std::size_t>(Len, N); }
  constexpr bool Empty() const { return Len == 0; }

  // The stored Windows-1252 bytes, length clamped to the field.
  constexpr std::string_view View() const { return std::string_view(Data, Length()); }
  // The text converted to UTF-8, for hosts.
  std::string Text() const { return Cp1252ToUtf8(View()); }

  // Stores Windows-1252 bytes as they are, cut to MaxChars (clamped to N);
  // the bytes of the field beyond them are set to Fill.
  void SetBytes(std::string_view Cp1252, int MaxChars = static_cast<int>(N), char Fill = '\0') {
    const std::size_t limit =
        static_cast<std::size_t>(std::clamp(MaxChars, 0, static_cast<int>(N)));
    const std::size_t n = std::min(Cp1252.size(), limit);
    if (n > 0) std::memcpy(Data, Cp1252.data(), n);
    std::memset(Data + n, Fill, N - n);
    Len = static_cast<uint8_t>(n);
  }
  // Stores the first MaxChars characters of a UTF-8 text. Windows-1252 has
  // one byte per character, so cutting the converted bytes cuts characters.
  void SetText(std::string_view Utf8, int MaxChars = static_cast<int>(N), char Fill = '\0') {
    SetBytes(Utf8ToCp1252(Utf8), MaxChars, Fill);
  }

  friend constexpr bool operator==(const TShortString& a, std::string_view b) {
    return a.View() == b;
  }
};

}  // namespace marovia
