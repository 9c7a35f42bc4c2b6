// The stream is read in three stages: the greeting, then whole messages one after the
// other (a message's header is checked as soon as it is there, so that what is held between
// two pieces is at most one message of bounded length), then the end, after which no byte
// may come. A Loaded message is checked whole before the record is allocated and filled.

#include "wave/ReaderMessageReader.h"

#include <algorithm>
#include <type_traits>

using namespace reader_messages;

namespace {

// Reads an integer stored little-endian at at, whatever the machine's own order.
template <typename Integer> Integer Get(const std::uint8_t* at) {
    using Unsigned = std::make_unsigned_t<Integer>;
    Unsigned bits = 0;
    for (std::size_t byte = 0; byte < sizeof(Integer); ++byte) {
        bits =
            static_cast<Unsigned>(bits | static_cast<Unsigned>(Unsigned{at[byte]} << (8 * byte)));
    }
    return static_cast<Integer>(bits);
}

// Reads integers one after the other from a body whose length was checked.
struct Cursor {
    const std::uint8_t* at;

    template <typename Integer> Integer Next() {
        const auto value = Get<Integer>(at);
        at += sizeof(Integer);
        return value;
    }
};

} // namespace

ReaderMessageReader::ReaderMessageReader(std::uint32_t columns)
    : m_columns(std::min(columns, kMostColumns)) {}

bool ReaderMessageReader::Take(const std::uint8_t* bytes, std::size_t count) {
    if (m_stage == Stage::Malformed) {
        return false;
    }
    m_pending.insert(m_pending.end(), bytes, bytes + count);
    for (;;) {
        const std::size_t before = m_taken;
        bool wellFormed = true;
        if (m_stage == Stage::Greeting) {
            wellFormed = TakeGreeting();
        } else if (m_stage == Stage::Messages) {
            wellFormed = TakeMessage();
        } else {
            wellFormed = UnreadBytes() == 0; // nothing may follow the last message
        }
        if (!wellFormed) {
            m_stage = Stage::Malformed;
            m_outcome = {LoadStatus::ReaderFailed};
            m_pending.clear();
            m_taken = 0;
            return false;
        }
        if (m_taken == before) {
            // Waiting for more bytes: what was taken goes, in one move however many
            // messages came at once.
            m_pending.erase(m_pending.begin(),
                            m_pending.begin() + static_cast<std::ptrdiff_t>(m_taken));
            m_taken = 0;
            return true;
        }
    }
}

LoadOutcome ReaderMessageReader::Outcome() const {
    return Complete() ? m_outcome : LoadOutcome{LoadStatus::ReaderFailed};
}

bool ReaderMessageReader::TakeGreeting() {
    if (UnreadBytes() < kGreetingBytes) {
        return true;
    }
    const bool known =
        Get<std::uint32_t>(Unread()) == kGreeting && Get<std::uint32_t>(Unread() + 4) == kVersion;
    m_taken += kGreetingBytes;
    m_stage = Stage::Messages;
    return known;
}

// Takes the message at the front of the pending bytes once it is whole; its header is
// checked before its body is waited for.
bool ReaderMessageReader::TakeMessage() {
    if (UnreadBytes() < kMessageHeaderBytes) {
        return true;
    }
    const auto type = static_cast<MessageType>(Get<std::uint32_t>(Unread()));
    const auto length = Get<std::uint32_t>(Unread() + 4);
    if (!CheckLength(type, length)) {
        return false;
    }
    if (UnreadBytes() - kMessageHeaderBytes < length) {
        return true;
    }
    const std::uint8_t* body = Unread() + kMessageHeaderBytes;
    bool wellFormed = false;
    switch (type) {
    case MessageType::Progress:
        wellFormed = ReadProgress(body);
        break;
    case MessageType::Rejected:
        wellFormed = ReadRejected(body);
        break;
    case MessageType::Loaded:
        wellFormed = ReadLoaded(body, length);
        break;
    }
    m_taken += kMessageHeaderBytes + length;
    return wellFormed;
}

// A known type, and a length that type can have: a Loaded message holds whole kept frames,
// at most one per column.
bool ReaderMessageReader::CheckLength(MessageType type, std::uint32_t length) const {
    switch (type) {
    case MessageType::Progress:
        return length == kProgressBytes;
    case MessageType::Rejected:
        return length == kRejectedBytes;
    case MessageType::Loaded:
        return length >= LoadedFixedBytes() &&
               (length - LoadedFixedBytes()) % kKeptFrameBytes == 0 &&
               (length - LoadedFixedBytes()) / kKeptFrameBytes <= m_columns;
    }
    return false;
}

