// A small JSON reader and the string escaping of the JSON writer, enough for
// GeoJSON (RFC 8259 text, UTF-8).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace geodbtool {

// A JSON syntax error; the message names the line and column.
class JsonError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct JsonValue {
  enum class Kind { Null, Bool, Number, String, Array, Object };
  // Declared, not defaulted: clang's standard-library checks would otherwise
  // need the complete type inside the member vector of pairs below.
  JsonValue() noexcept {}
  Kind kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::string string;
  std::vector<JsonValue> array;
  // Members in order of appearance (repeated names kept; Find answers the
  // last).
  std::vector<std::pair<std::string, JsonValue>> object;

  bool IsNull() const { return kind == Kind::Null; }
  bool IsNumber() const { return kind == Kind::Number; }
  bool IsString() const { return kind == Kind::String; }
  bool IsArray() const { return kind == Kind::Array; }
  bool IsObject() const { return kind == Kind::Object; }
  // Member of an object, or nullptr (also for other kinds).
  const JsonValue* Find(std::string_view name) const;
};

// Parses a whole JSON text. Nesting deeper than 512 levels, invalid UTF-8
// escapes, trailing text and every other syntax error raise JsonError.
JsonValue ParseJson(std::string_view text);

// The text as a JSON string literal, quotes included.
std::string JsonQuote(std::string_view utf8);

// Shortest text that reads back as the same float (for coordinates stored
// as singles) / double.
std::string JsonNumber(float v);
std::string JsonNumber(double v);

}  // namespace geodbtool
