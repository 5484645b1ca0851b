// The incremental update of a finished PDF file: a reader of just enough of
// the file (cross-reference tables, trailers, catalog, page tree) and the
// writer of what is appended.
#include "pdf_update.h"

#include <charconv>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string_view>

#include "marovia/platform/printers.h"

namespace marovia::print {
namespace {

// Page, catalog and trailer dictionaries are small; anything larger than
// this is not what the reader expects.
constexpr size_t kMaxObjectBytes = 1 << 16;
// "startxref", its offset and "%%EOF" lie within the file's last bytes.
constexpr size_t kTailBytes = 1024;
constexpr int kMaxNesting = 64;
constexpr int kMaxSections = 1024;  // updates followed back through /Prev
constexpr int kMaxTreeDepth = 64;
// A cross-reference entry: 10-digit offset, space, 5-digit generation,
// space, 'n' or 'f', and a two-byte end of line.
constexpr size_t kXrefEntryBytes = 20;
constexpr uint64_t kMaxXrefOffset = 9999999999;

[[noreturn]] void Fail(const std::string& What) {
  throw EPrinter("Cannot extend the PDF document: " + What);
}

bool IsSpace(char c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}
bool IsDelimiter(char c) {
  return std::string_view("()<>[]{}/%").find(c) != std::string_view::npos;
}
bool IsRegular(char c) {
  return !IsSpace(c) && !IsDelimiter(c);
}

// Past white space and comments from s[i].
size_t SkipSpace(std::string_view s, size_t i) {
  while (i < s.size()) {
    if (IsSpace(s[i])) {
      ++i;
    } else if (s[i] == '%') {
      while (i < s.size() && s[i] != '\n' && s[i] != '\r') ++i;
    } else {
      break;
    }
  }
  return i;
}

// The end of the single object (one token, or one string, array or
// dictionary with what it holds) that starts at s[i].
size_t ValueEnd(std::string_view s, size_t i, int Depth) {
  if (Depth > kMaxNesting) Fail("objects are nested too deeply");
  if (i >= s.size()) Fail("an object is cut off");
  const char c = s[i];
  const bool pair = i + 1 < s.size() && s[i + 1] == c;
  if (c == '<' && pair) {  // dictionary
    i = SkipSpace(s, i + 2);
    while (!(i + 1 < s.size() && s[i] == '>' && s[i + 1] == '>')) {
      i = SkipSpace(s, ValueEnd(s, i, Depth + 1));
    }
    return i + 2;
  }
  if (c == '[') {
    i = SkipSpace(s, i + 1);
    while (!(i < s.size() && s[i] == ']')) i = SkipSpace(s, ValueEnd(s, i, Depth + 1));
    return i + 1;
  }
  if (c == '(') {  // balanced parentheses, backslash escapes
    int open = 1;
    for (++i; i < s.size(); ++i) {
      if (s[i] == '\\') {
        ++i;
      } else if (s[i] == '(') {
        ++open;
      } else if (s[i] == ')' && --open == 0) {
        return i + 1;
      }
    }
    Fail("a string is cut off");
  }
  if (c == '<') {  // hexadecimal string
    const size_t end = s.find('>', i);
    if (end == std::string_view::npos) Fail("a string is cut off");
    return end + 1;
  }
  if (c == '/') {
    for (++i; i < s.size() && IsRegular(s[i]);) ++i;
    return i;
  }
  if (!IsRegular(c)) Fail(std::string("unexpected '") + c + "'");
  while (i < s.size() && IsRegular(s[i])) ++i;  // number or keyword
  return i;
}

template <typename T>
std::optional<T> Whole(std::string_view s) {
  T v{};
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
  return v;
}

struct ObjRef {
  uint32_t Number = 0;
  uint16_t Generation = 0;
};

// Token at s[i] (no leading space) and its end.
std::string_view TokenAt(std::string_view s, size_t i) {
  size_t e = i;
  while (e < s.size() && IsRegular(s[e])) ++e;
  return s.substr(i, e - i);
}

// The value at s[i]: one object, or the three tokens of a reference.
size_t ItemEnd(std::string_view s, size_t i) {
  const size_t end = ValueEnd(s, i, 1);
  if (!Whole<uint32_t>(s.substr(i, end - i))) return end;
  const size_t g = SkipSpace(s, end);
  const std::string_view gen = TokenAt(s, g);
  if (gen.empty() || !Whole<uint16_t>(gen)) return end;
  const size_t r = SkipSpace(s, g + gen.size());
  return TokenAt(s, r) == "R" ? r + 1 : end;
}

std::optional<ObjRef> AsReference(std::string_view v) {
  const size_t a = TokenAt(v, 0).size();
  const size_t g = SkipSpace(v, a);
  const size_t b = TokenAt(v, g).size();
  const size_t r = SkipSpace(v, g + b);
  const auto number = Whole<uint32_t>(v.substr(0, a));
  const auto gen = Whole<uint16_t>(v.substr(g, b));
  if (!number || !gen || v.substr(r) != "R") return std::nullopt;
  return ObjRef{*number, *gen};
}

struct Entry {
  std::string_view Key, Value;
};

// The entries of the dictionary that Dict holds.
std::vector<Entry> DictEntries(std::string_view Dict) {
  size_t i = SkipSpace(Dict, 0);
  if (Dict.substr(i, 2) != "<<") Fail("a dictionary was expected");
  i = SkipSpace(Dict, i + 2);
  std::vector<Entry> out;
  while (Dict.substr(i, 2) != ">>") {
    if (i >= Dict.size() || Dict[i] != '/') Fail("a dictionary key is not a name");
    const size_t keyEnd = ValueEnd(Dict, i, 1);
    const size_t v = SkipSpace(Dict, keyEnd);
    const size_t e = ItemEnd(Dict, v);
    out.push_back({Dict.substr(i, keyEnd - i), Dict.substr(v, e - v)});
    i = SkipSpace(Dict, e);
  }
  return out;
}

std::string_view Find(const std::vector<Entry>& Entries, std::string_view Key) {
  for (const Entry& e : Entries)
    if (e.Key == Key) return e.Value;
  return {};
}

// The items of the array that Array holds.
std::vector<std::string_view> ArrayItems(std::string_view Array) {
  if (Array.substr(0, 1) != "[") Fail("an array was expected");
  std::vector<std::string_view> out;
  size_t i = SkipSpace(Array, 1);
  while (Array.substr(i, 1) != "]") {
    const size_t e = ItemEnd(Array, i);
    out.push_back(Array.substr(i, e - i));
    i = SkipSpace(Array, e);
  }
  return out;
}

struct Location {
  uint64_t Offset = 0;
  uint16_t Generation = 0;
  bool InUse = false;
};

struct Page {
  ObjRef Ref;
  std::string Dict;
};

// What the reader knows of a file: where each object's newest version is,
// the newest trailer, and the pages in order.
class PdfFile {
 public:
  PdfFile(const PdfReadAt& Read, uint64_t Size) : read_(Read), size_(Size) {
    const uint64_t from = Size > kTailBytes ? Size - kTailBytes : 0;
    const std::string tail = Read(from, static_cast<size_t>(Size - from));
    endsWithNewline_ = !tail.empty() && (tail.back() == '\n' || tail.back() == '\r');
    const size_t at = tail.rfind("startxref");
    if (at == std::string::npos) Fail("no startxref at its end");
    const size_t n = SkipSpace(tail, at + 9);
    const auto offset = Whole<uint64_t>(TokenAt(tail, n));
    if (!offset || *offset >= Size) Fail("startxref does not point into the file");
    lastXref_ = *offset;
    std::set<uint64_t> seen;
    for (std::optional<uint64_t> section = lastXref_; section;) {
      if (!seen.insert(*section).second || seen.size() > kMaxSections) {
        Fail("its cross-reference sections form a loop");
      }
      const std::string trailer = ReadSection(*section);
      if (trailer_.empty()) trailer_ = trailer;
      const std::string_view prev = Find(DictEntries(trailer), "/Prev");
      section.reset();
      if (!prev.empty()) {
        const auto p = Whole<uint64_t>(prev);
        if (!p || *p >= Size) Fail("/Prev does not point into the file");
        section = *p;
      }
    }
    const auto root = AsReference(Find(DictEntries(trailer_), "/Root"));
    if (!root) Fail("the trailer has no /Root");
    root_ = *root;
    catalog_ = Object(root_);
    const auto pages = AsReference(Find(DictEntries(catalog_), "/Pages"));
    if (!pages) Fail("the catalog has no /Pages");
    std::set<uint32_t> visited;
    CollectPages(*pages, 0, visited);
  }

