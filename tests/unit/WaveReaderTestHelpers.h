#pragma once

// Helpers shared by the reader's tests: a fixture that writes a built file and loads it,
// and a copy of a whole record to prove that a rejected load changed nothing.

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/TemporaryFolder.h"
#include "tests/support/WavBuilder.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

// gtest prints a status by its description rather than its number.
inline void PrintTo(LoadStatus status, std::ostream* out) {
    *out << DescribeLoadStatus(status);
}

inline std::vector<std::int16_t> Elements(const SampleArray& array) {
    return std::vector<std::int16_t>(array.begin(), array.end());
}

// The first elements of an array (a claim of billions of frames is not copied whole).
inline std::vector<std::int16_t> Prefix(const SampleArray& array) {
    const std::size_t count = array.size() < (std::size_t{1} << 16) ? array.size() : 1 << 16;
    return std::vector<std::int16_t>(array.begin(), array.begin() + count);
}

// Every field of a record, with the arrays' addresses and sizes and copies of their
// first elements. (Named apart from the test support's RecordSnapshot, so that no test
// that links both gets two types of one name.)
struct RecordCopy {
    explicit RecordCopy(const WaveRecord& record)
        : riffId(record.riffId), fileLength(record.fileLength), waveId(record.waveId),
          fmtId(record.fmtId), fmtSize(record.fmtSize), formatTag(record.formatTag),
          channels(record.channels), sampleRate(record.sampleRate), byteRate(record.byteRate),
          blockAlign(record.blockAlign), bitsPerSample(record.bitsPerSample),
          dataSize(record.dataSize), bytesPerSample(record.bytesPerSample),
          frameCount(record.frameCount), left(Prefix(record.left)), right(Prefix(record.right)),
          leftSize(record.left.size()), rightSize(record.right.size()),
          leftData(record.left.data()), rightData(record.right.data()),
          buffersAllocated(record.buffersAllocated), peak(record.peak), peakRight(record.peakRight),
          path(record.path), loaded(record.loaded) {}

    bool operator==(const RecordCopy&) const = default;

    std::uint32_t riffId, fileLength, waveId, fmtId, fmtSize;
    std::uint16_t formatTag, channels;
    std::uint32_t sampleRate, byteRate;
    std::uint16_t blockAlign, bitsPerSample;
    std::uint32_t dataSize;
    std::uint16_t bytesPerSample;
    std::uint32_t frameCount;
    std::vector<std::int16_t> left, right;
    std::size_t leftSize, rightSize;
    const std::int16_t* leftData; // the same arrays, not only equal contents
    const std::int16_t* rightData;
    std::uint16_t buffersAllocated;
    std::int16_t peak, peakRight;
    std::string path;
    std::int32_t loaded;
};

// A temporary folder, and loading of built files from it.
class WaveReaderTest : public ::testing::Test {
protected:
    std::string Write(const WavBuilder& builder, const std::string& name = "case.wav") {
        return builder.WriteTo(m_folder, name);
    }
    std::string Write(const Bytes& bytes, const std::string& name = "case.wav") {
        return WriteFile(m_folder, name, bytes);
    }
    LoadStatus Load(const WavBuilder& builder) {
        return LoadWaveFileExplained(m_record, Write(builder)).status;
    }

    TemporaryFolder m_folder;
    WaveRecord m_record;
};
