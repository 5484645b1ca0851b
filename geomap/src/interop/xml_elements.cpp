// Elements of small XML documents by local name (see xml_elements.h).
#include "interop/xml_elements.h"

#include "marovia/geomap/xmltext.h"
#include "marovia/platform/strutils.h"

namespace marovia::interop {

namespace {

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '.' || c == ':';
}

// Whether the tag name at Text[at..] (after '<' or "</") has the local name
// Name; Length receives the whole name's length.
bool NameMatches(std::string_view Text, size_t at, std::string_view Name, size_t& Length) {
  size_t end = at;
  while (end < Text.size() && IsNameChar(Text[end])) ++end;
  Length = end - at;
  std::string_view full = Text.substr(at, Length);
  const size_t colon = full.rfind(':');
  if (colon != std::string_view::npos) full.remove_prefix(colon + 1);
  return full == Name;
}

}  // namespace

std::optional<TXmlElement> FindElement(std::string_view Text, std::string_view Name, size_t From) {
  for (size_t at = Text.find('<', From); at != std::string_view::npos;
       at = Text.find('<', at + 1)) {
    size_t length = 0;
    if (!NameMatches(Text, at + 1, Name, length) || length == 0) continue;
    const std::string_view full = Text.substr(at + 1, length);
    const size_t close = Text.find('>', at + 1 + length);
    if (close == std::string_view::npos) return std::nullopt;
    TXmlElement e;
    e.Tag = Text.substr(at + 1 + length, close - at - 1 - length);
    if (!e.Tag.empty() && e.Tag.back() == '/') {
      e.Tag.remove_suffix(1);
      e.End = close + 1;
      return e;
    }
    const std::string endTag = "</" + std::string(full);
    const size_t end = Text.find(endTag, close + 1);
    if (end == std::string_view::npos) return std::nullopt;
    e.Content = Text.substr(close + 1, end - close - 1);
    const size_t endClose = Text.find('>', end);
    e.End = endClose == std::string_view::npos ? Text.size() : endClose + 1;
    return e;
  }
  return std::nullopt;
}

std::optional<std::string> ElementText(std::string_view Text, std::string_view Name) {
  const auto e = FindElement(Text, Name);
  if (!e) return std::nullopt;
  std::string_view c = e->Content;
  std::string out;
  // CDATA sections stand as they are; the rest has its references decoded.
  for (;;) {
    const size_t open = c.find("<![CDATA[");
    if (open == std::string_view::npos) break;
    const size_t close = c.find("]]>", open);
    if (close == std::string_view::npos) break;
    out += DecodeXMLReferences(c.substr(0, open));
    out += c.substr(open + 9, close - open - 9);
    c.remove_prefix(close + 3);
  }
  out += DecodeXMLReferences(c);
  return Trim(out);
}

std::optional<std::string> TagAttribute(std::string_view Tag, std::string_view Name) {
  for (size_t at = 0; at < Tag.size();) {
    while (at < Tag.size() && !IsNameChar(Tag[at])) ++at;
    size_t end = at;
    while (end < Tag.size() && IsNameChar(Tag[end])) ++end;
    const std::string_view name = Tag.substr(at, end - at);
    size_t p = end;
    while (p < Tag.size() && (Tag[p] == ' ' || Tag[p] == '\t' || Tag[p] == '\r' || Tag[p] == '\n'))
      ++p;
    if (p >= Tag.size() || Tag[p] != '=') {
      at = end + (end == at ? 1 : 0);
      continue;
    }
    ++p;
    while (p < Tag.size() && (Tag[p] == ' ' || Tag[p] == '\t' || Tag[p] == '\r' || Tag[p] == '\n'))
      ++p;
    if (p >= Tag.size() || (Tag[p] != '"' && Tag[p] != '\'')) return std::nullopt;
    const char quote = Tag[p];
    const size_t close = Tag.find(quote, p + 1);
    if (close == std::string_view::npos) return std::nullopt;
    if (SameText(name, Name)) return DecodeXMLReferences(Tag.substr(p + 1, close - p - 1));
    at = close + 1;
  }
  return std::nullopt;
}

std::string WithoutComments(std::string_view Text) {
  std::string out;
  for (;;) {
    const size_t open = Text.find("<!--");
    if (open == std::string_view::npos) break;
    out += Text.substr(0, open);
    const size_t close = Text.find("-->", open + 4);
    if (close == std::string_view::npos) return out;
    Text.remove_prefix(close + 3);
  }
  out += Text;
  return out;
}

}  // namespace marovia::interop
