// Trimming, ASCII case mapping and case-insensitive comparison.
#include <algorithm>

#include "marovia/platform/strutils.h"

namespace marovia {
namespace {

// Blanks and control characters are trimmed alike.
bool IsTrimmed(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

unsigned char Upper(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 32) : u;
}

unsigned char Lower(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + 32) : u;
}

}  // namespace

std::string Trim(std::string_view S) {
  return TrimRight(TrimLeft(S));
}

std::string TrimLeft(std::string_view S) {
  const auto it = std::find_if_not(S.begin(), S.end(), IsTrimmed);
  return std::string(it, S.end());
}

std::string TrimRight(std::string_view S) {
  size_t n = S.size();
  while (n > 0 && IsTrimmed(S[n - 1])) --n;
  return std::string(S.substr(0, n));
}

std::string UpperCase(std::string_view S) {
  std::string r(S);
  for (char& c : r) c = static_cast<char>(Upper(c));
  return r;
}

std::string LowerCase(std::string_view S) {
  std::string r(S);
  for (char& c : r) c = static_cast<char>(Lower(c));
  return r;
}

bool SameText(std::string_view A, std::string_view B) {
  return CompareText(A, B) == 0;
}

int CompareText(std::string_view A, std::string_view B) {
  const size_t n = std::min(A.size(), B.size());
  for (size_t i = 0; i < n; ++i) {
    const int d = static_cast<int>(Upper(A[i])) - static_cast<int>(Upper(B[i]));
    if (d != 0) return d;
  }
  if (A.size() == B.size()) return 0;
  return A.size() < B.size() ? -1 : 1;
}

}  // namespace marovia
