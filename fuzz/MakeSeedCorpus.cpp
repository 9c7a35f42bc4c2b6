// Writes the fuzzer's seed corpus into the folder named on the command line: one small
// file per shape the reader distinguishes (sample widths, formats, channel counts, chunk
// layouts, lying sizes, cut-off headers), and a few files just over the reader's 1 MiB
// read block so that samples and frames straddle two blocks.

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/WavBuilder.h"

namespace {

Bytes Ramp(std::size_t count, std::uint8_t step = 37) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * step + i / 251);
    }
    return bytes;
}

// A file of format tag with channels and bits, and data; an extensible fmt chunk naming
// the format instead when subFormat is given.
Bytes Coded(std::uint16_t tag, std::uint16_t channels, std::uint16_t bits, const Bytes& data) {
    return WavBuilder().FormatTag(tag).Format(channels, bits).Data(data).Build();
}

Bytes Extensible(std::uint16_t subFormat, std::uint16_t channels, std::uint16_t bits,
                 const Bytes& data, bool baseGuid = true) {
    return WavBuilder()
        .FormatTag(0xFFFE)
        .Format(channels, bits)
        .FmtTail(WavBuilder::ExtensibleTail(bits, subFormat, baseGuid))
        .Chunk("fact", {4, 0, 0, 0})
        .Data(data)
        .Build();
}

// The formats read as 16-bit values, the ones refused, and the chunks before fmt.
std::vector<std::pair<std::string, Bytes>> FormatSeeds(const Bytes& frames, const Bytes& block) {
    return {
        {"stereo-24-extensible", Extensible(1, 2, 24, frames)},
        {"stereo-32", Coded(1, 2, 32, frames)},
        {"mono-20-in-3-bytes", Coded(1, 1, 20, frames)},
        {"stereo-float-32", Coded(3, 2, 32, frames)},
        {"mono-float-64-extensible", Extensible(3, 1, 64, frames)},
        {"stereo-a-law", Coded(6, 2, 8, frames)},
        {"mono-mu-law-extensible", Extensible(7, 1, 8, frames)},
        {"four-channels-24", Coded(1, 4, 24, frames)},
        {"six-channels-a-law", Coded(6, 6, 8, frames)},
        {"frames-of-60000-bytes", Coded(1, 20000, 24, Ramp(150011))},
        {"ima-adpcm",
         WavBuilder().FormatTag(0x11).Format(1, 4).BlockAlign(256).Data(frames).Build()},
        {"ms-adpcm-extensible", Extensible(2, 2, 4, frames)},
        {"extensible-other-guid", Extensible(1, 2, 16, frames, false)},
        {"extensible-fmt-18", WavBuilder().FormatTag(0xFFFE).FmtTail({0, 0}).Data(frames).Build()},
        {"float-16-refused", Coded(3, 2, 16, frames)},
        {"bext-and-junk-before-fmt", WavBuilder()
                                         .ChunkBeforeFmt("bext", Ramp(31))
                                         .ChunkBeforeFmt("JUNK", Ramp(6))
                                         .Data(frames)
                                         .Build()},
        {"block-straddle-float-32", Coded(3, 2, 32, block)},
        {"block-straddle-three-24", Coded(1, 3, 24, block)},
    };
}

