// One output row of the 2 x 2 box reduction, the building block of
// BoxReduce2x2 and of the streaming builder.
#pragma once

#include <cstdint>

namespace marovia::pyr {

// Dest[x] for x in [0, ceil(SrcW / 2)): the rounded average of Row0[2x],
// Row0[2x + 1], Row1[2x], Row1[2x + 1] per channel, the last column repeated
// when SrcW is odd. Row1 may equal Row0 (a last row without a partner).
// Dest must not overlap the source rows.
void BoxReduceRow(const uint32_t* Row0, const uint32_t* Row1, int SrcW, uint32_t* Dest);

// The plain rule, pixel by pixel: the reference the vector path matches.
void BoxReduceRowScalar(const uint32_t* Row0, const uint32_t* Row1, int SrcW, uint32_t* Dest);

}  // namespace marovia::pyr
