#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// An owning, zero-filled array of signed 16-bit samples.
//
// The storage is an anonymous private mapping reserved with MAP_NORESERVE rather than a
// heap allocation: a header may claim billions of frames while the file holds a few
// bytes, and pages that are never written cost nothing. The reader asks for huge pages
// and prefaulting only over the prefix the file's real data will fill (PrepareForWriting).
class SampleArray {
public:
    SampleArray(); // empty
    ~SampleArray();
    SampleArray(SampleArray&& other) noexcept;
    SampleArray& operator=(SampleArray&& other) noexcept;
    SampleArray(const SampleArray&) = delete;
    SampleArray& operator=(const SampleArray&) = delete;

    // A zero-filled array of count elements, or nothing when the system refuses the
    // mapping. A count of 0 gives an empty array.
    static std::optional<SampleArray> Allocate(std::size_t count);

    // Explicit deep copy (for tests); an empty array if the copy cannot be mapped.
    SampleArray Clone() const;

    // When the pages of a prepared range are faulted in: at once, by one call, or by
    // the first write to each (which spreads the zeroing of fresh pages over the threads
    // that write them).
    enum class Faulting { Now, OnFirstWrite };

    // Backs the first count elements with huge pages where the system offers them and
    // faults them in as faulting says, so that a load that fills them does not take one
    // page fault per 4 KiB. Elements beyond count stay untouched and cost nothing.
    void PrepareForWriting(std::size_t count, Faulting faulting = Faulting::Now);

    // Asks the system never to back the array's whole pages with huge pages, for an array
    // of which only elements far apart are written: each would otherwise cost a huge page
    // where the system backs all memory with them.
    void KeepToSmallPages();

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    std::int16_t* data() { return m_data; }
    const std::int16_t* data() const { return m_data; }
    std::int16_t& operator[](std::size_t i) { return m_data[i]; }
    const std::int16_t& operator[](std::size_t i) const { return m_data[i]; }
    std::int16_t* begin() { return m_data; }
    std::int16_t* end() { return m_data + m_size; }
    const std::int16_t* begin() const { return m_data; }
    const std::int16_t* end() const { return m_data + m_size; }

private:
    void Release();

    std::int16_t* m_data{};       // first element, inside the mapping
    std::size_t m_size{};         // elements
    void* m_mapping{};            // start of the mapping (may lie before m_data for alignment)
    std::size_t m_mappingBytes{}; // bytes mapped
};

// The one record of the sound the viewer shows. The application owns it and hands it
// by reference to whoever reads or fills it.
struct WaveRecord {
    // Header fields, exactly as read from the file (little-endian, unsigned).
    std::uint32_t riffId{};        // first four bytes; "RIFF" reads as 0x46464952
    std::uint32_t fileLength{};    // RIFF size field + 8 (modulo 2^32), bytes
    std::uint32_t waveId{};        // form type; "WAVE" reads as 0x45564157
    std::uint32_t fmtId{};         // id of the fmt chunk; "fmt " reads as 0x20746D66
    std::uint32_t fmtSize{};       // body size of the fmt chunk, bytes
    std::uint16_t formatTag{};     // format code (0xFFFE: named by the extensible SubFormat)
    std::uint16_t channels{};      // channel count
    std::uint32_t sampleRate{};    // samples per second per channel (Hz)
    std::uint32_t byteRate{};      // average bytes per second
    std::uint16_t blockAlign{};    // bytes per sample frame
    std::uint16_t bitsPerSample{}; // bits per sample
    std::uint32_t dataSize{};      // body size of the data chunk, bytes

    // Derived from the header.
    // Bytes per sample: bitsPerSample >> 3, or for a file whose samples are converted to
    // 16-bit values the container, blockAlign / channels.
    std::uint16_t bytesPerSample{};
    std::uint32_t frameCount{}; // dataSize / blockAlign, frames
    // The sample width the plot scales by, in bits: 0 means bitsPerSample; a file whose
    // samples were converted to 16-bit values sets 16 (8 for one-byte integer samples).
    std::uint16_t plotBits{};

    // Samples, one element per frame: channel 0 in left, channel 1 in right (all zero
    // for a mono file).
    SampleArray left, right;
    std::uint16_t buffersAllocated{}; // 1 once the arrays were allocated; never cleared
    std::int16_t peak{};              // largest signed sample over both channels, at least 0
    std::int16_t peakRight{};         // working peak of right during a load

    // Viewer state.
    std::string path;      // the bytes of the path as given (UTF-8 on Linux)
    std::int32_t loaded{}; // 1 once the view has shown a load; never reset
};

// If buffersAllocated is 1, releases both arrays; then allocates two zero-filled arrays
// of count elements, left first, and sets buffersAllocated to 1. frameCount is not
// touched. On false both arrays are empty and buffersAllocated is unchanged.
bool AllocateSampleBuffers(WaveRecord& record, std::uint32_t count);
