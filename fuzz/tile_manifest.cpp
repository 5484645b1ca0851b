// The manifests of tile fragments.
//
// Invariants checked: a manifest that is accepted serialises to text that
// reads back to the same manifest, and its tiles lie within its ids, rise,
// and number at most its places.
#include "marovia/geomap/tile_manifest.h"
#include "fuzz_support.h"

using namespace marovia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TTileManifest m;
  if (!fuzz::Refusing([&] { m = TTileManifest::Parse(fuzz::AsText(Data, Size), "m"); })) return 0;
  fuzz::Check(static_cast<int64_t>(m.Tiles.size()) <= m.Places, "more tiles than places");
  for (size_t i = 0; i < m.Tiles.size(); ++i)
    fuzz::Check(m.Tiles[i].Id >= m.FirstId && m.Tiles[i].Id < m.EndId &&
                    (i == 0 || m.Tiles[i].Id > m.Tiles[i - 1].Id),
                "tiles outside the ids or out of order");
  const std::string text = m.Serialize();
  TTileManifest again;
  fuzz::Check(fuzz::Refusing([&] { again = TTileManifest::Parse(text, "m"); }),
              "a serialised manifest is refused");
  fuzz::Check(again.Serialize() == text, "a manifest changed by a round trip");
  return 0;
}
