#include "wave/WaveFileReader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sched.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

namespace {

// Chunk and form identifiers, as the four characters read as a little-endian number.
constexpr std::uint32_t kRiffId = 0x46464952; // "RIFF"
constexpr std::uint32_t kWaveId = 0x45564157; // "WAVE"
constexpr std::uint32_t kFmtId = 0x20746D66;  // "fmt "
constexpr std::uint32_t kDataId = 0x61746164; // "data"

// The fmt fields every file has: format tag, channels, sample rate, byte rate, block
// align and bits per sample. Anything beyond them in the fmt body is skipped.
constexpr std::uint32_t kFmtFieldBytes = 16;

// The samples are read in blocks of this size: large enough that the system call costs
// nothing next to decoding, small enough to stay in the cache while it is decoded, and
// small enough that two scratch buffers of a block and a sample fit in one huge page.
constexpr std::size_t kBlockBytes = (std::size_t{1} << 20) - (std::size_t{8} << 10);

// bitsPerSample is 16 bits wide, so a sample is at most 65535 >> 3 bytes; a sample split
// by a block boundary is carried over into the next block in this much room.
constexpr std::size_t kLargestSampleBytes = 0xFFFF >> 3;

// Owns the descriptor of the file being read and closes it on every way out of a load.
class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor) : m_descriptor(descriptor) {}
    ~FileDescriptor() {
        if (m_descriptor >= 0) {
            close(m_descriptor);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return m_descriptor; }

private:
    int m_descriptor;
};

// read(2) that resumes after a signal. Returns the bytes read, 0 at end of file, or -1
// with errno set.
ssize_t ReadSome(int descriptor, std::uint8_t* into, std::size_t count) {
    for (;;) {
        const ssize_t got = read(descriptor, into, count);
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

// The header is read through this small buffer, a few bytes at a time. Like a C stream,
// its position may be moved past the end of the file; reads there get nothing.
class ByteSource {
public:
    explicit ByteSource(int descriptor) : m_descriptor(descriptor) {}

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
            m_seekPending = true;
        }
        m_position += count;
    }

    // The offset of the next byte in the file.
    std::uint64_t Position() const { return m_position; }

    // errno of the first failed read or seek, or 0.
    int ErrorNumber() const { return m_errorNumber; }

private:
    bool Refill() {
        if (m_errorNumber != 0) {
            return false;
        }
        if (m_seekPending) {
            if (lseek(m_descriptor, static_cast<off_t>(m_position), SEEK_SET) < 0) {
                m_errorNumber = errno;
                return false;
            }
            m_seekPending = false;
        }
        const ssize_t got = ReadSome(m_descriptor, m_buffer, sizeof m_buffer);
        if (got < 0) {
            m_errorNumber = errno;
            return false;
        }
        m_begin = 0;
        m_end = static_cast<std::size_t>(got);
        return got > 0;
    }

    int m_descriptor;
    std::uint8_t m_buffer[4096];
    std::size_t m_begin{}; // first unread byte in m_buffer
    std::size_t m_end{};   // one past the last valid byte in m_buffer
    std::uint64_t m_position{};
    bool m_seekPending{}; // the descriptor's offset lags behind m_position
    int m_errorNumber{};
};

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

// "RIFF", the RIFF size and "WAVE", then the fmt chunk, which must be the first chunk.
LoadStatus ReadFormHeader(ByteSource& source, WaveRecord& staging) {
    staging.riffId = ReadU32LE(source);
    if (staging.riffId != kRiffId) {
        return LoadStatus::NotRiffWave;
    }
    staging.fileLength = ReadU32LE(source) + 8; // modulo 2^32, as the field is wide
    staging.waveId = ReadU32LE(source);
    if (staging.waveId != kWaveId) {
        return LoadStatus::NotRiffWave;
    }
    staging.fmtId = ReadU32LE(source);
    if (staging.fmtId != kFmtId) {
        return LoadStatus::NotRiffWave;
    }
    return LoadStatus::Loaded;
}

// The fields of the fmt chunk, in file order, then the rest of its body. A fmtSize below
// 16 makes the skip wrap around to nearly 4 GiB, which leaves no room for a data chunk.
void ReadFormatChunk(ByteSource& source, WaveRecord& staging) {
    staging.fmtSize = ReadU32LE(source);
    staging.formatTag = ReadU16LE(source);
    staging.channels = ReadU16LE(source);
    staging.sampleRate = ReadU32LE(source);
    staging.byteRate = ReadU32LE(source);
    staging.blockAlign = ReadU16LE(source);
    staging.bitsPerSample = ReadU16LE(source);
    source.Skip(static_cast<std::uint32_t>(staging.fmtSize - kFmtFieldBytes));
    SkipPadByte(source, staging.fmtSize);
}

