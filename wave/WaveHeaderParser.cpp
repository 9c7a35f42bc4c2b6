// The header of a wave file, read front to back on the calling thread: "RIFF", the RIFF
// size and "WAVE"; chunk after chunk until "fmt " (broadcast and field recorders put bext,
// iXML or JUNK chunks first) and the fmt chunk; then chunk after chunk until the id
// "data", whose size gives the frame count. Last, the format, the sample width and the
// channel count decide how the samples are read, or that they cannot be (a compressed or
// unknown format). Every number is assembled from little-endian bytes, whatever the
// host's byte order; a field cut off by the end of the file reads as 0. Each check that
// fails reports the byte offset where it failed.
//
// How the samples are read. Where the header is consistent, each sample is reduced to
// the value the same sound has at 16 bits, so that the plot draws the file as the 16-bit
// file of the same sound; the format is the tag, or for an extensible fmt chunk the code
// its SubFormat GUID names. The container is blockAlign / channels bytes.
// - Integer PCM: one byte of 8 bits gives the byte minus 128; two bytes of 9 to 16 bits
//   the 16-bit number (a 12-bit file is stored left-justified in two); three bytes of 17 to
//   24 bits and four bytes of 17 to 32 bits their two most significant bytes. 8- and
//   16-bit mono and stereo files are read as they always were, and so is any other PCM
//   header: bitsPerSample >> 3 bytes per sample, the first byte of any width but 2.
// - IEEE float of 4 bytes and 32 bits or 8 bytes and 64 bits; A-law and mu-law of one
//   byte and 8 bits.
// - Of three or more channels, channels 0 and 1 of each frame are read, as left and right.
// Any other format, and a float, A-law or mu-law header no rule names, is refused.

#include "wave/WaveHeaderParser.h"

#include <algorithm>
#include <iterator>
#include <optional>

namespace wave_reader {
namespace {

// Chunk and form identifiers, as the four characters read as a little-endian number.
constexpr std::uint32_t kRiffId = 0x46464952; // "RIFF"
constexpr std::uint32_t kWaveId = 0x45564157; // "WAVE"
constexpr std::uint32_t kFmtId = 0x20746D66;  // "fmt "
constexpr std::uint32_t kDataId = 0x61746164; // "data"

// The fmt fields every file has: format tag, channels, sample rate, byte rate, block
// align and bits per sample. Anything beyond them in the fmt body is skipped, but for the
// SubFormat of an extensible chunk.
constexpr std::uint32_t kFmtFieldBytes = 16;

// The format codes the reader decodes, and the tag of an extensible fmt chunk.
constexpr std::uint16_t kPcm = 0x0001;
constexpr std::uint16_t kIeeeFloat = 0x0003;
constexpr std::uint16_t kALaw = 0x0006;
constexpr std::uint16_t kMuLaw = 0x0007;
constexpr std::uint16_t kExtensible = 0xFFFE;

// An extensible fmt body holds, after the 16 bytes every one has, cbSize, the valid bits,
// the channel mask and, from byte 24 to 39, the SubFormat GUID. The GUID of a format that
// also has a tag is xxxx0000-0000-0010-8000-00AA00389B71, its first two bytes the tag.
constexpr std::uint32_t kExtensibleFmtBytes = 40;
constexpr std::uint32_t kSubFormatOffset = 24; // in the fmt body
constexpr std::uint8_t kBaseGuidTail[] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                          0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// The header is read through this small buffer, a few bytes at a time. Like a C stream,
// its position may be moved past the end of the file; reads there get nothing.
class ByteSource {
public:
    ByteSource(const FileDescriptor& file, std::uint64_t fileSize)
        : m_file(file), m_fileSize(fileSize) {}

    // Copies up to count bytes and returns how many it could.
    std::size_t Read(std::uint8_t* into, std::size_t count) {
        std::size_t copied = 0;
        while (copied < count && (m_begin < m_end || Refill())) {
            into[copied++] = m_buffer[m_begin++];
            ++m_position;
        }
        return copied;
    }

    // The next byte without consuming it, or -1 at the end of the file.
    int Peek() { return m_begin < m_end || Refill() ? m_buffer[m_begin] : -1; }

    // Moves the position forward; a position past the end of the file is allowed.
    void Skip(std::uint64_t count) {
        if (count <= m_end - m_begin) {
            m_begin += static_cast<std::size_t>(count);
        } else {
            m_begin = m_end = 0;
        }
        m_position += count;
    }

