#pragma once

// Reading the data chunk block by block into a sink, on one thread or two. The calling
// thread reads the samples before a split point and a second thread those from it on,
// each through a scratch buffer of its own, each handing its blocks to a sink of its own;
// both threads are done before ReadSamples returns.

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>

#include "wave/FileDescriptor.h"
#include "wave/SampleDecoders.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

namespace wave_reader {

// The samples are read in blocks of at most this size: large enough that the system call
// costs nothing next to decoding, small enough to stay in the cache while it is decoded,
// and small enough that two scratch buffers of a block and a sample fit in one huge page.
constexpr std::size_t kBlockBytes = (std::size_t{1} << 20) - (std::size_t{8} << 10);

// The number of samples a load reads: frameCount for a mono file, two per frame for any
// other (64 bits wide: 2 x frameCount need not fit in 32).
inline std::uint64_t SamplesToRead(const WaveRecord& record) {
    return record.channels == 1 ? record.frameCount : std::uint64_t{2} * record.frameCount;
}

// Where a load reads its samples: the file, where its data starts, how its samples lie
// and decode, and the size of the blocks it reads at a time; and whom it tells how far it
// got, if anyone.
struct SampleSource {
    const FileDescriptor& file;
    std::uint64_t dataOffset;
    SampleLayout layout;
    std::size_t blockBytes; // at most kBlockBytes
    LoadProgress* progress;
};

// Moves the bytes of the first two samples of each frame in block (size bytes, its first
// byte at offset inFrame of its frame) to the front of block, in file order, and returns
// how many there are; inFrame becomes the offset in its frame of the byte after the block.
// Every byte moves to where it is or further forward, so nothing is overwritten before it
// has moved.
std::size_t GatherFirstTwoSamples(std::uint8_t* block, std::size_t size, const SampleLayout& layout,
                                  std::size_t& inFrame);

// How the reading of a range of samples ended: whole, or early, at the end of the file,
// at a cancel or at a read the system failed, for which its errno and the byte it started
// at (errorNumber 0 otherwise).
struct RangeEnd {
    bool complete{};
    int errorNumber{};
    std::uint64_t errorOffset{};
};

// Reads the samples from sink.next up to last, block by block, and hands them to the sink
// (the full load's or the strided load's). Ends early when the file ends, a read fails or
// the load is cancelled before the last sample was read whole; the samples not read are
// never taken. A sample of width 0 is never whole, so nothing is read.
//
// Of frames of three or more channels only channels 0 and 1 are kept (sink.next and last
// are even, so the range is whole frames): each block is read whole, and its kept samples
// are gathered to its front, where the sink takes them as the samples of a stereo file.
// A sample split by the block's end is carried over, so that the scratch buffer never
// holds more than a block and a sample, however large a frame is. A frame whose kept
// samples are not whole ends the range, as the end of the file does.
template <typename Sink>
RangeEnd ReadSampleRange(const SampleSource& source, std::uint64_t last, std::uint8_t* scratch,
                         Sink& sink) {
    const SampleLayout& layout = source.layout;
    const std::size_t bytesPerSample = layout.sampleBytes;
    if (bytesPerSample == 0) {
        return {sink.next >= last};
    }
    // Offsets fit in 64 bits: a sample index is below 2^33 and a frame below 2^16 bytes.
    std::uint64_t offset = source.dataOffset + layout.BytesOf(sink.next);
    const std::uint64_t end = source.dataOffset + layout.BytesOf(last);
    std::size_t carried = 0; // bytes of a split sample at the start of scratch
    std::size_t inFrame = 0; // of frames read in part: where the next byte read stands
    while (offset < end) {
        if (source.progress != nullptr && source.progress->Cancelled()) {
            return {};
        }
        // Never read past the last sample of the range.
        const std::uint64_t wanted = end - offset;
        const std::size_t ask =
            wanted < source.blockBytes ? static_cast<std::size_t>(wanted) : source.blockBytes;
        const ssize_t got = source.file.ReadAt(scratch + carried, ask, offset);
        if (got < 0) {
            return {false, errno, offset};
        }
        if (got == 0) {
            return {};
        }
        offset += static_cast<std::uint64_t>(got);
        if (source.progress != nullptr) {
            source.progress->Add(static_cast<std::uint64_t>(got));
        }
        std::size_t have = static_cast<std::size_t>(got);
        if (layout.frameBytes != 0) {
            have = GatherFirstTwoSamples(scratch + carried, have, layout, inFrame);
        }
        have += carried;
        const std::size_t whole = have / bytesPerSample;
        DecodeBlock(sink, layout.coding, bytesPerSample, scratch, whole);
        carried = have - whole * bytesPerSample;
        std::memmove(scratch, scratch + whole * bytesPerSample, carried);
    }
    return {true};
}

// How the samplesInFile samples the file holds are shared out: the calling thread reads
// the samples before the split and a second thread those from it on; 0 means that the
// calling thread reads them all. The split is the first sample of a frame.
std::uint64_t SplitPoint(const SampleLayout& layout, std::uint64_t samplesInFile,
                         SampleThreads threads);

// The scratch buffers of a load, one per reading thread. One thread reads through a
// buffer from the heap, which a run of loads reuses. Two threads read through two buffers
// in one huge page, faulted in at once: the heap hands two buffers' memory back to the
// system after each load, and faulting it in again one 4 KiB page at a time cost several
// milliseconds per load on a virtual machine.
class ScratchBuffers {
public:
    // Two buffers for a split other than 0; without the huge page's memory, one buffer,
    // and the split becomes 0 so that one thread reads everything.
    explicit ScratchBuffers(std::uint64_t& split);