// Skips chunks until the id "data" has been read. Sizes are unsigned, so the search only
// moves forward; it ends without a data chunk when a skipped chunk ends at or beyond the
// end of the RIFF form, or when the file ends. The first id is read before any position
// test, so a data chunk right after fmt is found even when the RIFF size understates it.
LoadStatus FindDataChunk(ByteSource& source, const WaveRecord& staging) {
    std::uint32_t id = 0;
    bool complete = ReadLittleEndian(source, 4, id);
    while (id != kDataId) {
        if (!complete) {
            return LoadStatus::NoDataChunk;
        }
        const std::uint32_t size = ReadU32LE(source);
        source.Skip(size);
        SkipPadByte(source, size);
        if (source.Position() >= staging.fileLength) {
            return LoadStatus::NoDataChunk;
        }
        complete = ReadLittleEndian(source, 4, id);
    }
    return LoadStatus::Loaded;
}

// Reads the header up to the first sample into staging: identifiers, fmt fields, the
// data chunk's size and the fields derived from them.
LoadStatus ParseWaveFile(ByteSource& source, WaveRecord& staging) {
    LoadStatus status = ReadFormHeader(source, staging);
    if (status != LoadStatus::Loaded) {
        return status;
    }
    ReadFormatChunk(source, staging);
    status = FindDataChunk(source, staging);
    if (status != LoadStatus::Loaded) {
        return status;
    }
    staging.dataSize = ReadU32LE(source);
    staging.bytesPerSample = static_cast<std::uint16_t>(staging.bitsPerSample >> 3);
    if (staging.blockAlign == 0) {
        return LoadStatus::ZeroBlockAlign; // there is no frame count to divide out
    }
    staging.frameCount = staging.dataSize / staging.blockAlign;
    return LoadStatus::Loaded;
}

// Sample decoders. A 2-byte sample is a signed 16-bit little-endian number; a sample of any
// other width gives its first byte re-centred to -128..127, and its other bytes are
// ignored.
struct Linear16 {
    std::size_t Bytes() const { return 2; }
    std::int16_t operator()(const std::uint8_t* sample) const {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(sample[0] | sample[1] << 8));
    }
};

struct FirstByte {
    std::size_t bytes; // 1, or 3 and more
    std::size_t Bytes() const { return bytes; }
    std::int16_t operator()(const std::uint8_t* sample) const {
        return static_cast<std::int16_t>(sample[0] - 128);
    }
};

// The single byte of an 8-bit sample; a separate type so that its stride is a constant.
struct FirstByteOfOne {
    std::size_t Bytes() const { return 1; }
    std::int16_t operator()(const std::uint8_t* sample) const {
        return static_cast<std::int16_t>(sample[0] - 128);
    }
};

// Decodes count samples of a mono file into out and returns the raised peak. Local
// restrict pointers and a local peak keep the loop free of aliasing, so it vectorises; kept
// out of line so that the compiler still knows the pointers do not alias.
template <typename Decoder>
[[gnu::noinline]] std::int16_t DecodeMono(Decoder decode, const std::uint8_t* __restrict in,
                                          std::size_t count, std::int16_t* __restrict out,
                                          std::int16_t peak) {
    const std::size_t stride = decode.Bytes();
    for (std::size_t i = 0; i < count; ++i) {
        const std::int16_t value = decode(in + i * stride);
        out[i] = value;
        peak = value > peak ? value : peak;
    }
    return peak;
}

// Decodes frames pairs of samples, the first of each pair into left and the second into
// right, and raises the two peaks.
template <typename Decoder>
[[gnu::noinline]] void DecodePairs(Decoder decode, const std::uint8_t* __restrict in,
                                   std::size_t frames, std::int16_t* __restrict left,
                                   std::int16_t* __restrict right, std::int16_t& peakLeft,
                                   std::int16_t& peakRight) {
    const std::size_t stride = decode.Bytes();
    std::int16_t highLeft = peakLeft;
    std::int16_t highRight = peakRight;
    for (std::size_t f = 0; f < frames; ++f) {
        const std::int16_t first = decode(in + 2 * f * stride);
        const std::int16_t second = decode(in + (2 * f + 1) * stride);
        left[f] = first;
        right[f] = second;
        highLeft = first > highLeft ? first : highLeft;
        highRight = second > highRight ? second : highRight;
    }
    peakLeft = highLeft;
    peakRight = highRight;
}

#if defined(__SSE2__)
// Streamed stores need 16-byte boundaries.
constexpr std::size_t kStreamAlignment = 16;

// The elements from out on, at most count, that precede the first 16-byte boundary.
std::size_t ElementsBeforeBoundary(const std::int16_t* out, std::size_t count) {
    const std::size_t misaligned = reinterpret_cast<std::uintptr_t>(out) % kStreamAlignment;
    return misaligned == 0 ? 0 : std::min(count, (kStreamAlignment - misaligned) / sizeof(*out));
}

