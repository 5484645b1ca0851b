// A JSON (RFC 8259) scanner for the GeoJSON reader: values are found as
// spans of the text and read when their meaning is known, so that members
// may come in any order ("coordinates" before "type") without building a
// tree of the document.
//
// Validate checks the whole text once; the other calls walk spans inside
// it. Nesting is followed with a vector, never the call stack. Cost: a
// value is scanned once for each object or array around it that is walked,
// a few times in a GeoJSON file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace marovia::tracks {

class TJsonScanner {
 public:
  // A value: Begin is its first byte, End one past its last; Kind is its
  // first byte ('{', '[', '"', 't', 'f', 'n'), or '0' for any number.
  struct TSpan {
    std::size_t Begin = 0, End = 0;
    char Kind = 0;
  };

  // Text must stay alive while the scanner is used.
  TJsonScanner(std::string_view Text, const std::string& FileName);

  // Checks that the text is one JSON value with nothing but white space
  // around it, and answers it. Raises ETrackFileError at the first fault.
  TSpan Validate();

  // The members of an object and the elements of an array, in order.
  void Members(TSpan Object, const std::function<void(const std::string& Key, TSpan Value)>& Visit);
  void Elements(TSpan Array, const std::function<void(TSpan Value)>& Visit);
  // The value of a member of an object; Kind 0 when it has none.
  TSpan Member(TSpan Object, std::string_view Key);

  std::string String(TSpan Value) const;           // decoded; Value must be a string
  bool Number(TSpan Value, double& Result) const;  // false for non-numbers
  std::string_view Raw(TSpan Value) const {
    return text_.substr(Value.Begin, Value.End - Value.Begin);
  }

  [[noreturn]] void Fail(std::size_t Offset, const std::string& Why) const;
  int64_t LineOf(std::size_t Offset) const;  // 1-based, for notes

 private:
  std::size_t SkipSpace(std::size_t i) const;
  std::size_t SkipValue(std::size_t i);  // i at the value's first byte; answers its end
  std::size_t SkipString(std::size_t i) const;
  std::size_t SkipNumber(std::size_t i) const;
  std::size_t Key(std::size_t i);  // a member's name and ':'; answers the value's start

  std::string_view text_;
  const std::string& fileName_;
  std::vector<char> stack_;
};

}  // namespace marovia::tracks
