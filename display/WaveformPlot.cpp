#include "display/WaveformPlot.h"

#include <cstddef>
#include <string>

#include "display/InfoLines.h"

namespace {

// Geometry of the plot, in pixels, relative to its left edge x0 and centre line yc.
// The box width, and one trace segment per column.
constexpr int kColumns = kWaveformColumns;
constexpr int kHalfHeight = kWaveformHeight / 2;    // centre line to the top and bottom edges
constexpr int kQuarterHeight = kWaveformHeight / 4; // centre line to the inner horizontal lines
constexpr int kGridDivisions = 10; // vertical grid lines 0..10, one per tenth of the time
constexpr int kGridPitch = kColumns / kGridDivisions;
constexpr int kTimeLabelDrop = 184;   // centre line to the top of the time labels
constexpr int kLabelBackOff = 16;     // a time label or "0" starts this far left of its line
constexpr int kLabelRise = 8;         // a label's top edge sits this far above its line
constexpr int kCharacterWidth = 8;    // one half-width character of the surface's font
constexpr int kMinusOffset = 11;      // extra shift left of a negative amplitude label
constexpr int kLegendGap = 850;       // left edge to the legend
constexpr int kLegendRowSpacing = 24; // the right channel's word below the left one's

// The trace maps a sample of scale / 2 to the box edge: the box's height per scale.
constexpr double kTraceGain = kWaveformHeight;
// Offsets are clamped to this before they become ints, so that a tiny scale can neither
// overflow the conversion nor yc minus the offset.
constexpr double kOffsetLimit = 1'000'000'000.0;

constexpr Colour kBlack = 0x00000000;
constexpr Colour kBlue = 0x00FF0000;
constexpr Colour kRed = 0x000000FF;

// Every line is drawn as one move-to followed by one line-to.
void DrawLine(DrawingSurface& surface, int x1, int y1, int x2, int y2) {
    surface.MoveTo(x1, y1);
    surface.LineTo(x2, y2);
}

// The dotted grid and, under it, the time of each vertical line: the duration divided
// into tenths. Every line of the grid uses one dotted pen.
void DrawGridAndTimeAxis(DrawingSurface& surface, const WaveRecord& record, int x0, int yc) {
    const int right = x0 + kColumns;
    const int top = yc - kHalfHeight;
    const int bottom = yc + kHalfHeight;
    const PenHandle pen = surface.CreatePen(PenStyle::Dotted, 1, kBlack);
    const PenHandle previous = surface.SelectPen(pen);
    DrawLine(surface, x0, yc, right, yc);
    DrawLine(surface, x0, top, right, top);
    DrawLine(surface, x0, bottom, right, bottom);
    DrawLine(surface, x0, top, x0, bottom);
    DrawLine(surface, right, top, right, bottom);
    DrawLine(surface, x0, yc - kQuarterHeight, right, yc - kQuarterHeight);
    DrawLine(surface, x0, yc + kQuarterHeight, right, yc + kQuarterHeight);
    for (int i = 0; i <= kGridDivisions; ++i) {
        const int x = i * kGridPitch + x0;
        DrawLine(surface, x, top, x, bottom);
        // dataSize times i in double: in 32-bit arithmetic it would wrap for large files.
        const double seconds =
            static_cast<double>(record.dataSize) * i * 0.1 / static_cast<double>(record.byteRate);
        surface.TextOut(x - kLabelBackOff, yc + kTimeLabelDrop, FormatTwoDecimals(seconds, 0));
    }
    surface.SelectPen(previous);
    surface.DeletePen(pen);
}

// The sample width the plot scales by, in bits: that of the 16-bit values a file's samples
// were converted to (8 for one-byte integer samples), else the file's own.
int PlotBits(const WaveRecord& record) {
    return record.plotBits != 0 ? record.plotBits : record.bitsPerSample;
}

// Whether the right channel has a trace and the legend: for a stereo file, and for a file
// of more channels whose channels 0 and 1 were read as left and right. A file of other
// channel counts read the old way deals every sample to left and right in turn, which
// makes no second channel.
bool HasRightChannel(const WaveRecord& record) {
    return record.channels == 2 || (record.plotBits != 0 && record.channels > 2);
}

// The power-of-two fraction of the full scale that puts the peak between the upper quarter
// line (included) and the top edge (excluded): the last k below the plot's bits with
// 2^k * peak < fullScale gives fullScale / 2^(k-1). 0 when no k passes.
double ChooseScale(const WaveRecord& record) {
    const int bits = PlotBits(record);
    const double fullScale = bits == 16 ? 65536.0 : 256.0;
    double scale = 0.0;
    double halfPower = 1.0; // 2^(k-1); doubling is exact until it overflows to infinity
    for (int k = 1; k < bits; ++k) {
        const double power = halfPower * 2.0;
        if (power * record.peak < fullScale) {
            scale = fullScale / halfPower;
        }
        halfPower = power;
    }
    return scale;
}

// Labels of the top edge, bottom edge and quarter lines, right-aligned to one character
// before the box; the minus sign of a negative label juts out further left.
void DrawAmplitudeLabels(DrawingSurface& surface, double scale, int x0, int yc) {
    const std::string half = FormatDecimal(static_cast<std::int32_t>(scale * 0.5), 0);
    const std::string quarter = FormatDecimal(static_cast<std::int32_t>(scale * 0.25), 0);
    const int halfX = x0 - kCharacterWidth * (static_cast<int>(half.size()) + 1);
    const int quarterX = x0 - kCharacterWidth * (static_cast<int>(quarter.size()) + 1);
    surface.TextOut(halfX, yc - kHalfHeight - kLabelRise, half);
    surface.TextOut(halfX - kMinusOffset, yc + kHalfHeight - kLabelRise,
                    FormatDecimal(static_cast<std::int32_t>(scale * -0.5), 0));
    surface.TextOut(quarterX, yc - kQuarterHeight - kLabelRise, quarter);
    surface.TextOut(quarterX - kMinusOffset, yc + kQuarterHeight - kLabelRise,
                    FormatDecimal(static_cast<std::int32_t>(scale * -0.25), 0));
}

// A sample's height above the centre line in pixels, truncated toward zero. scale is not 0.
int TraceOffset(std::int16_t sample, double scale) {
    double offset = sample / scale * kTraceGain;
    if (offset > kOffsetLimit) {
        offset = kOffsetLimit;
    } else if (offset < -kOffsetLimit) {
        offset = -kOffsetLimit;
    }
    return static_cast<int>(offset);
}

// A record built by hand may hold fewer elements than its frameCount claims: an element
// that is not there reads as 0, as the reader leaves samples that a file does not supply.
std::int16_t SampleAt(const SampleArray& samples, std::size_t index) {
    return index < samples.size() ? samples[index] : std::int16_t{0};
}

// One segment of a trace, with a pen of its own that lives only for the segment.
void DrawSegment(DrawingSurface& surface, Colour colour, int x, int yc, int fromOffset,
                 int toOffset) {
    const PenHandle pen = surface.CreatePen(PenStyle::Solid, 1, colour);
    const PenHandle previous = surface.SelectPen(pen);
    DrawLine(surface, x - 1, yc - fromOffset, x, yc - toOffset);
    surface.SelectPen(previous);
    surface.DeletePen(pen);
}

// One sample per column, taken by striding over the frames without averaging; the traces
// may leave the box, and the surface clips. Each trace starts on the centre line at the
// box's left edge.
void DrawTraces(DrawingSurface& surface, const WaveRecord& record, double scale, int x0, int yc) {
    const std::size_t step = record.frameCount / kColumns; // frames per column
    const bool stereo = HasRightChannel(record);
    int previousLeft = 0;
    int previousRight = 0;
    for (int column = 0; column < kColumns; ++column) {
        const int x = x0 + 1 + column;
        const std::size_t index = static_cast<std::size_t>(column) * step;
        const int left = TraceOffset(SampleAt(record.left, index), scale);
        DrawSegment(surface, kBlue, x, yc, previousLeft, left);
        previousLeft = left;
        if (stereo) {
            const int right = TraceOffset(SampleAt(record.right, index), scale);
            DrawSegment(surface, kRed, x, yc, previousRight, right);
            previousRight = right;
        }
    }
}

// The text colour is left red: every paint starts with a fresh surface.
void DrawLegend(DrawingSurface& surface, int x0, int yc) {
    surface.SetTextColour(kBlue);
    surface.TextOut(x0 + kLegendGap, yc - kHalfHeight, "左");
    surface.SetTextColour(kRed);
    surface.TextOut(x0 + kLegendGap, yc - kHalfHeight + kLegendRowSpacing, "右");
}

} // namespace

int DrawWaveform(DrawingSurface& surface, const WaveRecord& record, int x0, int yc) {
    DrawGridAndTimeAxis(surface, record, x0, yc);
    surface.TextOut(x0 - kLabelBackOff, yc - kLabelRise, "0");
    const double scale = ChooseScale(record);
    DrawAmplitudeLabels(surface, scale, x0, yc);
    // A scale of 0 would divide by zero, and no frame means no sample to draw: no trace.
    if (scale != 0.0 && record.frameCount != 0) {
        DrawTraces(surface, record, scale, x0, yc);
    }
    if (HasRightChannel(record)) {
        DrawLegend(surface, x0, yc);
    }
    return 0;
}
