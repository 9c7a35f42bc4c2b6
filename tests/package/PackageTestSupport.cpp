#include "tests/package/PackageTestSupport.h"

#include <algorithm>

#include <QImage>
#include <QString>

#include "tests/support/WavBuilder.h"

namespace {

constexpr const char* kId = VOQ_APPLICATION_ID;

} // namespace

CommandResult RunCommand(const std::vector<std::string>& arguments) {
    return RunProcess(arguments);
}

CommandResult RunShell(const std::string& commandLine) {
    return RunCommand({"sh", "-c", commandLine});
}

std::set<std::string> FilesUnder(const std::filesystem::path& root) {
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_directory()) {
            files.insert(entry.path().lexically_relative(root).string());
        }
    }
    return files;
}

const std::vector<IconSize>& IconSizes() {
    static const std::vector<IconSize> sizes{
        {16, 16}, {32, 32}, {48, 0}, {64, 0}, {128, 0}, {256, 0},
    };
    return sizes;
}

std::string IconPath(int size) {
    const std::string folder = std::to_string(size) + "x" + std::to_string(size);
    return "share/icons/hicolor/" + folder + "/apps/" + kId + ".png";
}

std::string ScalableIconPath() {
    return std::string("share/icons/hicolor/scalable/apps/") + kId + ".svg";
}

const std::vector<std::string>& InstalledPrograms() {
    static const std::vector<std::string> programs{"bin/voq006", "bin/voq006-render",
                                                   "libexec/voq006/voq006-reader"};
    return programs;
}

bool IsInstalledProgram(const std::string& relative) {
    const auto& programs = InstalledPrograms();
    return std::find(programs.begin(), programs.end(), relative) != programs.end();
}

std::set<std::string> ExpectedInstalledFiles() {
    std::set<std::string> files(InstalledPrograms().begin(), InstalledPrograms().end());
    files.insert({
        std::string("share/applications/") + kId + ".desktop",
        std::string("share/metainfo/") + kId + ".metainfo.xml",
        std::string("share/thumbnailers/") + kId + ".thumbnailer",
        "share/man/man1/voq006.1.gz",
        "share/man/man1/voq006-render.1.gz",
        "share/doc/voq006/copyright",
        "share/doc/voq006/changelog.gz",
    });
    for (const IconSize& size : IconSizes()) {
        files.insert(IconPath(size.size));
    }
    files.insert(ScalableIconPath());
    return files;
}

std::string ChangelogField(const std::string& field) {
    const CommandResult result = RunCommand(
        {"dpkg-parsechangelog", "-l", VOQ_SOURCE_DIR "/resources/debian/changelog", "-S", field});
    std::string value = result.exitStatus == 0 ? result.output : std::string();
    while (!value.empty() && value.back() == '\n') {
        value.pop_back();
    }
    return value;
}

testing::AssertionResult IsGzipBestWithoutNameOrTime(const std::filesystem::path& path) {
    // The gzip header: magic 1f 8b, method 8, flags, four bytes of time stamp, then the
    // extra flags, which are 2 for the slowest, best compression.
    const std::string bytes = ReadFile<std::string>(path);
    if (bytes.size() < 10 || static_cast<unsigned char>(bytes[0]) != 0x1f ||
        static_cast<unsigned char>(bytes[1]) != 0x8b || bytes[2] != 8) {
        return testing::AssertionFailure() << path << " is not gzip data";
    }
    constexpr unsigned char kHasName = 0x08;
    if ((static_cast<unsigned char>(bytes[3]) & kHasName) != 0) {
        return testing::AssertionFailure() << path << " holds a file name";
    }
    if (bytes.substr(4, 4) != std::string(4, '\0')) {
        return testing::AssertionFailure() << path << " holds a time stamp";
    }
    if (bytes[8] != 2) {
        return testing::AssertionFailure() << path << " is not compressed with -9";
    }
    return testing::AssertionSuccess();
}

namespace {

testing::AssertionResult IsDesign(const QImage& icon, const std::filesystem::path& png,
                                  int picture) {
    const std::string design =
        VOQ_SOURCE_DIR "/resources/icons/voq006-" + std::to_string(picture) + ".xpm";
    const QImage source =
        QImage(QString::fromStdString(design), "XPM").convertToFormat(QImage::Format_ARGB32);
    if (source.isNull()) {
        return testing::AssertionFailure() << "cannot read " << design;
    }
    for (int y = 0; y < icon.height(); ++y) {
        for (int x = 0; x < icon.width(); ++x) {
            const QRgb expected = source.pixel(x, y);
            const QRgb actual = icon.pixel(x, y);
            // A fully transparent pixel may carry any colour.
            if (actual != expected && (qAlpha(actual) != 0 || qAlpha(expected) != 0)) {
                return testing::AssertionFailure()
                       << png << " differs from the design at (" << x << ", " << y << ")";
            }
        }
    }
    return testing::AssertionSuccess();
}

// A rendering of the drawing: the design's transparent margin and dark frame where they
// belong, and the smooth edges of lines drawn at this size, which a picture enlarged from
// 16 colours by whole factors does not have.
testing::AssertionResult IsRendering(const QImage& icon, const std::filesystem::path& png) {
    const int size = icon.width();
    const auto at = [&](double x, double y) {
        return icon.pixel(static_cast<int>(x * size / 32), static_cast<int>(y * size / 32));
    };
    if (qAlpha(at(0.2, 0.2)) != 0 || qAlpha(at(31.8, 31.8)) != 0) {
        return testing::AssertionFailure() << png << " has no transparent margin";
    }
    for (const QRgb frame : {at(1.5, 16), at(30.5, 16), at(16, 1.5), at(16, 30.5)}) {
        if (qAlpha(frame) != 255 || qRed(frame) > 0x60 || qGreen(frame) > 0x60) {
            return testing::AssertionFailure() << png << " has no dark frame";
        }
    }
    std::set<QRgb> colours;
    for (int y = 0; y < icon.height(); ++y) {
        for (int x = 0; x < icon.width(); ++x) {
            colours.insert(icon.pixel(x, y));
        }
    }
    if (colours.size() < 32) {
        return testing::AssertionFailure()
               << png << " has only " << colours.size() << " colours: it is not drawn smoothly";
    }
    return testing::AssertionSuccess();
}

} // namespace

testing::AssertionResult IsThemeIcon(const std::filesystem::path& png, const IconSize& size) {
    const QImage icon =
        QImage(QString::fromStdString(png.string()), "PNG").convertToFormat(QImage::Format_ARGB32);
    if (icon.isNull()) {
        return testing::AssertionFailure() << "cannot read " << png;
    }
    if (icon.width() != size.size || icon.height() != size.size) {
        return testing::AssertionFailure()
               << png << " is " << icon.width() << "x" << icon.height() << ", not " << size.size;
    }
    return size.picture != 0 ? IsDesign(icon, png, size.picture) : IsRendering(icon, png);
}
