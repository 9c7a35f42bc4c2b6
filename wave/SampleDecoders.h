#pragma once

// Turning the bytes of a block into samples: how a file's samples are stored, a decoder
// per coding and sample width, and the loops that decode a block into the arrays or only
// raise its peaks. No I/O and no threads. Each loop is kept out of line, with restrict
// pointers and local peaks, so that the compiler knows its pointers do not alias and
// vectorises it (at -O3: see wave/CMakeLists.txt).

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace wave_reader {

// How the bytes of one sample give its signed 16-bit value.
enum class SampleCoding : std::uint8_t {
    AsStored,  // a 2-byte sample as it is; any other width by its first byte, minus 128
    HighBytes, // integer samples of 3 or 4 bytes: their two most significant bytes
    Float,     // IEEE float of 4 or 8 bytes, times 32768, rounded and clamped
    ALaw,      // one G.711 A-law byte
    MuLaw,     // one G.711 mu-law byte
};

// Where the samples of the data chunk lie and how they decode. Samples numbered in file
// order: a mono file's go to left; every other file deals them to left and right by
// parity (even ones to left).
struct SampleLayout {
    SampleCoding coding{SampleCoding::AsStored};
    std::size_t sampleBytes{}; // bytes of one sample; a width of 0 gives no sample at all
    // 0 when the samples follow one another. Otherwise the bytes of a frame of three or
    // more channels, of which only the first two samples are read: sample 2n is channel 0
    // of frame n, sample 2n + 1 its channel 1.
    std::size_t frameBytes{};

    // The samples whose bytes lie wholly within the first bytes of the data.
    std::uint64_t SamplesWithin(std::uint64_t bytes) const {
        if (sampleBytes == 0) {
            return 0;
        }
        if (frameBytes == 0) {
            return bytes / sampleBytes;
        }
        const std::uint64_t keptInLast = (bytes % frameBytes) / sampleBytes;
        return 2 * (bytes / frameBytes) + (keptInLast < 2 ? keptInLast : 2);
    }
    // The bytes of data up to the end of the first samples: whole frames, and of a last
    // frame begun only its channel 0.
    std::uint64_t BytesOf(std::uint64_t samples) const {
        if (frameBytes == 0) {
            return samples * sampleBytes;
        }
        return samples / 2 * frameBytes + samples % 2 * sampleBytes;
    }
};

// A 2-byte sample is a signed 16-bit little-endian number; a sample of any other width
// gives its first byte re-centred to -128..127, and its other bytes are ignored.
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

// WAVE stores integer samples left-justified, so the two most significant bytes of a 24-
// or 32-bit sample are the 16-bit sample of the same sound.
struct HighTwoOfThree {
    std::size_t Bytes() const { return 3; }
    std::int16_t operator()(const std::uint8_t* sample) const {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(sample[1] | sample[2] << 8));
    }
};

struct HighTwoOfFour {
    std::size_t Bytes() const { return 4; }
    std::int16_t operator()(const std::uint8_t* sample) const {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(sample[2] | sample[3] << 8));
    }
};

// Full scale of a float sample is -1.0 to 1.0. Times 32768, rounded to the nearest integer
// (ties to even) and clamped to -32768..32767; NaN gives 0. Adding 1.5 * 2^(mantissa bits)
// rounds in the current rounding mode, to nearest by default, as the SSE2 conversion of
// SampleDecoders.cpp does, without a call to the C library: the clamped value is at most
// 2^15 in magnitude, far inside the range where that sum's last bit is worth 1.
template <typename Real, typename Bits> struct FloatSample {
    static constexpr Real kRounder =
        sizeof(Real) == 4 ? Real(12582912.0) : Real(6755399441055744.0);

    std::size_t Bytes() const { return sizeof(Real); }
    std::int16_t operator()(const std::uint8_t* sample) const {
        Real value = Read(sample) * Real(32768);
        value = std::isnan(value) ? Real(0) : value;
        value = value < Real(-32768) ? Real(-32768) : value;
        value = value > Real(32767) ? Real(32767) : value;
        return static_cast<std::int16_t>((value + kRounder) - kRounder);
    }

    // The number stored little-endian at sample: copied as it is where the host is
    // little-endian too, which the compiler turns into one load, else assembled.
    static Real Read(const std::uint8_t* sample) {
        Bits bits = 0;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(&bits, sample, sizeof bits);
        } else {
            for (std::size_t i = sizeof(Real); i-- > 0;) {
                bits = static_cast<Bits>(bits << 8 | sample[i]);
            }
        }
        return std::bit_cast<Real>(bits);
    }
};
using Float32 = FloatSample<float, std::uint32_t>;
using Float64 = FloatSample<double, std::uint64_t>;

// The 16-bit linear values of the 256 codes of G.711 A-law and mu-law, as the reference
// decoder gives them: A-law reaches +-32256, mu-law +-32124.
constexpr std::array<std::int16_t, 256> MakeALawTable() {
    std::array<std::int16_t, 256> table{};
    for (int code = 0; code < 256; ++code) {
        const int toggled = code ^ 0x55; // every even bit is stored inverted
        const int segment = (toggled & 0x70) >> 4;
        int magnitude = (toggled & 0x0F) << 4;
        magnitude += segment == 0 ? 8 : 0x108;
        magnitude <<= segment > 1 ? segment - 1 : 0;
        table[static_cast<std::size_t>(code)] =
            static_cast<std::int16_t>((toggled & 0x80) != 0 ? magnitude : -magnitude);
    }
    return table;
}

