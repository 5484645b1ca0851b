// Pixels between the 0x00RRGGBB words of tiles in memory and the B, G, R
// bytes of tiles in the cache file, vectorised.
#pragma once

#include <cstddef>
#include <cstdint>

namespace marovia::pyr {

// Out[i] = In[3i + 2] << 16 | In[3i + 1] << 8 | In[3i], for i < Count.
void ExpandBgr(const uint8_t* In, uint32_t* Out, size_t Count);
// Out[3i], Out[3i + 1], Out[3i + 2] = blue, green, red of In[i].
void PackBgr(const uint32_t* In, uint8_t* Out, size_t Count);

}  // namespace marovia::pyr
