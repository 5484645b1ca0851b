// The text routines of the map control's XML files: numbers, integers,
// attributes, lines from a stream, character references, substring search
// and trimming.
//
// Input: an option byte (bit 0 case folding for PosOfNth, bits 1..3 the
// separator mode of ScanNumber and the line end mode of ReadLineFromStream,
// one more than the highest of each so that an unknown mode is tried too), a
// start position (a signed byte, so that positions below 1 are tried), a
// pattern length, then the text.
//
// Invariants checked: every position answered lies in 1..size + 1 and never
// before the start; numbers are finite and within +-uc_MaxDouble, and the
// forms the writers use (general, fixed with 5 decimals, shortest) read back
// as the value; the attribute walk advances and AttributeValue agrees with
// it; lines read from a stream give back the stream's bytes, line ends
// aside; escaping then decoding gives the text back; PosOfNth answers
// occurrences in order; TrimBlanks leaves no blank at either end.
#include <charconv>
#include <cmath>

#include "fuzz_support.h"
#include "marovia/geomap/xmltext.h"
#include "marovia/platform/streams.h"
#include "marovia/platform/strutils.h"
#include "marovia/zylbase/zylbase.h"

using namespace marovia;

namespace {

// Pos lies in 1..size + 1 and not before Start (a Start beyond the text
// counts as one past its end).
bool PositionWithin(int Pos, int Start, std::string_view Text) {
  const int64_t end = static_cast<int64_t>(Text.size()) + 1;
  return Pos >= std::min<int64_t>(std::max(Start, 1), end) && Pos <= end;
}

// |a - b| within Abs plus the relative error of 15 significant digits.
bool Near(double a, double b, double Abs) {
  return std::fabs(a - b) <= Abs + 1e-14 * std::max(std::fabs(a), std::fabs(b));
}

double ScanWhole(std::string_view Text, bool Exponent, int Mode, bool& Whole) {
  int pos = 1;
  const double v = ScanNumber(Text, Exponent, Mode, pos);
  Whole = static_cast<size_t>(pos) == Text.size() + 1;
  return v;
}

// The number forms the file writers produce read back as the value.
void CheckWrittenForms(double v) {
  bool whole = false;
  const double general = ScanWhole(FloatToStr(v), true, 3, whole);
  fuzz::Check(whole && Near(general, v, 0), "general form does not read back");

  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  const double shortest = ScanWhole(std::string_view(buf, r.ptr - buf), true, 1, whole);
  fuzz::Check(whole && shortest == v, "shortest form does not read back exactly");

  const double fixed = ScanWhole(StrFixed(v, 1, 5), false, 1, whole);
  fuzz::Check(whole && Near(fixed, v, 0.5e-5), "fixed form does not read back");
}

void CheckNumbers(std::string_view text, int start, int mode) {
  for (const bool exponent : {false, true}) {
    int pos = start;
    const double v = ScanNumber(text, exponent, mode, pos);
    fuzz::Check(std::isfinite(v) && std::fabs(v) <= uc_MaxDouble, "number out of range");
    fuzz::Check(PositionWithin(pos, start, text), "number position outside the text");
    if (v == 0) continue;  // also what an error gives: nothing more to compare
    // The characters the scan took read alone as the same number.
    const size_t from = std::min(static_cast<size_t>(std::max(start, 1)) - 1, text.size());
    int again = 1;
    const std::string_view taken = text.substr(from, static_cast<size_t>(pos) - 1 - from);
    fuzz::Check(ScanNumber(taken, exponent, mode, again) == v, "number depends on what follows");
    if (exponent) CheckWrittenForms(v);
  }
  int pos = start;
  const int32_t n = ScanInteger(text, pos);
  fuzz::Check(PositionWithin(pos, start, text), "integer position outside the text");
  const std::string written = IntToStr(n);
  int back = 1;
  fuzz::Check(ScanInteger(written, back) == n && static_cast<size_t>(back) == written.size() + 1,
              "integer does not read back");
}

void CheckAttributes(std::string_view text, int start) {
  std::string name, value;
  int pos = start;
  for (size_t count = 0;; ++count) {
    const int before = pos;
    const int code = NextAttribute(text, pos, name, value);
    fuzz::Check(code >= 0 && code <= 4, "attribute code outside 0..4");
    if (code == 4) break;
    // At least one character is examined.
    fuzz::Check(pos > std::max(before, 1) && static_cast<size_t>(pos) <= text.size() + 1,
                "attribute walk does not advance");
    fuzz::Check(count <= text.size(), "more attributes than characters");
    if (code != 0) break;
    fuzz::Check(TrimBlanks(name) == name, "attribute name not trimmed");
  }
  // From the start of the text AttributeValue finds the first attribute of
  // each name the walk passes before it stops.
  std::vector<std::pair<std::string, std::string>> seen;
  pos = 1;
  while (NextAttribute(text, pos, name, value) == 0) seen.emplace_back(name, value);
  // A few names are enough: the lookup of each walks the whole text.
  if (seen.size() > 8) seen.resize(8);
  for (const auto& [n, v] : seen) {
    std::string first;
    for (const auto& [n2, v2] : seen)
      if (SameText(n2, n)) {
        first = v2;
        break;
      }
    fuzz::Check(AttributeValue(text, n) == first, "AttributeValue misses an attribute");
    fuzz::Check(AttributeText(text, n) == DecodeXMLReferences(first),
                "AttributeText is not the decoded value");
  }
  RootLineIdentifier(text);
}

void CheckLines(std::string_view text, int mode) {
  TMemoryStream stream;
  stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
  stream.SetPosition(0);
  size_t at = 0;
  for (size_t lines = 0;; ++lines) {
    fuzz::Check(lines <= text.size() + 1, "more lines than bytes");
    bool end = false;
    const std::string line = Utf8ToCp1252(ReadLineFromStream(stream, end, mode));
    const auto next = static_cast<size_t>(stream.Position());
    fuzz::Check(next >= at && next <= text.size(), "stream moved backwards");
    const std::string_view read = text.substr(at, next - at);
    // The line is what was read, less at most two line-end characters.
    fuzz::Check(read.substr(0, line.size()) == line && read.size() - line.size() <= 2 &&
                    read.substr(line.size()).find_first_not_of("\r\n") == std::string::npos,
                "line differs from the bytes read");
    if (end) {
      fuzz::Check(next == text.size() && read.size() == line.size(), "end reported early");
      break;
    }
    fuzz::Check(next > at, "line read without consuming");
    at = next;
  }
}

void CheckReferences(std::string_view text) {
  for (const std::string& t : {std::string(text), Cp1252ToUtf8(text)}) {
    const std::string escaped = EscapeXMLValue(t);
    fuzz::Check(escaped.find_first_of("\"<>\r\n\t") == std::string::npos,
                "escaped value holds a quote, a tag delimiter or a line end");
    fuzz::Check(DecodeXMLReferences(escaped) == t, "escaping and decoding changes the text");
  }
  // A reference is never shorter than the character it stands for.
  fuzz::Check(DecodeXMLReferences(text).size() <= text.size(), "decoding grows the text");
}

void CheckSearch(std::string_view text, std::string_view pattern, int start, bool ignoreCase) {
  const std::string t = ignoreCase ? LowerCase(text) : std::string(text);
  const std::string p = ignoreCase ? LowerCase(pattern) : std::string(pattern);
  int previous = 0;
  for (int n = 1; n <= 4; ++n) {
    const int at = PosOfNth(pattern, text, start, n, ignoreCase);
    if (at == 0) break;
    fuzz::Check(at >= std::max(start, 1) && static_cast<size_t>(at) + p.size() <= t.size() + 1,
                "occurrence outside the text");
    fuzz::Check(t.compare(static_cast<size_t>(at) - 1, p.size(), p) == 0,
                "occurrence does not match");
    fuzz::Check(previous == 0 || static_cast<size_t>(at) >= previous + p.size(),
                "occurrences overlap or go backwards");
    if (n == 1) {
      const size_t from = static_cast<size_t>(std::max(start, 1)) - 1;
      fuzz::Check(t.find(p, from) + 1 == static_cast<size_t>(at), "first occurrence missed");
    }
    previous = at;
  }
  fuzz::Check(PosOfNth(pattern, text, start, 0, ignoreCase) == 0, "0th occurrence found");
}

void CheckTrim(std::string_view text) {
  const std::string t = TrimBlanks(text);
  fuzz::Check(t.empty() || (t.front() != ' ' && t.back() != ' '), "blank left at an end");
  fuzz::Check(text.find(t) != std::string_view::npos, "trimmed text is not part of the text");
  fuzz::Check(TrimBlanks(t) == t, "trimming twice changes the text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 3) return 0;
  const uint8_t options = Data[0];
  const int start = static_cast<int8_t>(Data[1]);
  const std::string_view text = fuzz::AsText(Data + 3, Size - 3);
  const std::string_view pattern = text.substr(0, Data[2] % 8);

  const int mode = (options >> 1) % 6;
  CheckNumbers(text, start, mode % 5);
  CheckAttributes(text, start);
  CheckLines(text, mode);
  CheckReferences(text);
  CheckSearch(text.substr(pattern.size()), pattern, start, (options & 1) != 0);
  CheckTrim(text);
  return 0;
}
