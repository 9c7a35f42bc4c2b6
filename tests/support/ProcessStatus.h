#pragma once

// Figures of this process read from /proc, for the checks and measurements of its memory
// and descriptors. Header-only, so that the benchmarks share it without the test support.

#include <dirent.h>

#include <cstdlib>
#include <fstream>
#include <string>

// A value from /proc/<process>/status in KiB ("VmRSS", "VmHWM", "VmSize"), or -1; this
// process's by default.
inline long StatusKiB(const std::string& key, const std::string& process = "self") {
    std::ifstream status("/proc/" + process + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key + ":", 0) == 0) {
            return std::strtol(line.c_str() + key.size() + 1, nullptr, 10);
        }
    }
    return -1;
}

// The entries of a folder of /proc/self ("fd", "task"), the dot entries left out.
inline int EntriesOfProcessFolder(const char* folderName) {
    int count = 0;
    if (DIR* folder = opendir((std::string("/proc/self/") + folderName).c_str())) {
        while (const dirent* entry = readdir(folder)) {
            count += entry->d_name[0] != '.';
        }
        closedir(folder);
    }
    return count;
}

// The descriptors open in this process, the one that reads them included.
inline int OpenDescriptors() {
    return EntriesOfProcessFolder("fd");
}

// The threads of this process.
inline int RunningThreads() {
    return EntriesOfProcessFolder("task");
}
