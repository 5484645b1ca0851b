// Elements of the small XML documents other software writes about a map
// (KML ground overlays, GDAL virtual rasters), found without a general XML
// parser: by local name (any namespace prefix), in document order,
// comments skipped. Enough for documents whose elements of interest do not
// nest in themselves; anything else is the caller's to refuse. Internal to
// the map control.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace marovia::interop {

struct TXmlElement {
  std::string_view Tag;      // the start tag's text after the name, up to '>'
  std::string_view Content;  // between the start and end tags ("" for <a/>)
  size_t End = 0;            // position just after the element
};

// The first element named Name (its local name, any prefix) at or after
// From in Text; nothing when there is none or it is not closed.
std::optional<TXmlElement> FindElement(std::string_view Text, std::string_view Name,
                                       size_t From = 0);

// The content of the first element Name in Text with XML references
// decoded and CDATA sections unwrapped, blanks trimmed; nothing without one.
std::optional<std::string> ElementText(std::string_view Text, std::string_view Name);

// An attribute of a start tag's text, references decoded; nothing when the
// tag has none.
std::optional<std::string> TagAttribute(std::string_view Tag, std::string_view Name);

// The text with its comments (<!-- ... -->) removed.
std::string WithoutComments(std::string_view Text);

}  // namespace marovia::interop
