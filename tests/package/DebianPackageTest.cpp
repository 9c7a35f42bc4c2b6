// The .deb that CPack makes from this build: its control fields, its file list, what
// lintian says of it, and the renderer run from the unpacked package.

#include <QImage>
#include <QString>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/package/PackageTestSupport.h"
#include "tests/support/TemporaryFolder.h"

namespace {

std::filesystem::path ThePackage() {
    const std::string name = "voq006_" VOQ_DISPLAY_VERSION "_" +
                             RunShell("dpkg --print-architecture | tr -d '\\n'").output + ".deb";
    return std::filesystem::path(VOQ_DEB_FOLDER) / name;
}

std::string ControlField(const std::string& field) {
    CommandResult result = RunCommand({"dpkg-deb", "--field", ThePackage(), field});
    while (!result.output.empty() && result.output.back() == '\n') {
        result.output.pop_back();
    }
    return result.output;
}

// One line of `dpkg-deb --contents`: permissions, owner/group, size, date, time, path.
struct ArchiveEntry {
    std::string permissions;
    std::string owner;
    std::string path;
};

std::vector<ArchiveEntry> ArchiveEntries() {
    std::vector<ArchiveEntry> entries;
    std::istringstream lines(RunCommand({"dpkg-deb", "--contents", ThePackage()}).output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        ArchiveEntry entry;
        std::string size, date, time;
        fields >> entry.permissions >> entry.owner >> size >> date >> time >> entry.path;
        entries.push_back(entry);
    }
    return entries;
}

class UnpackedPackage : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RunCommand({"dpkg-deb", "-x", ThePackage(), m_root.Path()}).exitStatus, 0);
    }
    std::filesystem::path Usr(const std::string& relative) const {
        return m_root.Path() / "usr" / relative;
    }
    TemporaryFolder m_root;
};

TEST(DebianPackage, ControlFieldsDescribeTheViewer) {
    const struct {
        const char* field;
        std::string value;
    } cases[] = {
        {"Package", "voq006"},
        {"Version", VOQ_DISPLAY_VERSION},
        {"Architecture", RunShell("dpkg --print-architecture | tr -d '\\n'").output},
        {"Section", "sound"},
        {"Priority", "optional"},
        {"Maintainer", ChangelogField("Maintainer")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ControlField(c.field), c.value) << c.field;
    }
}

TEST(DebianPackage, DependsOnTheFontAndTheLibrariesItLinks) {
    const std::string depends = ControlField("Depends");
    for (const char* package :
         {"fonts-ipafont-gothic", "qt6-translations-l10n", "libqt6widgets6", "libqt6gui6",
          "libqt6core6", "libxcb1", "libc6", "libstdc++6", "libseccomp2"}) {
        EXPECT_NE(depends.find(package), std::string::npos) << package << " in " << depends;
    }
}

TEST(DebianPackage, HasASynopsisAndALongDescription) {
    const std::string description = ControlField("Description");
    const std::string synopsis = description.substr(0, description.find('\n'));
    EXPECT_EQ(synopsis, "viewer for RIFF/WAVE sound files");
    EXPECT_GT(std::count(description.begin(), description.end(), '\n'), 3) << description;
}

TEST(DebianPackage, HoldsTheInstalledFilesOwnedByRootUnderUsr) {
    std::set<std::string> files;
    for (const ArchiveEntry& entry : ArchiveEntries()) {
        EXPECT_EQ(entry.owner, "root/root") << entry.path;
        ASSERT_TRUE(entry.path.starts_with("./usr/")) << entry.path;
        if (entry.permissions.starts_with("d")) {
            EXPECT_EQ(entry.permissions, "drwxr-xr-x") << entry.path;
        } else {
            const std::string relative = entry.path.substr(std::string("./usr/").size());
            files.insert(relative);
            EXPECT_EQ(entry.permissions, IsInstalledProgram(relative) ? "-rwxr-xr-x" : "-rw-r--r--")
                << entry.path;
        }
    }
    EXPECT_EQ(files, ExpectedInstalledFiles());
}

TEST(DebianPackage, LintianFindsNoErrors) {
    const CommandResult lintian = RunCommand({"lintian", "--fail-on", "error", ThePackage()});
    EXPECT_EQ(lintian.exitStatus, 0) << lintian.output;
    EXPECT_EQ(lintian.output.find("\nE: "), std::string::npos) << lintian.output;
    EXPECT_FALSE(lintian.output.starts_with("E: ")) << lintian.output;
}

TEST_F(UnpackedPackage, ProgramsAreStripped) {
    for (const std::string& program : InstalledPrograms()) {
        const std::string kind = RunCommand({"file", "-b", Usr(program)}).output;
        EXPECT_NE(kind.find("ELF"), std::string::npos) << kind;
        EXPECT_NE(kind.find(", stripped"), std::string::npos) << program << ": " << kind;
    }
}

TEST_F(UnpackedPackage, RendererReportsThisVersion) {
    const CommandResult version = RunCommand({Usr("bin/voq006-render"), "--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.output, "voq006-render " VOQ_DISPLAY_VERSION "\n");
}

TEST_F(UnpackedPackage, RendererPaintsTheStereoSample) {
    const std::string image = (m_root.Path() / "stereo.png").string();
    const CommandResult render =
        RunCommand({Usr("bin/voq006-render"), VOQ_SOURCE_DIR "/samples/stereo-sweep.wav", image});
    ASSERT_EQ(render.exitStatus, 0) << render.output;
    EXPECT_EQ(render.output, "") << "the renderer found its reader program where it is installed";
    const QImage picture(QString::fromStdString(image), "PNG");
    ASSERT_EQ(picture.size(), QSize(960, 440));
    // Both traces are there: the left channel in blue, the right one in red.
    bool blue = false;
    bool red = false;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            blue = blue || picture.pixel(x, y) == qRgb(0, 0, 255);
            red = red || picture.pixel(x, y) == qRgb(255, 0, 0);
        }
    }
    EXPECT_TRUE(blue);
    EXPECT_TRUE(red);
}

TEST_F(UnpackedPackage, ThemeIconsAreTheDesign) {
    for (const IconSize& size : IconSizes()) {
        EXPECT_TRUE(IsThemeIcon(Usr(IconPath(size.size)), size));
    }
}

TEST_F(UnpackedPackage, CompressedDocumentsCarryNoNameOrTime) {
    for (const char* file : {"share/man/man1/voq006.1.gz", "share/man/man1/voq006-render.1.gz",
                             "share/doc/voq006/changelog.gz"}) {
        EXPECT_TRUE(IsGzipBestWithoutNameOrTime(Usr(file)));
    }
}

} // namespace
