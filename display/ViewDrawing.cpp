#include "display/ViewDrawing.h"

#include "display/InfoLines.h"
#include "display/WaveformPlot.h"

void DrawLoadedRecord(DrawingSurface& surface, const WaveRecord& record) {
    DrawInfoLines(surface, record, kInfoLeft, kInfoTop);
    DrawWaveform(surface, record, kPlotLeft, kPlotCenterY);
}