  uint64_t Size() const { return size_; }
  bool EndsWithNewline() const { return endsWithNewline_; }
  uint64_t LastXref() const { return lastXref_; }
  const std::string& Trailer() const { return trailer_; }
  ObjRef Root() const { return root_; }
  const std::string& Catalog() const { return catalog_; }
  const std::vector<Page>& Pages() const { return pages_; }

 private:
  // Reads the cross-reference section at Offset into locations_ (where the
  // newer sections read before have not placed an object) and answers its
  // trailer dictionary.
  std::string ReadSection(uint64_t Offset) {
    std::string head = read_(Offset, 64);
    size_t i = SkipSpace(head, 0);
    if (TokenAt(head, i) != "xref") {
      Fail("its cross-references are not a table (a stream, or a damaged offset)");
    }
    uint64_t pos = Offset + i + 4;
    for (;;) {
      head = read_(pos, 64);
      i = SkipSpace(head, 0);
      const std::string_view first = TokenAt(head, i);
      if (first == "trailer") return ReadDictionary(pos + i + first.size(), "trailer");
      const size_t c = SkipSpace(head, i + first.size());
      const std::string_view count = TokenAt(head, c);
      const auto start = Whole<uint32_t>(first);
      const auto n = Whole<uint32_t>(count);
      if (!start || !n) Fail("a cross-reference subsection has no valid header");
      // The entries begin after the header line's end of line.
      size_t e = c + count.size();
      while (e < head.size() && (head[e] == ' ' || head[e] == '\t')) ++e;
      if (e < head.size() && head[e] == '\r') ++e;
      if (e < head.size() && head[e] == '\n') ++e;
      pos += e;
      if (*n > (size_ - std::min(pos, size_)) / kXrefEntryBytes ||
          uint64_t{*start} + *n > UINT32_MAX) {
        Fail("a cross-reference subsection runs past the file's end");
      }
      const std::string entries = read_(pos, size_t{*n} * kXrefEntryBytes);
      if (entries.size() != size_t{*n} * kXrefEntryBytes)
        Fail("a cross-reference table is cut off");
      for (uint32_t k = 0; k < *n; ++k) {
        const std::string_view rec = std::string_view(entries).substr(k * kXrefEntryBytes, 18);
        const auto offset = Whole<uint64_t>(rec.substr(0, 10));
        const auto gen = Whole<uint16_t>(rec.substr(11, 5));
        if (!offset || !gen || rec[10] != ' ' || rec[16] != ' ' ||
            (rec[17] != 'n' && rec[17] != 'f')) {
          Fail("a cross-reference entry is damaged");
        }
        locations_.emplace(*start + k, Location{*offset, *gen, rec[17] == 'n'});
      }
      pos += size_t{*n} * kXrefEntryBytes;
    }
  }

