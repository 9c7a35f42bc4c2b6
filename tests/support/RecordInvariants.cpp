#include "tests/support/RecordInvariants.h"

#include <fcntl.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "display/WaveformPlot.h"
#include "tests/support/ReferenceDecoder.h"
#include "tests/support/WavBuilder.h"
#include "wave/ReaderMessages.h"
#include "wave/WaveFileReader.h"

namespace {

std::vector<std::int16_t> Window(const SampleArray& array) {
    const std::size_t count = std::min(array.size(), kCheckedElements);
    std::vector<std::int16_t> window(array.begin(), array.begin() + count);
    if (array.size() > count) {
        window.push_back(array[array.size() - 1]);
    }
    return window;
}

std::string Differs(const char* field, long long now, long long before) {
    char text[160];
    std::snprintf(text, sizeof text, "%s changed from %lld to %lld", field, before, now);
    return text;
}

// Claims this large may be refused by the system (strict overcommit, a small address
// space); anything smaller must load when the reference decoder accepts the file.
constexpr std::uint64_t kRefusableArrayBytes = std::uint64_t{1} << 30;

// The elements of one array of a strided load: the kept frames of full's array, zeros
// elsewhere. keeps is false for the right array of a mono file, which stays all zeros.
// A plot of columns columns reads frames column * (frameCount / columns), which is frame
// 0 alone when the step is 0.
std::string DescribeStridedArray(const char* name, const SampleArray& strided,
                                 const SampleArray& full, bool keeps, std::uint32_t frameCount,
                                 std::uint32_t columns) {
    const std::size_t step = frameCount / columns;
    const std::size_t keptCount = !keeps || frameCount == 0 ? 0 : step == 0 ? 1 : columns;
    const auto differs = [&](std::size_t i, bool kept) -> std::string {
        char text[160];
        std::snprintf(text, sizeof text, "%s[%zu] is %d after a strided load, not %d (%s)", name, i,
                      strided[i], kept ? full[i] : 0, kept ? "a kept frame" : "not kept");
        return text;
    };
    // Every kept frame, wherever it lies.
    for (std::size_t column = 0; column < keptCount; ++column) {
        const std::size_t i = column * step;
        if (strided[i] != full[i]) {
            return differs(i, true);
        }
    }
    // Zeros between them, over the first elements.
    const std::size_t checked = std::min(strided.size(), kCheckedElements);
    std::size_t nextKept = 0; // index of the next kept frame, in column order
    std::size_t column = 0;
    for (std::size_t i = 0; i < checked; ++i) {
        if (column < keptCount && i == nextKept) {
            nextKept = ++column * step;
            continue;
        }
        if (strided[i] != 0) {
            return differs(i, false);
        }
    }
    return {};
}

} // namespace

RecordSnapshot TakeSnapshot(const WaveRecord& record) {
    RecordSnapshot snapshot;
    WaveRecord& fields = snapshot.fields;
    fields.riffId = record.riffId;
    fields.fileLength = record.fileLength;
    fields.waveId = record.waveId;
    fields.fmtId = record.fmtId;
    fields.fmtSize = record.fmtSize;
    fields.formatTag = record.formatTag;
    fields.channels = record.channels;
    fields.sampleRate = record.sampleRate;
    fields.byteRate = record.byteRate;
    fields.blockAlign = record.blockAlign;
    fields.bitsPerSample = record.bitsPerSample;
    fields.dataSize = record.dataSize;
    fields.bytesPerSample = record.bytesPerSample;
    fields.frameCount = record.frameCount;
    fields.plotBits = record.plotBits;
    fields.buffersAllocated = record.buffersAllocated;
    fields.peak = record.peak;
    fields.peakRight = record.peakRight;
    fields.path = record.path;
    fields.loaded = record.loaded;
    snapshot.leftData = record.left.data();
    snapshot.rightData = record.right.data();
    snapshot.leftSize = record.left.size();
    snapshot.rightSize = record.right.size();
    snapshot.leftWindow = Window(record.left);
    snapshot.rightWindow = Window(record.right);
    return snapshot;
}

