// voq006-render: paints what the viewer's window shows after opening a wave file into a
// PNG image, without a display.
//
// main reads the command line, starts the reader program on the file (a confined process of
// its own, wave/ReaderProcess.h), starts Qt while the reader parses, paints the picture or
// the thumbnail from the reader's answer and writes it. The helpers decide and return what
// happened; every line the program prints is made here.

#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "display/ViewDrawing.h"
#include "display/WaveformPlot.h"
#include "display/qt/PainterSurface.h"
#include "tools/PngOutput.h"
#include "tools/RenderCommandLine.h"
#include "tools/Thumbnail.h"
#include "wave/ReaderProcess.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

namespace {

// The path as the viewer's Open dialog would give it: absolute, but with its links and
// dot segments as typed.
std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.string();
}

// A byte offset as people read it: "1,234".
std::string GroupedDecimal(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (std::size_t at = 0; at < digits.size(); ++at) {
        if (at > 0 && (digits.size() - at) % 3 == 0) {
            grouped.push_back(',');
        }
        grouped.push_back(digits[at]);
    }
    return grouped;
}

// Why the file at path was rejected, and where in it, for the checks that read a place.
std::string RejectionReason(const LoadOutcome& outcome, const std::string& path) {
    std::string reason;
    switch (outcome.status) {
    case LoadStatus::NotRiffWave:
    case LoadStatus::ZeroBlockAlign:
        reason = DescribeLoadStatus(outcome.status);
        break;
    case LoadStatus::NoDataChunk: {
        // The search ends where the file ends or where the RIFF form says it does.
        struct stat status {};
        const bool fileEnded = stat(path.c_str(), &status) == 0 &&
                               outcome.offset >= static_cast<std::uint64_t>(status.st_size);
        reason = fileEnded ? "no data chunk before the end of the file"
                           : "no data chunk before the end of the RIFF form";
        break;
    }
    case LoadStatus::UnsupportedFormat: {
        // "compressed or unknown format IMA ADPCM (0x0011)"; an unnamed code alone.
        char code[8];
        std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(outcome.formatCode));
        const char* name = DescribeFormatCode(outcome.formatCode);
        reason = std::string(DescribeLoadStatus(outcome.status)) + " " +
                 (name != nullptr ? std::string(name) + " (" + code + ")" : std::string(code));
        break;
    }
    default:
        return DescribeLoadStatus(outcome.status);
    }
    reason.append(" at byte ").append(GroupedDecimal(outcome.offset));
    return reason;
}

void ReportRejection(const LoadOutcome& outcome, const std::string& path) {
    switch (outcome.status) {
    case LoadStatus::CannotOpen:
        std::fprintf(stderr, "%s: cannot open %s: %s\n", kProgram, path.c_str(),
                     std::strerror(outcome.errorNumber));
        break;
    case LoadStatus::ReadError:
        std::fprintf(stderr, "%s: cannot read %s at byte %s: %s\n", kProgram, path.c_str(),
                     GroupedDecimal(outcome.offset).c_str(), std::strerror(outcome.errorNumber));
        break;
    default:
        std::fprintf(stderr, "%s: %s: %s\n", kProgram, RejectionReason(outcome, path).c_str(),
                     path.c_str());
        break;
    }
}

// Says why the image was not written.
void ReportOutput(const OutputOutcome& outcome, const std::string& output) {
    switch (outcome.status) {
    case OutputStatus::Written:
        break;
    case OutputStatus::CannotPaint:
        std::fprintf(stderr, "%s: cannot paint the picture: %s\n", kProgram,
                     std::strerror(outcome.errorNumber));
        break;
    case OutputStatus::CannotEncode:
        std::fprintf(stderr, "%s: cannot encode the picture as PNG: %s\n", kProgram,
                     outcome.detail.empty() ? std::strerror(outcome.errorNumber)
                                            : outcome.detail.c_str());
        break;
    case OutputStatus::CannotWrite:
        std::fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, output.c_str(),
                     std::strerror(outcome.errorNumber));
        break;
    case OutputStatus::OutputIsInput:
        std::fprintf(stderr, "%s: cannot write %s: it is the input file\n", kProgram,
                     output.c_str());
        break;
    case OutputStatus::CannotFillHeldFile:
        std::fprintf(stderr, "%s: cannot write %s into the file its caller holds open: %s\n",
                     kProgram, output.c_str(), std::strerror(outcome.errorNumber));
        break;
    }
}

