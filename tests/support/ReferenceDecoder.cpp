#include "tests/support/ReferenceDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

constexpr std::uint32_t kRiff = 0x46464952;
constexpr std::uint32_t kWave = 0x45564157;
constexpr std::uint32_t kFmt = 0x20746D66;
constexpr std::uint32_t kData = 0x61746164;

// A read position over the file in memory. Like a C stream it may be moved past the end,
// and a read there gets nothing.
class Cursor {
public:
    explicit Cursor(const std::vector<std::uint8_t>& file) : m_file(file) {}

    bool ReadByte(std::uint8_t& byte) {
        if (m_position >= m_file.size()) {
            return false;
        }
        byte = m_file[m_position++];
        return true;
    }

    // The number assembled from count bytes, least significant first; 0 unless all count
    // bytes could be read. complete says whether they could.
    std::uint32_t ReadLE(int count, bool& complete) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            std::uint8_t byte = 0;
            if (!ReadByte(byte)) {
                complete = false;
                return 0;
            }
            value |= std::uint32_t{byte} << (8 * i);
        }
        complete = true;
        return value;
    }

    std::uint32_t ReadU32LE() {
        bool complete = false;
        return ReadLE(4, complete);
    }

    std::uint16_t ReadU16LE() {
        bool complete = false;
        return static_cast<std::uint16_t>(ReadLE(2, complete));
    }

    void Skip(std::uint64_t count) { m_position += count; }

    // After a chunk body of odd size, RIFF puts a 0x00 pad byte. A chunk id never starts
    // with 0x00, so a 0x00 here is the pad and any other byte belongs to the next chunk.
    void SkipPadAfter(std::uint64_t bodySize) {
        if (bodySize % 2 == 1 && m_position < m_file.size() && m_file[m_position] == 0) {
            ++m_position;
        }
    }

    std::uint64_t Position() const { return m_position; }

private:
    const std::vector<std::uint8_t>& m_file;
    std::uint64_t m_position{};
};

ReferenceResult Rejected(ReferenceResult result, LoadStatus status) {
    result.status = status;
    return result;
}

// How the samples are read: the way 8- and 16-bit PCM always was, or converted to the
// 16-bit value of the same sound.
enum class Reading { AsStored, HighBytes, Float, ALaw, MuLaw };

// What the fmt chunk and the data chunk's header decide about the samples.
struct SampleRule {
    Reading reading{Reading::AsStored};
    bool framesOfMany{}; // channels 0 and 1 of each frame of three or more channels
};

// A-law: the even bits are stored inverted; then a sign bit, a 3-bit segment and a 4-bit
// step. Segment 0 is linear; each further one doubles the step size.
std::int16_t DecodeALaw(std::uint8_t code) {
    const int bits = code ^ 0x55;
    const int segment = (bits >> 4) & 7;
    const int step = bits & 0x0F;
    const int magnitude =
        segment == 0 ? step * 16 + 8 : (step * 16 + 8 + 256) * (1 << (segment - 1));
    return static_cast<std::int16_t>((bits & 0x80) != 0 ? magnitude : -magnitude);
}

// mu-law: every bit is stored inverted; a sign bit, a 3-bit segment and a 4-bit step, on a
// curve shifted by a bias of 132 so that each segment doubles the one before.
std::int16_t DecodeMuLaw(std::uint8_t code) {
    const int bits = ~code & 0xFF;
    const int segment = (bits >> 4) & 7;
    const int step = bits & 0x0F;
    const int magnitude = (step * 8 + 132) * (1 << segment) - 132;
    return static_cast<std::int16_t>((bits & 0x80) != 0 ? -magnitude : magnitude);
}