// The largest of eight 16-bit lanes.
std::int16_t HighestLane(__m128i lanes) {
    alignas(kStreamAlignment) std::int16_t values[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(values), lanes);
    return *std::max_element(std::begin(values), std::end(values));
}

// 16-bit stereo, the commonest file, eight frames at a time. Each four-byte frame read as
// a 32-bit number holds the left sample in its low half and the right one in its high
// half (x86 is little-endian): arithmetic shifts take either out sign-extended, and a
// pack puts eight of them side by side, never saturating. The generic loop, which GCC
// vectorises with word shuffles instead, took 3 to 9 % longer per load of 1 GiB on two
// CPUs. The arrays are not read again during a load, so the eight samples of each are
// streamed to memory past the cache, which spares reading each line of the freshly zeroed
// pages back first: another 3 to 7 %.
[[gnu::noinline]] void DecodePairs(Linear16 decode, const std::uint8_t* __restrict in,
                                   std::size_t frames, std::int16_t* __restrict left,
                                   std::int16_t* __restrict right, std::int16_t& peakLeft,
                                   std::int16_t& peakRight) {
    constexpr std::size_t kFrames = 8;
    // Both arrays reach a 16-byte boundary at the same frame, as they start on page
    // boundaries. The frames before it go one by one.
    const bool stream =
        ElementsBeforeBoundary(left, kFrames) == ElementsBeforeBoundary(right, kFrames);
    std::size_t f = stream ? ElementsBeforeBoundary(left, frames) : 0;
    DecodePairs<Linear16>(decode, in, f, left, right, peakLeft, peakRight);
    __m128i highLeft = _mm_set1_epi16(peakLeft);
    __m128i highRight = _mm_set1_epi16(peakRight);
    for (; f + kFrames <= frames; f += kFrames) {
        const auto* at = reinterpret_cast<const __m128i*>(in + 4 * f);
        const __m128i first = _mm_loadu_si128(at);
        const __m128i second = _mm_loadu_si128(at + 1);
        const __m128i lefts = _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(first, 16), 16),
                                              _mm_srai_epi32(_mm_slli_epi32(second, 16), 16));
        const __m128i rights =
            _mm_packs_epi32(_mm_srai_epi32(first, 16), _mm_srai_epi32(second, 16));
        auto* const leftAt = reinterpret_cast<__m128i*>(left + f);
        auto* const rightAt = reinterpret_cast<__m128i*>(right + f);
        if (stream) {
            _mm_stream_si128(leftAt, lefts);
            _mm_stream_si128(rightAt, rights);
        } else {
            _mm_storeu_si128(leftAt, lefts);
            _mm_storeu_si128(rightAt, rights);
        }
        highLeft = _mm_max_epi16(highLeft, lefts);
        highRight = _mm_max_epi16(highRight, rights);
    }
    _mm_sfence(); // streamed stores are seen before anything this thread does next
    peakLeft = HighestLane(highLeft);
    peakRight = HighestLane(highRight);
    // The last frames, fewer than eight, one by one.
    DecodePairs<Linear16>(decode, in + 4 * f, frames - f, left + f, right + f, peakLeft, peakRight);
}
#endif

// What every sink holds, whichever load it serves: the arrays, whether the file is mono,
// the samples it has taken so far, from first up to next, and their peaks. A mono file's
// peak is peakLeft; any other file's even-numbered samples raise peakLeft and its
// odd-numbered ones peakRight.
struct SinkState {
    SinkState(WaveRecord& record, std::uint64_t first)
        : left(record.left.data()), right(record.right.data()), mono(record.channels == 1),
          first(first), next(first) {}

    std::int16_t* left;
    std::int16_t* right;
    bool mono;
    std::uint64_t first; // number in the file of the first sample taken
    std::uint64_t next;  // number in the file of the next sample
    std::int16_t peakLeft{};
    std::int16_t peakRight{};
};

// Where the decoded samples go. A mono file fills left only. Every other channel count
// deals the samples alternately, by the parity of their index in the file: even ones to
// left, odd ones to right, so further channels end up mixed into both.
struct SampleSink : SinkState {
    using SinkState::SinkState;

    template <typename Decoder>
    void Take(Decoder decode, const std::uint8_t* in, std::size_t count) {
        const std::size_t stride = decode.Bytes();
        if (mono) {
            peakLeft = DecodeMono(decode, in, count, left + next, peakLeft);
            next += count;
            return;
        }
        if (count > 0 && next % 2 == 1) { // the block starts with the right half of a frame
            TakeOne(decode(in), right, peakRight);
            in += stride;
            --count;
        }
        const std::size_t frames = count / 2;
        DecodePairs(decode, in, frames, left + next / 2, right + next / 2, peakLeft, peakRight);
        next += 2 * frames;
        if (count % 2 == 1) { // and ends with the left half of one
            TakeOne(decode(in + 2 * frames * stride), left, peakLeft);
        }
    }

