#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "wave/ReaderMessages.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

// Reads the stream of a reader process (ReaderMessages.h) as it arrives, in pieces of any
// size, and rebuilds from it the outcome and the record of the reader's strided load. The
// reader may have been taken over by the file it parsed, so nothing it sends is trusted
// beyond what is checked here: the greeting and version, every message's type and length,
// a status that a reader can give, counts and frame numbers that follow from the header,
// samples no higher than the peak, and nothing after the last message. Any breach makes the
// stream malformed, and the reader counts as failed.
class ReaderMessageReader {
public:
    // columns: the plot width the reader was asked for, at most kMostColumns.
    explicit ReaderMessageReader(std::uint32_t columns);

    // Takes the next count bytes of the stream. False once the stream is malformed, from the
    // byte that broke the format on; the caller may stop reading then.
    bool Take(const std::uint8_t* bytes, std::size_t count);

    // The last message has arrived whole and the stream was well-formed up to it. Checked
    // once the stream has ended: a stream that ends sooner is not complete.
    bool Complete() const { return m_stage == Stage::Ended; }

    // The progress last sent: bytes of sample data read and to read (0 before any).
    std::uint64_t BytesRead() const { return m_bytesRead; }
    std::uint64_t BytesToRead() const { return m_bytesToRead; }

    // The outcome sent once Complete, else ReaderFailed. A loaded file whose arrays could not
    // be allocated here gives CannotAllocate, as the load would have.
    LoadOutcome Outcome() const;

    // Once Complete with Loaded: the record rebuilt as the strided load leaves it, its arrays
    // of frameCount elements holding the kept frames and zeros elsewhere; path is left empty
    // for the caller, who knows it.
    WaveRecord& Record() { return m_record; }

private:
    enum class Stage { Greeting, Messages, Ended, Malformed };

    const std::uint8_t* Unread() const { return m_pending.data() + m_taken; }
    std::size_t UnreadBytes() const { return m_pending.size() - m_taken; }
    bool TakeGreeting();
    bool TakeMessage();
    bool CheckLength(reader_messages::MessageType type, std::uint32_t length) const;
    bool ReadProgress(const std::uint8_t* body);
    bool ReadRejected(const std::uint8_t* body);
    bool ReadLoaded(const std::uint8_t* body, std::uint32_t length);
    bool CheckHeader() const;
    bool CheckKeptFrames(const std::uint8_t* frames, std::uint32_t count) const;
    void FillKeptFrames(const std::uint8_t* frames, std::uint32_t count);

    std::uint32_t m_columns;
    Stage m_stage{Stage::Greeting};
    std::vector<std::uint8_t> m_pending; // bytes received and not yet dropped
    std::size_t m_taken{};               // of which those already taken, at the front
    std::uint64_t m_bytesRead{};
    std::uint64_t m_bytesToRead{};
    LoadOutcome m_outcome{LoadStatus::ReaderFailed};
    WaveRecord m_record;
};
