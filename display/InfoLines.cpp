#include "display/InfoLines.h"

int DrawInfoLines(DrawingSurface&, const WaveRecord&, int, int) { return 0; }