// An IEEE float or double times 32768, rounded to nearest with ties to even, then clamped
// to the 16-bit range; NaN gives 0.
std::int16_t DecodeFloat(const std::uint8_t* bytes, std::size_t count) {
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < count; ++i) {
        bits |= std::uint64_t{bytes[i]} << (8 * i);
    }
    double value = 0;
    if (count == 4) {
        float single = 0;
        const auto low = static_cast<std::uint32_t>(bits);
        std::memcpy(&single, &low, sizeof single);
        value = single;
    } else {
        std::memcpy(&value, &bits, sizeof value);
    }
    if (std::isnan(value)) {
        return 0;
    }
    const double rounded = std::nearbyint(value * 32768.0);
    return static_cast<std::int16_t>(std::clamp(rounded, -32768.0, 32767.0));
}

// An integer sample of 3 or 4 bytes, left-justified in 32 bits, of which the top 16.
std::int16_t DecodeHighBytes(const std::uint8_t* bytes, std::size_t count) {
    std::uint32_t raw = 0;
    for (std::size_t i = 0; i < count; ++i) {
        raw |= std::uint32_t{bytes[i]} << (8 * (i + 4 - count));
    }
    return static_cast<std::int16_t>(static_cast<std::int32_t>(raw) >> 16);
}

// One sample of width bytes. false when its bytes are not all there (always for width 0).
bool ReadSample(Cursor& cursor, Reading reading, std::uint16_t width, std::int16_t& value) {
    if (width == 0) {
        return false;
    }
    std::vector<std::uint8_t> bytes(width);
    for (std::uint8_t& byte : bytes) {
        if (!cursor.ReadByte(byte)) {
            return false;
        }
    }
    switch (reading) {
    case Reading::AsStored:
        value = width == 2 ? static_cast<std::int16_t>(bytes[0] | bytes[1] << 8)
                           : static_cast<std::int16_t>(bytes[0] - 128);
        break;
    case Reading::HighBytes:
        value = DecodeHighBytes(bytes.data(), width);
        break;
    case Reading::Float:
        value = DecodeFloat(bytes.data(), width);
        break;
    case Reading::ALaw:
        value = DecodeALaw(bytes[0]);
        break;
    case Reading::MuLaw:
        value = DecodeMuLaw(bytes[0]);
        break;
    }
    return true;
}

void TakeLeft(ReferenceResult& result, std::int16_t value) {
    result.left.push_back(value);
    result.peak = std::max(result.peak, value);
}

void TakeRight(ReferenceResult& result, std::int16_t value) {
    result.right.push_back(value);
    result.peakRight = std::max(result.peakRight, value);
}

void ReadSamples(Cursor& cursor, const SampleRule& rule, ReferenceResult& result) {
    const std::uint16_t width = result.bytesPerSample;
    std::int16_t value = 0;
    if (rule.framesOfMany) {
        // Channels 0 and 1 of each frame; the rest of the frame is skipped.
        for (std::uint64_t frame = 0; frame < result.frameCount; ++frame) {
            if (!ReadSample(cursor, rule.reading, width, value)) {
                return;
            }
            TakeLeft(result, value);
            if (!ReadSample(cursor, rule.reading, width, value)) {
                return;
            }
            TakeRight(result, value);
            cursor.Skip(result.blockAlign - 2u * width);
        }
        return;
    }
    if (result.channels == 1) {
        for (std::uint64_t i = 0; i < result.frameCount; ++i) {
            if (!ReadSample(cursor, rule.reading, width, value)) {
                return;
            }
            TakeLeft(result, value);
        }
        return;
    }
    // Any other channel count: samples in file order, dealt alternately to left and right.
    const std::uint64_t sampleCount = std::uint64_t{2} * result.frameCount;
    for (std::uint64_t j = 0; j < sampleCount; ++j) {
        if (!ReadSample(cursor, rule.reading, width, value)) {
            return;
        }
        if (j % 2 == 0) {
            TakeLeft(result, value);
        } else {
            TakeRight(result, value);
        }
    }
}

// The format an extensible fmt chunk's SubFormat GUID names, if its other 14 bytes are
// those of the base GUID xxxx0000-0000-0010-8000-00AA00389B71.
struct Format {
    std::uint16_t code{};
    bool known{};
};

