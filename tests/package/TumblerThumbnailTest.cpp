// The installed thumbnailer entry through a real thumbnailer service: Debian's tumbler,
// on a D-Bus session of its own, finds the entry through XDG_DATA_DIRS, runs the installed
// voq006-render for a wave file and stores the thumbnail in the user's cache, where every
// file manager looks for it.

#include <QCryptographicHash>
#include <QImage>
#include <QString>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/package/PackageTestSupport.h"
#include "tests/support/TemporaryFolder.h"

namespace {

const std::filesystem::path kPrefix = VOQ_INSTALL_TREE;

// Runs inside the session: listens to the thumbnailer's signals, asks it for the thumbnail
// of the URI $1 and waits for the request to finish. Every wait is bounded.
constexpr const char* kSessionScript = R"(
log="$2/signals.log"
dbus-monitor --session "type='signal',interface='org.freedesktop.thumbnails.Thumbnailer1'" \
    >"$log" 2>&1 &
i=0
until grep -q NameAcquired "$log"; do
    i=$((i + 1)); [ $i -lt 600 ] || { echo "dbus-monitor did not start"; exit 3; }; sleep 0.1
done
dbus-send --session --print-reply --dest=org.freedesktop.thumbnails.Thumbnailer1 \
    /org/freedesktop/thumbnails/Thumbnailer1 org.freedesktop.thumbnails.Thumbnailer1.Queue \
    "array:string:$1" array:string:audio/x-wav string:normal string:default uint32:0 || exit 4
i=0
until grep -q member=Finished "$log"; do
    i=$((i + 1)); [ $i -lt 900 ] || { echo "no Finished signal"; cat "$log"; exit 5; }; sleep 0.1
done
cat "$log"
)";

std::string Md5Hex(const std::string& text) {
    return QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Md5)
        .toHex()
        .toStdString();
}

int CountPixels(const QImage& image, QRgb colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
        }
    }
    return count;
}

// Asks tumbler, on a session of its own with the given locale variables, for the thumbnail
// of a copy of the sample in folder; the thumbnail as stored in the cache, or a null image.
QImage ThumbnailThroughTumbler(const std::filesystem::path& folder,
                               const std::vector<std::string>& locale) {
    const std::filesystem::path sound = folder / "stereo-sweep.wav";
    std::filesystem::copy_file(VOQ_SAMPLES "/stereo-sweep.wav", sound);
    // Debian's tumbler ranks its GStreamer thumbnailer first, and that one makes nothing for
    // wave files: switched off here as the README tells Xfce users to.
    std::filesystem::create_directories(folder / "config/tumbler");
    std::ofstream(folder / "config/tumbler/tumbler.rc") << "[GstThumbnailer]\nDisabled=true\n";
    const std::string uri = "file://" + sound.string();

    const char* path = std::getenv("PATH");
    std::vector<std::string> command = {
        "env",
        "-u",
        "LC_ALL",
        "-u",
        "LC_CTYPE",
        "-u",
        "LANG",
        "-u",
        "LANGUAGE",
        "XDG_DATA_DIRS=" + (kPrefix / "share").string() + ":/usr/local/share:/usr/share",
        "XDG_CACHE_HOME=" + (folder / "cache").string(),
        "XDG_CONFIG_HOME=" + (folder / "config").string(),
        "PATH=" + (kPrefix / "bin").string() + ":" + (path != nullptr ? path : "/usr/bin:/bin"),
    };
    command.insert(command.end(), locale.begin(), locale.end());
    command.insert(command.end(), {"timeout", "150", "dbus-run-session", "--", "sh", "-c",
                                   kSessionScript, "sh", uri, folder.string()});
    const CommandResult run = RunCommand(command);
    EXPECT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_EQ(run.output.find("member=Error"), std::string::npos) << run.output;

    const std::filesystem::path thumbnail =
        folder / "cache/thumbnails/normal" / (Md5Hex(uri) + ".png");
    EXPECT_TRUE(std::filesystem::exists(thumbnail)) << run.output;
    QImage image(QString::fromStdString(thumbnail.string()));
    EXPECT_EQ(image.text(QStringLiteral("Thumb::URI")).toStdString(), uri);
    return image;
}

TEST(TumblerThumbnail, AppearsInTheCacheForAWaveFile) {
    TemporaryFolder work;
    const QImage image = ThumbnailThroughTumbler(work.Path(), {});
    ASSERT_FALSE(image.isNull());
    EXPECT_LE(std::max(image.width(), image.height()), 128);
    // The plot's box scaled to 128 pixels wide, with both traces: this renderer's picture.
    EXPECT_EQ(image.width(), 128);
    EXPECT_EQ(image.height(), 49);
    EXPECT_GT(CountPixels(image, qRgb(0, 0, 255)), 200) << "the left channel in blue";
    EXPECT_GT(CountPixels(image, qRgb(255, 0, 0)), 200) << "the right channel in red";

    // A Japanese user gets the same thumbnail: fontconfig names the renderer's font in the
    // user's language there, which must not stop the renderer.
    for (const char* locale : {"LANG=ja_JP.UTF-8", "LC_CTYPE=ja_JP.UTF-8"}) {
        TemporaryFolder japanese;
        EXPECT_TRUE(ThumbnailThroughTumbler(japanese.Path(), {locale}) == image) << locale;
    }
}

} // namespace
