// The module side of ReaderModule.h, compiled against the wave/ headers of the tree the
// module is built from.

#include "ReaderModule.h"

#include <new>

#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

#define VOQ_MODULE_EXPORT __attribute__((visibility("default")))

extern "C" {

VOQ_MODULE_EXPORT void* ReaderModuleLoad(const char* path, unsigned columns, int threads,
                                         int* status) {
    auto* record = new (std::nothrow) WaveRecord;
    if (record == nullptr) {
        *status = static_cast<int>(LoadStatus::CannotAllocate);
        return nullptr;
    }
    const auto sampleThreads = static_cast<SampleThreads>(threads);
    const LoadOutcome outcome = columns == 0
                                    ? LoadWaveFileExplained(*record, path, sampleThreads)
                                    : LoadWaveFileStrided(*record, path, columns, sampleThreads);
    *status = static_cast<int>(outcome.status);
    return record;
}

VOQ_MODULE_EXPORT void ReaderModuleDescribe(const void* record, unsigned columns,
                                            ReaderModuleFacts* facts) {
    const auto& loaded = *static_cast<const WaveRecord*>(record);
    *facts = {};
    facts->frameCount = loaded.frameCount;
    facts->peak = loaded.peak;
    if (loaded.left.empty() || columns == 0) {
        return;
    }
    const std::size_t kept = (columns - 1) * (loaded.frameCount / columns);
    const std::size_t last = loaded.left.size() - 1;
    facts->lastKept[0] = loaded.left[kept];
    facts->lastKept[1] = loaded.right[kept];
    facts->lastFrame[0] = loaded.left[last];
    facts->lastFrame[1] = loaded.right[last];
}

VOQ_MODULE_EXPORT void ReaderModuleRelease(void* record) {
    delete static_cast<WaveRecord*>(record);
}
}