std::vector<std::pair<std::string, Bytes>> Seeds() {
    const Bytes frames = Ramp(48);
    const Bytes block = Ramp((std::size_t{1} << 20) + 11);
    std::vector<std::pair<std::string, Bytes>> seeds = {
        {"stereo-16", WavBuilder().Format(2, 16).Samples16({1, -1, 32767, -32768, 0, 5}).Build()},
        {"mono-16", WavBuilder().Format(1, 16).Data(frames).Build()},
        {"mono-8", WavBuilder().Format(1, 8).Data({0x80, 0xFF, 0x00, 0x7F, 0x81}).Build()},
        {"stereo-8", WavBuilder().Format(2, 8).Data(frames).Build()},
        {"stereo-24", WavBuilder().Format(2, 24).Data(frames).Build()},
        {"mono-12-align-2", WavBuilder().Format(1, 12).BlockAlign(2).Data(frames).Build()},
        {"mono-4-bits", WavBuilder().Format(1, 4).BlockAlign(1).Data(frames).Build()},
        {"three-channels", WavBuilder().Format(3, 16).Data(frames).Build()},
        {"four-channels-8", WavBuilder().Format(4, 8).Data(frames).Build()},
        {"zero-channels", WavBuilder().Format(2, 16).Channels(0).Data(frames).Build()},
        {"block-align-0", WavBuilder().Format(2, 16).BlockAlign(0).Data(frames).Build()},
        {"format-tag-3", WavBuilder().Format(1, 32).FormatTag(3).Data(frames).Build()},
        {"fmt-18", WavBuilder().Format(2, 16).FmtTail({0, 0}).Data(frames).Build()},
        {"fmt-odd-padded",
         WavBuilder().Format(1, 8).FmtTail({7}, WavBuilder::Pad::Add).Data(frames).Build()},
        {"fmt-odd-unpadded", WavBuilder().Format(1, 8).FmtTail({7}).Data(frames).Build()},
        {"fmt-size-12", WavBuilder().Format(1, 8).FmtSize(12).Data(frames).Build()},
        {"list-and-fact", WavBuilder()
                              .Format(2, 16)
                              .Chunk("LIST", Ramp(10))
                              .Chunk("fact", {4, 0, 0, 0})
                              .Data(frames)
                              .Build()},
        {"odd-chunk-padded", WavBuilder().Format(1, 8).Chunk("JUNK", Ramp(3)).Data(frames).Build()},
        {"odd-chunk-unpadded", WavBuilder()
                                   .Format(1, 8)
                                   .Chunk("JUNK", Ramp(3), WavBuilder::Pad::Omit)
                                   .Data(frames)
                                   .Build()},
        {"chunk-past-riff-end", WavBuilder()
                                    .Format(1, 8)
                                    .Chunk(WavBuilder::Id("LIST"), 0x80000000u, Ramp(8))
                                    .Data(frames)
                                    .Build()},
        // The RIFF form ends 52 bytes in, exactly where the LIST chunk ends, or one byte later.
        {"chunk-ends-at-riff-end",
         WavBuilder().Format(1, 8).Chunk("LIST", Ramp(8)).Data(frames).RiffSize(44).Build()},
        {"chunk-ends-before-riff-end",
         WavBuilder().Format(1, 8).Chunk("LIST", Ramp(8)).Data(frames).RiffSize(45).Build()},
        {"no-data-chunk",
         WavBuilder().Format(1, 8).Chunk("LIST", Ramp(6)).WithoutDataChunk().Build()},
        {"riff-size-understated", WavBuilder().Format(1, 8).RiffSize(4).Data(frames).Build()},
        {"riff-size-wraps", WavBuilder()
                                .Format(1, 8)
                                .RiffSize(0xFFFFFFFCu)
                                .Chunk("LIST", Ramp(4))
                                .Data(frames)
                                .Build()},
        {"short-data", WavBuilder().Format(2, 16).Data(Ramp(7)).DataSize(4000).Build()},
        {"huge-claim",
         WavBuilder().Format(2, 8).BlockAlign(1).Data(Ramp(156)).DataSize(0xFFFFFFFFu).Build()},
        {"junk-before-fmt", WavBuilder().FmtId(WavBuilder::Id("JUNK")).Data(frames).Build()},
        {"not-riff", WavBuilder().RiffId(WavBuilder::Id("RIFX")).Data(frames).Build()},
        {"cut-inside-fmt", WavBuilder().Format(2, 16).Data(frames).TruncateTo(30).Build()},
        {"three-bytes", Bytes{'R', 'I', 'F'}},
        {"block-straddle-24", WavBuilder().Format(2, 24).Data(block).Build()},
        {"block-straddle-16-odd",
         WavBuilder().Format(2, 16).Data(Bytes(block.begin(), block.end() - 4)).Build()},
        {"block-straddle-wide",
         WavBuilder().Format(1, 0xFFF8).BlockAlign(0xFFFF).Data(block).Build()},
    };
    for (auto& seed : FormatSeeds(frames, block)) {
        seeds.push_back(std::move(seed));
    }
    return seeds;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seed_corpus FOLDER\n");
        return 1;
    }
    for (const auto& [name, bytes] : Seeds()) {
        const std::string path = std::string(argv[1]) + "/" + name + ".wav";
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
            std::fclose(file) != 0) {
            std::fprintf(stderr, "make_seed_corpus: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
