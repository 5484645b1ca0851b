// The XML pull scanner of the track readers (see xml_scanner.h).
#include "tracks/xml_scanner.h"

#include <algorithm>

#include "marovia/platform/strutils.h"
#include "tracks/track_text.h"

namespace marovia::tracks {

namespace {

bool IsNameEnd(char c) {
  return IsSpace(c) || c == '>' || c == '/' || c == '=' || c == '<';
}

std::string Utf16ToUtf8(std::string_view Bytes, bool BigEndian, const std::string& FileName) {
  if (Bytes.size() % 2 != 0)
    throw ETrackFileError(FileName, 0, 0, "UTF-16 text of an odd number of bytes");
  std::string out;
  out.reserve(Bytes.size() / 2);
  auto unit = [&](std::size_t i) -> char32_t {
    const auto a = static_cast<unsigned char>(Bytes[i]),
               b = static_cast<unsigned char>(Bytes[i + 1]);
    return BigEndian ? (a << 8 | b) : (b << 8 | a);
  };
  for (std::size_t i = 0; i < Bytes.size(); i += 2) {
    char32_t c = unit(i);
    if (c >= 0xD800 && c < 0xDC00 && i + 3 < Bytes.size()) {
      const char32_t low = unit(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;  // an unpaired surrogate
    AppendUtf8(out, c);
  }
  return out;
}

// The encoding an XML declaration names, lower case; "" without one.
std::string DeclaredEncoding(std::string_view Text) {
  if (Text.substr(0, 5) != "<?xml") return std::string();
  // The declaration is short; a missing "?>" must not make this a search
  // through the whole document.
  const std::string_view decl = Text.substr(0, std::min<std::size_t>(Text.find("?>"), 256));
  const std::size_t at = decl.find("encoding");
  if (at == std::string_view::npos) return std::string();
  std::size_t i = at + 8;
  while (i < decl.size() && (IsSpace(decl[i]) || decl[i] == '=')) ++i;
  if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\'')) return std::string();
  const std::size_t close = decl.find(decl[i], i + 1);
  if (close == std::string_view::npos) return std::string();
  return LowerCase(decl.substr(i + 1, close - i - 1));
}

}  // namespace

std::string_view XmlAsUtf8(std::string_view Bytes, const std::string& FileName,
                           std::string& Storage) {
  if (Bytes.size() >= 2 && (Bytes.substr(0, 2) == "\xFF\xFE" || Bytes.substr(0, 2) == "\xFE\xFF")) {
    Storage = Utf16ToUtf8(Bytes.substr(2), Bytes[0] == '\xFE', FileName);
    return Storage;
  }
  if (Bytes.substr(0, 3) == "\xEF\xBB\xBF") Bytes.remove_prefix(3);
  const std::string encoding = DeclaredEncoding(Bytes);
  if (encoding.empty() || encoding == "utf-8" || encoding == "utf8" || encoding == "us-ascii" ||
      encoding == "ascii") {
    if (IsValidUtf8(Bytes)) return Bytes;
  } else if (encoding != "iso-8859-1" && encoding != "latin1" && encoding != "latin-1" &&
             encoding != "windows-1252" && encoding != "cp1252" && encoding != "iso-8859-15") {
    throw ETrackFileError(FileName, 1, 1, "the encoding " + Quoted(encoding) + " is not supported");
  }
  Storage = Cp1252ToUtf8(Bytes);
  return Storage;
}

TXmlScanner::TXmlScanner(std::string_view Text, const std::string& FileName)
    : doc_(Text), fileName_(FileName) {}

std::string_view TXmlScanner::LocalName() const {
  const std::size_t colon = name_.find(':');
  return colon == std::string_view::npos ? name_ : name_.substr(colon + 1);
}

std::string_view TXmlScanner::Prefix() const {
  const std::size_t colon = name_.find(':');
  return colon == std::string_view::npos ? std::string_view() : name_.substr(0, colon);
}

void TXmlScanner::Fail(const std::string& Why) const {
  FailAt(tagOffset_, Why);
}

void TXmlScanner::FailAt(std::size_t Offset, const std::string& Why) const {
  tracks::FailAt(fileName_, doc_, Offset, Why);
}

int64_t TXmlScanner::LineOf(std::size_t Offset) const {
  return PositionOf(doc_, Offset).Line;
}

void TXmlScanner::AppendDecoded(std::string& Out, std::string_view Raw, std::size_t At) const {
  std::size_t i = 0;
  while (i < Raw.size()) {
    const std::size_t amp = Raw.find('&', i);
    if (amp == std::string_view::npos) {
      Out.append(Raw.substr(i));
      return;
    }
    Out.append(Raw.substr(i, amp - i));
    const std::size_t semi = Raw.find(';', amp);
    if (semi == std::string_view::npos || semi - amp > 12)
      FailAt(At + amp, "an '&' that starts no reference (write &amp;)");
    const std::string_view ref = Raw.substr(amp + 1, semi - amp - 1);
    if (ref == "lt") {
      Out += '<';
    } else if (ref == "gt") {
      Out += '>';
    } else if (ref == "amp") {
      Out += '&';
    } else if (ref == "quot") {
      Out += '"';
    } else if (ref == "apos") {
      Out += '\'';
    } else if (ref.size() >= 2 && ref[0] == '#') {
      const bool hex = ref[1] == 'x' || ref[1] == 'X';
      const std::string_view digits = ref.substr(hex ? 2 : 1);
      uint32_t cp = 0;
      bool ok = !digits.empty();
      for (const char c : digits) {
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (d < 0 || cp > 0x10FFFF) {
          ok = false;
          break;
        }
        cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(d);
      }
      if (!ok || cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000))
        FailAt(At + amp, "the character reference " + Quoted(Raw.substr(amp, semi - amp + 1)) +
                             " names no character");
      AppendUtf8(Out, cp);
    } else {
      FailAt(At + amp, "the entity " + Quoted(Raw.substr(amp, semi - amp + 1)) +
                           " is not defined (XML defines &lt; &gt; &amp; &quot; &apos;)");
    }
    i = semi + 1;
  }
}