// Chooses how the samples are read, and sets bytesPerSample and plotBits; nothing for a
// format that is refused.
std::optional<SampleRule> ChooseRule(const Format& format, ReferenceResult& result) {
    result.bytesPerSample = static_cast<std::uint16_t>(result.bitsPerSample >> 3);
    const unsigned channels = result.channels;
    const unsigned bits = result.bitsPerSample;
    const bool hasContainer = channels != 0 && result.blockAlign % channels == 0;
    const unsigned container = hasContainer ? result.blockAlign / channels : 0;
    std::optional<Reading> reading;
    if (format.known && format.code == 1) {
        if ((container == 1 && bits == 8) || (container == 2 && bits >= 9 && bits <= 16)) {
            reading = Reading::AsStored;
        } else if ((container == 3 || container == 4) && bits >= 17 && bits <= container * 8) {
            reading = Reading::HighBytes;
        } else {
            return SampleRule{}; // as PCM was always read
        }
    } else if (format.known && format.code == 3 &&
               ((container == 4 && bits == 32) || (container == 8 && bits == 64))) {
        reading = Reading::Float;
    } else if (format.known && (format.code == 6 || format.code == 7) && container == 1 &&
               bits == 8) {
        reading = format.code == 6 ? Reading::ALaw : Reading::MuLaw;
    }
    if (!reading) {
        return std::nullopt;
    }
    // 8- and 16-bit PCM mono and stereo are read as they always were.
    if (*reading == Reading::AsStored && channels <= 2 && bits == container * 8) {
        return SampleRule{};
    }
    result.bytesPerSample = static_cast<std::uint16_t>(container);
    result.plotBits = *reading == Reading::AsStored && container == 1 ? 8 : 16;
    return SampleRule{*reading, channels > 2};
}

std::string Mismatch(const char* what, long long actual, long long expected) {
    char text[160];
    std::snprintf(text, sizeof text, "%s is %lld, expected %lld", what, actual, expected);
    return text;
}

std::string CompareArray(const char* name, const SampleArray& actual,
                         const std::vector<std::int16_t>& prefix, std::uint32_t frameCount,
                         std::size_t zeroTailLimit) {
    if (actual.size() != frameCount) {
        return Mismatch(name, static_cast<long long>(actual.size()), frameCount) + " elements";
    }
    if (prefix.size() > actual.size()) {
        return Mismatch(name, static_cast<long long>(actual.size()),
                        static_cast<long long>(prefix.size())) +
               " elements (shorter than read)";
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (actual[i] != prefix[i]) {
            char text[160];
            std::snprintf(text, sizeof text, "%s[%zu] is %d, expected %d", name, i, actual[i],
                          prefix[i]);
            return text;
        }
    }
    const std::size_t tailEnd = actual.size() - prefix.size() > zeroTailLimit
                                    ? prefix.size() + zeroTailLimit
                                    : actual.size();
    for (std::size_t i = prefix.size(); i < tailEnd; ++i) {
        if (actual[i] != 0) {
            char text[160];
            std::snprintf(text, sizeof text, "%s[%zu] is %d past what the file supplies", name, i,
                          actual[i]);
            return text;
        }
    }
    if (!actual.empty() && actual.size() > prefix.size() && actual[actual.size() - 1] != 0) {
        return std::string(name) + ": the last element is not 0";
    }
    return {};
}

// Reads chunk ids and skips their chunks until the id wanted; false when a skipped chunk
// ends at or past the end of the RIFF form, an id is not whole, or a data chunk comes
// before the fmt chunk. The first id is read before any position test.
bool FindChunk(Cursor& cursor, const ReferenceResult& result, std::uint32_t wanted) {
    bool complete = false;
    std::uint32_t id = cursor.ReadLE(4, complete);
    while (id != wanted) {
        if (!complete || id == kData) {
            return false;
        }
        const std::uint32_t size = cursor.ReadU32LE();
        cursor.Skip(size);
        cursor.SkipPadAfter(size);
        if (cursor.Position() >= result.fileLength) {
            return false;
        }
        id = cursor.ReadLE(4, complete);
    }
    return true;
}

