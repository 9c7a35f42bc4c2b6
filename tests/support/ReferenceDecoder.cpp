#include "tests/support/ReferenceDecoder.h"

#include <cstdio>

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

// One sample: a 2-byte sample as a signed 16-bit number, any other width by its first byte
// minus 128. false when the sample's bytes are not all there (always for width 0).
bool ReadSample(Cursor& cursor, std::uint16_t bytesPerSample, std::int16_t& value) {
    if (bytesPerSample == 0) {
        return false;
    }
    if (bytesPerSample == 2) {
        bool complete = false;
        const std::uint32_t raw = cursor.ReadLE(2, complete);
        value = static_cast<std::int16_t>(static_cast<std::uint16_t>(raw));
        return complete;
    }
    std::uint8_t first = 0;
    if (!cursor.ReadByte(first)) {
        return false;
    }
    for (std::uint16_t i = 1; i < bytesPerSample; ++i) {
        std::uint8_t ignored = 0;
        if (!cursor.ReadByte(ignored)) {
            return false;
        }
    }
    value = static_cast<std::int16_t>(first - 128);
    return true;
}

void ReadSamples(Cursor& cursor, ReferenceResult& result) {
    if (result.channels == 1) {
        for (std::uint64_t i = 0; i < result.frameCount; ++i) {
            std::int16_t value = 0;
            if (!ReadSample(cursor, result.bytesPerSample, value)) {
                break;
            }
            result.left.push_back(value);
            if (value > result.peak) {
                result.peak = value;
            }
        }
        return;
    }
    // Any other channel count: samples in file order, dealt alternately to left and right.
    const std::uint64_t sampleCount = std::uint64_t{2} * result.frameCount;
    for (std::uint64_t j = 0; j < sampleCount; ++j) {
        std::int16_t value = 0;
        if (!ReadSample(cursor, result.bytesPerSample, value)) {
            break;
        }
        if (j % 2 == 0) {
            result.left.push_back(value);
            if (value > result.peak) {
                result.peak = value;
            }
        } else {
            result.right.push_back(value);
            if (value > result.peakRight) {
                result.peakRight = value;
            }
        }
    }
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
    result.fmtId = cursor.ReadU32LE();
    if (result.fmtId != kFmt) {
        return Rejected(result, LoadStatus::NotRiffWave);
    }
    result.fmtSize = cursor.ReadU32LE();
    result.formatTag = cursor.ReadU16LE();
    result.channels = cursor.ReadU16LE();
    result.sampleRate = cursor.ReadU32LE();
    result.byteRate = cursor.ReadU32LE();
    result.blockAlign = cursor.ReadU16LE();
    result.bitsPerSample = cursor.ReadU16LE();

    // The rest of the fmt body; a size below 16 wraps around to a skip of about 4 GiB.
    cursor.Skip(static_cast<std::uint32_t>(result.fmtSize - 16));
    cursor.SkipPadAfter(result.fmtSize);

    bool complete = false;
    std::uint32_t id = cursor.ReadLE(4, complete);
    while (id != kData) {
        if (!complete) {
            return Rejected(result, LoadStatus::NoDataChunk); // end of file
        }
        const std::uint32_t size = cursor.ReadU32LE();
        cursor.Skip(size);
        cursor.SkipPadAfter(size);
        if (cursor.Position() >= result.fileLength) {
            return Rejected(result, LoadStatus::NoDataChunk);
        }
        id = cursor.ReadLE(4, complete);
    }

    result.dataSize = cursor.ReadU32LE();
    result.bytesPerSample = static_cast<std::uint16_t>(result.bitsPerSample >> 3);
    if (result.blockAlign == 0) {
        return Rejected(result, LoadStatus::ZeroBlockAlign);
    }
    result.frameCount = result.dataSize / result.blockAlign;

    ReadSamples(cursor, result);
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
