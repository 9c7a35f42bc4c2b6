#pragma once

#include "display/DrawingSurface.h"
#include "wave/WaveRecord.h"

// The plot's width in pixels. Each trace takes one sample per column, from frame
// column * (frameCount / kWaveformColumns), and reads no other sample.
inline constexpr int kWaveformColumns = 840;
// The plot box's height in pixels, half above and half below the centre line.
inline constexpr int kWaveformHeight = 320;

// Draws the 840 x 320 plot whose left edge is x0 and centre line yc: dotted grid, time
// labels, amplitude labels scaled for the record's plotBits (its bitsPerSample when 0),
// one trace per channel and, for two channels (or more, read as left and right), the
// legend in blue and red (the text colour is left red). Returns 0.
//
// Any record is safe to draw: with no frames, or when the peak leaves no amplitude scale
// (the labels then read 0), no trace is drawn; a trace offset is clamped to a billion
// pixels; and an element at or beyond the end of left or right, in a record whose arrays
// are shorter than frameCount claims, is never read but drawn as 0, on the centre line.
int DrawWaveform(DrawingSurface& surface, const WaveRecord& record, int x0, int yc);
