#pragma once

#include <cstdint>
#include <random>

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
