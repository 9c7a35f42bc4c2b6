#pragma once

// The command line of voq006-render: its options, usage text and exit statuses.
// ParseArguments only reads; main prints what a request asks for.

#include <optional>
#include <string>

// The program's name, at the start of every line it prints on standard error and in its
// usage and version texts.
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

enum class Action {
    Render,      // paint with the options
    ShowHelp,    // print the usage and the help on standard output, exit 0
    ShowVersion, // print the program's name and version on standard output, exit 0
    UsageError,  // print the problem and the usage on standard error, exit 2
};

// What the command line asks for.
struct Request {
    Action action{Action::Render};
    Options options;     // for Render
    std::string problem; // for UsageError: what is wrong with the command line
};

// Reads the arguments. "--" ends the options: what follows is a file name, even when it
// starts with a dash.
Request ParseArguments(int argc, char** argv);

// The lines of the synopsis, each starting with the program's name.
std::string UsageText();
// What the options do and what the exit statuses mean.
std::string HelpText();
