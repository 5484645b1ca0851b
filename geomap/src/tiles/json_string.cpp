// The JSON string literal of a text, for tile set metadata and pages.
#include <cstdio>

#include "marovia/geomap/tile_store.h"

namespace marovia {

std::string JsonString(std::string_view Text) {
  std::string out = "\"";
  out.reserve(Text.size() + 2);
  for (const char c : Text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '<' || static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace marovia