// The 16 fields every fmt chunk has, the SubFormat of an extensible one, and the rest of
// the body skipped.
Format ReadFormatChunk(Cursor& cursor, ReferenceResult& result) {
    result.fmtSize = cursor.ReadU32LE();
    result.formatTag = cursor.ReadU16LE();
    result.channels = cursor.ReadU16LE();
    result.sampleRate = cursor.ReadU32LE();
    result.byteRate = cursor.ReadU32LE();
    result.blockAlign = cursor.ReadU16LE();
    result.bitsPerSample = cursor.ReadU16LE();

    // The rest of the fmt body; a size below 16 wraps around to a skip of about 4 GiB.
    const std::uint64_t bodyEnd =
        cursor.Position() + static_cast<std::uint32_t>(result.fmtSize - 16);
    Format format{result.formatTag, result.formatTag != 0xFFFE};
    if (result.formatTag == 0xFFFE && result.fmtSize >= 40) {
        cursor.Skip(8); // cbSize, valid bits, channel mask
        static const std::uint8_t kBaseTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                   0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        format.code = cursor.ReadU16LE();
        format.known = true;
        for (const std::uint8_t expected : kBaseTail) {
            std::uint8_t byte = 0;
            format.known = cursor.ReadByte(byte) && byte == expected && format.known;
        }
    }
    cursor.Skip(bodyEnd - cursor.Position());
    cursor.SkipPadAfter(result.fmtSize);
    return format;
}

} // namespace

ReferenceResult DecodeReference(const std::vector<std::uint8_t>& file) {
    ReferenceResult result;
    Cursor cursor(file);

    result.riffId = cursor.ReadU32LE();
    if (result.riffId != kRiff) {
        return Rejected(result, LoadStatus::NotRiffWave);
    }
    result.fileLength = cursor.ReadU32LE() + 8;
    result.waveId = cursor.ReadU32LE();
    if (result.waveId != kWave) {
        return Rejected(result, LoadStatus::NotRiffWave);
    }
    if (!FindChunk(cursor, result, kFmt)) {
        return Rejected(result, LoadStatus::NotRiffWave);
    }
    result.fmtId = kFmt;
    const Format format = ReadFormatChunk(cursor, result);
    if (!FindChunk(cursor, result, kData)) {
        return Rejected(result, LoadStatus::NoDataChunk);
    }
    result.dataSize = cursor.ReadU32LE();
    const std::optional<SampleRule> rule = ChooseRule(format, result);
    if (!rule) {
        result.formatCode = format.code;
        return Rejected(result, LoadStatus::UnsupportedFormat);
    }
    if (result.blockAlign == 0) {
        return Rejected(result, LoadStatus::ZeroBlockAlign);
    }
    result.frameCount = result.dataSize / result.blockAlign;

    ReadSamples(cursor, *rule, result);
    if (result.peakRight > result.peak) {
        result.peak = result.peakRight;
    }
    return result;
}

std::string DescribeDifference(const WaveRecord& record, const ReferenceResult& expected,
                               std::size_t zeroTailLimit) {
    if (expected.status != LoadStatus::Loaded) {
        return "the file should have been rejected";
    }
    std::vector<FieldPair> fields = HeaderFieldPairs(record, expected);
    fields.insert(fields.end(), {
                                    {"buffersAllocated", record.buffersAllocated, 1},
                                    {"peak", record.peak, expected.peak},
                                    {"peakRight", record.peakRight, expected.peakRight},
                                });
    for (const FieldPair& field : fields) {
        if (field.actual != field.expected) {
            return Mismatch(field.name, field.actual, field.expected);
        }
    }
    std::string difference =
        CompareArray("left", record.left, expected.left, expected.frameCount, zeroTailLimit);
    if (difference.empty()) {
        difference =
            CompareArray("right", record.right, expected.right, expected.frameCount, zeroTailLimit);
    }
    return difference;
}
