// Scaled copies between canvases with a selectable stretch mode.
//
// COLORONCOLOR takes, for each destination pixel, the source pixel its
// centre maps to (no smoothing). HALFTONE smooths: each destination pixel is
// the area average of the source pixels it covers when shrinking, and a
// bilinear interpolation between the nearest source pixels when enlarging
// (each axis decides separately). BLACKONWHITE and WHITEONBLACK draw as
// COLORONCOLOR.
//
// Destination pixels whose source position lies outside the source surface
// are left untouched. Results are quantised to the destination's pixel
// format. A negative width -N from X covers X, X-1, ..., X-N+1; when the
// source and destination signs differ that axis is mirrored.
#pragma once

#include <cstdint>

namespace marovia {

class TCanvas;

constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;
constexpr int STRETCH_ANDSCANS = BLACKONWHITE;
constexpr int STRETCH_ORSCANS = WHITEONBLACK;
constexpr int STRETCH_DELETESCANS = COLORONCOLOR;
constexpr int STRETCH_HALFTONE = HALFTONE;

constexpr uint32_t SRCCOPY = 0x00CC0020;

// Sets the stretch mode of Canvas; returns the previous mode, or 0 for a
// mode outside 1..4 (then nothing changes).
int SetStretchBltMode(TCanvas& Canvas, int Mode);
int GetStretchBltMode(const TCanvas& Canvas);

// Copies the source rectangle (SX, SY, SW, SH) of Src scaled into the
// destination rectangle (DX, DY, DW, DH) of Dest, with the stretch mode of
// Dest. Rop is a copy mode (SRCCOPY is the fast path; the others combine as
// CopyRect does). Returns false if nothing could be drawn (a canvas without
// surface, a zero width or height).
bool StretchBlt(TCanvas& Dest, int DX, int DY, int DW, int DH, const TCanvas& Src, int SX, int SY,
                int SW, int SH, uint32_t Rop);

// StretchBlt with 64-bit positions and extents, so that a rectangle whose
// width does not fit 32 bits (Right - Left of a huge TRect, a source window
// computed for a view panned far beyond the image) is still drawn clipped
// rather than overflowing.
bool StretchBltWide(TCanvas& Dest, int64_t DX, int64_t DY, int64_t DW, int64_t DH,
                    const TCanvas& Src, int64_t SX, int64_t SY, int64_t SW, int64_t SH,
                    uint32_t Rop);

// The smoothed copy runs its row loops vectorised where the processor
// allows (the default); off, it runs the portable loops. Both give the same
// pixels; the switch is there to compare them. Process-wide.
void SetStretchBltVectorised(bool On);
bool StretchBltVectorised();

}  // namespace marovia
