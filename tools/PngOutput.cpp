#include "tools/PngOutput.h"

#include <QImage>
#include <QImageWriter>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tools/RenderCommandLine.h"

namespace {

mode_t CurrentUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

// Writes the image to a temporary file beside output and renames it into place, so that
// output is either the whole new image or untouched.
} // namespace

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
