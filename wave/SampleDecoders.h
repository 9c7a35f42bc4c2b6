#pragma once

// Turning the bytes of a block into samples: a decoder per sample width, and the loops
// that decode a block into the arrays or only raise its peaks. No I/O and no threads.
// Each loop is kept out of line, with restrict pointers and local peaks, so that the
// compiler knows its pointers do not alias and vectorises it (at -O3: see
// wave/CMakeLists.txt).

#include <cstddef>
#include <cstdint>

namespace wave_reader {

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

// Hands count samples of width bytesPerSample to sink.Take through the decoder of their
// width, so that each width gets loops of its own.
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

} // namespace wave_reader
