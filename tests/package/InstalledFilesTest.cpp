// What `cmake --install` puts under a fresh prefix, checked with the tools a
// distribution checks such files with.

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <utility>

#include <QFile>
#include <QImage>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include "tests/package/PackageTestSupport.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WavBuilder.h"

namespace {

const std::filesystem::path kPrefix = VOQ_INSTALL_TREE;
constexpr const char* kId = VOQ_APPLICATION_ID;

std::filesystem::path Installed(const std::string& relative) {
    return kPrefix / relative;
}

mode_t ModeOf(const std::filesystem::path& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 ? status.st_mode : 0;
}

// The keys of the desktop entry's one group.
std::map<std::string, std::string> DesktopEntryKeys(const std::string& text) {
    std::map<std::string, std::string> keys;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const auto equals = line.find('=');
        if (!line.empty() && line[0] != '#' && line[0] != '[' && equals != std::string::npos) {
            keys[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return keys;
}

TEST(InstalledFiles, AreExactlyTheProgramsAndTheirDesktopFiles) {
    EXPECT_EQ(FilesUnder(kPrefix), ExpectedInstalledFiles());
}

TEST(InstalledFiles, ProgramsAreExecutableAndTheRestReadableByAll) {
    for (const std::string& file : ExpectedInstalledFiles()) {
        const mode_t expected = IsInstalledProgram(file) ? 0755 : 0644;
        EXPECT_EQ(ModeOf(Installed(file)), S_IFREG | expected) << file;
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kPrefix)) {
        if (entry.is_directory()) {
            EXPECT_EQ(ModeOf(entry.path()), S_IFDIR | 0755) << entry.path();
        }
    }
}

TEST(InstalledFiles, ManualPagesAndChangelogAreTheSourcesCompressedReproducibly) {
    const struct {
        const char* installed;
        const char* source;
    } cases[] = {
        {"share/man/man1/voq006.1.gz", "resources/man/voq006.1"},
        {"share/man/man1/voq006-render.1.gz", "resources/man/voq006-render.1"},
        {"share/doc/voq006/changelog.gz", "resources/debian/changelog"},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(IsGzipBestWithoutNameOrTime(Installed(c.installed)));
        const CommandResult plain = RunCommand({"gzip", "-dc", Installed(c.installed)});
        EXPECT_EQ(plain.exitStatus, 0) << c.installed;
        EXPECT_EQ(plain.output,
                  ReadFile<std::string>(std::filesystem::path(VOQ_SOURCE_DIR) / c.source))
            << c.installed;
    }
}

TEST(InstalledFiles, ManualPagesFormatWithoutWarnings) {
    for (const char* page : {"voq006.1.gz", "voq006-render.1.gz"}) {
        const std::string path = Installed(std::string("share/man/man1/") + page);
        // Only the diagnostics come back; the formatted page goes to /dev/null.
        const CommandResult man =
            RunShell("LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l '" + path + "' 2>&1 >/dev/null");
        EXPECT_EQ(man.exitStatus, 0) << page;
        EXPECT_EQ(man.output, "") << page;
        const CommandResult text = RunShell("LC_ALL=C.UTF-8 MANWIDTH=80 man -l '" + path + "'");
        EXPECT_NE(text.output.find("NAME"), std::string::npos) << page;
        EXPECT_NE(text.output.find("SEE ALSO"), std::string::npos) << page;
    }
}

TEST(InstalledFiles, ChangelogLeadsWithThisVersion) {
    EXPECT_EQ(ChangelogField("Version"), VOQ_DISPLAY_VERSION);
    EXPECT_EQ(ChangelogField("Source"), "voq006");
}

TEST(DesktopEntry, PassesDesktopFileValidate) {
    const CommandResult result =
        RunCommand({"desktop-file-validate",
                    Installed(std::string("share/applications/") + kId + ".desktop")});
    EXPECT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_EQ(result.output.find("error:"), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find("warning:"), std::string::npos) << result.output;
}

TEST(DesktopEntry, LaunchesTheViewerUnderItsIconAndWindowClass) {
    const auto keys = DesktopEntryKeys(
        ReadFile<std::string>(Installed(std::string("share/applications/") + kId + ".desktop")));
    const std::map<std::string, std::string> expected{
        {"Type", "Application"},
        {"Name", "VOQ006"},
        {"GenericName", "Wave File Viewer"},
        {"GenericName[ja]", "波形ファイルビューア"},
        // English for every desktop, the window's caption for a Japanese one.
        {"Comment", "Show the waveform of a RIFF/WAVE sound file"},
        {"Comment[ja]", "ソラニカの波動"},
        // No field code: a file named on the command line would load nothing.
        {"Exec", "voq006"},
        {"Icon", kId},
        {"Terminal", "false"},
        {"Categories", "AudioVideo;Audio;Viewer;"},
        // The class part of the window's WM_CLASS is the program's name.
        {"StartupWMClass", "VOQ006"},
    };
    for (const auto& [key, value] : expected) {
        ASSERT_TRUE(keys.contains(key)) << key;
        EXPECT_EQ(keys.at(key), value) << key;
    }
    EXPECT_FALSE(keys.contains("MimeType"));
}

// The thumbnailer entry as a file manager runs it: its field codes replaced by the size and
// the two paths, which the renderer takes as paths even when they start with a dash.
TEST(ThumbnailerEntry, RunsTheInstalledRendererWithPathsThatLookLikeOptions) {
    const auto keys = DesktopEntryKeys(ReadFile<std::string>(
        Installed(std::string("share/thumbnailers/") + kId + ".thumbnailer")));
    ASSERT_TRUE(keys.contains("Exec"));
    EXPECT_EQ(keys.at("TryExec"), "voq006-render");
    std::string command = keys.at("Exec");
    for (const auto& [code, value] : {std::pair<std::string, std::string>{"%s", "128"},
                                      {"%i", "--scale"},
                                      {"%o", "-thumbnail.png"}}) {
        const auto at = command.find(code);
        ASSERT_NE(at, std::string::npos) << code;
        command.replace(at, code.size(), value);
    }
    TemporaryFolder folder;
    std::filesystem::copy_file(VOQ_SOURCE_DIR "/samples/stereo-sweep.wav", folder.File("--scale"));
    const CommandResult run = RunShell("cd '" + folder.Path().string() + "' && PATH='" +
                                       Installed("bin").string() + "':\"$PATH\" " + command);
    EXPECT_EQ(run.exitStatus, 0) << command << "\n" << run.output;
    EXPECT_EQ(QImage(QString::fromStdString(folder.File("-thumbnail.png"))).width(), 128);
}

TEST(Metainfo, PassesAppstreamValidationWithoutRemarks) {
    const CommandResult result =
        RunCommand({"appstreamcli", "validate", "--no-net", "--pedantic",
                    Installed(std::string("share/metainfo/") + kId + ".metainfo.xml")});
    EXPECT_EQ(result.exitStatus, 0) << result.output;
    for (const char* remark : {"E:", "W:", "I:", "P:"}) {
        EXPECT_EQ(result.output.find(remark), std::string::npos) << result.output;
    }
}

TEST(Metainfo, NamesTheDesktopEntryAndThisRelease) {
    const std::string text =
        ReadFile<std::string>(Installed(std::string("share/metainfo/") + kId + ".metainfo.xml"));
    // The release date is the one of the changelog's newest entry.
    const CommandResult date = RunCommand({"date", "-u", "+%F", "-d", ChangelogField("Date")});
    ASSERT_EQ(date.exitStatus, 0);
    const std::string releaseDate = date.output.substr(0, date.output.find('\n'));
    for (const std::string& element : {
             std::string("<id>") + kId + "</id>",
             std::string("<launchable type=\"desktop-id\">") + kId + ".desktop</launchable>",
             std::string("<release version=\"" VOQ_DISPLAY_VERSION "\" date=\"") + releaseDate +
                 "\"/>",
         }) {
        EXPECT_NE(text.find(element), std::string::npos) << element;
    }
}

TEST(ThemeIcons, AreTheDesignAtItsOwnSizesAndTheDrawingRenderedAbove) {
    for (const IconSize& size : IconSizes()) {
        EXPECT_TRUE(IsThemeIcon(Installed(IconPath(size.size)), size));
    }
}

TEST(ThemeIcons, TheScalableOneIsAnSvgDrawingOfTheIconThatRendersAsTheLargestPng) {
    const std::filesystem::path drawing = Installed(ScalableIconPath());
    QFile file(QString::fromStdString(drawing.string()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << drawing;
    QXmlStreamReader xml(&file);
    ASSERT_TRUE(xml.readNextStartElement()) << xml.errorString().toStdString();
    EXPECT_EQ(xml.name().toString().toStdString(), "svg");
    EXPECT_EQ(xml.namespaceUri().toString().toStdString(), "http://www.w3.org/2000/svg");
    EXPECT_EQ(xml.attributes().value("viewBox").toString().toStdString(), "0 0 32 32");
    while (!xml.atEnd()) {
        xml.readNext();
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();

    // What an icon theme makes of it is the theme's largest PNG.
    TemporaryFolder folder;
    const std::string rendered = folder.File("256.png");
    const CommandResult render = RunCommand(
        {"rsvg-convert", "--width", "256", "--height", "256", "--output", rendered, drawing});
    ASSERT_EQ(render.exitStatus, 0) << render.output;
    EXPECT_EQ(QImage(QString::fromStdString(rendered)).convertToFormat(QImage::Format_ARGB32),
              QImage(QString::fromStdString(Installed(IconPath(256)).string()))
                  .convertToFormat(QImage::Format_ARGB32));
}

} // namespace
