#include "tests/support/RandomShape.h"

#include <iterator>

Bytes RandomShape::Next() {
    static constexpr std::uint16_t kOtherFormats[] = {3, 6, 7, 2, 0x11, 0};
    const std::uint16_t format =
        Chance(75) ? 1 : kOtherFormats[Below(static_cast<std::uint32_t>(std::size(kOtherFormats)))];
    const auto channels = static_cast<std::uint16_t>(Below(6));
    WavBuilder file = WavBuilder().SampleRate(Below(50000)).Format(channels, BitsFor(format));
    if (Chance(10)) {
        file.BlockAlign(static_cast<std::uint16_t>(Below(13)));
    }
    NameFormat(file, format);
    if (Chance(15)) {
        AddChunks(file, true);
    }
    AddChunks(file, false);
    file.Data(RandomBytes(Below(m_maxDataBytes)));
    if (Chance(20)) {
        file.DataSize(Chance(50) ? Below(2 * m_maxDataBytes)
                                 : static_cast<std::uint32_t>(m_random()));
    }
    if (Chance(10)) {
        file.RiffSize(Chance(50) ? Below(100) : static_cast<std::uint32_t>(m_random()));
    }
    if (Chance(10)) {
        file.Trailer(RandomBytes(Below(20)));
    }
    if (Chance(5)) {
        file.WithoutDataChunk();
    }
    Bytes bytes = file.Build();
    if (Chance(10)) {
        bytes.resize(Below(static_cast<std::uint32_t>(bytes.size()) + 1));
    }
    if (Chance(5) && !bytes.empty()) {
        bytes[Below(static_cast<std::uint32_t>(bytes.size()) < 48
                        ? static_cast<std::uint32_t>(bytes.size())
                        : 48)] ^= static_cast<std::uint8_t>(1 + Below(255));
    }
    return bytes;
}

// Mostly the width the format is read at (float of 32 or 64 bits, A-law and mu-law of 8),
// else any width up to 32 bits.
std::uint16_t RandomShape::BitsFor(std::uint16_t format) {
    if (Chance(75)) {
        if (format == 3) {
            return Chance(50) ? 32 : 64;
        }
        if (format == 6 || format == 7) {
            return 8;
        }
    }
    return static_cast<std::uint16_t>(Below(33));
}

// The format as the tag, or (now and then, also for PCM) through an extensible fmt chunk
// whose SubFormat GUID is now and then not the base GUID; PCM now and then with a few
// bytes after the 16 every fmt chunk has.
void RandomShape::NameFormat(WavBuilder& file, std::uint16_t format) {
    if (Chance(15)) {
        file.FormatTag(0xFFFE).FmtTail(WavBuilder::ExtensibleTail(16, format, !Chance(10)));
        return;
    }
    file.FormatTag(format);
    if (format == 1 && Chance(25)) {
        file.FmtTail(RandomBytes(Below(6)),
                     Chance(50) ? WavBuilder::Pad::Add : WavBuilder::Pad::Omit);
    }
}

// Up to three chunks: LIST, fact, JUNK or cue, with or without the pad byte after an odd
// size, now and then one whose size lies; before the fmt chunk when asked, as broadcast
// recorders put bext and JUNK there.
void RandomShape::AddChunks(WavBuilder& file, bool beforeFmt) {
    for (std::uint32_t chunks = Below(4); chunks > 0; --chunks) {
        static const char* const ids[] = {"LIST", "fact", "JUNK", "cue "};
        const char* id = ids[Below(4)];
        const auto pad = Chance(70) ? WavBuilder::Pad::Add : WavBuilder::Pad::Omit;
        char name[5] = {id[0], id[1], id[2], id[3], 0};
        if (beforeFmt) {
            file.ChunkBeforeFmt(name, RandomBytes(Below(10)), pad);
        } else if (Chance(10)) {
            file.Chunk(WavBuilder::Id("JUNK"), static_cast<std::uint32_t>(m_random()),
                       RandomBytes(Below(8)));
        } else {
            file.Chunk(name, RandomBytes(Below(10)), pad);
        }
    }
}

std::uint32_t RandomShape::Below(std::uint32_t bound) {
    return std::uniform_int_distribution<std::uint32_t>(0, bound - 1)(m_random);
}

bool RandomShape::Chance(std::uint32_t percent) {
    return Below(100) < percent;
}

Bytes RandomShape::RandomBytes(std::size_t count) {
    Bytes bytes(count);
    for (std::uint8_t& byte : bytes) {
        byte = static_cast<std::uint8_t>(m_random());
    }
    return bytes;
}
