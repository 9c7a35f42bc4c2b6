#include "tests/support/RandomShape.h"

Bytes RandomShape::Next() {
    const auto channels = static_cast<std::uint16_t>(Below(6));
    const auto bits = static_cast<std::uint16_t>(Below(33));
    WavBuilder file = WavBuilder().SampleRate(Below(50000)).Format(channels, bits);
    if (Chance(10)) {
        file.BlockAlign(static_cast<std::uint16_t>(Below(13)));
    }
    if (Chance(25)) {
        file.FmtTail(RandomBytes(Below(6)),
                     Chance(50) ? WavBuilder::Pad::Add : WavBuilder::Pad::Omit);
    }
    for (std::uint32_t chunks = Below(4); chunks > 0; --chunks) {
        static const char* const ids[] = {"LIST", "fact", "JUNK", "cue "};
        const char* id = ids[Below(4)];
        if (Chance(10)) {
            file.Chunk(WavBuilder::Id("JUNK"), static_cast<std::uint32_t>(m_random()),
                       RandomBytes(Below(8)));
        } else {
            char name[5] = {id[0], id[1], id[2], id[3], 0};
            file.Chunk(name, RandomBytes(Below(10)),
                       Chance(70) ? WavBuilder::Pad::Add : WavBuilder::Pad::Omit);
        }
    }
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
