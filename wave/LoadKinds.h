#pragma once

// The two kinds of load, as ReadSamples uses them: which sink takes the samples, how the
// arrays are readied before the first sample is written, and the size of the blocks read.

#include <cstddef>
#include <cstdint>

#include "wave/SampleBlockReader.h"
#include "wave/SampleSinks.h"
#include "wave/WaveRecord.h"

namespace wave_reader {

// The full load: every sample into the arrays. Only the elements that the samples the
// file holds will fill are backed with memory; a header may claim far more frames than
// the file holds. One thread faults their pages in at once; two threads fault them as they
// write, so that each zeroes its own fresh pages (measured on two CPUs with 1 GiB of
// 16-bit stereo: 78 ms against 93 to 105 ms when each thread first faulted its range in
// with one call).
struct FullLoad {
    // The record is committed before the samples are read, so that the old arrays are
    // released before the new ones fill.
    static constexpr bool kStaged = false;
    std::size_t blockBytes = kBlockBytes;

    FullSink MakeSink(WaveRecord& record, std::uint64_t first) const {
        return FullSink(record, first);
    }
    void Prepare(WaveRecord& record, std::uint64_t samplesInFile,
                 SampleArray::Faulting faulting) const {
        const ElementRange elements = ElementsOf(record.channels == 1, 0, samplesInFile);
        record.left.PrepareForWriting(elements.leftLast, faulting);
        record.right.PrepareForWriting(elements.rightLast, faulting);
    }
};

// The strided load: the kept frames into the arrays and the peaks of every sample. The
// scan only reads each block once, so smaller blocks than a full load's keep the copy from
// the page cache and the scan inside the processor's second-level cache. The kept frames
// lie far apart: where the system backs all memory with huge pages, each would cost a
// whole huge page, so the arrays keep to small pages.
struct StridedLoad {
    // The samples fill the staging record, committed once they have all been read.
    static constexpr bool kStaged = true;
    std::uint32_t columns;
    KeptFramePlace place = KeptFramePlace::Frame;
    std::size_t blockBytes = std::size_t{256} << 10;

    StridedSink MakeSink(WaveRecord& record, std::uint64_t first) const {
        return StridedSink(record, columns, first, place);
    }
    void Prepare(WaveRecord& record, std::uint64_t, SampleArray::Faulting) const {
        record.left.KeepToSmallPages();
        record.right.KeepToSmallPages();
    }
};

} // namespace wave_reader
