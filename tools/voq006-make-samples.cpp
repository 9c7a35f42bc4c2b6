// voq006-make-samples: writes the two sample files of samples/ with the tests' WAV
// builder, so that they are reproducible byte for byte:
//   stereo-sweep.wav  16-bit stereo, 11,025 Hz, 3 seconds: a rising and a falling sweep
//   mono-tone.wav     8-bit mono, 8,000 Hz, 2 seconds: a 110 Hz tone that fades out
// The viewer picks one sample per column (every 39th frame of the sweep, every 19th of
// the tone), so the frequencies stay low enough for the plot to show them, not aliases.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "tests/support/WavBuilder.h"

namespace {

// Phase of an exponential sweep from startHz to endHz over duration seconds, at time t.
double SweepPhase(double t, double startHz, double endHz, double duration) {
    const double rate = std::log(endHz / startHz) / duration;
    return 2.0 * std::numbers::pi * startHz * (std::exp(rate * t) - 1.0) / rate;
}

Bytes StereoSweep() {
    constexpr std::uint32_t kRate = 11025;
    constexpr double kSeconds = 3.0;
    const auto frames = static_cast<std::size_t>(kRate * kSeconds);
    std::vector<std::int16_t> samples;
    samples.reserve(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        // Left rises from 20 Hz to 100 Hz under a swelling envelope; right falls from
        // 100 Hz to 20 Hz at a steady, smaller level, so the two traces look different.
        const double swell = 0.2 + 0.75 * std::sin(std::numbers::pi * t / kSeconds);
        const double left = swell * std::sin(SweepPhase(t, 20.0, 100.0, kSeconds));
        const double right = 0.35 * std::sin(SweepPhase(t, 100.0, 20.0, kSeconds));
        samples.push_back(static_cast<std::int16_t>(std::lround(left * 32767.0)));
        samples.push_back(static_cast<std::int16_t>(std::lround(right * 32767.0)));
    }
    return WavBuilder().SampleRate(kRate).Format(2, 16).Samples16(samples).Build();
}

Bytes MonoTone() {
    constexpr std::uint32_t kRate = 8000;
    constexpr double kSeconds = 2.0;
    const auto frames = static_cast<std::size_t>(kRate * kSeconds);
    Bytes samples;
    samples.reserve(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double level = 0.8 * std::exp(-1.2 * t);
        // 8-bit samples are unsigned with silence at 128.
        const double value = 128.0 + 127.0 * level * std::sin(2.0 * std::numbers::pi * 110.0 * t);
        samples.push_back(static_cast<std::uint8_t>(std::lround(value)));
    }
    return WavBuilder().SampleRate(kRate).Format(1, 8).Data(samples).Build();
}

bool Write(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "voq006-make-samples: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: voq006-make-samples FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder(argv[1]);
    const bool written = Write(folder / "stereo-sweep.wav", StereoSweep()) &&
                         Write(folder / "mono-tone.wav", MonoTone());
    return written ? 0 : 1;
}