std::string DescribeChange(const WaveRecord& record, const RecordSnapshot& snapshot) {
    const WaveRecord& before = snapshot.fields;
    std::vector<FieldPair> fields = HeaderFieldPairs(record, before);
    fields.insert(fields.end(),
                  {
                      {"buffersAllocated", record.buffersAllocated, before.buffersAllocated},
                      {"peak", record.peak, before.peak},
                      {"peakRight", record.peakRight, before.peakRight},
                      {"loaded", record.loaded, before.loaded},
                      {"left size", static_cast<long long>(record.left.size()),
                       static_cast<long long>(snapshot.leftSize)},
                      {"right size", static_cast<long long>(record.right.size()),
                       static_cast<long long>(snapshot.rightSize)},
                  });
    for (const FieldPair& field : fields) {
        if (field.actual != field.expected) {
            return Differs(field.name, field.actual, field.expected);
        }
    }
    if (record.path != before.path) {
        return "path changed from \"" + before.path + "\" to \"" + record.path + "\"";
    }
    if (record.left.data() != snapshot.leftData || record.right.data() != snapshot.rightData) {
        return "the sample arrays were replaced";
    }
    if (Window(record.left) != snapshot.leftWindow) {
        return "the contents of left changed";
    }
    if (Window(record.right) != snapshot.rightWindow) {
        return "the contents of right changed";
    }
    return {};
}

std::string DescribeBrokenInvariant(const WaveRecord& record, const std::string& path) {
    if (record.left.size() != record.frameCount || record.right.size() != record.frameCount) {
        char text[160];
        std::snprintf(text, sizeof text, "arrays of %zu and %zu elements for %u frames",
                      record.left.size(), record.right.size(), record.frameCount);
        return text;
    }
    if (record.buffersAllocated != 1) {
        return "buffersAllocated is not 1 after a load";
    }
    if (record.peak < 0) {
        return "peak is below 0";
    }
    for (const SampleArray* array : {&record.left, &record.right}) {
        const std::size_t count = std::min(array->size(), kCheckedElements);
        const auto* above = std::find_if(array->begin(), array->begin() + count,
                                         [&](std::int16_t value) { return value > record.peak; });
        if (above != array->begin() + count) {
            char text[160];
            std::snprintf(text, sizeof text, "%s[%td] = %d is above peak %d",
                          array == &record.left ? "left" : "right", above - array->begin(), *above,
                          record.peak);
            return text;
        }
    }
    if (record.path != path) {
        return "path is \"" + record.path + "\" after loading \"" + path + "\"";
    }
    return {};
}

std::string DescribeStridedDifference(const WaveRecord& strided, const WaveRecord& full,
                                      std::uint32_t columns) {
    std::vector<FieldPair> fields = HeaderFieldPairs(strided, full);
    fields.insert(fields.end(),
                  {
                      {"buffersAllocated", strided.buffersAllocated, full.buffersAllocated},
                      {"peak", strided.peak, full.peak},
                      {"peakRight", strided.peakRight, full.peakRight},
                      {"left size", static_cast<long long>(strided.left.size()),
                       static_cast<long long>(full.left.size())},
                      {"right size", static_cast<long long>(strided.right.size()),
                       static_cast<long long>(full.right.size())},
                  });
    for (const FieldPair& field : fields) {
        if (field.actual != field.expected) {
            char text[200];
            std::snprintf(text, sizeof text,
                          "%s is %lld after a strided load, %lld after a full one", field.name,
                          field.actual, field.expected);
            return text;
        }
    }
    if (strided.path != full.path) {
        return "path is \"" + strided.path + "\" after a strided load, \"" + full.path + "\"";
    }
    std::string problem =
        DescribeStridedArray("left", strided.left, full.left, true, full.frameCount, columns);
    if (problem.empty()) {
        problem = DescribeStridedArray("right", strided.right, full.right, full.channels != 1,
                                       full.frameCount, columns);
    }
    return problem;
}

std::vector<std::uint8_t> EarlierFileBytes() {
    // The loudest sample is in the right channel (32767); left peaks at 5000.
    return WavBuilder()
        .Format(2, 16)
        .Samples16({100, -200, 300, -400, 5000, 32767, -32768, 6, -7, 8, 0, 1})
        .Build();
}