// The figures are only shown, clamped to 100 %: any values will do.
bool ReaderMessageReader::ReadProgress(const std::uint8_t* body) {
    Cursor cursor{body};
    m_bytesRead = cursor.Next<std::uint64_t>();
    m_bytesToRead = cursor.Next<std::uint64_t>();
    return true;
}

// A status that a load gives for a rejected file (not Loaded, not Cancelled, which only the
// caller causes, not ReaderFailed, which only the caller decides), an error number that can
// be one, and a format code only where the status names one.
bool ReaderMessageReader::ReadRejected(const std::uint8_t* body) {
    Cursor cursor{body};
    const auto status = cursor.Next<std::uint32_t>();
    m_outcome.errorNumber = cursor.Next<std::int32_t>();
    m_outcome.offset = cursor.Next<std::uint64_t>();
    m_outcome.formatCode = cursor.Next<std::uint16_t>();
    m_outcome.status = static_cast<LoadStatus>(status);
    m_stage = Stage::Ended;
    return status > static_cast<std::uint32_t>(LoadStatus::Loaded) &&
           status < static_cast<std::uint32_t>(LoadStatus::ReaderFailed) &&
           m_outcome.status != LoadStatus::Cancelled && m_outcome.errorNumber >= 0 &&
           (m_outcome.formatCode == 0 || m_outcome.status == LoadStatus::UnsupportedFormat);
}

bool ReaderMessageReader::ReadLoaded(const std::uint8_t* body, std::uint32_t length) {
    Cursor cursor{body};
    VisitSentFields(m_record, [&](auto& field) {
        field = cursor.Next<std::remove_reference_t<decltype(field)>>();
    });
    const auto count = cursor.Next<std::uint32_t>();
    m_stage = Stage::Ended;
    if (count != (length - LoadedFixedBytes()) / kKeptFrameBytes ||
        count != KeptFrameCount(m_record.frameCount, m_columns) || !CheckHeader() ||
        !CheckKeptFrames(cursor.at, count)) {
        return false;
    }
    if (!AllocateSampleBuffers(m_record, m_record.frameCount)) {
        m_outcome = {LoadStatus::CannotAllocate};
        return true;
    }
    FillKeptFrames(cursor.at, count);
    m_outcome = {LoadStatus::Loaded};
    return true;
}

// What every loaded file has: the three identifiers, a frame size, the frame count that
// follows from the data size, a plot width the plot knows, and peaks of at least 0 with
// the right channel's no higher than the file's.
bool ReaderMessageReader::CheckHeader() const {
    const WaveRecord& r = m_record;
    return r.riffId == 0x46464952 && r.waveId == 0x45564157 && r.fmtId == 0x20746D66 &&
           r.blockAlign != 0 && r.frameCount == r.dataSize / r.blockAlign &&
           (r.plotBits == 0 || r.plotBits == 8 || r.plotBits == 16) && r.peakRight >= 0 &&
           r.peak >= r.peakRight;
}

// Each kept frame is the one the plot reads for its column, and its samples are no higher
// than the peak; a mono file's right samples are 0.
bool ReaderMessageReader::CheckKeptFrames(const std::uint8_t* frames, std::uint32_t count) const {
    Cursor cursor{frames};
    for (std::uint32_t index = 0; index < count; ++index) {
        const auto frame = cursor.Next<std::uint32_t>();
        const auto left = cursor.Next<std::int16_t>();
        const auto right = cursor.Next<std::int16_t>();
        if (frame != KeptFrame(index, m_record.frameCount, m_columns) || left > m_record.peak ||
            right > m_record.peak || (m_record.channels == 1 && right != 0)) {
            return false;
        }
    }
    return true;
}

// Writes the kept samples where the strided load writes them. Zeros are left unwritten, as
// the load leaves them, so that the pages of a huge claim are never touched, and the kept
// frames lie far apart, so the arrays keep to small pages as the load's do.
void ReaderMessageReader::FillKeptFrames(const std::uint8_t* frames, std::uint32_t count) {
    m_record.left.KeepToSmallPages();
    m_record.right.KeepToSmallPages();
    Cursor cursor{frames};
    for (std::uint32_t index = 0; index < count; ++index) {
        const auto frame = cursor.Next<std::uint32_t>();
        const auto left = cursor.Next<std::int16_t>();
        const auto right = cursor.Next<std::int16_t>();
        if (left != 0) {
            m_record.left[frame] = left;
        }
        if (right != 0) {
            m_record.right[frame] = right;
        }
    }
}
