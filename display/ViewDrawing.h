#pragma once

#include "display/DrawingSurface.h"
#include "wave/WaveRecord.h"

// What the viewer's window shows for a loaded record: the information lines at the top
// left and the waveform plot below them, at the view's places.
void DrawLoadedRecord(DrawingSurface& surface, const WaveRecord& record);
