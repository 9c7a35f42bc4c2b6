#include "wave/WaveFileReader.h"

LoadOutcome LoadWaveFileExplained(WaveRecord&, const std::string&) {
    return {LoadStatus::CannotOpen, 0};
}

int LoadWaveFile(WaveRecord& record, const std::string& path) {
    return LoadWaveFileExplained(record, path).status == LoadStatus::Loaded ? 0 : 1;
}

const char* DescribeLoadStatus(LoadStatus) { return "not loaded"; }
