#include "wave/ReaderMessages.h"

#include <type_traits>

namespace reader_messages {
namespace {

// Appends value little-endian, byte by byte, whatever the machine's own order.
template <typename Integer> void Put(MessageBytes& out, Integer value) {
    using Unsigned = std::make_unsigned_t<Integer>;
    const auto bits = static_cast<Unsigned>(value);
    for (std::size_t byte = 0; byte < sizeof(Integer); ++byte) {
        out.push_back(static_cast<std::uint8_t>(bits >> (8 * byte)));
    }
}

// Starts a message of type whose body is bodyBytes long.
MessageBytes StartMessage(MessageType type, std::size_t bodyBytes) {
    MessageBytes out;
    out.reserve(kMessageHeaderBytes + bodyBytes);
    Put(out, static_cast<std::uint32_t>(type));
    Put(out, static_cast<std::uint32_t>(bodyBytes));
    return out;
}

MessageBytes EncodeRejected(const LoadOutcome& outcome, PathOpened opened) {
    MessageBytes out = StartMessage(MessageType::Rejected, kRejectedBytes);
    Put(out, static_cast<std::uint8_t>(opened));
    Put(out, static_cast<std::uint32_t>(outcome.status));
    Put(out, static_cast<std::int32_t>(outcome.errorNumber));
    Put(out, outcome.offset);
    Put(out, outcome.formatCode);
    return out;
}

MessageBytes EncodeLoaded(const WaveRecord& record, std::uint32_t columns, PathOpened opened) {
    const std::uint32_t kept = KeptFrameCount(record.frameCount, columns);
    MessageBytes out =
        StartMessage(MessageType::Loaded, LoadedFixedBytes() + kept * kKeptFrameBytes);
    Put(out, static_cast<std::uint8_t>(opened));
    VisitSentFields(record, [&](auto field) { Put(out, field); });
    Put(out, kept);
    for (std::uint32_t index = 0; index < kept; ++index) {
        Put(out, KeptFrame(index, record.frameCount, columns));
        Put(out, index < record.left.size() ? record.left[index] : std::int16_t{0});
        Put(out, index < record.right.size() ? record.right[index] : std::int16_t{0});
    }
    return out;
}

} // namespace

std::size_t LoadedFixedBytes() {
    const WaveRecord layout;
    // The path opened and the number of kept frames, around the fields.
    std::size_t bytes = sizeof(PathOpened) + sizeof(std::uint32_t);
    VisitSentFields(layout, [&](auto field) { bytes += sizeof field; });
    return bytes;
}

std::uint32_t KeptFrameCount(std::uint32_t frameCount, std::uint32_t columns) {
    if (frameCount == 0 || columns == 0) {
        return 0;
    }
    return frameCount < columns ? 1 : columns;
}

std::uint32_t KeptFrame(std::uint32_t index, std::uint32_t frameCount, std::uint32_t columns) {
    // index < columns and index * (frameCount / columns) < frameCount: no overflow.
    return columns == 0 ? 0 : index * (frameCount / columns);
}

MessageBytes EncodeGreeting() {
    MessageBytes out;
    Put(out, kGreeting);
    Put(out, kVersion);
    return out;
}

MessageBytes EncodeProgress(std::uint64_t bytesRead, std::uint64_t bytesToRead) {
    MessageBytes out = StartMessage(MessageType::Progress, kProgressBytes);
    Put(out, bytesRead);
    Put(out, bytesToRead);
    return out;
}

MessageBytes EncodeEnd(const LoadOutcome& outcome, const WaveRecord& record, std::uint32_t columns,
                       PathOpened opened) {
    return outcome.status == LoadStatus::Loaded ? EncodeLoaded(record, columns, opened)
                                                : EncodeRejected(outcome, opened);
}

} // namespace reader_messages
