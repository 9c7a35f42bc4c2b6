#include "wave/SampleSinks.h"

#include <algorithm>

namespace wave_reader {

ElementRange ElementsOf(bool mono, std::uint64_t first, std::uint64_t last) {
    if (mono) {
        return {static_cast<std::size_t>(first), static_cast<std::size_t>(last), 0, 0};
    }
    return {static_cast<std::size_t>((first + 1) / 2), static_cast<std::size_t>((last + 1) / 2),
            static_cast<std::size_t>(first / 2), static_cast<std::size_t>(last / 2)};
}

void FullSink::Discard() {
    const ElementRange elements = ElementsOf(mono, first, next);
    std::fill(left + elements.leftFirst, left + elements.leftLast, std::int16_t{0});
    std::fill(right + elements.rightFirst, right + elements.rightLast, std::int16_t{0});
    peakLeft = peakRight = 0;
}

KeptSamples::KeptSamples(const WaveRecord& record, std::uint32_t columns, std::uint64_t first)
    : m_step(columns == 0 ? 0 : record.frameCount / columns),
      m_columns(record.frameCount == 0 ? 0 : columns), m_mono(record.channels == 1) {
    while (!Done() && Sample() < first) { // at most one step per kept sample
        Advance();
    }
}

void KeptSamples::Advance() {
    if (!m_mono && m_second == 0) {
        m_second = 1;
        return;
    }
    m_second = 0;
    // With a step of 0 every further column reads the frame just kept.
    m_column = m_step == 0 ? m_columns : m_column + 1;
}

void StridedSink::Discard() {
    for (KeptSamples undo = firstKept; !undo.Done() && undo.Sample() < next; undo.Advance()) {
        ElementOfKept(undo) = 0;
    }
    peakLeft = peakRight = 0;
}

} // namespace wave_reader