// Prints what a request that ends at once asks for; its exit status.
int ShowRequest(const Request& request) {
    switch (request.action) {
    case Action::ShowHelp:
        std::fputs((UsageText() + HelpText()).c_str(), stdout);
        return kSuccess;
    case Action::ShowVersion:
        std::printf("%s %s\n", kProgram, VOQ_DISPLAY_VERSION);
        return kSuccess;
    default:
        std::fprintf(stderr, "%s: %s\n%s", kProgram, request.problem.c_str(), UsageText().c_str());
        return kUsageError;
    }
}

// The window's client area after the file was opened: erased to white, then the
// information lines and the plot, as the view paints them.
QImage Render(const WaveRecord& record, int scale) {
    QImage image(kDrawingWidth * scale, kDrawingHeight * scale, QImage::Format_RGB32);
    if (image.isNull()) {
        return image; // no memory for the pixels: WritePng says so (CannotPaint)
    }
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

// Qt's own messages. Its debug and information output and the notes of QStandardPaths
// (a missing XDG_RUNTIME_DIR outside a desktop session; the renderer keeps nothing there)
// are not the user's concern, and a successful run prints nothing; any other warning or
// error is passed on.
void ReportQtMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtDebugMsg || type == QtInfoMsg ||
        (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: ")))) {
        return;
    }
    std::fprintf(stderr, "%s: %s\n", kProgram, message.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char** argv) {
    const Request request = ParseArguments(argc, argv);
    if (request.action != Action::Render) {
        return ShowRequest(request);
    }
    const Options& options = request.options;

    // The picture reads one frame per column of the plot and the peak: the reader streams
    // the file once for those, so that a file of any size costs little memory and time. It
    // starts here, while this process has one thread, and parses while Qt starts: for a
    // thumbnail the two take about as long, and the load needs no Qt. The file is opened by
    // the path as given, which may be longer than an absolute path can be; the picture's
    // path line shows the absolute form, as the Open dialog gives it.
    std::promise<void> loadEnded;
    ReaderProcess reader(options.input, kWaveformColumns, [&] { loadEnded.set_value(); });
    if (reader.InProcess()) {
        std::fprintf(stderr, "%s: %s is missing; the file is read in this process, unconfined\n",
                     kProgram, ReaderProcess::ProgramBesideThisOne().c_str());
    }

    // Headless always: the image never needs a display. Qt reads no arguments of ours.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(ReportQtMessage);
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QGuiApplication application(qtArgc, qtArgv);

    loadEnded.get_future().wait();
    const LoadOutcome outcome = reader.Outcome();
    if (outcome.status != LoadStatus::Loaded) {
        ReportRejection(outcome, options.input);
        return kFailure;
    }
    WaveRecord record = std::move(reader.Record());
    record.path = AbsolutePath(options.input);
    record.loaded = 1;
    if (!PainterSurface::DefaultFontLoads()) {
        std::fprintf(stderr,
                     "%s: cannot load the font %s (Debian package fonts-ipafont-gothic), which "
                     "the picture is laid out for\n",
                     kProgram, PainterSurface::kFontFamily);
        return kFailure;
    }

    // The file just read is never written, under whatever name the output reaches it.
    const std::optional<FileIdentity> input = IdentityOf(options.input);
    OutputOutcome written;
    if (options.thumbnailSize) {
        QImage thumbnail = RenderThumbnail(record, *options.thumbnailSize);
        AddThumbnailKeys(thumbnail, options.input);
        written = WriteThumbnail(thumbnail, options.output, input);
    } else {
        QByteArray png;
        written = WritePng(Render(record, options.scale), options.output, input, png);
    }
    ReportOutput(written, options.output);
    return written.Written() ? kSuccess : kFailure;
}
