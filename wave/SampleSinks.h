#pragma once

// Where the decoded samples of a block go: the full load's sink writes every sample into
// the record's arrays, the strided load's sink only the samples of a few frames; both
// raise the peaks over every sample. A sink takes the samples of one range of the file,
// block after block, in file order, and can undo all it took. No I/O and no threads: each
// reading thread has a sink of its own.

#include <cstddef>
#include <cstdint>

#include "wave/SampleDecoders.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

namespace wave_reader {

// The elements of left and right that the samples [first, last) of the file go to. A
// mono file fills left only; every other file deals even samples to left and odd ones to
// right.
struct ElementRange {
    std::size_t leftFirst, leftLast, rightFirst, rightLast;
};
ElementRange ElementsOf(bool mono, std::uint64_t first, std::uint64_t last);

// What both sinks hold: the arrays, whether the file is mono, the samples taken so far,
// from first up to next, and their peaks. A mono file fills left only. Every other
// channel count deals the samples alternately, by the parity of their number in the file:
// even ones (the first of a frame) to left, odd ones to right, so that further channels
// end up mixed into both. Until the end of a load peakLeft holds the peak of the
// even-numbered samples, or of every sample of a mono file, and peakRight that of the
// odd-numbered ones.
struct SampleSink {
    SampleSink(WaveRecord& record, std::uint64_t first)
        : left(record.left.data()), right(record.right.data()), mono(record.channels == 1),
          first(first), next(first) {}

    std::int16_t* left;
    std::int16_t* right;
    bool mono;
    std::uint64_t first; // number in the file of the first sample taken
    std::uint64_t next;  // number in the file of the next sample
    std::int16_t peakLeft{};
    std::int16_t peakRight{};

protected:
    // The element that sample number sample of the file goes to.
    std::int16_t& ElementOf(std::uint64_t sample) {
        if (mono) {
            return left[sample];
        }
        return sample % 2 == 0 ? left[sample / 2] : right[sample / 2];
    }

    // Takes count samples, from sample next of the file on, frame by frame, whatever the
    // parity of next: a block may start with the right half of a frame that the block
    // before began, and end with the left half of one that the next block ends. Such a
    // half is taken alone: its channel's peak is raised and it is handed to takeOne; the
    // whole frames between go to takePairs(in, frames), with next at their first sample.
    // next ends past every sample taken.
    template <typename Decoder, typename TakePairs, typename TakeOne>
    void TakeFrames(Decoder decode, const std::uint8_t* in, std::size_t count, TakePairs takePairs,
                    TakeOne takeOne) {
        const std::size_t stride = decode.Bytes();
        if (count > 0 && next % 2 == 1) {
            TakeHalfFrame(decode(in), takeOne);
            in += stride;
            --count;
        }
        const std::size_t frames = count / 2;
        takePairs(in, frames);
        next += 2 * frames;
        if (count % 2 == 1) {
            TakeHalfFrame(decode(in + 2 * frames * stride), takeOne);
        }
    }

private:
    template <typename TakeOne> void TakeHalfFrame(std::int16_t value, TakeOne takeOne) {
        std::int16_t& peak = next % 2 == 0 ? peakLeft : peakRight;
        peak = value > peak ? value : peak;
        takeOne(value);
        ++next;
    }
};

// The full load's sink: every sample into its element of the arrays.
struct FullSink : SampleSink {
    using SampleSink::SampleSink;

    template <typename Decoder>
    void Take(Decoder decode, const std::uint8_t* in, std::size_t count) {
        if (mono) {
            peakLeft = DecodeMono(decode, in, count, left + next, peakLeft);
            next += count;
            return;
        }
        const auto pairs = [&](const std::uint8_t* at, std::size_t frames) {
            DecodePairs(decode, at, frames, left + next / 2, right + next / 2, peakLeft, peakRight);
        };
        TakeFrames(decode, in, count, pairs, [&](std::int16_t value) { ElementOf(next) = value; });
    }

    // Undoes everything taken: the elements written go back to 0, and so do the peaks.
    void Discard();
};

// The samples a strided load keeps, in file order: the frames column * step, where step is
// frameCount / columns, and of each frame its left sample or, for any channel count but
// one, its left and its right sample (sample numbers 2 * frame and 2 * frame + 1, as
// the samples are dealt). With fewer frames than columns the step is 0, and every column
// reads frame 0.
class KeptSamples {
public:
    // The kept samples from sample first on, where a second thread starts taking samples.
    KeptSamples(const WaveRecord& record, std::uint32_t columns, std::uint64_t first);

    bool Done() const { return m_column >= m_columns; }

    // The number in the file of the next sample to keep.
    std::uint64_t Sample() const {
        const std::uint64_t frame = std::uint64_t{m_column} * m_step;
        return m_mono ? frame : 2 * frame + m_second;
    }

    void Advance();

    // The column that the next kept sample is read for, and whether it is a right sample.
    std::uint32_t Column() const { return m_column; }
    bool Right() const { return m_second == 1; }

private:
    std::uint64_t m_step;
    std::uint32_t m_columns;
    bool m_mono;
    std::uint32_t m_column{};
    std::uint32_t m_second{}; // 1 while the right sample of the frame is next
};

// The strided load's sink: it writes the kept samples into the record's arrays, where a
// full load would put them or at their column's elements, and raises the peaks over all of
// them, as a full load does.
struct StridedSink : SampleSink {
    StridedSink(WaveRecord& record, std::uint32_t columns, std::uint64_t first,
                KeptFramePlace place)
        : SampleSink(record, first), kept(record, columns, first), firstKept(kept), place(place) {}

    KeptSamples kept;      // the next sample to keep
    KeptSamples firstKept; // the first one this sink keeps
    KeptFramePlace place;

    template <typename Decoder>
    void Take(Decoder decode, const std::uint8_t* in, std::size_t count) {
        const std::size_t stride = decode.Bytes();
        for (; !kept.Done() && kept.Sample() - next < count; kept.Advance()) {
            ElementOfKept(kept) = decode(in + (kept.Sample() - next) * stride);
        }
        const auto pairs = [&](const std::uint8_t* at, std::size_t frames) {
            RaisePairPeaks(decode, at, frames, peakLeft, peakRight);
        };
        TakeFrames(decode, in, count, pairs, [](std::int16_t) {});
        if (mono) { // every sample of a mono file is a left one
            peakLeft = peakRight > peakLeft ? peakRight : peakLeft;
            peakRight = 0;
        }
    }

    // Undoes everything taken: the kept samples written go back to 0, and so do the peaks.
    void Discard();

private:
    // The element the kept sample goes to.
    std::int16_t& ElementOfKept(const KeptSamples& sample) {
        if (place == KeptFramePlace::Frame) {
            return ElementOf(sample.Sample());
        }
        return (sample.Right() ? right : left)[sample.Column()];
    }
};

} // namespace wave_reader