std::string DescribeKeptInColumnsDifference(const WaveRecord& strided, const std::string& path,
                                            SampleThreads threads) {
    WaveRecord columns;
    LoadProgress progress;
    const LoadStatus status =
        LoadWaveFileStrided(columns, open(path.c_str(), O_RDONLY | O_CLOEXEC), path,
                            kWaveformColumns, threads, progress, KeptFramePlace::Column)
            .status;
    if (status != LoadStatus::Loaded || columns.peak != strided.peak ||
        columns.peakRight != strided.peakRight) {
        return "the kept frames at their columns come with another outcome or peak";
    }
    const std::uint32_t kept =
        reader_messages::KeptFrameCount(strided.frameCount, kWaveformColumns);
    for (std::uint32_t index = 0; index < kept; ++index) {
        const std::uint32_t frame =
            reader_messages::KeptFrame(index, strided.frameCount, kWaveformColumns);
        if (columns.left[index] != strided.left[frame] ||
            columns.right[index] != strided.right[frame]) {
            return "column " + std::to_string(index) + " keeps another frame than frame " +
                   std::to_string(frame);
        }
    }
    return {};
}

namespace {

// Loads path again with the strided load that reports its progress, as the viewer's, read
// by threads, into a fresh record and compares it with full, the record of the full load
// whose outcome was fullStatus.
std::string CheckStridedLoad(const WaveRecord& full, const std::string& path, LoadStatus fullStatus,
                             SampleThreads threads) {
    WaveRecord strided;
    LoadProgress progress;
    const LoadStatus status =
        LoadWaveFileStrided(strided, path, kWaveformColumns, threads, progress).status;
    if (status != fullStatus) {
        return std::string("the strided load gives \"") + DescribeLoadStatus(status) +
               "\", the full load \"" + DescribeLoadStatus(fullStatus) + "\"";
    }
    if (status != LoadStatus::Loaded) {
        return {};
    }
    std::string problem = DescribeBrokenInvariant(strided, path);
    if (problem.empty()) {
        problem = DescribeStridedDifference(strided, full, kWaveformColumns);
    }
    if (problem.empty() && progress.BytesRead() != progress.BytesToRead()) {
        problem = "read " + std::to_string(progress.BytesRead()) + " of the " +
                  std::to_string(progress.BytesToRead()) + " bytes it announced";
    }
    if (problem.empty()) {
        problem = DescribeKeptInColumnsDifference(strided, path, threads);
    }
    return problem.empty() ? problem : "strided load: " + problem;
}

} // namespace

std::string CheckLoad(WaveRecord& record, const std::string& path,
                      const std::vector<std::uint8_t>& bytes, SampleThreads threads) {
    const RecordSnapshot before = TakeSnapshot(record);
    const LoadOutcome outcome = LoadWaveFileExplained(record, path, threads);
    const ReferenceResult expected = DecodeReference(bytes);
    const bool loaded = outcome.status == LoadStatus::Loaded;
    const bool shouldLoad = expected.status == LoadStatus::Loaded;

    if (!loaded) {
        std::string change = DescribeChange(record, before);
        if (!change.empty()) {
            return std::string("rejected (") + DescribeLoadStatus(outcome.status) +
                   ") but the record changed: " + change;
        }
        const bool refusable = outcome.status == LoadStatus::CannotAllocate &&
                               std::uint64_t{expected.frameCount} * 4 >= kRefusableArrayBytes;
        if (shouldLoad && !refusable) {
            return std::string("rejected (") + DescribeLoadStatus(outcome.status) +
                   ") a file the reference decoder loads";
        }
        if (!shouldLoad &&
            (outcome.status != expected.status || outcome.formatCode != expected.formatCode)) {
            char text[200];
            std::snprintf(text, sizeof text,
                          "rejected as \"%s\" (format 0x%04X), the reference decoder says "
                          "\"%s\" (format 0x%04X)",
                          DescribeLoadStatus(outcome.status), outcome.formatCode,
                          DescribeLoadStatus(expected.status), expected.formatCode);
            return text;
        }
        return refusable ? std::string() : CheckStridedLoad(record, path, outcome.status, threads);
    }
    if (!shouldLoad) {
        return std::string("loaded a file the reference decoder rejects (") +
               DescribeLoadStatus(expected.status) + ")";
    }
    std::string problem = DescribeBrokenInvariant(record, path);
    if (problem.empty()) {
        problem = DescribeDifference(record, expected, kCheckedElements);
    }
    if (problem.empty() && record.loaded != before.fields.loaded) {
        problem = "loaded was changed by the reader";
    }
    if (problem.empty()) {
        problem = CheckStridedLoad(record, path, outcome.status, threads);
    }
    return problem;
}
