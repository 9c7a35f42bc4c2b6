#pragma once

#include <cstdint>
#include <string>

#include "display/DrawingSurface.h"
#include "wave/WaveRecord.h"

// The height of the path line, in pixels: the summary line stands this far below it.
inline constexpr int kInfoLineHeight = 20;

// The two texts of the information lines, as they are drawn.
struct InfoTexts {
    std::string path;    // UTF-8, with U+FFFD for each byte that is not valid UTF-8
    std::string summary; // channels, sample rate, bits, size, duration and frames
};
InfoTexts DescribeInfoLines(const WaveRecord& record);

// Draws the path at (x, y) and the one-line format summary at (x, y + 20), in the
// surface's current text colour. Returns 0. Path bytes that are not valid UTF-8 are drawn
// as U+FFFD where they stand.
int DrawInfoLines(DrawingSurface& surface, const WaveRecord& record, int x, int y);

// Number texts shared by the drawing routines. They read exactly as C's printf prints them
// in the "C" locale, whatever locale the process runs under: Qt sets the C library's locale
// from the environment, and a German user must still see "1.68", not "1,68".

// printf's "%*d": the value right-aligned in width characters, padded with blanks.
std::string FormatDecimal(std::int32_t value, int width);

// printf's "%*.2f". A not-a-number prints as "-nan" on every machine: the only one the
// drawing meets is 0.0 / 0.0 (a byte rate of 0), which glibc prints so on x86-64 because
// the division yields a NaN with its sign bit set.
std::string FormatTwoDecimals(double value, int width);
