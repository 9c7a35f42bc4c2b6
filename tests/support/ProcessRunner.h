#pragma once

#include <optional>
#include <string>
#include <vector>

// What a finished program left behind: its exit status (-1 when a signal ended it, it ran
// past its time or it could not be started) and what it wrote.
struct ProcessResult {
    int exitStatus{-1};
    std::string output;
};

struct ProcessOptions {
    // The program's whole environment; without one it inherits the test's.
    std::optional<std::vector<std::string>> environment;
    // Standard error joins standard output in the result, or goes to /dev/null.
    enum class Errors { Merge, Discard } errors{Errors::Merge};
    // A program still running then is killed (SIGKILL) and counts as ended by a signal.
    int timeoutMs{120000};
};

// Runs argv[0] (searched in PATH) to its end with argv, its standard input empty, and
// collects its standard output. The one way the tests run a program and read its answer.
ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// The null-terminated array of pointers into strings that exec and posix_spawn take; valid
// while strings is unchanged.
std::vector<char*> ArgumentPointers(std::vector<std::string>& strings);
