#pragma once

#include <cstdint>

#include "wave/FileDescriptor.h"
#include "wave/SampleDecoders.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

namespace wave_reader {

// What the header parse found: Loaded once the data chunk was found in a format the
// reader decodes, or the check that failed and the byte offset where it failed.
struct ParsedHeader {
    LoadOutcome outcome;
    std::uint64_t dataOffset{}; // where the data chunk's body starts, in bytes
    SampleLayout layout;        // how the samples lie there and decode
};

// Reads the header of the regular file of fileSize bytes up to its first sample, into
// staging: the RIFF and WAVE identifiers, the chunks up to "fmt " and the fmt chunk, then
// the chunks up to "data" and that chunk's size, and the fields derived from them; and
// from the format, the sample width and the channel count, how the samples are read.
// Runs on the calling thread alone.
ParsedHeader ParseWaveHeader(const FileDescriptor& file, std::uint64_t fileSize,
                             WaveRecord& staging);

} // namespace wave_reader
