// TSymbolRepository: the list of symbols, its backup and assignment.
#include "marovia/geomap/symbol_repository.h"

#include <new>

#include "marovia/geomap/geomap.h"
#include "marovia/platform/strutils.h"

namespace marovia {

namespace {

// Capacity of a new repository.
constexpr size_t kInitialCapacity = 1000;

}  // namespace

TSymbol DefaultSymbolRecord() {
  TSymbol s;
  s.Properties.Kind = lmCross;
  s.Properties.Size = 8;
  s.Properties.FGColor = 0x000000;  // black
  s.Properties.BGColor = 0x0000FF;  // red: red is the lowest byte of a TColor
  s.Properties.Transparent = false;
  s.Properties.Direction = 90;
  s.Properties.Length = 40;
  return s;
}

TSymbolRepository::TSymbolRepository(TComponent* AOwner) : TComponent(AOwner) {
  SetCapacity(kInitialCapacity);
}

void TSymbolRepository::RaiseError(const std::string& Text) const {
  throw EZYLGeoMapError("Component \"" + Name() + "\": " + Text);
}

void TSymbolRepository::SetCapacity(size_t n) {
  try {
    FSymbols.resize(n);
  } catch (const std::bad_alloc&) {
    RaiseError("insufficient memory");
  } catch (const std::length_error&) {
    RaiseError("insufficient memory");
  }
}

void TSymbolRepository::SetNEntries(int32_t n) {
  if (n < 0) return;
  SetCapacity(static_cast<size_t>(n));
  // Slots between the old count and the old capacity may hold entries of
  // an earlier, longer list: the added entries are zero, whatever was there.
  for (int32_t i = FNEntries; i < n; ++i) FSymbols[static_cast<size_t>(i)] = TSymbol{};
  FNEntries = n;
}

TSymbol TSymbolRepository::GetValues(int32_t ix) const {
  if (ix < 1 || ix > FNEntries) return DefaultSymbolRecord();
  return FSymbols[static_cast<size_t>(ix) - 1];
}

void TSymbolRepository::SetValues(int32_t ix, const TSymbol& v) {
  if (ix < 1 || ix > FNEntries) return;
  TSymbol& entry = FSymbols[static_cast<size_t>(ix) - 1];
  entry = v;
  entry.Name = Utf8Left(v.Name, kSymbolNameLength);
}

void TSymbolRepository::Clear() {
  for (int32_t i = 0; i < FNEntries; ++i) FSymbols[static_cast<size_t>(i)] = DefaultSymbolRecord();
}

void TSymbolRepository::Backup() {
  FSymbolsBak.assign(FSymbols.begin(), FSymbols.begin() + FNEntries);
  FNEntriesBak = FNEntries;
}

void TSymbolRepository::Restore() {
  FSymbols = FSymbolsBak;  // capacity exactly the backup's count
  FNEntries = FNEntriesBak;
}

void TSymbolRepository::Assign(const TPersistent& Source) {
  const auto* src = dynamic_cast<const TSymbolRepository*>(&Source);
  if (src == nullptr) {
    TComponent::Assign(Source);
    return;
  }
  if (src == this) return;
  FSymbols = src->FSymbols;
  FNEntries = src->FNEntries;
  FSymbolsBak = src->FSymbolsBak;
  FNEntriesBak = src->FNEntriesBak;
}

void TSymbolRepository::AssignTo(TPersistent& Dest) const {
  // Only a repository can take the entries over. Handing any other Dest its
  // own Assign would come straight back here through the inherited Assign.
  if (auto* dest = dynamic_cast<TSymbolRepository*>(&Dest)) {
    dest->Assign(*this);
    return;
  }
  TComponent::AssignTo(Dest);
}

}  // namespace marovia
