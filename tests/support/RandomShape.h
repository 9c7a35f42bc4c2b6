#pragma once

#include <cstdint>
#include <random>

#include "tests/support/CaseName.h"
#include "tests/support/WavBuilder.h"

// A file of random shape: mostly integer PCM, else float, A-law, mu-law, ADPCM or an
// unknown format, now and then named by an extensible fmt chunk; mostly the width its
// format is read at, else any from 0 to 32 bits; 0 to 5 channels, a block align that is
// usually right, odd chunks with and without pad (also before fmt), up to maxDataBytes - 1
// bytes of data, and now and then a size that lies, a cut, stray bytes after the data or
// a damaged header byte. The same seed gives the same files.
class RandomShape {
public:
    explicit RandomShape(std::uint32_t seed, std::uint32_t maxDataBytes = 300)
        : m_random(seed), m_maxDataBytes(maxDataBytes) {}

    Bytes Next();

private:
    std::uint32_t Below(std::uint32_t bound);
    bool Chance(std::uint32_t percent);
    Bytes RandomBytes(std::size_t count);
    std::uint16_t BitsFor(std::uint16_t format);
    void NameFormat(WavBuilder& file, std::uint16_t format);
    void AddChunks(WavBuilder& file, bool beforeFmt);

    std::mt19937 m_random;
    std::uint32_t m_maxDataBytes;
};

// A file of several read blocks: channels and bits as given, dataBytes of random data from
// a seed of its size, a declared data size that may lie (0: the real size), and a format
// tag (integer PCM unless given).
struct LargeCase : NamedCase {
    std::uint16_t channels, bits;
    std::size_t dataBytes;
    std::uint32_t declaredSize;
    std::uint16_t formatTag{1};

    WavBuilder File() const {
        std::mt19937 random(static_cast<std::uint32_t>(dataBytes));
        Bytes data(dataBytes);
        for (std::uint8_t& byte : data) {
            byte = static_cast<std::uint8_t>(random());
        }
        WavBuilder file =
            WavBuilder().FormatTag(formatTag).Format(channels, bits).Data(std::move(data));
        if (declaredSize != 0) {
            file.DataSize(declaredSize);
        }
        return file;
    }
};
