#pragma once

#include <cstdint>
#include <random>

#include "tests/support/CaseName.h"
#include "tests/support/WavBuilder.h"

// A file of random shape: any width from 0 to 32 bits, 0 to 5 channels, a block align
// that is usually right, odd chunks with and without pad, up to maxDataBytes - 1 bytes of
// data, and now and then a size that lies, a cut, stray bytes after the data or a damaged
// header byte. The same seed gives the same files.
class RandomShape {
public:
    explicit RandomShape(std::uint32_t seed, std::uint32_t maxDataBytes = 300)
        : m_random(seed), m_maxDataBytes(maxDataBytes) {}

    Bytes Next();

private:
    std::uint32_t Below(std::uint32_t bound);
    bool Chance(std::uint32_t percent);
    Bytes RandomBytes(std::size_t count);

    std::mt19937 m_random;
    std::uint32_t m_maxDataBytes;
};

// A file of several read blocks: channels and bits as given, dataBytes of random data from
// a seed of its size, and a declared data size that may lie (0: the real size).
struct LargeCase : NamedCase {
    std::uint16_t channels, bits;
    std::size_t dataBytes;
    std::uint32_t declaredSize;

    WavBuilder File() const {
        std::mt19937 random(static_cast<std::uint32_t>(dataBytes));
        Bytes data(dataBytes);
        for (std::uint8_t& byte : data) {
            byte = static_cast<std::uint8_t>(random());
        }
        WavBuilder file = WavBuilder().Format(channels, bits).Data(std::move(data));
        if (declaredSize != 0) {
            file.DataSize(declaredSize);
        }
        return file;
    }
};
