#pragma once

#include "display/DrawingSurface.h"
#include "wave/WaveRecord.h"

// Draws the path at (x, y) and the one-line format summary at (x, y + 20). Returns 0.
int DrawInfoLines(DrawingSurface& surface, const WaveRecord& record, int x, int y);
