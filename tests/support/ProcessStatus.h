#pragma once

// Figures of this process and of others read from /proc, for the checks and measurements of
// memory, descriptors, threads and child processes. Header-only, so that the benchmarks
// share it without the test support.

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

// A number from /proc/<process>/status ("VmRSS" in KiB, "Seccomp", "PPid"), or -1; this
// process's by default.
inline long StatusNumber(const std::string& key, const std::string& process = "self") {
    std::ifstream status("/proc/" + process + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key + ":", 0) == 0) {
            return std::strtol(line.c_str() + key.size() + 1, nullptr, 10);
        }
    }
    return -1;
}

inline long StatusKiB(const std::string& key, const std::string& process = "self") {
    return StatusNumber(key, process);
}

// The state letter of a process ("R" running, "S" asleep, "D" in uninterruptible sleep, "Z"
// ended but not yet reaped), or "" once it is gone.
inline std::string ProcessState(const std::string& process) {
    std::ifstream status("/proc/" + process + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("State:", 0) == 0) {
            return line.substr(line.find_first_not_of(" \t", 6), 1);
        }
    }
    return {};
}

// The processes that parent started and that run the program called name.
inline std::vector<std::string> ChildrenNamed(long parent, const std::string& name) {
    std::vector<std::string> children;
    if (DIR* processes = opendir("/proc")) {
        while (const dirent* entry = readdir(processes)) {
            const std::string process = entry->d_name;
            std::ifstream comm("/proc/" + process + "/comm");
            std::string command;
            if (std::getline(comm, command) && command == name &&
                StatusNumber("PPid", process) == parent) {
                children.push_back(process);
            }
        }
        closedir(processes);
    }
    return children;
}

// Calls use(name) for each entry of a folder of /proc/self ("fd", "task"), the dot
// entries left out, and returns how many there were.
template <typename Use> int ForEachEntryOfProcessFolder(const char* folderName, Use use) {
    int count = 0;
    if (DIR* folder = opendir((std::string("/proc/self/") + folderName).c_str())) {
        while (const dirent* entry = readdir(folder)) {
            if (entry->d_name[0] != '.') {
                use(std::string(entry->d_name));
                ++count;
            }
        }
        closedir(folder);
    }
    return count;
}

// The descriptors open in this process, the one that reads them included.
inline int OpenDescriptors() {
    return ForEachEntryOfProcessFolder("fd", [](const std::string&) {});
}

// The descriptors open on the file at path.
inline int DescriptorsOn(const std::string& path) {
    int count = 0;
    ForEachEntryOfProcessFolder("fd", [&](const std::string& fd) {
        char target[4096];
        const ssize_t length = readlink(("/proc/self/fd/" + fd).c_str(), target, sizeof target);
        count += length > 0 &&
                 path.compare(0, std::string::npos, target, static_cast<std::size_t>(length)) == 0;
    });
    return count;
}

// The threads that carry the process's own name: the main thread and those the program
// started itself, as Qt names the threads it starts ("Thread (pooled)", "QDBusConnection").
inline int OwnThreads() {
    const auto nameOf = [](const std::string& task) {
        std::ifstream comm("/proc/self/task/" + task + "/comm");
        std::string name;
        std::getline(comm, name);
        return name;
    };
    const std::string own = nameOf(std::to_string(getpid()));
    int count = 0;
    ForEachEntryOfProcessFolder("task",
                                [&](const std::string& task) { count += nameOf(task) == own; });
    return count;
}
