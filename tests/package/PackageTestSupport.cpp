#include "tests/package/PackageTestSupport.h"

#include <QImage>
#include <QString>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

constexpr const char* kId = VOQ_APPLICATION_ID;

} // namespace

CommandResult RunCommand(const std::vector<std::string>& arguments) {
    CommandResult result;
    int pipeEnds[2];
    if (arguments.empty() || pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        close(pipeEnds[0]);
        result.output = "cannot start " + arguments[0];
        return result;
    }
    std::array<char, 4096> buffer;
    ssize_t count = 0;
    while ((count = read(pipeEnds[0], buffer.data(), buffer.size())) != 0) {
        if (count > 0) {
            result.output.append(buffer.data(), static_cast<std::size_t>(count));
        } else if (errno != EINTR) {
            break;
        }
    }
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

CommandResult RunShell(const std::string& commandLine) {
    return RunCommand({"sh", "-c", commandLine});
}

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream contents;
    contents << stream.rdbuf();
    return contents.str();
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
        {16, 16, 1}, {32, 32, 1}, {48, 16, 3}, {64, 32, 2}, {128, 32, 4}, {256, 32, 8},
    };
    return sizes;
}

std::string IconPath(int size) {
    const std::string folder = std::to_string(size) + "x" + std::to_string(size);
    return "share/icons/hicolor/" + folder + "/apps/" + kId + ".png";
}

std::set<std::string> ExpectedInstalledFiles() {
    std::set<std::string> files{
        "bin/voq006",
        "bin/voq006-render",
        std::string("share/applications/") + kId + ".desktop",
        std::string("share/metainfo/") + kId + ".metainfo.xml",
        std::string("share/thumbnailers/") + kId + ".thumbnailer",
        "share/man/man1/voq006.1.gz",
        "share/man/man1/voq006-render.1.gz",
        "share/doc/voq006/copyright",
        "share/doc/voq006/changelog.gz",
    };
    for (const IconSize& size : IconSizes()) {
        files.insert(IconPath(size.size));
    }
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
    const std::string bytes = ReadWholeFile(path);
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

testing::AssertionResult IsWholeEnlargementOfDesign(const std::filesystem::path& png,
                                                    const IconSize& size) {
    const std::string design =
        VOQ_SOURCE_DIR "/resources/icons/voq006-" + std::to_string(size.picture) + ".xpm";
    const QImage source =
        QImage(QString::fromStdString(design), "XPM").convertToFormat(QImage::Format_ARGB32);
    const QImage icon =
        QImage(QString::fromStdString(png.string()), "PNG").convertToFormat(QImage::Format_ARGB32);
    if (source.isNull() || icon.isNull()) {
        return testing::AssertionFailure() << "cannot read " << design << " or " << png;
    }
    if (icon.width() != size.size || icon.height() != size.size) {
        return testing::AssertionFailure()
               << png << " is " << icon.width() << "x" << icon.height() << ", not " << size.size;
    }
    for (int y = 0; y < icon.height(); ++y) {
        for (int x = 0; x < icon.width(); ++x) {
            const QRgb expected = source.pixel(x / size.factor, y / size.factor);
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
