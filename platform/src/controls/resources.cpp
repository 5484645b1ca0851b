// Registered resource modules, lookup by name, bitmap and cursor loading.
#include "marovia/platform/resources.h"

#include <map>
#include <memory>
#include <vector>

#include "marovia/platform/graphics.h"
#include "marovia/platform/streams.h"
#include "marovia/platform/strutils.h"

namespace marovia {

class TResourceModule {
 public:
  std::string Name;
  const TResourceEntry* Entries = nullptr;
  std::size_t Count = 0;
  // Decoded cursors by upper-case name; handed out as shared handles.
  mutable std::map<std::string, std::unique_ptr<TCursorImage>> Cursors;
};

namespace {

// Never destroyed: handles must stay valid during static destruction.
std::vector<std::unique_ptr<TResourceModule>>& Modules() {
  static auto* modules = new std::vector<std::unique_ptr<TResourceModule>>();
  return *modules;
}

const TResourceEntry* Find(HINSTANCE Instance, const std::string& Name, TResourceType Type) {
  if (Instance == nullptr) return nullptr;
  for (std::size_t i = 0; i < Instance->Count; ++i) {
    const TResourceEntry& e = Instance->Entries[i];
    if (e.Type == Type && SameText(e.Name, Name)) return &e;
  }
  return nullptr;
}

[[noreturn]] void NotFound(const std::string& Name) {
  throw EResNotFound("Resource " + Name + " not found");
}

}  // namespace

HINSTANCE RegisterResourceModule(const std::string& ModuleName, const TResourceEntry* Entries,
                                 std::size_t Count) {
  for (const auto& m : Modules())
    if (m->Entries == Entries && m->Count == Count) return m.get();
  auto m = std::make_unique<TResourceModule>();
  m->Name = ModuleName;
  m->Entries = Entries;
  m->Count = Count;
  Modules().push_back(std::move(m));
  return Modules().back().get();
}

std::string ResourceModuleName(HINSTANCE Instance) {
  return Instance != nullptr ? Instance->Name : std::string();
}

TResourceBytes FindResourceBytes(HINSTANCE Instance, const std::string& Name, TResourceType Type) {
  const TResourceEntry* e = Find(Instance, Name, Type);
  if (e == nullptr) NotFound(Name);
  return TResourceBytes{e->Data, e->Size};
}

bool ResourceExists(HINSTANCE Instance, const std::string& Name, TResourceType Type) {
  return Find(Instance, Name, Type) != nullptr;
}

void LoadBitmapResource(HINSTANCE Instance, const std::string& Name, TBitmap& Bitmap) {
  const TResourceBytes bytes = FindResourceBytes(Instance, Name, rtBitmap);
  TMemoryStream stream;
  stream.WriteBuffer(bytes.Data, static_cast<int64_t>(bytes.Size));
  stream.SetPosition(0);
  Bitmap.LoadFromStream(stream);
}

void LoadBitmapResource(const std::string& Name, TBitmap& Bitmap) {
  for (const auto& m : Modules()) {
    if (ResourceExists(m.get(), Name, rtBitmap)) {
      LoadBitmapResource(m.get(), Name, Bitmap);
      return;
    }
  }
  NotFound(Name);
}

HCURSOR LoadCursorW(HINSTANCE Instance, const std::string& Name) {
  if (Instance == nullptr) NotFound(Name);
  const std::string key = UpperCase(Name);
  auto it = Instance->Cursors.find(key);
  if (it != Instance->Cursors.end()) return it->second.get();
  const TResourceBytes bytes = FindResourceBytes(Instance, Name, rtCursor);
  auto image = std::make_unique<TCursorImage>(DecodeCursor(bytes.Data, bytes.Size));
  image->Name = key;
  HCURSOR handle = image.get();
  Instance->Cursors.emplace(key, std::move(image));
  return handle;
}

}  // namespace marovia