constexpr std::array<std::int16_t, 256> MakeMuLawTable() {
    constexpr int kBias = 0x84; // added before encoding, so that the segments start at 0
    std::array<std::int16_t, 256> table{};
    for (int code = 0; code < 256; ++code) {
        const int inverted = ~code & 0xFF; // every bit is stored inverted
        const int magnitude = (((inverted & 0x0F) << 3) + kBias) << ((inverted & 0x70) >> 4);
        table[static_cast<std::size_t>(code)] = static_cast<std::int16_t>(
            (inverted & 0x80) != 0 ? kBias - magnitude : magnitude - kBias);
    }
    return table;
}

inline constexpr std::array<std::int16_t, 256> kALawTable = MakeALawTable();
inline constexpr std::array<std::int16_t, 256> kMuLawTable = MakeMuLawTable();

// A one-byte code looked up in one of the tables above.
struct CompandedByte {
    const std::int16_t* table;
    std::size_t Bytes() const { return 1; }
    std::int16_t operator()(const std::uint8_t* sample) const { return table[sample[0]]; }
};

// Decodes count samples of a mono file into out and returns the raised peak.
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
// 16-bit stereo, the commonest file, with SSE2 (SampleDecoders.cpp); overload resolution
// picks it over the template for Linear16.
void DecodePairs(Linear16 decode, const std::uint8_t* __restrict in, std::size_t frames,
                 std::int16_t* __restrict left, std::int16_t* __restrict right,
                 std::int16_t& peakLeft, std::int16_t& peakRight);
#endif

// Raises the peaks of frames pairs of samples without keeping them: the first of each
// pair is an even-numbered sample, the second an odd-numbered one. Sixteen running
// maxima, one per sample of eight frames, keep the loop free of dependencies between
// neighbouring samples, so that it vectorises.
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

// Converts count samples to 16-bit samples stored as a 16-bit file stores them, two bytes
// each, little-endian. One plain loop without a peak, so that it vectorises.
template <typename Decoder>
[[gnu::noinline]] void ConvertRun(Decoder decode, const std::uint8_t* __restrict in,
                                  std::size_t count, std::uint8_t* __restrict out) {
    const std::size_t stride = decode.Bytes();
    for (std::size_t i = 0; i < count; ++i) {
        const auto value = static_cast<std::uint16_t>(decode(in + i * stride));
        out[2 * i] = static_cast<std::uint8_t>(value);
        out[2 * i + 1] = static_cast<std::uint8_t>(value >> 8);
    }
}

#if defined(__SSE2__)
// Floats and 24-bit samples with SSE2 and SSSE3 (SampleDecoders.cpp); overload resolution
// picks them over the template, which they call for the last few samples.
void ConvertRun(Float32 decode, const std::uint8_t* __restrict in, std::size_t count,
                std::uint8_t* __restrict out);
void ConvertRun(Float64 decode, const std::uint8_t* __restrict in, std::size_t count,
                std::uint8_t* __restrict out);
void ConvertRun(HighTwoOfThree decode, const std::uint8_t* __restrict in, std::size_t count,
                std::uint8_t* __restrict out);
#endif

// Hands count samples of a coding other than AsStored to sink.Take as 16-bit samples,
// converted a run at a time in a buffer that stays in the first-level cache: the
// de-interleave, the strided keeping and the peaks then run the loops of a 16-bit file,
// which the compiler cannot vectorise with a float conversion or a 3-byte stride inside.
template <typename Sink, typename Decoder>
void TakeConverted(Sink& sink, Decoder decode, const std::uint8_t* in, std::size_t count) {
    constexpr std::size_t kRunSamples = 4096;
    alignas(16) std::uint8_t run[2 * kRunSamples];
    for (std::size_t done = 0; done < count; done += kRunSamples) {
        const std::size_t samples = count - done < kRunSamples ? count - done : kRunSamples;
        ConvertRun(decode, in + done * decode.Bytes(), samples, run);
        sink.Take(Linear16{}, run, samples);
    }
}

// Hands count samples of width bytesPerSample to sink.Take through the decoder of their
// coding and width, so that each gets loops of its own. The file's header has chosen a
// width that its coding decodes (SampleLayout).
template <typename Sink>
void DecodeBlock(Sink& sink, SampleCoding coding, std::size_t bytesPerSample,
                 const std::uint8_t* in, std::size_t count) {
    switch (coding) {
    case SampleCoding::AsStored:
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
        break;
    case SampleCoding::HighBytes:
        if (bytesPerSample == 3) {
            TakeConverted(sink, HighTwoOfThree{}, in, count);
        } else {
            TakeConverted(sink, HighTwoOfFour{}, in, count);
        }
        break;
    case SampleCoding::Float:
        if (bytesPerSample == 4) {
            TakeConverted(sink, Float32{}, in, count);
        } else {
            TakeConverted(sink, Float64{}, in, count);
        }
        break;
    case SampleCoding::ALaw:
        TakeConverted(sink, CompandedByte{kALawTable.data()}, in, count);
        break;
    case SampleCoding::MuLaw:
        TakeConverted(sink, CompandedByte{kMuLawTable.data()}, in, count);
        break;
    }
}

} // namespace wave_reader