  // The dictionary that starts (after white space) at Offset.
  std::string ReadDictionary(uint64_t Offset, const char* What) const {
    const std::string text = read_(Offset, kMaxObjectBytes);
    const size_t i = SkipSpace(text, 0);
    if (std::string_view(text).substr(i, 2) != "<<") Fail(std::string(What) + " is no dictionary");
    return text.substr(i, ValueEnd(text, i, 0) - i);
  }

  // The value of object Ref, as text.
  std::string Object(ObjRef Ref) const {
    const auto it = locations_.find(Ref.Number);
    if (it == locations_.end() || !it->second.InUse || it->second.Generation != Ref.Generation ||
        it->second.Offset >= size_) {
      Fail("object " + std::to_string(Ref.Number) + " is not in the file");
    }
    const std::string text = read_(it->second.Offset, kMaxObjectBytes);
    const std::string_view s = text;
    size_t i = SkipSpace(s, 0);
    const std::string_view number = TokenAt(s, i);
    i = SkipSpace(s, i + number.size());
    const std::string_view gen = TokenAt(s, i);
    i = SkipSpace(s, i + gen.size());
    if (Whole<uint32_t>(number) != Ref.Number || Whole<uint16_t>(gen) != Ref.Generation ||
        TokenAt(s, i) != "obj") {
      Fail("object " + std::to_string(Ref.Number) + " is not where the table puts it");
    }
    i = SkipSpace(s, i + 3);
    return text.substr(i, ItemEnd(s, i) - i);
  }

