#pragma once

// Helpers shared by the reader's tests: a fixture that writes a built file and loads it.
// A rejected load is proved to change nothing with the test support's RecordSnapshot.

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/RecordInvariants.h"
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