    void TakeOne(std::int16_t value, std::int16_t* channel, std::int16_t& peak) {
        channel[next / 2] = value;
        peak = value > peak ? value : peak;
        ++next;
    }

    // Undoes everything taken: the elements written go back to 0, and so do the peaks.
    void Discard();
};

// Hands count samples to a sink (the full load's or the strided load's) through the
// decoder of their width.
template <typename Sink>
void DecodeBlock(Sink& sink, std::size_t bytesPerSample, const std::uint8_t* in,
                 std::size_t count) {
    switch (bytesPerSample) {
    case 1:
        sink.Take(FirstByteOfOne{}, in, count);
        break;
    case 2:
        sink.Take(Linear16{}, in, count);
        break;
    default:
        sink.Take(FirstByte{bytesPerSample}, in, count);
        break;
    }
}

// The number of samples the loop reads: frameCount for a mono file, two per frame for
// any other (64 bits wide: 2 x frameCount need not fit in 32).
std::uint64_t SamplesToRead(const WaveRecord& record) {
    return record.channels == 1 ? record.frameCount : std::uint64_t{2} * record.frameCount;
}

// The samples that the file, as large as it was when it was opened, supplies whole from
// dataOffset on: at most SamplesToRead, fewer when the data chunk is short.
std::uint64_t SamplesInFile(const WaveRecord& record, std::uint64_t dataOffset,
                            std::uint64_t fileSize) {
    if (record.bytesPerSample == 0 || fileSize <= dataOffset) {
        return 0;
    }
    const std::uint64_t inFile = (fileSize - dataOffset) / record.bytesPerSample;
    return inFile < SamplesToRead(record) ? inFile : SamplesToRead(record);
}

// The elements of left and right that the samples [first, last) of the file go to. A
// mono file fills left only; every other file deals even samples to left and odd ones to
// right.
struct ElementRange {
    std::size_t leftFirst, leftLast, rightFirst, rightLast;
};

ElementRange ElementsOf(bool mono, std::uint64_t first, std::uint64_t last) {
    if (mono) {
        return {static_cast<std::size_t>(first), static_cast<std::size_t>(last), 0, 0};
    }
    return {static_cast<std::size_t>((first + 1) / 2), static_cast<std::size_t>((last + 1) / 2),
            static_cast<std::size_t>(first / 2), static_cast<std::size_t>(last / 2)};
}

void SampleSink::Discard() {
    const ElementRange elements = ElementsOf(mono, first, next);
    std::fill(left + elements.leftFirst, left + elements.leftLast, std::int16_t{0});
    std::fill(right + elements.rightFirst, right + elements.rightLast, std::int16_t{0});
    peakLeft = peakRight = 0;
}

// Backs with memory only the elements that the first samples samples will fill; a header
// may claim far more frames than the file holds. One thread faults its pages in at once;
// two threads fault them as they write, so that each zeroes its own fresh pages (measured
// on two CPUs with 1 GiB of 16-bit stereo: 78 ms against 93 to 105 ms when each thread
// first faulted its range in with one call).
void PrepareArrays(WaveRecord& record, std::uint64_t samples, SampleArray::Faulting faulting) {
    const ElementRange elements = ElementsOf(record.channels == 1, 0, samples);
    record.left.PrepareForWriting(elements.leftLast, faulting);
    record.right.PrepareForWriting(elements.rightLast, faulting);
}

