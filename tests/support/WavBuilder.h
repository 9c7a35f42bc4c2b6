#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

class TemporaryFolder;

using Bytes = std::vector<std::uint8_t>;

// Builds the bytes of a RIFF/WAVE file, one field at a time, so that a test can state in
// one line exactly the file it needs:
//
//     WavBuilder().Format(2, 16).Samples16({1, -1}).WriteTo(folder, "a.wav");
//     WavBuilder().Chunk("LIST", Bytes(3), Pad::Omit).Data({0x80}).Build();
//
// By default the header is consistent: "RIFF", a RIFF size covering the whole file,
// "WAVE", a 16-byte fmt chunk (PCM, 16-bit stereo at 8000 Hz, byte rate and block align
// derived) and an empty data chunk. Every field can be set to a wrong value on purpose,
// and the finished file can be cut short.
class WavBuilder {
public:
    enum class Pad { Add, Omit }; // the 0x00 byte after an odd-sized chunk body

    // Identifiers as they are compared: four characters read as a little-endian number.
    static std::uint32_t Id(const char (&text)[5]);
    static constexpr std::uint32_t kRiff = 0x46464952;
    static constexpr std::uint32_t kWave = 0x45564157;
    static constexpr std::uint32_t kFmt = 0x20746D66;
    static constexpr std::uint32_t kData = 0x61746164;

    // Sets channels and bits per sample, and derives block align and byte rate from them
    // as a well-formed file would (block align = channels * ((bits + 7) / 8)).
    WavBuilder& Format(std::uint16_t channels, std::uint16_t bitsPerSample);

    // Single header fields, stored exactly as given.
    WavBuilder& RiffId(std::uint32_t value);
    WavBuilder& RiffSize(std::uint32_t value); // default: file size - 8
    WavBuilder& WaveId(std::uint32_t value);
    WavBuilder& FmtId(std::uint32_t value);
    WavBuilder& FmtSize(std::uint32_t value); // default: 16 + size of the fmt tail
    WavBuilder& FormatTag(std::uint16_t value);
    WavBuilder& Channels(std::uint16_t value);
    WavBuilder& SampleRate(std::uint32_t value);
    WavBuilder& ByteRate(std::uint32_t value);
    WavBuilder& BlockAlign(std::uint16_t value);
    WavBuilder& BitsPerSample(std::uint16_t value);

    // Bytes written after the 16 standard bytes of the fmt body (cbSize and the like).
    WavBuilder& FmtTail(Bytes tail, Pad pad = Pad::Omit);
    // The 24 bytes that make an extensible fmt body of 40 (with FormatTag(0xFFFE)): cbSize
    // 22, the valid bits, a channel mask of 0 and the SubFormat GUID of subFormat, made
    // from the base GUID, or with its last byte changed when baseGuid is false.
    static Bytes ExtensibleTail(std::uint16_t validBits, std::uint16_t subFormat,
                                bool baseGuid = true);

    // A chunk between fmt and data. declaredSize defaults to the body's size; a pad byte
    // follows an odd-sized body when asked for.
    WavBuilder& Chunk(const char (&id)[5], Bytes body, Pad pad = Pad::Add);
    WavBuilder& Chunk(std::uint32_t id, std::uint32_t declaredSize, Bytes body);
    // The same, between "WAVE" and the fmt chunk, as broadcast recorders write bext and JUNK.
    WavBuilder& ChunkBeforeFmt(const char (&id)[5], Bytes body, Pad pad = Pad::Add);

    // The data chunk body, and its declared size (default: the body's size).
    WavBuilder& Data(Bytes body);
    WavBuilder& Samples16(const std::vector<std::int16_t>& samples); // little-endian
    WavBuilder& DataSize(std::uint32_t value);
    WavBuilder& WithoutDataChunk();

    // Bytes appended after everything else (after the data body, or after the chunks).
    WavBuilder& Trailer(Bytes bytes);
    // The finished file is cut to its first size bytes.
    WavBuilder& TruncateTo(std::size_t size);

    Bytes Build() const;
    // Writes the file as name inside folder and returns its path.
    std::string WriteTo(const TemporaryFolder& folder, const std::string& name) const;

private:
    struct ExtraChunk {
        std::uint32_t id;
        std::uint32_t declaredSize;
        Bytes body; // written as is, pad byte included
    };

    std::uint32_t m_riffId{kRiff};
    std::optional<std::uint32_t> m_riffSize;
    std::uint32_t m_waveId{kWave};
    std::uint32_t m_fmtId{kFmt};
    std::optional<std::uint32_t> m_fmtSize;
    std::uint16_t m_formatTag{1};
    std::uint16_t m_channels{2};
    std::uint32_t m_sampleRate{8000};
    std::uint32_t m_byteRate{32000};
    std::uint16_t m_blockAlign{4};
    std::uint16_t m_bitsPerSample{16};
    Bytes m_fmtTail;
    std::size_t m_fmtTailDeclared{}; // bytes of the tail counted by the default fmt size
    std::vector<ExtraChunk> m_chunksBeforeFmt;
    std::vector<ExtraChunk> m_chunks;
    bool m_hasData{true};
    Bytes m_data;
    std::optional<std::uint32_t> m_dataSize;
    Bytes m_trailer;
    std::optional<std::size_t> m_truncateTo;
};

// Writes bytes as name inside folder and returns its path.
std::string WriteFile(const TemporaryFolder& folder, const std::string& name, const Bytes& bytes);

// Reads a whole file, as bytes or as text (empty if it cannot be read).
template <typename Contents = Bytes> Contents ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Contents(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
