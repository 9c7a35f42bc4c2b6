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

// The program a process runs, as /proc names it ("voq006-reader"), or "" once it is gone.
inline std::string CommandOf(const std::string& process) {
    std::ifstream comm("/proc/" + process + "/comm");
    std::string command;
    std::getline(comm, command);
    return command;
}

// The processes that parent started.
inline std::vector<std::string> ChildrenOf(long parent) {
    std::vector<std::string> children;
    if (DIR* processes = opendir("/proc")) {
        while (const dirent* entry = readdir(processes)) {
            const std::string process = entry->d_name;
            if (process[0] >= '1' && process[0] <= '9' && StatusNumber("PPid", process) == parent) {
                children.push_back(process);
            }
        }
        closedir(processes);
    }
    return children;
}

// The processes that parent started and that run the program called name.
inline std::vector<std::string> ChildrenNamed(long parent, const std::string& name) {
    std::vector<std::string> children = ChildrenOf(parent);
    std::erase_if(children, [&](const std::string& child) { return CommandOf(child) != name; });
    return children;
}

// Calls use(name) for each entry of a folder of /proc/<process> ("fd", "task"), the dot
// entries left out, and returns how many there were.
template <typename Use>
int ForEachEntryOfProcessFolder(const std::string& process, const char* folderName, Use use) {
    int count = 0;
    if (DIR* folder = opendir(("/proc/" + process + "/" + folderName).c_str())) {
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

// The descriptors open in a process (in this one, the one that reads them included), and
// its threads.
inline int OpenDescriptors(const std::string& process = "self") {
    return ForEachEntryOfProcessFolder(process, "fd", [](const std::string&) {});
}
inline int Threads(const std::string& process) {
    return ForEachEntryOfProcessFolder(process, "task", [](const std::string&) {});
}

// The descriptors open on the file at path, in this process and in the processes it
// started (the reader processes of its loads).
inline int DescriptorsOn(const std::string& path) {
    int count = 0;
    std::vector<std::string> processes = ChildrenOf(getpid());
    processes.push_back("self");
    for (const std::string& process : processes) {
        const std::string folder = "/proc/" + process + "/fd/";
        ForEachEntryOfProcessFolder(process, "fd", [&](const std::string& fd) {
            char target[4096];
            const ssize_t length = readlink((folder + fd).c_str(), target, sizeof target);
            count += length > 0 && path.compare(0, std::string::npos, target,
                                                static_cast<std::size_t>(length)) == 0;
        });
    }
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
    ForEachEntryOfProcessFolder("self", "task",
                                [&](const std::string& task) { count += nameOf(task) == own; });
    return count;
}