// pread(2) that resumes after a signal. Returns the bytes read, 0 at end of file, or -1
// with errno set.
ssize_t ReadSomeAt(int descriptor, std::uint8_t* into, std::size_t count, std::uint64_t offset) {
    for (;;) {
        const ssize_t got = pread(descriptor, into, count, static_cast<off_t>(offset));
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

// Where a load reads its samples: the file, where its data starts, the width of a sample
// and the size of the blocks it reads at a time; and whom it tells how far it got, if
// anyone.
struct SampleSource {
    int descriptor;
    std::uint64_t dataOffset;
    std::size_t bytesPerSample;
    std::size_t blockBytes;
    LoadProgress* progress;
};

// Reads the samples from sink.next up to last, block by block, and hands them to the sink
// (the full load's or the strided load's). Returns false when the file ends, a read
// fails or the load is cancelled before the last sample was read whole; the samples not
// read are never taken. A
// sample of width 0 is never whole, so nothing is read. Each caller reads its own range
// with its own scratch, so that two threads can share a file's samples.
template <typename Sink>
bool ReadSampleRange(const SampleSource& source, std::uint64_t last, std::uint8_t* scratch,
                     Sink& sink) {
    const std::size_t bytesPerSample = source.bytesPerSample;
    if (bytesPerSample == 0) {
        return sink.next >= last;
    }
    // Offsets fit in 64 bits: a sample index is below 2^33 and bytesPerSample below 2^13.
    std::uint64_t offset = source.dataOffset + sink.next * bytesPerSample;
    std::size_t carried = 0; // bytes of a split sample at the start of scratch
    while (sink.next < last) {
        if (source.progress != nullptr && source.progress->Cancelled()) {
            return false;
        }
        // Never read past the last sample of the range.
        const std::uint64_t wanted = (last - sink.next) * bytesPerSample - carried;
        const std::size_t ask =
            wanted < source.blockBytes ? static_cast<std::size_t>(wanted) : source.blockBytes;
        const ssize_t got = ReadSomeAt(source.descriptor, scratch + carried, ask, offset);
        if (got <= 0) {
            return false;
        }
        offset += static_cast<std::uint64_t>(got);
        if (source.progress != nullptr) {
            source.progress->Add(static_cast<std::uint64_t>(got));
        }
        const std::size_t have = carried + static_cast<std::size_t>(got);
        const std::size_t whole = have / bytesPerSample;
        DecodeBlock(sink, bytesPerSample, scratch, whole);
        carried = have - whole * bytesPerSample;
        std::memmove(scratch, scratch + whole * bytesPerSample, carried);
    }
    return true;
}

// Samples are read in blocks into a scratch buffer of this size; a sample split by a
// block boundary moves to its front first.
constexpr std::size_t kScratchBytes = kBlockBytes + kLargestSampleBytes;

// Two scratch buffers share one huge page of this many 16-bit elements.
constexpr std::size_t kScratchPairElements = std::size_t{1} << 20;
static_assert(2 * kScratchBytes <= kScratchPairElements * sizeof(std::int16_t));

// Below this much sample data one thread reads the file: starting and joining a second
// thread costs more than it saves on smaller files (16-bit stereo on two CPUs, one thread
// against two: 0.38 against 0.59 ms for 4 MiB, 1.06 against 0.95 ms for 8 MiB).
constexpr std::uint64_t kSharedLoadBytes = std::uint64_t{8} << 20;

// The CPUs this process may run on (taskset, cpusets), which may be fewer than the
// machine has.
int UsableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) {
        return 1;
    }
    return CPU_COUNT(&set);
}

// How the samples the file holds are shared out: the calling thread reads the samples
// before the split and a second thread those from it on; 0 means that the calling thread
// reads them all. The split falls on a multiple of 16 samples, so that each thread writes
// whole frames, the dealing of samples to left and right stays as in one pass, and each
// thread's first elements start on a 16-byte boundary of the arrays.
std::uint64_t SplitPoint(const WaveRecord& record, std::uint64_t samplesInFile,
                         SampleThreads threads) {
    const bool shared =
        threads == SampleThreads::Two ||
        (threads == SampleThreads::Automatic &&
         samplesInFile * record.bytesPerSample >= kSharedLoadBytes && UsableProcessors() >= 2);
    if (!shared) {
        return 0;
    }
    return samplesInFile / 2 / 16 * 16;
}

// The scratch buffers of a load. One thread reads through a buffer from the heap, which
// a run of loads reuses. Two threads read through two buffers in one huge page, faulted in
// at once: the heap hands two buffers' memory back to the system after each load, and
// faulting it in again one 4 KiB page at a time cost several milliseconds per load on a
// virtual machine. Without the huge page's memory one thread reads everything.
class ScratchPair {
public:
    explicit ScratchPair(std::uint64_t& split) {
        if (split != 0) {
            m_shared = SampleArray::Allocate(kScratchPairElements);
            if (m_shared) {
                m_shared->PrepareForWriting(kScratchPairElements);
                return;
            }
            split = 0;
        }
        m_heap.reset(new (std::nothrow) std::uint8_t[kScratchBytes]);
    }

    bool Allocated() const { return m_shared || m_heap; }
    std::uint8_t* Head() { return m_shared ? Shared() : m_heap.get(); }
    std::uint8_t* Tail() { return Shared() + kScratchBytes; }

private:
    std::uint8_t* Shared() { return reinterpret_cast<std::uint8_t*>(m_shared->data()); }

    std::unique_ptr<std::uint8_t[]> m_heap;
    std::optional<SampleArray> m_shared;
};