    bool Allocated() const { return m_shared || m_heap; }
    std::uint8_t* ForCallingThread() { return m_shared ? Shared() : m_heap.get(); }
    std::uint8_t* ForSecondThread(); // only when there are two

private:
    std::uint8_t* Shared() { return reinterpret_cast<std::uint8_t*>(m_shared->data()); }

    std::unique_ptr<std::uint8_t[]> m_heap;
    std::optional<SampleArray> m_shared;
};

// Reads the samples into the record's arrays through two sinks of the load's kind (the
// full load's or the strided load's): one takes those before the split and the other
// those from it on, each on its own thread with its own scratch, and both threads are done
// when this returns; with no split the first takes them all on the calling thread. The
// kind readies the arrays for the samples the file holds before any is written. If the
// first range ends early (the file shrank, or a read failed), the data ended there, and
// whatever the second sink took is discarded, exactly as one pass would have stopped.
// The peaks of both end up in record. A read error ends the data like the end of the
// file; the first one a single pass would have met, if any, is returned (errorNumber 0
// when none), for the loads that reject such a file. A thread that cannot be started
// leaves its range to this one.
template <typename Kind>
RangeEnd ReadSamples(const SampleSource& source, std::uint64_t split, std::uint64_t samplesInFile,
                     ScratchBuffers& scratch, const Kind& kind, WaveRecord& record) {
    const std::uint64_t last = SamplesToRead(record); // the end of the data the header gives
    auto beforeSplit = kind.MakeSink(record, 0);
    auto fromSplit = kind.MakeSink(record, split);
    // Readied as one range even for two threads, not as two halves: the huge page that the
    // split falls into is then a huge page too, and so is every one of a file whose halves
    // are each smaller than a huge page (a 4 MiB file took 15 ms instead of 6 ms on two
    // threads when each thread readied its half, faulting in 4 KiB pages).
    kind.Prepare(record, samplesInFile,
                 split == 0 ? SampleArray::Faulting::Now : SampleArray::Faulting::OnFirstWrite);
    RangeEnd end;
    if (split == 0) {
        end = ReadSampleRange(source, last, scratch.ForCallingThread(), beforeSplit);
    } else {
        RangeEnd secondEnd;
        const auto readFromSplit = [&] {
            secondEnd = ReadSampleRange(source, last, scratch.ForSecondThread(), fromSplit);
        };
        std::thread second;
        try {
            second = std::thread(readFromSplit);
        } catch (const std::system_error&) {
            // No thread to be had: this one reads from the split on after the rest.
        }
        end = ReadSampleRange(source, split, scratch.ForCallingThread(), beforeSplit);
        if (second.joinable()) {
            second.join();
        } else if (end.complete) {
            readFromSplit();
        }
        if (end.complete) {
            end = secondEnd;
        } else {
            fromSplit.Discard();
        }
    }
    const std::int16_t peakLeft = std::max(beforeSplit.peakLeft, fromSplit.peakLeft);
    record.peakRight = std::max(beforeSplit.peakRight, fromSplit.peakRight);
    record.peak = std::max(peakLeft, record.peakRight);
    return end;
}

} // namespace wave_reader
