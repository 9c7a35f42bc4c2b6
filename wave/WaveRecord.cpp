#include "wave/WaveRecord.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// Transparent huge pages are 2 MiB on x86-64 and most arm64 kernels. Arrays at least this
// large are mapped with this alignment so that their prefix can be backed by huge pages.
constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23 // Linux 5.14; older kernels answer EINVAL and we touch pages
#endif

std::size_t PageBytes() {
    static const std::size_t bytes = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return bytes;
}

std::uintptr_t AlignUp(std::uintptr_t value, std::size_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

// Gives advice over the whole pages of pageBytes inside [begin, end), if there are any:
// advice over a page that reaches outside the range would also hold for memory the range
// does not cover.
void AdviseWholePages(std::uintptr_t begin, std::uintptr_t end, std::size_t pageBytes, int advice) {
    const std::uintptr_t first = AlignUp(begin, pageBytes);
    const std::uintptr_t last = end / pageBytes * pageBytes;
    if (last > first) {
        madvise(reinterpret_cast<void*>(first), last - first, advice);
    }
}

} // namespace

SampleArray::SampleArray() = default;

SampleArray::~SampleArray() {
    Release();
}

SampleArray::SampleArray(SampleArray&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)),
      m_mapping(std::exchange(other.m_mapping, nullptr)),
      m_mappingBytes(std::exchange(other.m_mappingBytes, 0)) {}

SampleArray& SampleArray::operator=(SampleArray&& other) noexcept {
    if (this != &other) {
        Release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_mapping = std::exchange(other.m_mapping, nullptr);
        m_mappingBytes = std::exchange(other.m_mappingBytes, 0);
    }
    return *this;
}

void SampleArray::Release() {
    if (m_mapping != nullptr) {
        munmap(m_mapping, m_mappingBytes);
    }
    m_data = nullptr;
    m_size = 0;
    m_mapping = nullptr;
    m_mappingBytes = 0;
}

std::optional<SampleArray> SampleArray::Allocate(std::size_t count) {
    SampleArray array;
    if (count == 0) {
        return array;
    }
    if (count > (SIZE_MAX - kHugePageBytes) / sizeof(std::int16_t)) {
        return std::nullopt;
    }
    const std::size_t bytes = count * sizeof(std::int16_t);
    // Large arrays get one huge page of slack so that the data can start on a huge-page
    // boundary; the slack is never touched and so never costs memory.
    const std::size_t slack = bytes >= kHugePageBytes ? kHugePageBytes : 0;
    const std::size_t mappingBytes = bytes + slack;
    void* mapping = mmap(nullptr, mappingBytes, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapping == MAP_FAILED) {
        return std::nullopt;
    }
    const auto start = reinterpret_cast<std::uintptr_t>(mapping);
    const std::uintptr_t first = slack != 0 ? AlignUp(start, kHugePageBytes) : start;
    array.m_mapping = mapping;
    array.m_mappingBytes = mappingBytes;
    array.m_data = reinterpret_cast<std::int16_t*>(first);
    array.m_size = count;
    return array;
}

SampleArray SampleArray::Clone() const {
    std::optional<SampleArray> copy = Allocate(m_size);
    if (!copy) {
        return SampleArray();
    }
    if (m_size != 0) {
        std::memcpy(copy->m_data, m_data, m_size * sizeof(std::int16_t));
    }
    return std::move(*copy);
}

void SampleArray::PrepareForWriting(std::size_t count, Faulting faulting) {
    count = std::min(count, m_size);
    if (count == 0) {
        return;
    }
    const std::size_t page = PageBytes();
    const auto begin = reinterpret_cast<std::uintptr_t>(m_data);
    const std::uintptr_t end = begin + count * sizeof(std::int16_t);

    // Huge pages only over whole huge pages inside the range: advising a range that
    // reaches past the data would let a later read of the untouched tail allocate
    // whole huge pages.
    AdviseWholePages(begin, end, kHugePageBytes, MADV_HUGEPAGE);
    if (faulting == Faulting::OnFirstWrite) {
        return;
    }

    // Fault the range in with one call instead of one fault per page.
    const std::uintptr_t pageFirst = begin / page * page;
    const std::uintptr_t pageLast = AlignUp(end, page);
    if (madvise(reinterpret_cast<void*>(pageFirst), pageLast - pageFirst, MADV_POPULATE_WRITE) !=
        0) {
        // Older kernels: writing a zero into each page has the same effect.
        for (std::uintptr_t at = begin; at < end; at = (at / page + 1) * page) {
            *reinterpret_cast<volatile std::int16_t*>(at) = 0;
        }
    }
}

void SampleArray::KeepToSmallPages() {
    const auto begin = reinterpret_cast<std::uintptr_t>(m_data);
    AdviseWholePages(begin, begin + m_size * sizeof(std::int16_t), PageBytes(), MADV_NOHUGEPAGE);
}

bool AllocateSampleBuffers(WaveRecord& record, std::uint32_t count) {
    if (record.buffersAllocated == 1) {
        record.left = SampleArray();
        record.right = SampleArray();
    }
    std::optional<SampleArray> left = SampleArray::Allocate(count);
    std::optional<SampleArray> right = left ? SampleArray::Allocate(count) : std::nullopt;
    if (!left || !right) {
        record.left = SampleArray();
        record.right = SampleArray();
        return false;
    }
    record.left = std::move(*left);
    record.right = std::move(*right);
    record.buffersAllocated = 1;
    return true;
}
