// libFuzzer target for the viewer's side of the reader process's stream: whatever a reader
// taken over by the file it parsed could send. The stream arrives in pieces, as from a pipe;
// a stream that is not complete must give a failed reader, and a loaded record must hold
// what a load guarantees the plot (arrays of frameCount elements, nothing above the peak).
//
// The first byte of an input says how the stream arrives: its low six bits are the size of
// every piece (0: the whole stream at once), bit 6 whether the reader was given a default
// extension that the path takes. The rest is the stream.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/RecordInvariants.h"
#include "wave/ReaderMessageReader.h"

namespace {

// The plot's width, which the viewer asks every reader for.
constexpr std::uint32_t kColumns = 840;

void Fail(const std::string& problem) {
    std::fprintf(stderr, "reader_message_fuzzer: %s\n", problem.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t piece = (data[0] & 0x3F) != 0 ? (data[0] & 0x3F) : size;
    const auto possible = (data[0] & 0x40) != 0 ? reader_messages::PathOpened::WithDefaultExtension
                                                : reader_messages::PathOpened::AsGiven;
    ReaderMessageReader messages(kColumns, possible);
    for (std::size_t at = 1; at < size; at += piece) {
        if (!messages.Take(data + at, std::min(piece, size - at))) {
            break;
        }
    }
    const LoadOutcome outcome = messages.Outcome();
    if (!messages.Complete()) {
        if (outcome.status != LoadStatus::ReaderFailed) {
            Fail("a stream that did not end well gave an outcome other than a failed reader");
        }
        return 0;
    }
    if (outcome.status == LoadStatus::Loaded) {
        WaveRecord& record = messages.Record();
        record.path = "chosen.wav"; // the caller's part
        const std::string problem = DescribeBrokenInvariant(record, record.path);
        if (!problem.empty()) {
            Fail("a loaded record breaks an invariant: " + problem);
        }
    }
    return 0;
}