// Reads the samples into the record's arrays through two sinks of the load's kind (the
// full load's or the strided load's): head takes those before the split and tail those
// from it on, each on its own thread with its own scratch, and both threads are done when
// this returns; with no split head takes them all on the calling thread. The kind readies
// the arrays for the samplesInFile samples the file holds before any is written. If the
// head's range ends early (the file shrank, or a read failed), the data ended there, and
// whatever the tail took is discarded, exactly as one pass would have stopped. The peaks
// of both end up in record. This cannot fail: a read error ends the data like the end of
// the file, and a thread that cannot be started leaves its range to this one.
template <typename Kind>
void ReadSamples(const SampleSource& source, std::uint64_t split, std::uint64_t samplesInFile,
                 ScratchPair& scratch, const Kind& kind, WaveRecord& record) {
    const std::uint64_t last = SamplesToRead(record); // the end of the data the header gives
    auto head = kind.MakeSink(record, 0);
    auto tail = kind.MakeSink(record, split);
    // Readied as one range even for two threads, not as two halves: the huge page that the
    // split falls into is then a huge page too, and so is every one of a file whose halves
    // are each smaller than a huge page (a 4 MiB file took 15 ms instead of 6 ms on two
    // threads when each thread readied its half, faulting in 4 KiB pages).
    kind.Prepare(record, samplesInFile,
                 split == 0 ? SampleArray::Faulting::Now : SampleArray::Faulting::OnFirstWrite);
    const auto readTail = [&] { ReadSampleRange(source, last, scratch.Tail(), tail); };
    if (split == 0) {
        ReadSampleRange(source, last, scratch.Head(), head);
    } else {
        std::thread worker;
        try {
            worker = std::thread(readTail);
        } catch (const std::system_error&) {
            // No thread to be had: this one reads the tail after the head.
        }
        const bool headComplete = ReadSampleRange(source, split, scratch.Head(), head);
        if (worker.joinable()) {
            worker.join();
        } else if (headComplete) {
            readTail();
        }
        if (!headComplete) {
            tail.Discard();
        }
    }
    const std::int16_t peakLeft = std::max(head.peakLeft, tail.peakLeft);
    record.peakRight = std::max(head.peakRight, tail.peakRight);
    record.peak = std::max(peakLeft, record.peakRight);
}

// The full load: every sample into the arrays, which are backed with memory as they will
// be filled.
struct FullLoad {
    std::size_t blockBytes = kBlockBytes;

    SampleSink MakeSink(WaveRecord& record, std::uint64_t first) const {
        return SampleSink(record, first);
    }
    void Prepare(WaveRecord& record, std::uint64_t samplesInFile,
                 SampleArray::Faulting faulting) const {
        PrepareArrays(record, samplesInFile, faulting);
    }
};

// Moves the staged header, arrays and peaks into record, with the path, and releases the
// old arrays; loaded stays as it was. Nothing here can fail, so the record is either
// untouched or holds the new file whole.
void Commit(WaveRecord& record, WaveRecord& staging, std::string& path) noexcept {
    staging.buffersAllocated = 1;
    staging.path.swap(path);
    staging.loaded = record.loaded;
    record = std::move(staging);
}

// A file opened for a load, and its header parsed into a staging record: what both loads
// do before they allocate. O_NONBLOCK so that opening a FIFO with no writer returns at
// once; it is rejected as not a regular file.
struct ParsedFile {
    explicit ParsedFile(const std::string& path)
        : file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {}

    FileDescriptor file;
    WaveRecord staging;
    std::uint64_t dataOffset{};    // where the data chunk's body starts, in bytes
    std::uint64_t samplesInFile{}; // whole samples there, as large as the file was opened
    std::uint64_t bytesToRead{};   // the bytes of those and of a last, partial sample
};

// Checks that the opened file is a regular file and parses its header; Loaded when the
// data chunk was found.
LoadOutcome ParseOpenedFile(ParsedFile& parsed) {
    if (parsed.file.Get() < 0) {
        return {LoadStatus::CannotOpen, errno};
    }
    struct stat status {};
    if (fstat(parsed.file.Get(), &status) != 0) {
        return {LoadStatus::ReadError, errno};
    }
    if (!S_ISREG(status.st_mode)) {
        return {LoadStatus::NotRegularFile, 0};
    }
    ByteSource source(parsed.file.Get());
    const LoadStatus result = ParseWaveFile(source, parsed.staging);
    if (source.ErrorNumber() != 0) {
        return {LoadStatus::ReadError, source.ErrorNumber()};
    }
    parsed.dataOffset = source.Position();
    const auto fileSize = static_cast<std::uint64_t>(status.st_size);
    parsed.samplesInFile = SamplesInFile(parsed.staging, parsed.dataOffset, fileSize);
    const std::uint64_t claimed = SamplesToRead(parsed.staging) * parsed.staging.bytesPerSample;
    const std::uint64_t held = fileSize > parsed.dataOffset ? fileSize - parsed.dataOffset : 0;
    parsed.bytesToRead = held < claimed ? held : claimed;
    return {result, 0};
}

