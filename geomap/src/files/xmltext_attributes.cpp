// Attributes of a tag text: NextAttribute, AttributeValue, AttributeText,
// and the identifier of a root line.
#include <algorithm>
#include <cstdint>

#include "marovia/geomap/xmltext.h"
#include "marovia/platform/strutils.h"

namespace marovia {

namespace {

// What NextAttribute answers.
constexpr int kAttributeRead = 0;
constexpr int kQuoteInName = 1;
constexpr int kSecondEquals = 2;
constexpr int kEqualsInBareValue = 3;
constexpr int kBeyondText = 4;

enum class AttrState { Name, ValueStart, Quoted, Bare };

int ToPos(size_t index) {
  return static_cast<int>(std::min<size_t>(index + 1, INT32_MAX));
}

}  // namespace

int NextAttribute(std::string_view TagText, int& Pos, std::string& Name, std::string& Value) {
  Name.clear();
  Value.clear();
  size_t i = Pos < 1 ? 0 : static_cast<size_t>(Pos) - 1;
  if (i >= TagText.size()) return kBeyondText;

  std::string name;
  int code = kAttributeRead;
  AttrState state = AttrState::Name;
  bool done = false;
  while (!done && i < TagText.size()) {
    const char c = TagText[i++];
    switch (state) {
      case AttrState::Name:
        if (c == '=') {
          state = AttrState::ValueStart;
        } else if (c == '"') {
          code = kQuoteInName;
          done = true;
        } else {
          name += c;  // blanks too: the name is trimmed at the end
        }
        break;
      case AttrState::ValueStart:
        if (c == '"') {
          state = AttrState::Quoted;
        } else if (c == '=') {
          code = kSecondEquals;
          done = true;
        } else if (c != ' ') {
          Value += c;
          state = AttrState::Bare;
        }
        break;
      case AttrState::Quoted:
        if (c == '"')
          done = true;
        else
          Value += c;
        break;
      case AttrState::Bare:
        if (c == ' ' || c == '"') {
          done = true;
        } else if (c == '=') {
          code = kEqualsInBareValue;
          done = true;
        } else {
          Value += c;
        }
        break;
    }
  }
  // The end of the text ends a name or a value like its closing character.
  Pos = ToPos(i);
  Name = TrimBlanks(name);
  return code;
}

std::string AttributeValue(std::string_view TagText, std::string_view Name) {
  const std::string wanted = LowerCase(Name);
  std::string name, value;
  // Every call examines at least one character, so the loop ends.
  for (int pos = 1; NextAttribute(TagText, pos, name, value) == kAttributeRead;)
    if (LowerCase(name) == wanted) return value;
  return std::string();
}

std::string WriteAttribute(std::string_view Name, std::string_view Value) {
  std::string s;
  s.reserve(Name.size() + Value.size() + 4);
  s += ' ';
  s += Name;
  s += "=\"";
  s += Value;
  s += '"';
  return s;
}

std::string AttributeText(std::string_view TagText, std::string_view Name) {
  return DecodeXMLReferences(AttributeValue(TagText, Name));
}

std::string RootLineIdentifier(std::string_view Line) {
  static constexpr std::string_view kKey = "id=\"";
  const int at = PosOfNth(kKey, Line, 1, 1, true);
  if (at == 0) return std::string();
  const size_t start = static_cast<size_t>(at) - 1 + kKey.size();
  const size_t end = std::min(Line.find('"', start), Line.size());
  return LowerCase(DecodeXMLReferences(TrimBlanks(Line.substr(start, end - start))));
}

}  // namespace marovia
