#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

// What a load of a file must give, worked out the slow and obvious way from a buffer in
// memory: one byte and one sample at a time, each step of the header in file order, with
// no blocks, no staging and no shortcuts, so that it can check the fast reader. Samples
// are converted to 16-bit values by the rules of the formats the reader draws, written
// out again here in their plainest form: integer samples through a sign-extended 32-bit
// number, floats through double and nearbyint, G.711 codes by segment and step.
//
// The samples are only those the file really supplies: left and right hold every element
// up to the last one a sample was written to (the rest of each array must be 0), never
// frameCount elements, since a header may claim 2^32 - 1 frames.
struct ReferenceResult {
    // Loaded, NotRiffWave, NoDataChunk, UnsupportedFormat or ZeroBlockAlign.
    LoadStatus status{LoadStatus::Loaded};
    std::uint16_t formatCode{}; // for UnsupportedFormat: the format the file names

    // Header fields as read (all of them meaningful only when status is Loaded).
    std::uint32_t riffId{}, fileLength{}, waveId{}, fmtId{}, fmtSize{};
    std::uint16_t formatTag{}, channels{};
    std::uint32_t sampleRate{}, byteRate{};
    std::uint16_t blockAlign{}, bitsPerSample{};
    std::uint32_t dataSize{};
    std::uint16_t bytesPerSample{};
    std::uint32_t frameCount{};
    std::uint16_t plotBits{};

    std::vector<std::int16_t> left, right; // the written prefix of each array
    std::int16_t peak{}, peakRight{};
};

ReferenceResult DecodeReference(const std::vector<std::uint8_t>& file);

// One field of two records side by side, for comparisons that name the first difference.
struct FieldPair {
    const char* name;
    long long actual, expected;
};

// The header and derived fields that WaveRecord and ReferenceResult both hold, riffId to
// frameCount in file order and plotBits, of actual beside expected.
template <typename Actual, typename Expected>
std::vector<FieldPair> HeaderFieldPairs(const Actual& actual, const Expected& expected) {
    return {
        {"riffId", actual.riffId, expected.riffId},
        {"fileLength", actual.fileLength, expected.fileLength},
        {"waveId", actual.waveId, expected.waveId},
        {"fmtId", actual.fmtId, expected.fmtId},
        {"fmtSize", actual.fmtSize, expected.fmtSize},
        {"formatTag", actual.formatTag, expected.formatTag},
        {"channels", actual.channels, expected.channels},
        {"sampleRate", actual.sampleRate, expected.sampleRate},
        {"byteRate", actual.byteRate, expected.byteRate},
        {"blockAlign", actual.blockAlign, expected.blockAlign},
        {"bitsPerSample", actual.bitsPerSample, expected.bitsPerSample},
        {"dataSize", actual.dataSize, expected.dataSize},
        {"bytesPerSample", actual.bytesPerSample, expected.bytesPerSample},
        {"frameCount", actual.frameCount, expected.frameCount},
        {"plotBits", actual.plotBits, expected.plotBits},
    };
}

// Compares a record after a load with the expected outcome. Returns an empty string when
// they agree, else a description of the first difference. For a load, every header and
// derived field, the array sizes (frameCount each), the written prefixes, peak and
// peakRight are compared, and the elements after the prefixes must be 0 (checked up to
// zeroTailLimit elements past each prefix, and the last element, so that a claim of
// billions of frames is not read in full).
std::string DescribeDifference(const WaveRecord& record, const ReferenceResult& expected,
                               std::size_t zeroTailLimit = std::size_t{1} << 20);
