// voq006-render: paints what the viewer's window shows after opening a wave file into a
// PNG image, without a display.

#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "display/ViewDrawing.h"
#include "shell/framework/PainterSurface.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

namespace {

constexpr const char* kProgram = "voq006-render";
// The viewer's client area.
constexpr int kWidth = 960;
constexpr int kHeight = 440;
constexpr int kMaxScale = 8;

// Exit statuses.
constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsageError = 2;

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

struct Options {
    int scale{1};
    std::string input;
    std::string output;
};

// What the command line asks for: options to run with, or an exit status at once.
struct Request {
    std::optional<Options> options;
    int exitStatus{kSuccess};
};

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

// The path as the viewer's Open dialog would give it: absolute, but with its links and
// dot segments as typed.
std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.string();
}

void ReportRejection(const LoadOutcome& outcome, const std::string& path) {
    switch (outcome.status) {
    case LoadStatus::CannotOpen:
        std::fprintf(stderr, "%s: cannot open %s: %s\n", kProgram, path.c_str(),
                     std::strerror(outcome.errorNumber));
        break;
    case LoadStatus::ReadError:
        std::fprintf(stderr, "%s: cannot read %s: %s\n", kProgram, path.c_str(),
                     std::strerror(outcome.errorNumber));
        break;
    default:
        std::fprintf(stderr, "%s: %s: %s\n", kProgram, DescribeLoadStatus(outcome.status),
                     path.c_str());
        break;
    }
}

// The window's client area after the file was opened: erased to white, then the
// information lines and the plot, as the view paints them.
QImage Render(const WaveRecord& record, int scale) {
    QImage image(kWidth * scale, kHeight * scale, QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::white);
    QPainter painter(&image);
    {
        PainterSurface surface(painter);
        DrawLoadedRecord(surface, record);
    }
    painter.end();
    return image;
}

mode_t CurrentUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

// Writes the image to a temporary file beside output and renames it into place, so that
// output is either the whole new image or untouched.
bool WritePng(const QImage& image, const std::string& output) {
    const std::filesystem::path target(output);
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::string temporary = (folder / ".voq006-render-XXXXXX").string();
    const int descriptor = mkstemp(temporary.data());
    if (descriptor < 0) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, output.c_str(),
                     std::strerror(errno));
        return false;
    }
    // mkstemp creates the file 0600; an image is as readable as any file the user makes.
    fchmod(descriptor, 0666 & ~CurrentUmask());
    close(descriptor);

    QImageWriter writer(QString::fromLocal8Bit(temporary.c_str()), "png");
    if (!writer.write(image)) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, output.c_str(),
                     writer.errorString().toLocal8Bit().constData());
        std::remove(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), output.c_str()) != 0) {
        const int error = errno;
        std::fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, output.c_str(),
                     std::strerror(error));
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

void WarnIfFontMissing() {
    const QFont font = PainterSurface::DefaultFont();
    if (QFontInfo(font).family() != QString::fromLatin1(PainterSurface::kFontFamily)) {
        std::fprintf(stderr,
                     "%s: warning: the font %s is missing (Debian package "
                     "fonts-ipafont-gothic); the labels will be misplaced\n",
                     kProgram, PainterSurface::kFontFamily);
    }
}

} // namespace

int main(int argc, char** argv) {
    const Request request = ParseArguments(argc, argv);
    if (!request.options) {
        return request.exitStatus;
    }
    const Options& options = *request.options;

    WaveRecord record;
    const std::string input = AbsolutePath(options.input);
    const LoadOutcome outcome = LoadWaveFileExplained(record, input);
    if (outcome.status != LoadStatus::Loaded) {
        ReportRejection(outcome, input);
        return kFailure;
    }
    record.loaded = 1;

    // Headless always: the image never needs a display. Qt reads no arguments of ours.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QGuiApplication application(qtArgc, qtArgv);
    WarnIfFontMissing();

    return WritePng(Render(record, options.scale), options.output) ? kSuccess : kFailure;
}
