#pragma once

// The command line of voq006-render: its options, usage text and exit statuses.

#include <optional>
#include <string>

inline constexpr const char* kProgram = "voq006-render";

// Exit statuses.
inline constexpr int kSuccess = 0;
inline constexpr int kFailure = 1;
inline constexpr int kUsageError = 2;

struct Options {
    int scale{1};
    // The edge of the square a thumbnail must fit in, in pixels; none for the full picture.
    std::optional<int> thumbnailSize;
    std::string input;
    std::string output;
};

// What the command line asks for: options to run with, or an exit status at once.
struct Request {
    std::optional<Options> options;
    int exitStatus{kSuccess};
};

// Reads the arguments. Prints the help, the version or a usage error itself, and then
// returns no options but the exit status.
Request ParseArguments(int argc, char** argv);
