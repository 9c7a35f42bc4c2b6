#include "display/WaveformPlot.h"

int DrawWaveform(DrawingSurface&, const WaveRecord&, int, int) { return 0; }
