// The SSE2 split of 16-bit stereo frames into the two arrays, and the conversion of
// float and 24-bit samples to 16-bit ones with SSE2 and, where the processor has it, SSSE3.

#include "wave/SampleDecoders.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#include <tmmintrin.h>

#include <algorithm>
#include <iterator>

namespace wave_reader {
namespace {

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

} // namespace

// Eight frames at a time. Each four-byte frame read as a 32-bit number holds the left
// sample in its low half and the right one in its high half (x86 is little-endian):
// arithmetic shifts take either out sign-extended, and a pack puts eight of them side by
// side, never saturating. The generic loop, which GCC vectorises with word shuffles
// instead, took 3 to 9 % longer per load of 1 GiB on two CPUs. The arrays are not read
// again during a load, so the eight samples of each are streamed to memory past the
// cache, which spares reading each line of the freshly zeroed pages back first: another
// 3 to 7 %.
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

namespace {

// Four floats times 32768, NaN made 0, clamped to the 16-bit range and rounded in the
// current rounding mode (to nearest, ties to even, unless the program changed it, as the
// template does). Clamping first keeps the conversion in range: the maximum of two
// operands with one NaN is the second, so NaN must go before it.
__m128i FloatsToIntegers(__m128 value) {
    value = _mm_mul_ps(value, _mm_set1_ps(32768.0F));
    value = _mm_and_ps(value, _mm_cmpord_ps(value, value));
    value = _mm_min_ps(_mm_max_ps(value, _mm_set1_ps(-32768.0F)), _mm_set1_ps(32767.0F));
    return _mm_cvtps_epi32(value);
}

// The same for two doubles, in the two low lanes.
__m128i DoublesToIntegers(__m128d value) {
    value = _mm_mul_pd(value, _mm_set1_pd(32768.0));
    value = _mm_and_pd(value, _mm_cmpord_pd(value, value));
    value = _mm_min_pd(_mm_max_pd(value, _mm_set1_pd(-32768.0)), _mm_set1_pd(32767.0));
    return _mm_cvtpd_epi32(value);
}

// Processors without SSSE3 (x86-64 processors before 2006, and AMD's before 2011) take the
// template; the build stays portable, and the processor is asked once.
bool HasSsse3() {
    static const bool has = __builtin_cpu_supports("ssse3") != 0;
    return has;
}

// Eight 24-bit samples at a time: one byte shuffle picks the two high bytes of each of
// four. A load reads 16 bytes for the 12 of four samples, so the loop stops while the
// second load still ends within the run. Returns the samples converted.
[[gnu::target("ssse3")]] std::size_t ConvertHighBytesOfThree(const std::uint8_t* in,
                                                             std::size_t count, std::uint8_t* out) {
    const __m128i pick = _mm_setr_epi8(1, 2, 4, 5, 7, 8, 10, 11, -1, -1, -1, -1, -1, -1, -1, -1);
    std::size_t i = 0;
    for (; 3 * i + 28 <= 3 * count; i += 8) {
        const auto* at = reinterpret_cast<const __m128i*>(in + 3 * i);
        const __m128i first = _mm_shuffle_epi8(_mm_loadu_si128(at), pick);
        const __m128i second = _mm_shuffle_epi8(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * i + 12)), pick);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i),
                         _mm_unpacklo_epi64(first, second));
    }
    return i;
}

} // namespace

// Eight samples at a time, packed to 16 bits (never saturating: they are clamped).
void ConvertRun(Float32 decode, const std::uint8_t* __restrict in, std::size_t count,
                std::uint8_t* __restrict out) {
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const auto* at = reinterpret_cast<const float*>(in + 4 * i);
        const __m128i low = FloatsToIntegers(_mm_loadu_ps(at));
        const __m128i high = FloatsToIntegers(_mm_loadu_ps(at + 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_packs_epi32(low, high));
    }
    ConvertRun<Float32>(decode, in + 4 * i, count - i, out + 2 * i);
}

void ConvertRun(Float64 decode, const std::uint8_t* __restrict in, std::size_t count,
                std::uint8_t* __restrict out) {
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const auto* at = reinterpret_cast<const double*>(in + 8 * i);
        const __m128i low = _mm_unpacklo_epi64(DoublesToIntegers(_mm_loadu_pd(at)),
                                               DoublesToIntegers(_mm_loadu_pd(at + 2)));
        const __m128i high = _mm_unpacklo_epi64(DoublesToIntegers(_mm_loadu_pd(at + 4)),
                                                DoublesToIntegers(_mm_loadu_pd(at + 6)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_packs_epi32(low, high));
    }
    ConvertRun<Float64>(decode, in + 8 * i, count - i, out + 2 * i);
}

void ConvertRun(HighTwoOfThree decode, const std::uint8_t* __restrict in, std::size_t count,
                std::uint8_t* __restrict out) {
    const std::size_t done = HasSsse3() ? ConvertHighBytesOfThree(in, count, out) : 0;
    ConvertRun<HighTwoOfThree>(decode, in + 3 * done, count - done, out + 2 * done);
}

} // namespace wave_reader
#endif
