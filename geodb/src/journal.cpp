// The rollback journal: checksums, records, and playing a hot journal back.
#include "journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <random>

#include "marovia/platform/sysutils.h"

namespace marovia {

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0x82F63B78u : c >> 1;
    t[i] = c;
  }
  return t;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

uint32_t gdbCrc32c(const void* Data, size_t Size, uint32_t Crc) {
  const auto* p = static_cast<const uint8_t*>(Data);
  uint32_t c = ~Crc;
  for (size_t i = 0; i < Size; ++i) c = kCrcTable[(c ^ p[i]) & 0xFF] ^ (c >> 8);
  return ~c;
}

namespace gdb {

TSetNames SetNamesOf(const std::string& Base) {
  return TSetNames{Base + ".zylgds", Base + ".zylgdd", Base + ".zylgj", FolderOf(Base)};
}

TgdbJournalHeader MakeJournalHeader(int64_t TableSize, int64_t DataSize) {
  static std::random_device rd;
  TgdbJournalHeader h{};
  std::memcpy(h.Magic, kgdbJournalMagic, sizeof h.Magic);
  h.Version = kgdbJournalVersion;
  h.Salt = rd();
  h.TableSize = TableSize;
  h.DataSize = DataSize;
  h.PageSize = kgdbJournalPage;
  h.HeaderSum = gdbCrc32c(&h, offsetof(TgdbJournalHeader, HeaderSum));
  return h;
}

namespace {

uint32_t RecordSum(uint32_t Salt, const TgdbJournalRecord& Head, const uint8_t* Page) {
  uint32_t sum = gdbCrc32c(&Salt, sizeof Salt);
  sum = gdbCrc32c(&Head, sizeof Head, sum);
  return gdbCrc32c(Page, Head.Length, sum);
}

}  // namespace

void AppendJournalRecord(std::vector<uint8_t>& Out, uint32_t Salt, uint8_t File, int64_t Offset,
                         const uint8_t* Page, uint32_t Length) {
  TgdbJournalRecord head{};
  head.File = File;
  head.Length = Length;
  head.Offset = Offset;
  const uint32_t sum = RecordSum(Salt, head, Page);
  const auto* h = reinterpret_cast<const uint8_t*>(&head);
  Out.insert(Out.end(), h, h + sizeof head);
  Out.insert(Out.end(), Page, Page + Length);
  const auto* s = reinterpret_cast<const uint8_t*>(&sum);
  Out.insert(Out.end(), s, s + sizeof sum);
}

TJournalContents ParseJournal(const std::vector<uint8_t>& Bytes) {
  TJournalContents out;
  if (Bytes.size() < sizeof(TgdbJournalHeader)) return out;
  TgdbJournalHeader& h = out.Header;
  std::memcpy(&h, Bytes.data(), sizeof h);
  if (std::memcmp(h.Magic, kgdbJournalMagic, sizeof h.Magic) != 0 ||
      h.Version != kgdbJournalVersion || h.PageSize != kgdbJournalPage ||
      h.HeaderSum != gdbCrc32c(&h, offsetof(TgdbJournalHeader, HeaderSum)) || h.TableSize < 0 ||
      h.DataSize < 0)
    return out;
  out.HeaderWhole = true;

  const int64_t beginSize[2] = {h.TableSize, h.DataSize};
  std::map<std::pair<uint8_t, int64_t>, bool> seen;
  size_t at = sizeof h;
  for (;;) {
    TgdbJournalRecord head;
    if (Bytes.size() - at < sizeof head) break;
    std::memcpy(&head, Bytes.data() + at, sizeof head);
    if (head.File > 1 || head.Length == 0 || head.Length > kgdbJournalPage || head.Offset < 0 ||
        head.Offset % kgdbJournalPage != 0 || head.Offset > beginSize[head.File] - head.Length)
      break;
    if (Bytes.size() - at - sizeof head < head.Length + sizeof(uint32_t)) break;
    const uint8_t* page = Bytes.data() + at + sizeof head;
    uint32_t sum;
    std::memcpy(&sum, page + head.Length, sizeof sum);
    if (sum != RecordSum(h.Salt, head, page)) break;
    at += sizeof head + head.Length + sizeof sum;
    // A page is saved once, before its first change; a second record of it
    // would hold a changed page.
    if (!seen.emplace(std::make_pair(head.File, head.Offset), true).second) continue;
    out.Pages.push_back({head.File, head.Offset, {page, page + head.Length}});
  }
  return out;
}

namespace {

// Every byte that a file lacks below its begin size must have been saved
// before it was cut off; a journal that does not hold them belongs to other
// files (or to none), and writing it back would damage these.
bool CoversCuts(const TJournalContents& J, uint8_t File, int64_t CurrentSize, int64_t BeginSize) {
  std::vector<std::pair<int64_t, int64_t>> saved;
  for (const auto& p : J.Pages)
    if (p.File == File)
      saved.emplace_back(p.Offset, p.Offset + static_cast<int64_t>(p.Bytes.size()));
  std::sort(saved.begin(), saved.end());
  int64_t need = CurrentSize;
  for (const auto& [from, to] : saved) {
    if (need >= BeginSize) break;
    if (from > need) return false;
    need = std::max(need, to);
  }
  return need >= BeginSize;
}

std::vector<uint8_t> ReadWhole(const TRawFile& F) {
  const int64_t size = F.Size();
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  bytes.resize(static_cast<size_t>(F.ReadSome(0, bytes.data(), size)));
  return bytes;
}

}  // namespace

TRecovery RecoverJournal(const TSetNames& Names, TgdbDurability Durability) {
  TRawFile journal;
  try {
    journal.Open(Names.Journal, O_RDONLY);
  } catch (const EInOutError& e) {
    if (e.ErrorCode() == ENOENT) return TRecovery::None;
    throw;
  }
  const TJournalContents j = ParseJournal(ReadWhole(journal));
  journal.Close();
  if (!j.HeaderWhole) {
    RemoveFileIfExists(Names.Journal);
    return TRecovery::Discarded;
  }

  TRawFile files[2];
  files[0].Open(Names.Table, O_RDWR | O_CREAT);
  files[1].Open(Names.Data, O_RDWR | O_CREAT);
  const int64_t beginSize[2] = {j.Header.TableSize, j.Header.DataSize};
  for (uint8_t f = 0; f < 2; ++f)
    if (!CoversCuts(j, f, files[f].Size(), beginSize[f])) return TRecovery::Mismatch;

  for (uint8_t f = 0; f < 2; ++f) files[f].Resize(beginSize[f]);
  for (const auto& p : j.Pages)
    files[p.File].WriteAt(p.Offset, p.Bytes.data(), static_cast<int64_t>(p.Bytes.size()));
  if (Durability != gdNone)
    for (auto& f : files) f.Sync();
  for (auto& f : files) f.Close();
  RemoveFileIfExists(Names.Journal);
  if (Durability == gdFull) SyncFolder(Names.Folder);
  return TRecovery::RolledBack;
}

}  // namespace gdb
}  // namespace marovia