// Both loads: the header into a staging record, the scratch buffers and the arrays, then
// the samples read the way kind takes them. A rejection or a refused allocation leaves
// record as it was. Without progress the record is committed before the first sample is
// read, so that the old arrays are gone before the new ones fill; with progress the
// samples fill the staging record, which is committed only when the load was not
// cancelled.
template <typename Kind>
LoadOutcome LoadSamples(WaveRecord& record, const std::string& path, SampleThreads threads,
                        const Kind& kind, LoadProgress* progress = nullptr) {
    ParsedFile parsed(path);
    if (const LoadOutcome outcome = ParseOpenedFile(parsed); outcome.status != LoadStatus::Loaded) {
        return outcome;
    }
    WaveRecord& staging = parsed.staging;
    std::uint64_t split = SplitPoint(staging, parsed.samplesInFile, threads);
    ScratchPair scratch(split);
    std::string newPath = path;
    if (!scratch.Allocated() || !AllocateSampleBuffers(staging, staging.frameCount)) {
        return {LoadStatus::CannotAllocate, 0};
    }
    const SampleSource source{parsed.file.Get(), parsed.dataOffset, staging.bytesPerSample,
                              kind.blockBytes, progress};
    if (progress == nullptr) {
        Commit(record, staging, newPath);
        ReadSamples(source, split, parsed.samplesInFile, scratch, kind, record);
        return {LoadStatus::Loaded, 0};
    }
    progress->Start(parsed.bytesToRead);
    ReadSamples(source, split, parsed.samplesInFile, scratch, kind, staging);
    if (progress->Cancelled()) {
        return {LoadStatus::Cancelled, 0};
    }
    Commit(record, staging, newPath);
    return {LoadStatus::Loaded, 0};
}

} // namespace

LoadOutcome LoadWaveFileExplained(WaveRecord& record, const std::string& path,
                                  SampleThreads threads) {
    return LoadSamples(record, path, threads, FullLoad{});
}

int LoadWaveFile(WaveRecord& record, const std::string& path) {
    return LoadWaveFileExplained(record, path).status == LoadStatus::Loaded ? 0 : 1;
}

const char* DescribeLoadStatus(LoadStatus status) {
    switch (status) {
    case LoadStatus::Loaded:
        return "loaded";
    case LoadStatus::CannotOpen:
        return "cannot open the file";
    case LoadStatus::NotRegularFile:
        return "not a regular file";
    case LoadStatus::NotRiffWave:
        return "not a RIFF/WAVE file";
    case LoadStatus::ZeroBlockAlign:
        return "block align is 0";
    case LoadStatus::NoDataChunk:
        return "no data chunk";
    case LoadStatus::CannotAllocate:
        return "cannot allocate memory for the samples";
    case LoadStatus::ReadError:
        return "read error";
    case LoadStatus::Cancelled:
        return "cancelled";
    }
    return "unknown status";
}

// The strided load: one forward pass over the data that keeps the peaks of every sample
// and the samples of a few frames, for drawing a file of any size in little memory.
namespace {

// The samples a strided load keeps, in file order: the frames column * step, where step is
// frameCount / columns, and of each frame its left sample or, for any channel count but
// one, its left and its right sample (sample numbers 2 * frame and 2 * frame + 1, as
// the samples are dealt). With fewer frames than columns the step is 0, and every column
// reads frame 0.
class KeptSamples {
public:
    // The kept samples from sample first on, where a second thread starts taking samples.
    KeptSamples(const WaveRecord& record, std::uint32_t columns, std::uint64_t first)
        : m_step(columns == 0 ? 0 : record.frameCount / columns),
          m_columns(record.frameCount == 0 ? 0 : columns), m_mono(record.channels == 1) {
        while (!Done() && Sample() < first) { // at most one step per kept sample
            Advance();
        }
    }

    bool Done() const { return m_column >= m_columns; }

    // The number in the file of the next sample to keep.
    std::uint64_t Sample() const {
        const std::uint64_t frame = std::uint64_t{m_column} * m_step;
        return m_mono ? frame : 2 * frame + m_second;
    }

    void Advance() {
        if (!m_mono && m_second == 0) {
            m_second = 1;
            return;
        }
        m_second = 0;
        // With a step of 0 every further column reads the frame just kept.
        m_column = m_step == 0 ? m_columns : m_column + 1;
    }

private:
    std::uint64_t m_step;
    std::uint32_t m_columns;
    bool m_mono;
    std::uint32_t m_column{};
    std::uint32_t m_second{}; // 1 while the right sample of the frame is next
};

// Raises the peaks of frames pairs of samples: the first of each pair is an even-numbered
// sample, the second an odd-numbered one. Sixteen running maxima, one per sample of eight
// frames, keep the loop free of dependencies between neighbouring samples, so that it
// vectorises; kept out of line so that the compiler knows the pointer does not alias.
template <typename Decoder>
[[gnu::noinline]] void RaisePairPeaks(Decoder decode, const std::uint8_t* __restrict in,
                                      std::size_t frames, std::int16_t& peakEven,
                                      std::int16_t& peakOdd) {
    constexpr std::size_t kLanes = 16;
    const std::size_t stride = decode.Bytes();
    std::int16_t high[kLanes];
    for (std::size_t lane = 0; lane < kLanes; ++lane) {
        high[lane] = lane % 2 == 0 ? peakEven : peakOdd;
    }
    const std::size_t samples = 2 * frames;
    std::size_t i = 0;
    for (; i + kLanes <= samples; i += kLanes) {
        for (std::size_t lane = 0; lane < kLanes; ++lane) {
            const std::int16_t value = decode(in + (i + lane) * stride);
            high[lane] = value > high[lane] ? value : high[lane];
        }
    }
    for (std::size_t lane = 0; i < samples; ++i, ++lane) {
        const std::int16_t value = decode(in + i * stride);
        high[lane] = value > high[lane] ? value : high[lane];
    }
    for (std::size_t lane = 0; lane < kLanes; lane += 2) {
        peakEven = high[lane] > peakEven ? high[lane] : peakEven;
        peakOdd = high[lane + 1] > peakOdd ? high[lane + 1] : peakOdd;
    }
}

// Takes the decoded samples block by block: it writes the kept ones into the record's
// arrays, where a full load would put them, and raises the peaks over all of them, as a
// full load does.
struct StridedSink : SinkState {
    StridedSink(WaveRecord& record, std::uint32_t columns, std::uint64_t first)
        : SinkState(record, first), kept(record, columns, first), firstKept(kept) {}

