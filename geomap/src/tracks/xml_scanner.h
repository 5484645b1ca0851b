// A small pull scanner of XML documents for the track readers (GPX, KML,
// TCX): element starts and ends with their attributes and the character
// data inside, over the bytes of one document in memory.
//
// What it checks: tags well formed, every end tag closing the element it
// should, one root element with nothing but comments and processing
// instructions after it, references that XML predefines (&lt; &gt; &amp;
// &quot; &apos; and character references) and nothing else. What it does
// not: DTDs (a DOCTYPE is skipped, its entities are not defined), namespace
// URIs (names are matched by their local part; prefixes are handed out as
// written), validity against any schema. Nesting is kept in a vector, never
// on the call stack, so no input can exhaust the stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace marovia::tracks {

// The document's bytes as UTF-8: a UTF-8 BOM dropped, UTF-16 with a BOM
// converted, an encoding declared as ISO-8859-1, Latin-1, Windows-1252 or
// US-ASCII converted; UTF-8 that is not valid is taken as Windows-1252.
// Storage receives converted text (the answer points into it, or into
// Bytes when no conversion was needed). Raises ETrackFileError for any
// other declared encoding.
std::string_view XmlAsUtf8(std::string_view Bytes, const std::string& FileName,
                           std::string& Storage);

class TXmlScanner {
 public:
  enum class TToken { Start, End, Eof };

  // Text must stay alive while the scanner is used.
  TXmlScanner(std::string_view Text, const std::string& FileName);

  // The next element start or end; an empty element gives both. Raises
  // ETrackFileError for a document that is not well formed.
  TToken Next();

  // The current element: qualified name, its parts, and the byte offset of
  // its tag's '<'.
  std::string_view Name() const { return name_; }
  std::string_view LocalName() const;
  std::string_view Prefix() const;
  std::size_t Offset() const { return tagOffset_; }
  // Elements open around the current token (the root's Start is depth 1).
  std::size_t Depth() const { return stack_.size() + (token_ == TToken::End ? 1 : 0); }

  // At a Start: the attribute of that local name, decoded; false when the
  // element has none. Raw gives every attribute's qualified name and raw
  // (undecoded) value.
  bool Attribute(std::string_view LocalName, std::string& Value) const;
  struct TRawAttribute {
    std::string_view Name, Value;
  };
  const std::vector<TRawAttribute>& RawAttributes() const { return attributes_; }
  std::string Decoded(std::string_view Raw) const;

  // At an End: the character data since the previous tag, decoded (for a
  // leaf element: its whole text).
  const std::string& Text() const { return text_; }

  // At a Start: reads past the element's end (its End is not given).
  void SkipElement();
  // At a Start: reads to the element's End and answers its text (child
  // elements are skipped; their text is not part of it). Valid until the
  // next call.
  const std::string& ReadText();

  // Raises ETrackFileError naming the current tag's line and column.
  [[noreturn]] void Fail(const std::string& Why) const;
  [[noreturn]] void FailAt(std::size_t Offset, const std::string& Why) const;
  // The 1-based line of a byte offset, for notes.
  int64_t LineOf(std::size_t Offset) const;

 private:
  void ReadCharacterData();
  void ReadTag();
  void SkipMarkup();
  void AppendDecoded(std::string& Out, std::string_view Raw, std::size_t At) const;

  std::string_view doc_;
  const std::string& fileName_;
  std::size_t pos_ = 0;
  TToken token_ = TToken::Eof;
  bool pendingEnd_ = false;  // an empty element's End comes next
  bool rootDone_ = false;
  std::string_view name_;
  std::size_t tagOffset_ = 0;
  std::vector<TRawAttribute> attributes_;
  std::vector<std::pair<std::string_view, std::size_t>> stack_;  // name, offset
  std::string text_;
};

// At the Start of an element: calls Leaf for every element below it that
// has no child elements, with its path (the qualified names from below the
// element down to the leaf, joined by '/'), its local name and its text,
// then reads past the element's end. Namespace declarations (xmlns:p) met
// on the way are added to Namespaces when their prefix is new there.
using TLeafVisitor =
    std::function<void(const std::string& Path, std::string_view Local, const std::string& Text)>;
void ReadLeaves(TXmlScanner& X, const TLeafVisitor& Leaf,
                std::vector<std::pair<std::string, std::string>>* Namespaces = nullptr);

// Adds the xmlns:p declarations of the current Start to Namespaces (those
// whose prefix is new there).
void CollectNamespaces(const TXmlScanner& X,
                       std::vector<std::pair<std::string, std::string>>& Namespaces);

}  // namespace marovia::tracks
