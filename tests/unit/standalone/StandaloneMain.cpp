// A program built from the reader and drawing sources alone, with nothing but the
// compiler: it proves they need no library, build system or helper outside themselves.
#include <cstdio>

#include "display/DrawingSurface.h"
#include "display/InfoLines.h"
#include "display/WaveformPlot.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

namespace {

// Counts what is drawn; pens are 1, 2, 3, ... and the default pen is 0.
class CountingSurface : public DrawingSurface {
public:
    PenHandle CreatePen(PenStyle, int, Colour) override { return ++m_pens; }
    PenHandle SelectPen(PenHandle pen) override {
        const PenHandle before = m_selected;
        m_selected = pen;
        return before;
    }
    void DeletePen(PenHandle) override {}
    void MoveTo(int, int) override {}
    void LineTo(int, int) override { ++lines; }
    void TextOut(int, int, std::string_view) override { ++texts; }
    void SetTextColour(Colour) override {}

    int lines{};
    int texts{};

private:
    PenHandle m_pens{};
    PenHandle m_selected{};
};

} // namespace

int main() {
    WaveRecord record;
    if (LoadWaveFile(record, "/nonexistent/standalone.wav") != 1) {
        std::puts("a missing file was not rejected");
        return 1;
    }
    const LoadOutcome outcome = LoadWaveFileExplained(record, "/nonexistent/standalone.wav");
    std::printf("missing file: %s\n", DescribeLoadStatus(outcome.status));
    if (!AllocateSampleBuffers(record, 1000)) {
        return 1;
    }
    record.channels = 2;
    record.bitsPerSample = 16;
    record.frameCount = 1000;
    record.peak = 100;
    record.path = "/standalone.wav";
    CountingSurface surface;
    DrawInfoLines(surface, record, 0, 0);
    DrawWaveform(surface, record, 70, 220);
    std::printf("%d lines, %d texts\n", surface.lines, surface.texts);
    return surface.lines == 18 + 2 * 840 && surface.texts == 2 + 18 ? 0 : 1;
}
