#include "tests/support/WavBuilder.h"

#include <fstream>
#include <stdexcept>
#include <utility>

#include "tests/support/TemporaryFolder.h"

namespace {

void PutU16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutU32(Bytes& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void Append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

} // namespace

std::uint32_t WavBuilder::Id(const char (&text)[5]) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<std::uint8_t>(text[i]);
    }
    return value;
}

WavBuilder& WavBuilder::Format(std::uint16_t channels, std::uint16_t bitsPerSample) {
    m_channels = channels;
    m_bitsPerSample = bitsPerSample;
    m_blockAlign = static_cast<std::uint16_t>(channels * ((bitsPerSample + 7) / 8));
    m_byteRate = m_sampleRate * m_blockAlign;
    return *this;
}

WavBuilder& WavBuilder::RiffId(std::uint32_t value) {
    return m_riffId = value, *this;
}
WavBuilder& WavBuilder::RiffSize(std::uint32_t value) {
    return m_riffSize = value, *this;
}
WavBuilder& WavBuilder::WaveId(std::uint32_t value) {
    return m_waveId = value, *this;
}
WavBuilder& WavBuilder::FmtId(std::uint32_t value) {
    return m_fmtId = value, *this;
}
WavBuilder& WavBuilder::FmtSize(std::uint32_t value) {
    return m_fmtSize = value, *this;
}
WavBuilder& WavBuilder::FormatTag(std::uint16_t value) {
    return m_formatTag = value, *this;
}
WavBuilder& WavBuilder::Channels(std::uint16_t value) {
    return m_channels = value, *this;
}
WavBuilder& WavBuilder::SampleRate(std::uint32_t value) {
    return m_sampleRate = value, *this;
}
WavBuilder& WavBuilder::ByteRate(std::uint32_t value) {
    return m_byteRate = value, *this;
}
WavBuilder& WavBuilder::BlockAlign(std::uint16_t value) {
    return m_blockAlign = value, *this;
}
WavBuilder& WavBuilder::BitsPerSample(std::uint16_t value) {
    return m_bitsPerSample = value, *this;
}

WavBuilder& WavBuilder::FmtTail(Bytes tail, Pad pad) {
    m_fmtTailDeclared = tail.size();
    m_fmtTail = std::move(tail);
    if (pad == Pad::Add && m_fmtTailDeclared % 2 == 1) {
        m_fmtTail.push_back(0);
    }
    return *this;
}

Bytes WavBuilder::ExtensibleTail(std::uint16_t validBits, std::uint16_t subFormat, bool baseGuid) {
    Bytes tail;
    PutU16(tail, 22); // cbSize: the bytes after it
    PutU16(tail, validBits);
    PutU32(tail, 0); // channel mask
    PutU16(tail, subFormat);
    Append(tail, {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B,
                  static_cast<std::uint8_t>(baseGuid ? 0x71 : 0x72)});
    return tail;
}

namespace {

// The body of a chunk as written: its bytes, and the pad byte after an odd size when asked.
Bytes PaddedBody(Bytes body, WavBuilder::Pad pad) {
    if (pad == WavBuilder::Pad::Add && body.size() % 2 == 1) {
        body.push_back(0);
    }
    return body;
}

} // namespace

WavBuilder& WavBuilder::Chunk(const char (&id)[5], Bytes body, Pad pad) {
    const auto size = static_cast<std::uint32_t>(body.size());
    return Chunk(Id(id), size, PaddedBody(std::move(body), pad));
}

WavBuilder& WavBuilder::ChunkBeforeFmt(const char (&id)[5], Bytes body, Pad pad) {
    const auto size = static_cast<std::uint32_t>(body.size());
    m_chunksBeforeFmt.push_back({Id(id), size, PaddedBody(std::move(body), pad)});
    return *this;
}

WavBuilder& WavBuilder::Chunk(std::uint32_t id, std::uint32_t declaredSize, Bytes body) {
    m_chunks.push_back({id, declaredSize, std::move(body)});
    return *this;
}

WavBuilder& WavBuilder::Data(Bytes body) {
    m_hasData = true;
    m_data = std::move(body);
    return *this;
}

WavBuilder& WavBuilder::Samples16(const std::vector<std::int16_t>& samples) {
    Bytes body;
    for (std::int16_t sample : samples) {
        PutU16(body, static_cast<std::uint16_t>(sample));
    }
    return Data(std::move(body));
}

WavBuilder& WavBuilder::DataSize(std::uint32_t value) {
    return m_dataSize = value, *this;
}
WavBuilder& WavBuilder::WithoutDataChunk() {
    return m_hasData = false, *this;
}
WavBuilder& WavBuilder::Trailer(Bytes bytes) {
    return m_trailer = std::move(bytes), *this;
}
WavBuilder& WavBuilder::TruncateTo(std::size_t size) {
    return m_truncateTo = size, *this;
}

Bytes WavBuilder::Build() const {
    Bytes file;
    PutU32(file, m_riffId);
    PutU32(file, 0); // RIFF size, filled in below
    const auto putChunks = [&file](const std::vector<ExtraChunk>& chunks) {
        for (const ExtraChunk& chunk : chunks) {
            PutU32(file, chunk.id);
            PutU32(file, chunk.declaredSize);
            Append(file, chunk.body);
        }
    };
    PutU32(file, m_waveId);
    putChunks(m_chunksBeforeFmt);
    PutU32(file, m_fmtId);
    PutU32(file, m_fmtSize.value_or(static_cast<std::uint32_t>(16 + m_fmtTailDeclared)));
    PutU16(file, m_formatTag);
    PutU16(file, m_channels);
    PutU32(file, m_sampleRate);
    PutU32(file, m_byteRate);
    PutU16(file, m_blockAlign);
    PutU16(file, m_bitsPerSample);
    Append(file, m_fmtTail);
    putChunks(m_chunks);
    if (m_hasData) {
        PutU32(file, kData);
        PutU32(file, m_dataSize.value_or(static_cast<std::uint32_t>(m_data.size())));
        Append(file, m_data);
    }
    Append(file, m_trailer);

    const std::uint32_t riffSize = m_riffSize.value_or(static_cast<std::uint32_t>(file.size() - 8));
    for (int i = 0; i < 4; ++i) {
        file[4 + i] = static_cast<std::uint8_t>(riffSize >> (8 * i));
    }
    if (m_truncateTo && *m_truncateTo < file.size()) {
        file.resize(*m_truncateTo);
    }
    return file;
}

std::string WavBuilder::WriteTo(const TemporaryFolder& folder, const std::string& name) const {
    return WriteFile(folder, name, Build());
}

std::string WriteFile(const TemporaryFolder& folder, const std::string& name, const Bytes& bytes) {
    const std::string path = folder.File(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
    return path;
}
