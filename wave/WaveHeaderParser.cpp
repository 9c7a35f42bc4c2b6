// The header of a wave file, read front to back on the calling thread: "RIFF", the RIFF
// size and "WAVE"; the fmt chunk, which must be the first chunk; then chunk after chunk
// until the id "data", whose size gives the frame count. Every number is assembled from
// little-endian bytes, whatever the host's byte order; a field cut off by the end of the
// file reads as 0. Each check that fails reports the byte offset where it failed.

#include "wave/WaveHeaderParser.h"

#include <algorithm>

namespace wave_reader {
namespace {

// Chunk and form identifiers, as the four characters read as a little-endian number.
constexpr std::uint32_t kRiffId = 0x46464952; // "RIFF"
constexpr std::uint32_t kWaveId = 0x45564157; // "WAVE"
constexpr std::uint32_t kFmtId = 0x20746D66;  // "fmt "
constexpr std::uint32_t kDataId = 0x61746164; // "data"

// The fmt fields every file has: format tag, channels, sample rate, byte rate, block
// align and bits per sample. Anything beyond them in the fmt body is skipped.
constexpr std::uint32_t kFmtFieldBytes = 16;

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

// The steps of the parse, in the order it takes them.
LoadOutcome ReadHeaderFields(ByteSource& source, WaveRecord& staging);
LoadOutcome ReadFormHeader(ByteSource& source, WaveRecord& staging);
std::uint64_t ReadFormatChunk(ByteSource& source, WaveRecord& staging);
LoadOutcome FindDataChunk(ByteSource& source, const WaveRecord& staging);
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
    LoadOutcome outcome = ReadHeaderFields(source, staging);
    // A read that failed ended the header early: that, not the check it spoiled, is why.
    if (source.ErrorNumber() != 0) {
        outcome = {LoadStatus::ReadError, source.ErrorNumber(), source.ErrorOffset()};
    }
    return {outcome, source.Position()};
}

namespace {

// The form header, the fmt chunk and the search for the data chunk, then the data chunk's
// size and the fields derived from the header. blockAlign is checked only once the data
// chunk has been found: a file with neither has no data chunk.
LoadOutcome ReadHeaderFields(ByteSource& source, WaveRecord& staging) {
    if (const LoadOutcome outcome = ReadFormHeader(source, staging);
        outcome.status != LoadStatus::Loaded) {
        return outcome;
    }
    const std::uint64_t blockAlignOffset = ReadFormatChunk(source, staging);
    if (const LoadOutcome outcome = FindDataChunk(source, staging);
        outcome.status != LoadStatus::Loaded) {
        return outcome;
    }
    staging.dataSize = ReadU32LE(source);
    staging.bytesPerSample = static_cast<std::uint16_t>(staging.bitsPerSample >> 3);
    if (staging.blockAlign == 0) {
        return Failed(LoadStatus::ZeroBlockAlign, blockAlignOffset); // no frame count exists
    }
    staging.frameCount = staging.dataSize / staging.blockAlign;
    return {};
}

// "RIFF", the RIFF size and "WAVE", then the fmt chunk's id. A wrong identifier is
// reported at its own offset.
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
    at = source.Position();
    staging.fmtId = ReadU32LE(source);
    if (staging.fmtId != kFmtId) {
        return Failed(LoadStatus::NotRiffWave, at);
    }
    return {};
}

// The fields of the fmt chunk, in file order, then the rest of its body; returns the
// offset of the blockAlign field. A fmtSize below 16 makes the skip wrap around to nearly
// 4 GiB, which leaves no room for a data chunk.
std::uint64_t ReadFormatChunk(ByteSource& source, WaveRecord& staging) {
    staging.fmtSize = ReadU32LE(source);
    staging.formatTag = ReadU16LE(source);
    staging.channels = ReadU16LE(source);
    staging.sampleRate = ReadU32LE(source);
    staging.byteRate = ReadU32LE(source);
    const std::uint64_t blockAlignOffset = source.Position();
    staging.blockAlign = ReadU16LE(source);
    staging.bitsPerSample = ReadU16LE(source);
    source.Skip(static_cast<std::uint32_t>(staging.fmtSize - kFmtFieldBytes));
    SkipPadByte(source, staging.fmtSize);
    return blockAlignOffset;
}

// Skips chunks until the id "data" has been read. Sizes are unsigned, so the search only
// moves forward; it ends without a data chunk when a skipped chunk ends at or beyond the
// end of the RIFF form, or when the file ends, and reports where it stopped (never past
// the end of the file). The first id is read before any position test, so a data chunk
// right after fmt is found even when the RIFF size understates it.
LoadOutcome FindDataChunk(ByteSource& source, const WaveRecord& staging) {
    std::uint32_t id = 0;
    bool complete = ReadLittleEndian(source, 4, id);
    while (id != kDataId) {
        if (!complete) {
            return Failed(LoadStatus::NoDataChunk, source.PositionWithinFile());
        }
        const std::uint32_t size = ReadU32LE(source);
        source.Skip(size);
        SkipPadByte(source, size);
        if (source.Position() >= staging.fileLength) {
            return Failed(LoadStatus::NoDataChunk, source.PositionWithinFile());
        }
        complete = ReadLittleEndian(source, 4, id);
    }
    return {};
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
