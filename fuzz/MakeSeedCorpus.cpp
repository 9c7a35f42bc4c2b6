// Writes the fuzzer's seed corpus into the folder named on the command line: one small
// file per shape the reader distinguishes (sample widths, channel counts, chunk layouts,
// lying sizes, cut-off headers), and a few files just over the reader's 1 MiB read block
// so that samples straddle two blocks.

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

std::vector<std::pair<std::string, Bytes>> Seeds() {
    const Bytes frames = Ramp(48);
    const Bytes block = Ramp((std::size_t{1} << 20) + 11);
    return {
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
