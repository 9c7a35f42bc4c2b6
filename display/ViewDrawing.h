#pragma once

#include "display/DrawingSurface.h"
#include "wave/WaveRecord.h"

// Where the drawing stands in the view, in pixels: the information lines at the top left
// and the waveform plot below them.
inline constexpr int kInfoLeft = 0;
inline constexpr int kInfoTop = 0;
inline constexpr int kPlotLeft = 70;
inline constexpr int kPlotCenterY = 220;
// The area the drawing fills: the legend ends at x = 936 and the time labels at y = 420.
// The renderer paints a picture of this size.
inline constexpr int kDrawingWidth = 960;
inline constexpr int kDrawingHeight = 440;

// What the viewer's window shows for a loaded record: the information lines at the top
// left and the waveform plot below them, at the view's places.
void DrawLoadedRecord(DrawingSurface& surface, const WaveRecord& record);
