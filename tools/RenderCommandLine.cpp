#include "tools/RenderCommandLine.h"

#include <charconv>
#include <cstdio>
#include <string_view>
#include <system_error>

namespace {

constexpr int kMaxScale = 8;

const char* const kUsage = "usage: voq006-render [--scale N] INPUT.wav OUTPUT.png\n";

const char* const kHelp =
    "Paints what the VOQ006 viewer shows after opening INPUT.wav (its path, a format\n"
    "summary and the waveform plot) into the 960 x 440 PNG image OUTPUT.png.\n"
    "\n"
    "  --scale N    render at N times the size (1 to 8) for high-density screens\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "Exit status: 0 when the image was written, 1 when the input was rejected or the\n"
    "image could not be written (nothing is written then), 2 for a usage error.\n";

Request UsageError(const std::string& problem) {
    std::fprintf(stderr, "%s: %s\n%s", kProgram, problem.c_str(), kUsage);
    return {std::nullopt, kUsageError};
}

std::optional<int> ParseScale(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 ||
        value > kMaxScale) {
        return std::nullopt;
    }
    return value;
}

} // namespace

Request ParseArguments(int argc, char** argv) {
    Options options;
    std::string positional[2];
    int positionalCount = 0;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && argument == "--help") {
            std::fputs(kUsage, stdout);
            std::fputs(kHelp, stdout);
            return {std::nullopt, kSuccess};
        } else if (!optionsEnded && argument == "--version") {
            std::printf("%s %s\n", kProgram, VOQ_DISPLAY_VERSION);
            return {std::nullopt, kSuccess};
        } else if (!optionsEnded && (argument == "--scale" || argument.starts_with("--scale="))) {
            std::string_view value;
            if (argument == "--scale") {
                if (i + 1 == argc) {
                    return UsageError("--scale needs a number from 1 to 8");
                }
                value = argv[++i];
            } else {
                value = argument.substr(std::string_view("--scale=").size());
            }
            const auto scale = ParseScale(value);
            if (!scale) {
                return UsageError("--scale needs a number from 1 to 8, not \"" +
                                  std::string(value) + "\"");
            }
            options.scale = *scale;
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
    if (positional[0].empty() || positional[1].empty()) {
        return UsageError("an empty file name");
    }
    options.input = positional[0];
    options.output = positional[1];
    return {options, kSuccess};
}