std::string TXmlScanner::Decoded(std::string_view Raw) const {
  std::string out;
  const std::size_t at = Raw.data() >= doc_.data() && Raw.data() <= doc_.data() + doc_.size()
                             ? static_cast<std::size_t>(Raw.data() - doc_.data())
                             : tagOffset_;
  AppendDecoded(out, Raw, at);
  return out;
}

bool TXmlScanner::Attribute(std::string_view Local, std::string& Value) const {
  for (const TRawAttribute& a : attributes_) {
    const std::size_t colon = a.Name.find(':');
    const std::string_view local =
        colon == std::string_view::npos ? a.Name : a.Name.substr(colon + 1);
    if (local != Local || a.Name.substr(0, 5) == "xmlns") continue;
    Value = Decoded(a.Value);
    return true;
  }
  return false;
}

void TXmlScanner::ReadCharacterData() {
  const std::size_t lt = doc_.find('<', pos_);
  const std::size_t end = lt == std::string_view::npos ? doc_.size() : lt;
  const std::string_view raw = doc_.substr(pos_, end - pos_);
  if (stack_.empty()) {
    for (std::size_t i = 0; i < raw.size(); ++i)
      if (!IsSpace(raw[i])) FailAt(pos_ + i, "text outside the root element");
  } else if (!raw.empty()) {
    AppendDecoded(text_, raw, pos_);
  }
  pos_ = end;
}

void TXmlScanner::SkipMarkup() {
  const std::string_view rest = doc_.substr(pos_);
  auto skipPast = [&](std::string_view Close, const char* What) {
    const std::size_t at = doc_.find(Close, pos_);
    if (at == std::string_view::npos) FailAt(pos_, std::string("the file ends inside ") + What);
    pos_ = at + Close.size();
  };
  if (rest.substr(0, 4) == "<!--") {
    skipPast("-->", "a comment");
  } else if (rest.substr(0, 9) == "<![CDATA[") {
    if (stack_.empty()) FailAt(pos_, "character data outside the root element");
    const std::size_t start = pos_ + 9;
    skipPast("]]>", "a CDATA section");
    text_.append(doc_.substr(start, pos_ - 3 - start));
  } else if (rest.substr(0, 2) == "<?") {
    skipPast("?>", "a processing instruction");
  } else {
    // <!DOCTYPE ...> and its internal subset in brackets.
    int brackets = 0;
    for (std::size_t i = pos_ + 2; i < doc_.size(); ++i) {
      if (doc_[i] == '[') ++brackets;
      if (doc_[i] == ']') --brackets;
      if (doc_[i] == '>' && brackets <= 0) {
        pos_ = i + 1;
        return;
      }
    }
    FailAt(pos_, "the file ends inside a declaration");
  }
}