    KeptSamples kept;      // the next sample to keep
    KeptSamples firstKept; // the first one this sink keeps

    template <typename Decoder>
    void Take(Decoder decode, const std::uint8_t* in, std::size_t count) {
        const std::size_t stride = decode.Bytes();
        for (; !kept.Done() && kept.Sample() - next < count; kept.Advance()) {
            Keep(kept.Sample(), decode(in + (kept.Sample() - next) * stride));
        }
        if (count > 0 && next % 2 == 1) { // the block starts with an odd-numbered sample
            const std::int16_t value = decode(in);
            peakRight = value > peakRight ? value : peakRight;
            in += stride;
            --count;
            ++next;
        }
        RaisePairPeaks(decode, in, count / 2, peakLeft, peakRight);
        next += count;
        if (count % 2 == 1) { // and ends with an even-numbered one
            const std::int16_t value = decode(in + (count - 1) * stride);
            peakLeft = value > peakLeft ? value : peakLeft;
        }
        if (mono) { // every sample of a mono file is a left one
            peakLeft = peakRight > peakLeft ? peakRight : peakLeft;
            peakRight = 0;
        }
    }

    void Keep(std::uint64_t sample, std::int16_t value) {
        if (mono) {
            left[sample] = value;
        } else if (sample % 2 == 0) {
            left[sample / 2] = value;
        } else {
            right[sample / 2] = value;
        }
    }

    // Undoes everything taken: the kept samples written go back to 0, and so do the peaks.
    void Discard() {
        for (KeptSamples undo = firstKept; !undo.Done() && undo.Sample() < next; undo.Advance()) {
            Keep(undo.Sample(), 0);
        }
        peakLeft = peakRight = 0;
    }
};

// The scan only reads each block once, so smaller blocks than a full load's keep the copy
// from the page cache and the scan inside the processor's second-level cache.
constexpr std::size_t kScanBlockBytes = std::size_t{256} << 10;

// The kept frames lie far apart: where the system backs all memory with huge pages, each
// would otherwise cost a whole huge page. Only whole pages inside the array are advised.
void KeepSmallPages(SampleArray& array) {
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto first = reinterpret_cast<std::uintptr_t>(array.data());
    const std::uintptr_t last = first + array.size() * sizeof(std::int16_t);
    const std::uintptr_t pageFirst = (first + page - 1) / page * page;
    const std::uintptr_t pageLast = last / page * page;
    if (pageLast > pageFirst) {
        madvise(reinterpret_cast<void*>(pageFirst), pageLast - pageFirst, MADV_NOHUGEPAGE);
    }
}

// The strided load: the kept frames into the arrays and the peaks of every sample, read in
// smaller blocks. Only the kept frames are written, each on a page of its own.
struct StridedLoad {
    std::uint32_t columns;
    std::size_t blockBytes = kScanBlockBytes;

    StridedSink MakeSink(WaveRecord& record, std::uint64_t first) const {
        return StridedSink(record, columns, first);
    }
    void Prepare(WaveRecord& record, std::uint64_t, SampleArray::Faulting) const {
        KeepSmallPages(record.left);
        KeepSmallPages(record.right);
    }
};

} // namespace

LoadOutcome LoadWaveFileStrided(WaveRecord& record, const std::string& path, std::uint32_t columns,
                                SampleThreads threads) {
    return LoadSamples(record, path, threads, StridedLoad{columns});
}

LoadOutcome LoadWaveFileStrided(WaveRecord& record, const std::string& path, std::uint32_t columns,
                                SampleThreads threads, LoadProgress& progress) {
    return LoadSamples(record, path, threads, StridedLoad{columns}, &progress);
}