  void CollectPages(ObjRef Node, int Depth, std::set<uint32_t>& Visited) {
    if (Depth > kMaxTreeDepth) Fail("the page tree is too deep");
    if (!Visited.insert(Node.Number).second) Fail("the page tree has a loop");
    std::string dict = Object(Node);
    const auto entries = DictEntries(dict);
    const std::string_view type = Find(entries, "/Type");
    if (type == "/Page") {
      pages_.push_back({Node, std::move(dict)});
      return;
    }
    if (type != "/Pages") Fail("a page tree node is neither /Pages nor /Page");
    std::string kids(Find(entries, "/Kids"));
    if (const auto ref = AsReference(kids)) kids = Object(*ref);
    for (const std::string_view kid : ArrayItems(kids)) {
      const auto ref = AsReference(kid);
      if (!ref) Fail("a page tree node's kid is not a reference");
      CollectPages(*ref, Depth + 1, Visited);
    }
  }

  const PdfReadAt& read_;
  uint64_t size_ = 0;
  bool endsWithNewline_ = false;
  uint64_t lastXref_ = 0;
  std::map<uint32_t, Location> locations_;  // the newest section's entry of each object
  std::string trailer_;                     // the newest trailer
  ObjRef root_;
  std::string catalog_;
  std::vector<Page> pages_;
};

// Dict's entries with Added's replacing those of the same name.
std::string WithEntries(std::string_view Dict, const std::string& Added) {
  const std::string addedDict = "<< " + Added + " >>";
  const auto added = DictEntries(addedDict);
  std::string out = "<<";
  for (const Entry& e : DictEntries(Dict)) {
    bool replaced = false;
    for (const Entry& a : added) replaced = replaced || a.Key == e.Key;
    if (replaced) continue;
    out.append("\n").append(e.Key).append(" ").append(e.Value);
  }
  return out + "\n" + Added + "\n>>";
}

std::string XrefEntry(uint64_t Offset, uint16_t Generation) {
  if (Offset > kMaxXrefOffset) Fail("the file is too large for a cross-reference table");
  char line[32];
  std::snprintf(line, sizeof line, "%010llu %05u n \n", static_cast<unsigned long long>(Offset),
                static_cast<unsigned>(Generation));
  return line;
}

}  // namespace

size_t PdfPageCount(const PdfReadAt& Read, uint64_t FileSize) {
  return PdfFile(Read, FileSize).Pages().size();
}

std::string PdfIncrementalUpdate(const PdfReadAt& Read, uint64_t FileSize,
                                 const PdfUpdateRequest& Request) {
  bool any = false;
  for (const std::string& e : Request.PageEntries) any = any || !e.empty();
  if (!any) return {};
  const PdfFile file(Read, FileSize);
  if (Request.PageEntries.size() > file.Pages().size()) {
    Fail("entries for " + std::to_string(Request.PageEntries.size()) + " pages, but the file has " +
         std::to_string(file.Pages().size()));
  }
  std::string out = file.EndsWithNewline() ? "" : "\n";
  std::map<uint32_t, std::pair<uint64_t, uint16_t>> written;  // number: offset, generation
  const auto add = [&](ObjRef Ref, const std::string& Dict) {
    written[Ref.Number] = {FileSize + out.size(), Ref.Generation};
    out += std::to_string(Ref.Number) + " " + std::to_string(Ref.Generation) + " obj\n" + Dict +
           "\nendobj\n";
  };
  for (size_t i = 0; i < Request.PageEntries.size(); ++i) {
    if (Request.PageEntries[i].empty()) continue;
    add(file.Pages()[i].Ref, WithEntries(file.Pages()[i].Dict, Request.PageEntries[i]));
  }
  if (!Request.CatalogEntries.empty()) {
    add(file.Root(), WithEntries(file.Catalog(), Request.CatalogEntries));
  }

  const uint64_t xref = FileSize + out.size();
  out += "xref\n";
  for (auto run = written.begin(); run != written.end();) {
    auto end = run;
    uint32_t count = 0;
    while (end != written.end() && end->first == run->first + count) ++end, ++count;
    out += std::to_string(run->first) + " " + std::to_string(count) + "\n";
    for (; run != end; ++run) out += XrefEntry(run->second.first, run->second.second);
  }
  // The trailer repeats the previous one's entries, as a reader may look at
  // the newest alone.
  std::string trailer = "<<";
  for (const Entry& e : DictEntries(file.Trailer())) {
    if (e.Key == "/Prev" || e.Key == "/XRefStm") continue;
    trailer.append(" ").append(e.Key).append(" ").append(e.Value);
  }
  trailer += " /Prev " + std::to_string(file.LastXref()) + " >>";
  out += "trailer\n" + trailer + "\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return out;
}

}  // namespace marovia::print