void TXmlScanner::ReadTag() {
  tagOffset_ = pos_;
  const bool end = pos_ + 1 < doc_.size() && doc_[pos_ + 1] == '/';
  std::size_t i = pos_ + (end ? 2 : 1);
  const std::size_t nameStart = i;
  while (i < doc_.size() && !IsNameEnd(doc_[i])) ++i;
  name_ = doc_.substr(nameStart, i - nameStart);
  if (name_.empty()) FailAt(tagOffset_, "a '<' that starts no tag (write &lt;)");
  attributes_.clear();
  auto skipSpace = [&] {
    while (i < doc_.size() && IsSpace(doc_[i])) ++i;
  };
  auto endOfFile = [&] { FailAt(tagOffset_, "the file ends inside the tag " + Quoted(name_)); };
  if (end) {
    skipSpace();
    if (i >= doc_.size()) endOfFile();
    if (doc_[i] != '>') FailAt(i, "the end tag of " + Quoted(name_) + " is not closed by '>'");
    pos_ = i + 1;
    if (stack_.empty()) FailAt(tagOffset_, "the end tag " + Quoted(name_) + " closes nothing");
    if (stack_.back().first != name_) {
      const TTextPosition open = PositionOf(doc_, stack_.back().second);
      FailAt(tagOffset_, "the end tag " + Quoted(name_) + " does not close " +
                             Quoted(stack_.back().first) + " (opened at line " +
                             std::to_string(open.Line) + ")");
    }
    stack_.pop_back();
    if (stack_.empty()) rootDone_ = true;
    token_ = TToken::End;
    return;
  }
  if (rootDone_) FailAt(tagOffset_, "a second root element " + Quoted(name_));
  for (;;) {
    skipSpace();
    if (i >= doc_.size()) endOfFile();
    if (doc_[i] == '>') {
      pos_ = i + 1;
      break;
    }
    if (doc_[i] == '/') {
      if (i + 1 >= doc_.size() || doc_[i + 1] != '>') FailAt(i, "a '/' inside a tag");
      pos_ = i + 2;
      pendingEnd_ = true;
      break;
    }
    const std::size_t attrStart = i;
    while (i < doc_.size() && !IsNameEnd(doc_[i])) ++i;
    const std::string_view attr = doc_.substr(attrStart, i - attrStart);
    if (attr.empty()) FailAt(i, "a stray " + Quoted(doc_.substr(i, 1)) + " inside a tag");
    skipSpace();
    if (i >= doc_.size()) endOfFile();
    if (doc_[i] != '=') FailAt(i, "the attribute " + Quoted(attr) + " has no value");
    ++i;
    skipSpace();
    if (i >= doc_.size()) endOfFile();
    const char quote = doc_[i];
    if (quote != '"' && quote != '\'')
      FailAt(i, "the value of the attribute " + Quoted(attr) + " is not quoted");
    const std::size_t close = doc_.find(quote, i + 1);
    if (close == std::string_view::npos) endOfFile();
    attributes_.push_back({attr, doc_.substr(i + 1, close - i - 1)});
    i = close + 1;
  }
  stack_.emplace_back(name_, tagOffset_);
  token_ = TToken::Start;
}

TXmlScanner::TToken TXmlScanner::Next() {
  text_.clear();
  if (pendingEnd_) {
    pendingEnd_ = false;
    stack_.pop_back();
    if (stack_.empty()) rootDone_ = true;
    token_ = TToken::End;
    return token_;
  }
  for (;;) {
    ReadCharacterData();
    if (pos_ >= doc_.size()) {
      if (!stack_.empty()) {
        const TTextPosition open = PositionOf(doc_, stack_.back().second);
        FailAt(doc_.size(), "the file ends inside " + Quoted(stack_.back().first) +
                                " (opened at line " + std::to_string(open.Line) + ")");
      }
      if (!rootDone_) FailAt(doc_.size(), "the file holds no XML element");
      token_ = TToken::Eof;
      return token_;
    }
    const char next = pos_ + 1 < doc_.size() ? doc_[pos_ + 1] : '\0';
    if (next == '!' || next == '?') {
      SkipMarkup();
      continue;
    }
    ReadTag();
    return token_;
  }
}

void TXmlScanner::SkipElement() {
  const std::size_t depth = stack_.size();
  while (Next() != TToken::Eof)
    if (token_ == TToken::End && stack_.size() < depth) return;
}

const std::string& TXmlScanner::ReadText() {
  const std::size_t depth = stack_.size();
  for (;;) {
    const TToken t = Next();
    if (t == TToken::End && stack_.size() < depth) return text_;
    if (t == TToken::Start) SkipElement();
  }
}

void CollectNamespaces(const TXmlScanner& X,
                       std::vector<std::pair<std::string, std::string>>& Namespaces) {
  for (const TXmlScanner::TRawAttribute& a : X.RawAttributes()) {
    if (a.Name.substr(0, 6) != "xmlns:" || a.Name.size() == 6) continue;
    const std::string prefix(a.Name.substr(6));
    bool known = false;
    for (const auto& ns : Namespaces) known = known || ns.first == prefix;
    if (!known) Namespaces.emplace_back(prefix, X.Decoded(a.Value));
  }
}

void ReadLeaves(TXmlScanner& X, const TLeafVisitor& Leaf,
                std::vector<std::pair<std::string, std::string>>* Namespaces) {
  std::string path;
  std::vector<std::size_t> lengths;
  std::vector<bool> hadChild;
  for (;;) {
    const TXmlScanner::TToken t = X.Next();
    if (t == TXmlScanner::TToken::Start) {
      if (!hadChild.empty()) hadChild.back() = true;
      if (Namespaces) CollectNamespaces(X, *Namespaces);
      lengths.push_back(path.size());
      if (!path.empty()) path += '/';
      path += X.Name();
      hadChild.push_back(false);
    } else if (t == TXmlScanner::TToken::End) {
      if (lengths.empty()) return;
      if (!hadChild.back()) Leaf(path, X.LocalName(), X.Text());
      path.resize(lengths.back());
      lengths.pop_back();
      hadChild.pop_back();
    }
  }
}

}  // namespace marovia::tracks
