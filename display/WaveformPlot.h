#pragma once

#include "display/DrawingSurface.h"
#include "wave/WaveRecord.h"

// Draws the 840 x 320 plot whose left edge is x0 and centre line yc: dotted grid, time
// labels, amplitude labels, one trace per channel and, for two channels, the legend.
// Returns 0.
int DrawWaveform(DrawingSurface& surface, const WaveRecord& record, int x0, int yc);
