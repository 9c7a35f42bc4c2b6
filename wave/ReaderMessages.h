#pragma once

// What a reader process tells the program that started it, through a pipe: how far its
// load has got, and how the load ended with what the plot needs of the record. The reader
// program writes it (the Encode functions); ReaderMessageReader reads it and trusts nothing
// it does not check.
//
// The stream starts with a greeting: the four bytes "VQRD" and the format's version (32
// bits). Messages follow, each its type (32 bits), the length of its body in bytes (32
// bits) and the body. Every integer is little-endian, assembled byte by byte.
//   Progress (1): bytes of sample data read (64 bits), bytes the load will read (64 bits).
//   Rejected (2): the path opened (8 bits, a PathOpened), the outcome's status (32 bits),
//     errorNumber (32 bits, signed), offset (64 bits) and formatCode (16 bits).
//   Loaded (3): the path opened (8 bits), the record's header and derived fields, its peaks
//     (see VisitSentFields for their order and widths), the number of kept frames (32
//     bits), and for each kept frame its number (32 bits) and its left and right samples (16
//     bits each, signed).
// Any number of Progress messages come first; the stream ends with one Rejected or Loaded
// message and nothing after it.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

namespace reader_messages {

inline constexpr std::uint32_t kGreeting = 0x44525156; // "VQRD"
inline constexpr std::uint32_t kVersion = 2;

enum class MessageType : std::uint32_t { Progress = 1, Rejected = 2, Loaded = 3 };

// Which path the reader opened: the one it was given, or that path with the default extension
// it was given added (wave/DefaultExtension.h), since the name named no existing file.
enum class PathOpened : std::uint8_t { AsGiven = 0, WithDefaultExtension = 1 };

inline constexpr std::size_t kGreetingBytes = 8;
inline constexpr std::size_t kMessageHeaderBytes = 8; // type and length
inline constexpr std::size_t kProgressBytes = 16;
inline constexpr std::size_t kRejectedBytes = 19;
inline constexpr std::size_t kKeptFrameBytes = 8;

// The widest plot a reader is asked for, in columns; it bounds the Loaded message.
inline constexpr std::uint32_t kMostColumns = 1U << 16;

// Calls visit on each field of record that a Loaded message carries, in the message's
// order: the header fields as read, the derived ones and the peaks. The one list of them,
// shared by the writer and the reader of the messages.
template <typename Record, typename Visit> void VisitSentFields(Record& record, Visit visit) {
    visit(record.riffId);
    visit(record.fileLength);
    visit(record.waveId);
    visit(record.fmtId);
    visit(record.fmtSize);
    visit(record.formatTag);
    visit(record.channels);
    visit(record.sampleRate);
    visit(record.byteRate);
    visit(record.blockAlign);
    visit(record.bitsPerSample);
    visit(record.dataSize);
    visit(record.bytesPerSample);
    visit(record.frameCount);
    visit(record.plotBits);
    visit(record.peak);
    visit(record.peakRight);
}

// The bytes of a Loaded message's body before its kept frames: the path opened, the fields
// above and the number of kept frames.
std::size_t LoadedFixedBytes();

// The frames a plot of columns columns reads, which the strided load keeps: none of a file
// without frames, frame 0 alone when there are fewer frames than columns, else frame
// column * (frameCount / columns) for each column.
std::uint32_t KeptFrameCount(std::uint32_t frameCount, std::uint32_t columns);
std::uint32_t KeptFrame(std::uint32_t index, std::uint32_t frameCount, std::uint32_t columns);

using MessageBytes = std::vector<std::uint8_t>;

MessageBytes EncodeGreeting();
MessageBytes EncodeProgress(std::uint64_t bytesRead, std::uint64_t bytesToRead);
// The last message: Loaded with record's fields and kept frames when the outcome is Loaded,
// else Rejected with the outcome; either names the path opened. record is as a strided load
// with KeptFramePlace::Column leaves it.
MessageBytes EncodeEnd(const LoadOutcome& outcome, const WaveRecord& record, std::uint32_t columns,
                       PathOpened opened);

} // namespace reader_messages
