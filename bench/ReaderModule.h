#pragma once

// The wave reader as a loadable module, for format_bench: the same sources built from
// this tree and from an earlier one (bench/CMakeLists.txt), each loaded with dlopen, so
// that one run times both readers side by side. Only these plain functions cross the
// module's edge; everything else in it is hidden, so that two modules never mix.

#include <cstdint>

extern "C" {

// What a load left in its record, read after the load was timed.
struct ReaderModuleFacts {
    std::uint32_t frameCount; // frames
    std::int16_t peak;        // largest sample
    // Left and right at the last frame the plot reads, and at the last frame (0 where a
    // strided load skips it).
    std::int16_t lastKept[2];
    std::int16_t lastFrame[2];
};

// Loads path into a new record: the full load when columns is 0, else the strided load
// for a plot of columns columns, read by threads (a SampleThreads, as a number). Sets
// status to the load's LoadStatus (0: loaded) and returns the record.
void* ReaderModuleLoad(const char* path, unsigned columns, int threads, int* status);
// The facts of a record that ReaderModuleLoad returned, for a plot of columns columns.
void ReaderModuleDescribe(const void* record, unsigned columns, ReaderModuleFacts* facts);
// Releases a record that ReaderModuleLoad returned.
void ReaderModuleRelease(void* record);

using ReaderModuleLoadFunction = void* (*)(const char*, unsigned, int, int*);
using ReaderModuleDescribeFunction = void (*)(const void*, unsigned, ReaderModuleFacts*);
using ReaderModuleReleaseFunction = void (*)(void*);
}
