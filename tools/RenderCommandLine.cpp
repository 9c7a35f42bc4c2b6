#include "tools/RenderCommandLine.h"

#include <charconv>
#include <string_view>
#include <system_error>

namespace {

constexpr int kMaxScale = 8;
// Thumbnails are asked for at 128, 256 or 512 pixels; a larger one is no thumbnail.
constexpr int kMaxThumbnailSize = 1024;

const char* const kHelp =
    "Paints what the VOQ006 viewer shows after opening INPUT.wav (its path, a format\n"
    "summary and the waveform plot) into the 960 x 440 PNG image OUTPUT.png.\n"
    "\n"
    "  --scale N    render at N times the size (1 to 8) for high-density screens\n"
    "  --thumbnail SIZE\n"
    "               paint only the plot's grid and traces, scaled to fit a square of SIZE\n"
    "               pixels (1 to 1024), as a file manager's thumbnail\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n"
    "  --           end the options: INPUT.wav and OUTPUT.png may start with a dash\n"
    "\n"
    "OUTPUT.png is never the input file, however named, nor a file you may not write;\n"
    "- and /dev/stdout write to standard output.\n"
    "\n"
    "Exit status: 0 when the image was written, 1 when the input was rejected or the\n"
    "image could not be written (nothing is written then), 2 for a usage error.\n";

Request UsageError(const std::string& problem) {
    return {Action::UsageError, {}, problem};
}

// A whole number from 1 to largest, written in decimal digits and nothing else.
std::optional<int> ParseNumber(std::string_view text, int largest) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > largest) {
        return std::nullopt;
    }
    return value;
}

// The value of an option given as "--name VALUE" or "--name=VALUE"; i moves past it.
// Nothing when the command line ends after "--name".
std::optional<std::string_view> OptionValue(std::string_view name, int argc, char** argv, int& i) {
    const std::string_view argument = argv[i];
    if (argument != name) {
        return argument.substr(name.size() + 1);
    }
    if (i + 1 == argc) {
        return std::nullopt;
    }
    return std::string_view(argv[++i]);
}

// The number of a "--name N" option, from 1 to largest, or the usage error that says what
// the option needs ("--scale needs a number from 1 to 8, not \"x\"").
std::optional<int> NumberOption(std::string_view name, int largest, const char* needs, int argc,
                                char** argv, int& i, std::string& problem) {
    const auto value = OptionValue(name, argc, argv, i);
    const auto number = value ? ParseNumber(*value, largest) : std::nullopt;
    if (!number) {
        problem = std::string(name) + " needs " + needs;
        if (value) {
            problem.append(", not \"").append(*value).append("\"");
        }
    }
    return number;
}

bool IsOption(std::string_view argument, std::string_view name) {
    return argument == name || (argument.starts_with(name) && argument.size() > name.size() &&
                                argument[name.size()] == '=');
}

} // namespace

Request ParseArguments(int argc, char** argv) {
    Options options;
    bool scaleGiven = false;
    std::string positional[2];
    int positionalCount = 0;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && argument == "--help") {
            return {Action::ShowHelp, {}, {}};
        } else if (!optionsEnded && argument == "--version") {
            return {Action::ShowVersion, {}, {}};
        } else if (!optionsEnded && IsOption(argument, "--scale")) {
            std::string problem;
            const auto scale =
                NumberOption("--scale", kMaxScale, "a number from 1 to 8", argc, argv, i, problem);
            if (!scale) {
                return UsageError(problem);
            }
            scaleGiven = true;
            options.scale = *scale;
        } else if (!optionsEnded && IsOption(argument, "--thumbnail")) {
            std::string problem;
            const auto size = NumberOption("--thumbnail", kMaxThumbnailSize,
                                           "a size from 1 to 1024", argc, argv, i, problem);
            if (!size) {
                return UsageError(problem);
            }
            options.thumbnailSize = *size;
        } else if (!optionsEnded && argument.size() > 1 && argument.front() == '-') {
            return UsageError("unknown option " + std::string(argument));
        } else if (positionalCount == 2) {
            return UsageError("too many arguments");
        } else {
            positional[positionalCount++] = std::string(argument);
        }
    }
    if (positionalCount < 2) {
        return UsageError(positionalCount == 0 ? "no input and output given" : "no output given");
    }
    if (scaleGiven && options.thumbnailSize) {
        return UsageError("--scale and --thumbnail cannot be combined");
    }
    if (positional[0].empty() || positional[1].empty()) {
        return UsageError("an empty file name");
    }
    options.input = positional[0];
    options.output = positional[1];
    return {Action::Render, options, {}};
}

std::string UsageText() {
    const std::string program = kProgram;
    return "usage: " + program + " [--scale N] INPUT.wav OUTPUT.png\n       " + program +
           " --thumbnail SIZE INPUT.wav OUTPUT.png\n";
}

std::string HelpText() {
    return kHelp;
}