    // The offset of the next byte in the file.
    std::uint64_t Position() const { return m_position; }

    // The same, or the end of the file where a skip has moved the position past it.
    std::uint64_t PositionWithinFile() const { return std::min(m_position, m_fileSize); }

    // errno of the first failed read, or 0; and the offset that read started at.
    int ErrorNumber() const { return m_errorNumber; }
    std::uint64_t ErrorOffset() const { return m_errorOffset; }

private:
    bool Refill() {
        if (m_errorNumber != 0) {
            return false;
        }
        const ssize_t got = m_file.ReadAt(m_buffer, sizeof m_buffer, m_position);
        if (got < 0) {
            m_errorNumber = errno;
            m_errorOffset = m_position;
            return false;
        }
        m_begin = 0;
        m_end = static_cast<std::size_t>(got);
        return got > 0;
    }

    const FileDescriptor& m_file;
    std::uint64_t m_fileSize; // bytes, as fstat gave them when the file was opened
    std::uint8_t m_buffer[4096];
    std::size_t m_begin{}; // first unread byte in m_buffer
    std::size_t m_end{};   // one past the last valid byte in m_buffer; m_buffer[0] is at
                           // the file offset m_position - m_begin
    std::uint64_t m_position{};
    int m_errorNumber{};
    std::uint64_t m_errorOffset{};
};

// The format a fmt chunk names: its code, the offset of the field that names it, and
// whether the code means what the tag of that number means (not for an extensible chunk
// too short to hold a SubFormat, nor for a SubFormat GUID that is not the base GUID's).
struct FormatName {
    std::uint16_t code{};
    std::uint64_t offset{};
    bool standard{true};
};

// What the fmt chunk gives besides the record's fields.
struct FormatChunk {
    std::uint64_t blockAlignOffset{};
    FormatName format;
};

// The steps of the parse, in the order it takes them.
LoadOutcome ReadHeaderFields(ByteSource& source, WaveRecord& staging, SampleLayout& layout);
LoadOutcome ReadFormHeader(ByteSource& source, WaveRecord& staging);
LoadOutcome FindChunk(ByteSource& source, const WaveRecord& staging, std::uint32_t wanted,
                      LoadStatus missing);
FormatChunk ReadFormatChunk(ByteSource& source, WaveRecord& staging);
FormatName ReadSubFormat(ByteSource& source, const WaveRecord& staging, std::uint64_t tagOffset);
LoadOutcome ChooseLayout(const FormatName& format, WaveRecord& staging, SampleLayout& layout);
std::optional<SampleLayout> DecodedLayout(std::uint16_t format, const WaveRecord& staging);
bool ReadLittleEndian(ByteSource& source, std::size_t count, std::uint32_t& value);
std::uint32_t ReadU32LE(ByteSource& source);
std::uint16_t ReadU16LE(ByteSource& source);
void SkipPadByte(ByteSource& source, std::uint32_t bodySize);

// Which check failed, with errorNumber 0, and the offset where it failed.
LoadOutcome Failed(LoadStatus status, std::uint64_t offset) {
    return {status, 0, offset};
}

} // namespace

ParsedHeader ParseWaveHeader(const FileDescriptor& file, std::uint64_t fileSize,
                             WaveRecord& staging) {
    ByteSource source(file, fileSize);
    ParsedHeader header;
    header.outcome = ReadHeaderFields(source, staging, header.layout);
    // A read that failed ended the header early: that, not the check it spoiled, is why.
    if (source.ErrorNumber() != 0) {
        header.outcome = {LoadStatus::ReadError, source.ErrorNumber(), source.ErrorOffset()};
    }
    header.dataOffset = source.Position();
    return header;
}

namespace {

// The form header, the search for the fmt chunk and the chunk itself, the search for the
// data chunk, then the data chunk's size, the reading of the samples and the fields
// derived from the header. The format and blockAlign are checked only once the data chunk
// has been found: a file with neither has no data chunk.
LoadOutcome ReadHeaderFields(ByteSource& source, WaveRecord& staging, SampleLayout& layout) {
    if (const LoadOutcome outcome = ReadFormHeader(source, staging);
        outcome.status != LoadStatus::Loaded) {
        return outcome;
    }
    if (const LoadOutcome outcome = FindChunk(source, staging, kFmtId, LoadStatus::NotRiffWave);
        outcome.status != LoadStatus::Loaded) {
        return outcome;
    }
    staging.fmtId = kFmtId;
    const FormatChunk fmt = ReadFormatChunk(source, staging);
    if (const LoadOutcome outcome = FindChunk(source, staging, kDataId, LoadStatus::NoDataChunk);
        outcome.status != LoadStatus::Loaded) {
        return outcome;
    }
    staging.dataSize = ReadU32LE(source);
    if (const LoadOutcome outcome = ChooseLayout(fmt.format, staging, layout);
        outcome.status != LoadStatus::Loaded) {
        return outcome;
    }
    if (staging.blockAlign == 0) {
        return Failed(LoadStatus::ZeroBlockAlign, fmt.blockAlignOffset); // no frame count exists
    }
    staging.frameCount = staging.dataSize / staging.blockAlign;
    return {};
}

// "RIFF", the RIFF size and "WAVE". A wrong identifier is reported at its own offset.
LoadOutcome ReadFormHeader(ByteSource& source, WaveRecord& staging) {
    std::uint64_t at = source.Position();
    staging.riffId = ReadU32LE(source);
    if (staging.riffId != kRiffId) {
        return Failed(LoadStatus::NotRiffWave, at);
    }
    staging.fileLength = ReadU32LE(source) + 8; // modulo 2^32, as the field is wide
    at = source.Position();
    staging.waveId = ReadU32LE(source);
    if (staging.waveId != kWaveId) {
        return Failed(LoadStatus::NotRiffWave, at);
    }
    return {};
}

// Skips chunks until the id wanted has been read. Sizes are unsigned, so the search only
// moves forward; it ends with missing when a skipped chunk ends at or beyond the end of the
// RIFF form, or when the file ends, and reports where it stopped (never past the end of
// the file). The first id is read before any position test, so a chunk right after the
// one before is found even when the RIFF size understates it. The fmt chunk must come
// before the data: a data chunk met while looking for fmt ends the search at its id.
LoadOutcome FindChunk(ByteSource& source, const WaveRecord& staging, std::uint32_t wanted,
                      LoadStatus missing) {
    std::uint64_t idOffset = source.Position();
    std::uint32_t id = 0;
    bool complete = ReadLittleEndian(source, 4, id);
    while (id != wanted) {
        if (!complete) {
            return Failed(missing, source.PositionWithinFile());
        }
        if (id == kDataId) {
            return Failed(missing, idOffset);
        }
        const std::uint32_t size = ReadU32LE(source);
        source.Skip(size);
        SkipPadByte(source, size);
        if (source.Position() >= staging.fileLength) {
            return Failed(missing, source.PositionWithinFile());
        }
        idOffset = source.Position();
        complete = ReadLittleEndian(source, 4, id);
    }
    return {};
}

// The fields of the fmt chunk, in file order, an extensible chunk's SubFormat, then the
// rest of its body. A fmtSize below 16 makes the skip wrap around to nearly 4 GiB, which
// leaves no room for a data chunk.
FormatChunk ReadFormatChunk(ByteSource& source, WaveRecord& staging) {
    FormatChunk chunk;
    staging.fmtSize = ReadU32LE(source);
    const std::uint64_t tagOffset = source.Position();
    staging.formatTag = ReadU16LE(source);
    staging.channels = ReadU16LE(source);
    staging.sampleRate = ReadU32LE(source);
    staging.byteRate = ReadU32LE(source);
    chunk.blockAlignOffset = source.Position();
    staging.blockAlign = ReadU16LE(source);
    staging.bitsPerSample = ReadU16LE(source);
    const std::uint64_t bodyEnd =
        source.Position() + static_cast<std::uint32_t>(staging.fmtSize - kFmtFieldBytes);
    chunk.format = staging.formatTag == kExtensible ? ReadSubFormat(source, staging, tagOffset)
                                                    : FormatName{staging.formatTag, tagOffset};
    source.Skip(bodyEnd - source.Position());
    SkipPadByte(source, staging.fmtSize);
    return chunk;
}

// The format an extensible fmt chunk names in its SubFormat GUID, read from right after
// the 16 bytes every fmt body has. A chunk too short to hold the GUID names no format.
FormatName ReadSubFormat(ByteSource& source, const WaveRecord& staging, std::uint64_t tagOffset) {
    if (staging.fmtSize < kExtensibleFmtBytes) {
        return {kExtensible, tagOffset, false};
    }
    std::uint8_t extension[kExtensibleFmtBytes - kFmtFieldBytes] = {}; // 0 where the file ends
    const std::uint64_t guidOffset = source.Position() + (kSubFormatOffset - kFmtFieldBytes);
    source.Read(extension, sizeof extension);
    const std::uint8_t* guid = extension + (kSubFormatOffset - kFmtFieldBytes);
    const auto code = static_cast<std::uint16_t>(guid[0] | guid[1] << 8);
    return {code, guidOffset,
            std::equal(std::begin(kBaseGuidTail), std::end(kBaseGuidTail), guid + 2)};
}

// Sets the sample width and plotBits of staging and how its samples are read (see the
// opening comment), or refuses the format at the field that names it.
LoadOutcome ChooseLayout(const FormatName& format, WaveRecord& staging, SampleLayout& layout) {
    staging.bytesPerSample = static_cast<std::uint16_t>(staging.bitsPerSample >> 3);
    layout = {SampleCoding::AsStored, staging.bytesPerSample, 0};
    const std::optional<SampleLayout> decoded =
        format.standard ? DecodedLayout(format.code, staging) : std::nullopt;
    if (!decoded) {
        if (format.standard && format.code == kPcm) {
            return {}; // a PCM header no rule names is read as it always was
        }
        return {LoadStatus::UnsupportedFormat, 0, format.offset, format.code};
    }
    const bool asAlways = staging.channels <= 2 && decoded->coding == SampleCoding::AsStored &&
                          decoded->sampleBytes == staging.bytesPerSample;
    if (!asAlways) {
        layout = *decoded;
        staging.bytesPerSample = static_cast<std::uint16_t>(decoded->sampleBytes);
        staging.plotBits =
            decoded->coding == SampleCoding::AsStored && decoded->sampleBytes == 1 ? 8 : 16;
    }
    return {};
}

// The reading the rules give the samples of format in staging's container, or nothing
// when no rule names it.
std::optional<SampleLayout> DecodedLayout(std::uint16_t format, const WaveRecord& staging) {
    const std::uint16_t channels = staging.channels;
    if (channels == 0 || staging.blockAlign % channels != 0) {
        return std::nullopt; // no container
    }
    const std::size_t container = staging.blockAlign / channels;
    const std::uint16_t bits = staging.bitsPerSample;
    std::optional<SampleCoding> coding;
    switch (format) {
    case kPcm:
        if ((container == 1 && bits == 8) || (container == 2 && bits >= 9 && bits <= 16)) {
            coding = SampleCoding::AsStored;
        } else if ((container == 3 && bits >= 17 && bits <= 24) ||
                   (container == 4 && bits >= 17 && bits <= 32)) {
            coding = SampleCoding::HighBytes;
        }
        break;
    case kIeeeFloat:
        if ((container == 4 && bits == 32) || (container == 8 && bits == 64)) {
            coding = SampleCoding::Float;
        }
        break;
    case kALaw:
    case kMuLaw:
        if (container == 1 && bits == 8) {
            coding = format == kALaw ? SampleCoding::ALaw : SampleCoding::MuLaw;
        }
        break;
    default:
        break;
    }
    if (!coding) {
        return std::nullopt;
    }
    return SampleLayout{*coding, container, channels > 2 ? std::size_t{staging.blockAlign} : 0};
}

// Reads count bytes (at most 4) as a little-endian number, least significant byte first,
// whatever the host's byte order. false, and value 0, unless all of them could be read.
bool ReadLittleEndian(ByteSource& source, std::size_t count, std::uint32_t& value) {
    std::uint8_t bytes[4] = {};
    value = 0;
    if (source.Read(bytes, count) != count) {
        return false;
    }
    for (std::size_t i = count; i-- > 0;) {
        value = value << 8 | bytes[i];
    }
    return true;
}

// A 32-bit field; 0 if its four bytes cannot all be read.
std::uint32_t ReadU32LE(ByteSource& source) {
    std::uint32_t value = 0;
    ReadLittleEndian(source, 4, value);
    return value;
}

// A 16-bit field; 0 if its two bytes cannot both be read.
std::uint16_t ReadU16LE(ByteSource& source) {
    std::uint32_t value = 0;
    ReadLittleEndian(source, 2, value);
    return static_cast<std::uint16_t>(value);
}

// RIFF pads a chunk body of odd size with one 0x00 byte. A chunk id never starts with
// 0x00, so a 0x00 there is the pad, and any other byte is the start of the next chunk of
// a file written without the pad.
void SkipPadByte(ByteSource& source, std::uint32_t bodySize) {
    if (bodySize % 2 == 1 && source.Peek() == 0) {
        source.Skip(1);
    }
}

} // namespace
} // namespace wave_reader
