#include "display/ViewDrawing.h"

#include "display/InfoLines.h"
#include "display/WaveformPlot.h"

namespace {

// Where the drawing stands in the view, in pixels.
constexpr int kInfoLeft = 0;
constexpr int kInfoTop = 0;
constexpr int kPlotLeft = 70;
constexpr int kPlotCenterY = 220;

} // namespace

void DrawLoadedRecord(DrawingSurface& surface, const WaveRecord& record) {
    DrawInfoLines(surface, record, kInfoLeft, kInfoTop);
    DrawWaveform(surface, record, kPlotLeft, kPlotCenterY);
}
