#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "display/InfoLines.h"
#include "display/ViewDrawing.h"
#include "display/WaveformPlot.h"
#include "platform/Confinement.h"
#include "tests/gui/ImageProbe.h"
#include "tests/slowfs/SlowFile.h"
#include "tests/support/CaseName.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/ProcessStatus.h"
#include "tests/support/RecordInvariants.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WavBuilder.h"
#include "wave/WaveFileReader.h"

using namespace image_probe;

// voq006-render run as a user runs it: a real process, its exit status, its output and
// the files it leaves behind.
namespace {

struct ToolRun {
    int exitCode{-1};
    std::string out, err;
};

// Runs program to its end in workingFolder (the test's own when empty), as the user user
// when one is given, with the environment changes applied ("NAME=value" sets NAME, a bare
// "NAME" removes it).
ToolRun Run(const QString& program, const QStringList& arguments, const std::string& workingFolder,
            std::optional<uid_t> user, const std::vector<std::string>& changes = {}) {
    QProcess process;
    // Outside a desktop session, as from a script or a thumbnailer: no runtime folder.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    for (const std::string& change : changes) {
        const std::size_t equals = change.find('=');
        const QString name = QString::fromStdString(change.substr(0, equals));
        if (equals == std::string::npos) {
            environment.remove(name);
        } else {
            environment.insert(name, QString::fromStdString(change.substr(equals + 1)));
        }
    }
    process.setProcessEnvironment(environment);
    if (!workingFolder.empty()) {
        process.setWorkingDirectory(QString::fromStdString(workingFolder));
    }
    if (user) {
        process.setChildProcessModifier([id = *user] {
            if (setgroups(0, nullptr) != 0 || setgid(id) != 0 || setuid(id) != 0) {
                _exit(126);
            }
        });
    }
    process.start(program, arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "voq006-render did not finish within 30 s";
        return {};
    }
    ToolRun run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

ToolRun Render(const std::vector<std::string>& arguments, const std::string& workingFolder = {},
               std::optional<uid_t> user = std::nullopt,
               const std::vector<std::string>& changes = {},
               const std::string& program = VOQ_RENDER_PATH) {
    QStringList list;
    for (const std::string& argument : arguments) {
        list << QString::fromStdString(argument);
    }
    return Run(QString::fromStdString(program), list, workingFolder, user, changes);
}

// voq006-render started by the shell in folder, with words after the program's name as
// the user types them: `in.wav /dev/stdout >> log`.
ToolRun RenderInShell(const std::string& words, const std::string& folder) {
    return Run(QStringLiteral("/bin/sh"),
               {QStringLiteral("-c"), QString::fromStdString("'" VOQ_RENDER_PATH "' " + words)},
               folder, std::nullopt);
}

// The known stereo file: 8400 frames of 16-bit samples at 8000 Hz, left 16000 then
// -8000, right -12000, so the left trace runs along row 64 then row 298 and the right
// one along row 337.
Bytes KnownStereoFile() {
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 8400; ++i) {
        samples.push_back(i < 4200 ? 16000 : -8000);
        samples.push_back(-12000);
    }
    return WavBuilder().SampleRate(8000).Format(2, 16).Samples16(samples).Build();
}

std::vector<std::string> FolderEntries(const TemporaryFolder& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(RenderTool, PaintsTheViewersDrawingIntoAPng) {
    TemporaryFolder folder;
    WriteFile(folder, "known.wav", KnownStereoFile());
    // A relative input: the path line shows it absolute, as the Open dialog gives it.
    const ToolRun run = Render({"known.wav", "known.png"}, folder.Path().string());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "") << "a success prints nothing";
    const QImage image(QString::fromStdString(folder.File("known.png")));
    ASSERT_EQ(image.width(), 960);
    ASSERT_EQ(image.height(), 440);
    EXPECT_TRUE(IsBlue(image.pixel(300, 64)));
    EXPECT_TRUE(IsBlue(image.pixel(700, 298)));
    EXPECT_TRUE(IsRed(image.pixel(300, 337)));
    EXPECT_TRUE(IsWhite(image.pixel(500, 100)));
    EXPECT_TRUE(IsWhite(image.pixel(950, 430)));
    EXPECT_GT(Count(image, 920, 60, 16, 17, IsBlue), 10) << "legend";
    const int pathWidth = 8 * static_cast<int>(folder.File("known.wav").size());
    EXPECT_GT(Count(image, pathWidth - 16, 0, 16, 17, IsBlack), 5) << "the end of the path";
    EXPECT_EQ(Count(image, pathWidth, 0, 960 - pathWidth, 17, IsBlack), 0);
    struct stat status {};
    ASSERT_EQ(stat(folder.File("known.png").c_str(), &status), 0);
    EXPECT_NE(status.st_mode & S_IRGRP, 0u) << "an ordinary file, not a private temporary";
}

TEST(RenderTool, ScaleTwoDoublesTheSize) {
    TemporaryFolder folder;
    const std::string input = WriteFile(folder, "known.wav", KnownStereoFile());
    const std::string output = folder.File("known@2x.png");
    const ToolRun run = Render({"--scale", "2", input, output});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QImage image(QString::fromStdString(output));
    ASSERT_EQ(image.width(), 1920);
    ASSERT_EQ(image.height(), 880);
    EXPECT_EQ(Count(image, 600, 120, 1, 20, IsBlue), 2) << "a 1-pixel line, 2 device pixels";
    EXPECT_TRUE(IsBlue(image.pixel(600, 128)) && IsBlue(image.pixel(601, 129)));
    EXPECT_TRUE(IsRed(image.pixel(600, 674)));
}

TEST(RenderTool, AnExistingOutputIsReplaced) {
    TemporaryFolder folder;
    const std::string input = WriteFile(folder, "known.wav", KnownStereoFile());
    const std::string output = WriteFile(folder, "out.png", Bytes{'o', 'l', 'd'});
    ASSERT_EQ(Render({input, output}).exitCode, 0);
    EXPECT_EQ(QImage(QString::fromStdString(output)).width(), 960);
    EXPECT_EQ(FolderEntries(folder), (std::vector<std::string>{"known.wav", "out.png"}));
}

TEST(RenderTool, RejectedInputsWriteNothingAndSayWhy) {
    struct Case {
        const char* name;
        std::function<std::string(const TemporaryFolder&)> makeInput; // returns its path
        std::string reason; // the message between the program name and the path
    };
    const std::vector<Case> cases = {
        {"not RIFF/WAVE",
         [](const TemporaryFolder& f) { return WriteFile(f, "text.wav", Bytes(64, 'x')); },
         "not a RIFF/WAVE file at byte 0: "},
        {"no data chunk",
         [](const TemporaryFolder& f) {
             return WavBuilder().WithoutDataChunk().WriteTo(f, "nodata.wav");
         },
         "no data chunk before the end of the file at byte 36: "},
        {"missing", [](const TemporaryFolder& f) { return f.File("missing.wav"); },
         "cannot open PATH: No such file or directory"},
        {"a directory",
         [](const TemporaryFolder& f) {
             std::filesystem::create_directory(f.File("folder.wav"));
             return f.File("folder.wav");
         },
         "not a regular file: "},
        // Unreadable even for root, who ignores permission bits: a FIFO with no writer
        // (it must not block), and a path that runs through a file as if it were a folder.
        {"a FIFO",
         [](const TemporaryFolder& f) {
             mkfifo(f.File("pipe.wav").c_str(), 0600);
             return f.File("pipe.wav");
         },
         "not a regular file: "},
        {"a file used as a folder",
         [](const TemporaryFolder& f) {
             WriteFile(f, "plain", KnownStereoFile());
             return f.File("plain/inner.wav");
         },
         "cannot open PATH: Not a directory"},
    };
    for (const Case& c : cases) {
        TemporaryFolder folder;
        const std::string input = c.makeInput(folder);
        const auto before = FolderEntries(folder);
        const ToolRun run = Render({input, folder.File("out.png")});
        std::string expected = "voq006-render: " + c.reason;
        if (const auto at = expected.find("PATH"); at != std::string::npos) {
            expected.replace(at, 4, input);
        } else {
            expected += input;
        }
        EXPECT_EQ(run.exitCode, 1) << c.name;
        EXPECT_EQ(run.err, expected + "\n") << c.name;
        EXPECT_EQ(run.out, "") << c.name;
        EXPECT_EQ(FolderEntries(folder), before) << c.name << ": something was written";
    }
}

TEST(RenderTool, AFileWithoutReadPermissionIsRejected) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root reads a file whatever its permission bits say";
    }
    TemporaryFolder folder;
    const std::string input = WriteFile(folder, "locked.wav", KnownStereoFile());
    chmod(input.c_str(), 0);
    const ToolRun run = Render({input, folder.File("out.png")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "voq006-render: cannot open " + input + ": Permission denied\n");
    EXPECT_FALSE(std::filesystem::exists(folder.File("out.png")));
}

TEST(RenderTool, AnOutputThatCannotBeWrittenLeavesNothing) {
    TemporaryFolder folder;
    const std::string input = WriteFile(folder, "known.wav", KnownStereoFile());
    const std::string intoMissingFolder = folder.File("no/such/folder/out.png");
    ToolRun run = Render({input, intoMissingFolder});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err,
              "voq006-render: cannot write " + intoMissingFolder + ": No such file or directory\n");

    std::filesystem::create_directory(folder.File("taken.png"));
    run = Render({input, folder.File("taken.png")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.rfind("voq006-render: cannot write " + folder.File("taken.png") + ": ", 0),
              0u)
        << run.err;
    EXPECT_EQ(FolderEntries(folder), (std::vector<std::string>{"known.wav", "taken.png"}))
        << "a temporary file was left behind";
    EXPECT_TRUE(std::filesystem::is_empty(folder.File("taken.png")));
}

TEST(RenderTool, UsageErrorsExitWithTwo) {
    TemporaryFolder folder;
    const std::string input = WriteFile(folder, "known.wav", KnownStereoFile());
    const std::string output = folder.File("out.png");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {input},
        {input, output, "third"},
        {"--scale", "0", input, output},
        {"--scale", "9", input, output},
        {"--scale", "two", input, output},
        {"--scale=", input, output},
        {"--scale", "2x", input, output},
        {input, output, "--scale"},
        {"--colour", input, output},
        {"", output},
    };
    for (const auto& arguments : cases) {
        std::string shown;
        for (const auto& argument : arguments) {
            shown += "[" + argument + "] ";
        }
        const ToolRun run = Render(arguments);
        EXPECT_EQ(run.exitCode, 2) << shown;
        EXPECT_EQ(run.err.rfind("voq006-render: ", 0), 0u) << shown << run.err;
        EXPECT_NE(run.err.find("usage: voq006-render [--scale N] INPUT.wav OUTPUT.png"),
                  std::string::npos)
            << shown << run.err;
        EXPECT_EQ(run.out, "") << shown;
    }
    EXPECT_FALSE(std::filesystem::exists(output));
}

TEST(RenderTool, HelpAndVersion) {
    const ToolRun help = Render({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: voq006-render [--scale N] INPUT.wav OUTPUT.png\n", 0), 0u);
    EXPECT_NE(help.out.find("--scale N"), std::string::npos);
    EXPECT_EQ(help.err, "");

    const ToolRun version = Render({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "voq006-render 0.16\n");
    EXPECT_EQ(version.err, "");
}

TEST(RenderTool, OptionsAfterTheDoubleDashAreFileNames) {
    TemporaryFolder folder;
    WriteFile(folder, "--scale", KnownStereoFile());
    const ToolRun run = Render({"--", "--scale", "out.png"}, folder.Path().string());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(QImage(QString::fromStdString(folder.File("out.png"))).width(), 960);
    // As the thumbnailer entry passes them: both paths after "--".
    const ToolRun thumbnail =
        Render({"--thumbnail", "128", "--", "--scale", "-thumb.png"}, folder.Path().string());
    EXPECT_EQ(thumbnail.exitCode, 0) << thumbnail.err;
    EXPECT_EQ(QImage(QString::fromStdString(folder.File("-thumb.png"))).width(), 128);
}

namespace {

bool IsPng(const std::string& bytes) {
    return bytes.rfind("\x89PNG\r\n\x1a\n", 0) == 0 && bytes.size() > 1000;
}

// True while the process pid holds an unnamed file of folder open (the image being written).
bool HoldsUnnamedFile(pid_t pid, const std::string& folder) {
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (target.rfind(folder + "/#", 0) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

// Where the output goes: a link is followed and stays, an existing file keeps its bits,
// pipes, devices and standard output are written straight through.
TEST(RenderTool, WritesWhereItIsTold) {
    TemporaryFolder folder;
    const std::string input = WriteFile(folder, "known.wav", KnownStereoFile());
    const std::string quoted = "'" + std::string(VOQ_RENDER_PATH) + "' '" + input + "' ";

    WriteFile(folder, "private.png", Bytes{'o', 'l', 'd'});
    chmod(folder.File("private.png").c_str(), 0600);
    std::filesystem::create_symlink("private.png", folder.File("link.png"));
    ASSERT_EQ(Render({input, folder.File("link.png")}).exitCode, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(folder.File("link.png")));
    EXPECT_TRUE(IsPng(ReadFile<std::string>(folder.File("private.png"))));
    struct stat status {};
    ASSERT_EQ(stat(folder.File("private.png").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    std::filesystem::create_symlink("made.png", folder.File("dangling.png"));
    ASSERT_EQ(Render({input, folder.File("dangling.png")}).exitCode, 0);
    EXPECT_TRUE(IsPng(ReadFile<std::string>(folder.File("made.png"))));

    struct Case {
        const char* name;
        std::string command; // a shell command whose standard output is the image
    };
    ASSERT_EQ(mkfifo(folder.File("pipe").c_str(), 0600), 0);
    const std::vector<Case> cases = {
        {"-", quoted + "- | cat"},
        {"/dev/stdout of a pipe", quoted + "/dev/stdout | cat"},
        {"a FIFO", quoted + "'" + folder.File("pipe") + "' & cat '" + folder.File("pipe") + "'"},
    };
    for (const Case& c : cases) {
        FILE* pipe = popen(c.command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string bytes;
        char block[4096];
        for (std::size_t n; (n = fread(block, 1, sizeof block, pipe)) > 0;) {
            bytes.append(block, n);
        }
        EXPECT_EQ(pclose(pipe), 0) << c.name;
        EXPECT_TRUE(IsPng(bytes)) << c.name;
    }
    const ToolRun intoNull = Render({input, "/dev/null"});
    EXPECT_EQ(intoNull.exitCode, 0) << intoNull.err;
    ASSERT_EQ(stat("/dev/null", &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode)) << "/dev/null was replaced";
    EXPECT_EQ(FolderEntries(folder),
              (std::vector<std::string>{"dangling.png", "known.wav", "link.png", "made.png", "pipe",
                                        "private.png"}));
}

// The file read is never written, under whatever name the output reaches it: the same
// path, another spelling of it, a link, a hard link, or standard output appended to it.
TEST(RenderTool, TheInputIsNeverWrittenWhateverTheOutputCallsIt) {
    TemporaryFolder folder;
    std::filesystem::create_directory(folder.File("w"));
    const Bytes sound = KnownStereoFile();
    const std::string input = WriteFile(folder, "w/in.wav", sound);
    std::filesystem::create_symlink("in.wav", folder.File("w/link.png"));
    ASSERT_EQ(link(input.c_str(), folder.File("w/hard.png").c_str()), 0);
    const std::string working = folder.File("w");
    const auto before = FolderEntries(folder);
    struct Case {
        std::string output, redirection;
    };
    const std::vector<Case> cases = {
        {"in.wav", ""},     {"./../w/in.wav", ""},        {"link.png", ""},
        {"hard.png", ""},   {"/dev/stdout", ">> in.wav"}, {"/proc/self/fd/1", ">> in.wav"},
        {"-", ">> in.wav"},
    };
    for (const std::string options : {"", "--thumbnail 128 "}) {
        for (const Case& c : cases) {
            const std::string shown = options + c.output + " " + c.redirection;
            const ToolRun run =
                RenderInShell(options + "in.wav " + c.output + " " + c.redirection, working);
            EXPECT_EQ(run.exitCode, 1) << shown;
            EXPECT_EQ(run.err,
                      "voq006-render: cannot write " + c.output + ": it is the input file\n")
                << shown;
            EXPECT_EQ(ReadFile<std::string>(input), std::string(sound.begin(), sound.end()))
                << shown;
            EXPECT_EQ(FolderEntries(folder), before) << shown;
        }
    }
    EXPECT_TRUE(std::filesystem::is_symlink(folder.File("w/link.png")));
    EXPECT_EQ(std::filesystem::hard_link_count(input), 2u);
}

// Standard output and the other descriptors the renderer was given are written through
// those descriptors, as a shell redirection set them up: after ">> log", appended to the
// log. A descriptor it was not given is not open.
TEST(RenderTool, DescriptorNamesWriteThroughTheDescriptorsItWasGiven) {
    TemporaryFolder folder;
    WriteFile(folder, "known.wav", KnownStereoFile());
    WriteFile(folder, "log", Bytes{'l', 'o', 'g', '\n'});
    std::filesystem::create_symlink("/dev/stdout", folder.File("stdout.png"));
    const std::vector<std::string> outputs = {"/dev/stdout >> log",
                                              "/dev/fd/1 >> log",
                                              "/proc/self/fd/1 >> log",
                                              "stdout.png >> log",
                                              "/dev/fd/3 3>> log",
                                              "/proc/thread-self/fd/1 >> log",
                                              "- >> log"};
    for (const std::string& output : outputs) {
        const ToolRun run = RenderInShell("known.wav " + output, folder.Path().string());
        EXPECT_EQ(run.exitCode, 0) << output << run.err;
    }
    const std::string log = ReadFile<std::string>(folder.File("log"));
    ASSERT_EQ(log.rfind("log\n", 0), 0u) << "the log's first line was replaced";
    const std::string png = log.substr(4, (log.size() - 4) / outputs.size());
    EXPECT_TRUE(IsPng(png));
    std::string expected = "log\n";
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        expected += png;
    }
    EXPECT_TRUE(log == expected) << "not one whole image appended per run";

    const ToolRun notGiven = RenderInShell("known.wav /dev/fd/7", folder.Path().string());
    EXPECT_EQ(notGiven.exitCode, 1);
    EXPECT_EQ(notGiven.err, "voq006-render: cannot write /dev/fd/7: Bad file descriptor\n");
    EXPECT_EQ(FolderEntries(folder), (std::vector<std::string>{"known.wav", "log", "stdout.png"}));
}

// An existing file its owner made read-only is refused, as cp and a shell redirection
// refuse it, although its folder would let the renderer replace it. The system decides for
// the user the renderer runs as; root may write any file and replaces it, as cp does, so a
// test run as root runs the renderer as nobody.
TEST(RenderTool, AFileTheUserMayNotWriteIsRefused) {
    constexpr uid_t kNobody = 65534;
    const std::optional<uid_t> user = geteuid() == 0 ? std::optional<uid_t>(kNobody) : std::nullopt;
    TemporaryFolder folder;
    ASSERT_EQ(chmod(folder.Path().c_str(), 0755), 0);
    std::filesystem::create_directory(folder.File("mine"));
    const std::string input = WriteFile(folder, "mine/known.wav", KnownStereoFile());
    const std::string output = WriteFile(folder, "mine/read-only.png", Bytes{'o', 'l', 'd'});
    ASSERT_EQ(chmod(output.c_str(), 0444), 0);
    if (user) {
        for (const std::string& path : {folder.File("mine"), input, output}) {
            ASSERT_EQ(chown(path.c_str(), *user, *user), 0);
        }
    }
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{input, output},
          std::vector<std::string>{"--thumbnail", "128", input, output}}) {
        const ToolRun run = Render(arguments, {}, user);
        EXPECT_EQ(run.exitCode, 1) << arguments[0];
        EXPECT_EQ(run.err, "voq006-render: cannot write " + output + ": Permission denied\n");
        EXPECT_EQ(ReadFile<std::string>(output), "old");
    }
    struct stat status {};
    ASSERT_EQ(stat(output.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0444u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.File("mine")), {}), 2);
}

// A full disk and a process ended mid-write leave the output as it was and nothing else.
TEST(RenderTool, AFailedOrKilledWriteLeavesNothing) {
    TemporaryFolder folder;
    const std::string input = WriteFile(folder, "known.wav", KnownStereoFile());
    std::filesystem::create_directory(folder.File("small"));
    const std::string small = folder.File("small");
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=16k") != 0) {
        GTEST_SKIP() << "mounting a small tmpfs is not permitted here: " << std::strerror(errno);
    }
    for (const bool existing : {false, true}) {
        if (existing) {
            WriteFile(folder, "small/out.png", Bytes{'o', 'l', 'd'});
        }
        const ToolRun run = Render({"--scale", "8", input, small + "/out.png"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err,
                  "voq006-render: cannot write " + small + "/out.png: No space left on device\n");
        EXPECT_EQ(ReadFile<std::string>(small + "/out.png"), existing ? "old" : "");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(small), {}), existing ? 1 : 0);
    }
    umount2(small.c_str(), MNT_DETACH);

    // The image at scale 8 takes a good part of a second to encode while its unnamed file
    // is open: stop the process there, then end it.
    WriteFile(folder, "out.png", Bytes{'o', 'l', 'd'});
    for (const int signal : {SIGKILL, SIGTERM}) {
        const pid_t pid = fork();
        if (pid == 0) {
            execl(VOQ_RENDER_PATH, VOQ_RENDER_PATH, "--scale", "8", input.c_str(),
                  folder.File("out.png").c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        bool caught = false;
        for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
             !caught && std::chrono::steady_clock::now() < until;) {
            if (HoldsUnnamedFile(pid, folder.Path().string())) {
                kill(pid, SIGSTOP);
                caught = HoldsUnnamedFile(pid, folder.Path().string());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        kill(pid, signal);
        kill(pid, SIGCONT);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(caught) << "the renderer was never seen writing";
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
        EXPECT_EQ(ReadFile<std::string>(folder.File("out.png")), "old") << signal;
        EXPECT_EQ(FolderEntries(folder),
                  (std::vector<std::string>{"known.wav", "out.png", "small"}))
            << signal;
    }
}

// The input is opened by the path as given: from a deep working folder, its absolute form
// is longer than any path the system opens. The path line shows it absolute all the same.
TEST(RenderTool, ALongRelativeInputPathIsOpenedAsGiven) {
    TemporaryFolder folder;
    std::filesystem::path working = folder.Path() / "w";
    while (working.string().size() < 3000) {
        working /= std::string(250, 'w');
    }
    std::filesystem::create_directories(working);
    std::string relative;
    while (relative.size() < 1000) {
        relative += std::string(200, 'd') + "/";
    }
    relative += std::string(1260 - relative.size() - 4, 'f') + ".wav";
    ASSERT_EQ(relative.size(), 1260u);
    const std::string input = WriteFile(folder, "known.wav", KnownStereoFile());
    const std::string place = "cd '" + working.string() + "' && mkdir -p '" +
                              relative.substr(0, relative.rfind('/')) + "' && cp '" + input +
                              "' '" + relative + "'";
    ASSERT_EQ(std::system(place.c_str()), 0);
    const ToolRun run = Render({relative, input + ".png"}, working.string());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(QImage(QString::fromStdString(input + ".png")).width(), 960);
    // Too deep for the folder's own clean-up, which works with whole paths.
    EXPECT_EQ(std::system(("rm -rf '" + folder.File("w") + "'").c_str()), 0);
}

// --thumbnail SIZE: the plot's box alone, scaled to fit a SIZE x SIZE square with its
// aspect kept, on white, with the keys a thumbnail cache compares with the file.
TEST(RenderTool, ThumbnailsAreThePlotBoxScaledIntoTheSquare) {
    struct Case {
        const char* name;
        int size;
        bool stereo;
        int width, height;
    };
    const std::vector<Case> cases = {
        {"one pixel", 1, true, 1, 1},           {"128 stereo", 128, true, 128, 49},
        {"256 stereo", 256, true, 256, 98},     {"256 mono", 256, false, 256, 98},
        {"1024 stereo", 1024, true, 1024, 391},
    };
    TemporaryFolder folder;
    const std::string stereo = WriteFile(folder, "stereo.wav", KnownStereoFile());
    std::vector<std::int16_t> monoSamples(8400, 16000);
    const std::string mono =
        WavBuilder().Format(1, 16).Samples16(monoSamples).WriteTo(folder, "mono.wav");
    for (const Case& c : cases) {
        const std::string input = c.stereo ? stereo : mono;
        const std::string output = folder.File(std::string(c.name) + ".png");
        const ToolRun run = Render({"--thumbnail", std::to_string(c.size), input, output});
        ASSERT_EQ(run.exitCode, 0) << c.name << run.err;
        const QImage image(QString::fromStdString(output));
        ASSERT_EQ(image.width(), c.width) << c.name;
        ASSERT_EQ(image.height(), c.height) << c.name;
        struct stat status {};
        ASSERT_EQ(stat(input.c_str(), &status), 0);
        EXPECT_EQ(image.text("Thumb::MTime").toLongLong(), status.st_mtime) << c.name;
        EXPECT_EQ(image.text("Thumb::Size").toLongLong(), status.st_size) << c.name;
        if (c.size < 128) {
            continue;
        }
        // The box fills the image: its dotted edges run along the image's edges (the traces
        // start on the left one), and no label or legend stands beside it.
        const int w = c.width;
        const int h = c.height;
        EXPECT_GT(Count(image, 0, 0, w, 1, IsBlack), w / 4) << c.name << ": top edge";
        EXPECT_GT(Count(image, 0, h - 1, w, 1, IsBlack), w / 4) << c.name << ": bottom edge";
        EXPECT_GT(Count(image, w - 1, 0, 1, h, IsBlack), h / 4) << c.name << ": right edge";
        EXPECT_GT(Count(image, 0, h / 8, w, h / 8, IsWhite), w * (h / 8) / 2) << c.name;
        // The left trace (16000, then -8000) and, for stereo, the right one (-12000, 117
        // pixels below the centre line of the 321-pixel box) in their colours.
        const double factor = (w - 1) / 840.0;
        const int rightRow = static_cast<int>(std::lround(277 * factor));
        EXPECT_GT(Count(image, 0, 0, w, h, IsBlue), w / 2) << c.name;
        EXPECT_EQ(Count(image, w / 8, rightRow, w * 3 / 4, 1, IsRed) > w / 2, c.stereo)
            << c.name << "\n"
            << Picture(image, 0, 0, w, h);
    }
}

// Tumbler creates the output file itself and reads the thumbnail back through its own
// descriptor once the renderer has exited.
TEST(RenderTool, AThumbnailReachesACallerThatHoldsTheOutputOpen) {
    TemporaryFolder folder;
    const std::string input = WriteFile(folder, "known.wav", KnownStereoFile());
    const std::string output = folder.File("held.png");
    const int held = open(output.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    ASSERT_GE(held, 0);
    const ToolRun run = Render({"--thumbnail", "128", input, output});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::string bytes(1 << 16, '\0');
    const ssize_t got = pread(held, bytes.data(), bytes.size(), 0);
    close(held);
    ASSERT_GT(got, 0) << "the held file is still empty";
    bytes.resize(static_cast<std::size_t>(got));
    QImage image;
    ASSERT_TRUE(image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                                   static_cast<int>(bytes.size()), "png"));
    EXPECT_EQ(image.width(), 128);
    EXPECT_TRUE(QImage(QString::fromStdString(output)) == image) << "the path has it too";
}

TEST(RenderTool, ThumbnailRejectionsAndUsageErrors) {
    TemporaryFolder folder;
    const std::string input = WriteFile(folder, "known.wav", KnownStereoFile());
    const std::string text = WriteFile(folder, "text.wav", Bytes(64, 'x'));
    const std::string output = folder.File("out.png");
    const ToolRun rejected = Render({"--thumbnail", "128", text, output});
    EXPECT_EQ(rejected.exitCode, 1);
    EXPECT_EQ(rejected.err, "voq006-render: not a RIFF/WAVE file at byte 0: " + text + "\n");
    const std::vector<std::vector<std::string>> usageErrors = {
        {"--thumbnail", "0", input, output},
        {"--thumbnail", "1025", input, output},
        {"--thumbnail", "big", input, output},
        {"--thumbnail", "128px", input, output},
        {"--thumbnail", "-128", input, output},
        {"--thumbnail=", input, output},
        {input, output, "--thumbnail"},
        {"--thumbnail", "128", "--scale", "2", input, output},
    };
    for (const auto& arguments : usageErrors) {
        const ToolRun run = Render(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments[1] << run.err;
        EXPECT_NE(run.err.find("\n       voq006-render --thumbnail SIZE INPUT.wav OUTPUT.png"),
                  std::string::npos)
            << run.err;
    }
    EXPECT_EQ(FolderEntries(folder), (std::vector<std::string>{"known.wav", "text.wav"}));
}

// The picture and the thumbnail are the same whatever language the user reads: fontconfig
// gives the font's family in the user's language (IPAゴシック for a Japanese user), and no
// number of the picture goes through the process locale. Without the font the renderer
// says so instead of drawing misplaced labels.
TEST(RenderTool, EveryLocaleDrawsTheSamePicture) {
    struct Case {
        const char* name;
        std::vector<std::string> changes;
        int exitCode;
    };
    // Every row starts from no locale variable at all, which is the C locale.
    const std::vector<std::string> unset = {"LC_ALL", "LC_CTYPE", "LC_NUMERIC",
                                            "LANG",   "LANGUAGE", "FC_LANG"};
    std::vector<Case> cases = {
        {"Japanese LANG", {"LANG=ja_JP.UTF-8"}, 0},
        {"Japanese LC_CTYPE", {"LC_CTYPE=ja_JP.UTF-8"}, 0},
        {"Japanese LC_ALL", {"LC_ALL=ja_JP.UTF-8"}, 0},
        {"German LANG", {"LANG=de_DE.UTF-8"}, 0},
    };
    TemporaryFolder folder;
    const std::string input = WriteFile(folder, "known.wav", KnownStereoFile());
    // A font configuration that knows every other font of the machine but IPAGothic.
    const std::string fonts = "<?xml version=\"1.0\"?><fontconfig><dir>/usr/share/fonts/truetype/"
                              "dejavu</dir><cachedir>fontconfig-cache</cachedir></fontconfig>";
    const std::string fontsFile =
        WriteFile(folder, "fonts.conf", Bytes(fonts.begin(), fonts.end()));
    cases.push_back({"no IPAGothic", {"LANG=ja_JP.UTF-8", "FONTCONFIG_FILE=" + fontsFile}, 1});
    const auto render = [&](const std::vector<std::string>& changes, const std::string& output,
                            const std::vector<std::string>& options) {
        std::vector<std::string> arguments = options;
        arguments.insert(arguments.end(), {input, folder.File(output)});
        std::vector<std::string> environment = unset;
        environment.insert(environment.end(), changes.begin(), changes.end());
        return Render(arguments, folder.Path().string(), std::nullopt, environment);
    };
    for (const auto& options : {std::vector<std::string>{}, {"--thumbnail", "128"}}) {
        const std::string kind = options.empty() ? "picture" : "thumbnail";
        ASSERT_EQ(render({}, "C.png", options).exitCode, 0) << kind;
        const QImage expected(QString::fromStdString(folder.File("C.png")));
        for (const Case& c : cases) {
            const ToolRun run = render(c.changes, "out.png", options);
            ASSERT_EQ(run.exitCode, c.exitCode) << c.name << ", " << kind << ": " << run.err;
            if (c.exitCode != 0) {
                EXPECT_EQ(run.err, "voq006-render: cannot load the font IPAGothic (Debian package "
                                   "fonts-ipafont-gothic), which the picture is laid out for\n")
                    << c.name;
                continue;
            }
            EXPECT_EQ(run.err, "") << c.name;
            EXPECT_TRUE(QImage(QString::fromStdString(folder.File("out.png"))) == expected)
                << c.name << ", " << kind;
        }
    }
}

// The file is parsed by the reader program in a confined process, caught here in a read
// from a slow disk, while the renderer itself is not confined; killed with the renderer,
// the reader dies with it.
TEST(RenderTool, ReadsThroughAConfinedReaderThatEndsWithIt) {
    TemporaryFolder folder;
    std::vector<std::int16_t> samples(4u << 20);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(i % 20000);
    }
    const std::string input = WavBuilder().Samples16(samples).WriteTo(folder, "large.wav");
    const SlowFile slow(input, 20 << 20, 4u << 20);
    if (!slow.Problem().empty()) {
        GTEST_SKIP() << slow.Problem();
    }
    QProcess renderer;
    renderer.start(
        QString::fromLatin1(VOQ_RENDER_PATH),
        {QString::fromStdString(slow.Path()), QString::fromStdString(folder.File("out.png"))});
    ASSERT_TRUE(renderer.waitForStarted());
    const std::string pid = std::to_string(renderer.processId());
    for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
         slow.ReadsServed().bytes < (1u << 20) && std::chrono::steady_clock::now() < until;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::vector<std::string> readers = ChildrenNamed(renderer.processId(), "voq006-reader");
    ASSERT_EQ(readers.size(), 1u);
    EXPECT_EQ(StatusNumber("NoNewPrivs", readers[0]), 1);
    EXPECT_EQ(StatusNumber("Seccomp", readers[0]), kSeccompInThisBuild ? 2 : 0);
    EXPECT_EQ(StatusNumber("Seccomp", pid), 0) << "the renderer writes the image unconfined";
    EXPECT_EQ(renderer.state(), QProcess::Running) << "the file was read whole";

    renderer.kill();
    renderer.waitForFinished();
    bool ended = false;
    for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
         !ended && std::chrono::steady_clock::now() < until;) {
        const std::string state = ProcessState(readers[0]);
        ended = state.empty() || state == "Z";
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(ended) << "the reader outlived its renderer";
}

// Without its reader program beside it, the renderer reads the file itself, says so once
// and paints the same pictures, with the same outcomes, as through the reader.
TEST(RenderTool, WithoutItsReaderProgramItReadsInProcessAlike) {
    TemporaryFolder folder;
    const std::string alone = folder.File("bin/voq006-render");
    std::filesystem::create_directory(folder.File("bin"));
    std::filesystem::copy_file(VOQ_RENDER_PATH, alone);
    const std::string missing = "voq006-render: " + folder.File("libexec/voq006/voq006-reader") +
                                " is missing; the file is read in this process, unconfined\n";
    const std::vector<std::string> inputs = {
        WriteFile(folder, "known.wav", KnownStereoFile()),
        std::string(VOQ_SAMPLES "/stereo-sweep.wav"),
        WavBuilder().Format(1, 8).Data(Bytes(5000, 0xC0)).WriteTo(folder, "mono8.wav"),
        WriteFile(folder, "text.wav", Bytes(64, 'x')),
    };
    for (const std::string& input : inputs) {
        for (const std::vector<std::string>& options :
             {std::vector<std::string>{}, std::vector<std::string>{"--thumbnail", "256"}}) {
            std::vector<std::string> arguments = options;
            arguments.push_back(input);
            arguments.push_back(folder.File("reader.png"));
            const ToolRun throughReader = Render(arguments);
            arguments.back() = folder.File("alone.png");
            const ToolRun inProcess = Render(arguments, {}, std::nullopt, {}, alone);
            EXPECT_EQ(inProcess.exitCode, throughReader.exitCode) << input;
            EXPECT_EQ(inProcess.err, missing + throughReader.err) << input;
            EXPECT_TRUE(QImage(QString::fromStdString(folder.File("alone.png"))) ==
                        QImage(QString::fromStdString(folder.File("reader.png"))))
                << input;
            std::filesystem::remove(folder.File("alone.png"));
            std::filesystem::remove(folder.File("reader.png"));
        }
    }
}

// ---- the files people record today ---------------------------------------------------

namespace {

// A 16-bit file that other formats are made from, and how the tests wrote it when they did.
struct Source {
    std::string path;
    std::optional<WavBuilder> built;
};

// A stereo 16-bit file of the tests' own: a tone that rises in pitch and swells to full
// scale on the left, -32768 included, and the same at half the loudness and inverted on
// the right; every sample a multiple of 16, so that 12 bits hold it too.
WavBuilder BuiltSource() {
    constexpr std::size_t kFrames = 24000;
    std::vector<std::int16_t> samples;
    for (std::size_t i = 0; i < kFrames; ++i) {
        const double t = static_cast<double>(i) / kFrames;
        const double value = 32768.0 * std::sin(t * 3.14159) * std::sin(t * t * 900.0);
        const double left = std::clamp(std::floor(value / 16) * 16, -32768.0, 32752.0);
        samples.push_back(static_cast<std::int16_t>(left));
        samples.push_back(static_cast<std::int16_t>(-std::floor(value / 32) * 16));
    }
    samples[2 * kFrames / 2] = -32768;
    return WavBuilder().SampleRate(8000).Format(2, 16).Samples16(samples);
}

// The file to draw and the file whose picture below the information lines it must give.
using FilePair = std::pair<std::string, std::string>;
// Writes them from a source into a folder; nothing for a source the case does not take.
using MakeFiles = std::function<std::optional<FilePair>(const Source&, const TemporaryFolder&)>;

// sox writes the source with formatOptions, then applies effects: to be drawn as the source.
MakeFiles Sox(std::vector<std::string> formatOptions, std::vector<std::string> effects = {}) {
    return [=](const Source& source, const TemporaryFolder& folder) -> std::optional<FilePair> {
        const std::string converted = folder.File("converted.wav");
        std::vector<std::string> command = {"sox", source.path};
        command.insert(command.end(), formatOptions.begin(), formatOptions.end());
        command.push_back(converted);
        command.insert(command.end(), effects.begin(), effects.end());
        const ProcessResult sox = RunProcess(command);
        EXPECT_EQ(sox.exitStatus, 0) << sox.output;
        return FilePair{converted, source.path};
    };
}

// The same, to be drawn as sox's own decode of the converted file to 16 bits.
MakeFiles SoxDecoded(std::vector<std::string> formatOptions) {
    return [=](const Source& source, const TemporaryFolder& folder) -> std::optional<FilePair> {
        const std::optional<FilePair> files = Sox(formatOptions)(source, folder);
        const std::string decoded = folder.File("decoded.wav");
        const ProcessResult sox =
            RunProcess({"sox", files->first, "-e", "signed-integer", "-b", "16", decoded});
        EXPECT_EQ(sox.exitStatus, 0) << sox.output;
        return FilePair{files->first, decoded};
    };
}

// The tests' own source written another way by the builder, to be drawn as the source.
MakeFiles Built(std::function<WavBuilder(WavBuilder)> vary) {
    return [=](const Source& source, const TemporaryFolder& folder) -> std::optional<FilePair> {
        if (!source.built) {
            return std::nullopt;
        }
        return FilePair{vary(*source.built).WriteTo(folder, "converted.wav"), source.path};
    };
}

struct FormatCase : NamedCase {
    MakeFiles make;
    const char* refusal{}; // for a refused format, the reason the renderer gives
    std::uint16_t formatCode{};
};

// The plot and the time labels: everything below the information lines, which name the
// file, its sample width and its size.
QImage BelowTheInformationLines(const std::string& png) {
    constexpr int kTop = kInfoTop + 2 * kInfoLineHeight;
    const QImage image(QString::fromStdString(png));
    return image.copy(0, kTop, image.width(), image.height() - kTop)
        .convertToFormat(QImage::Format_RGB32);
}

class RecordedFormat : public ::testing::TestWithParam<FormatCase> {};

} // namespace

// Made by sox, a writer nobody here wrote, from 16-bit files: the picture of each format is
// that of the same sound at 16 bits, pixel for pixel below the information lines. Formats
// the reader does not decode are refused by the reader and the renderer, naming the format.
TEST_P(RecordedFormat, DrawsAsTheSoundAt16BitsOrIsRefusedByName) {
    const FormatCase& c = GetParam();
    TemporaryFolder folder;
    const std::vector<Source> sources = {
        {std::string(VOQ_SAMPLES) + "/stereo-sweep.wav", std::nullopt},
        {std::string(VOQ_FIXTURES) + "/sine440-stereo16.wav", std::nullopt},
        {BuiltSource().WriteTo(folder, "built.wav"), BuiltSource()},
    };
    int made = 0;
    for (const Source& source : sources) {
        SCOPED_TRACE(source.path);
        const std::optional<FilePair> files = c.make(source, folder);
        if (!files) {
            continue;
        }
        ++made;
        const auto& [converted, reference] = *files;
        const ToolRun run = Render({converted, folder.File("converted.png")});
        if (c.refusal != nullptr) {
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_EQ(run.err,
                      "voq006-render: " + std::string(c.refusal) + ": " + converted + "\n");
            WaveRecord record;
            const LoadOutcome outcome = LoadWaveFileExplained(record, converted);
            EXPECT_EQ(outcome.status, LoadStatus::UnsupportedFormat);
            EXPECT_EQ(outcome.formatCode, c.formatCode);
            continue;
        }
        ASSERT_EQ(run.exitCode, 0) << run.err;
        ASSERT_EQ(Render({reference, folder.File("reference.png")}).exitCode, 0);
        EXPECT_TRUE(BelowTheInformationLines(folder.File("converted.png")) ==
                    BelowTheInformationLines(folder.File("reference.png")));
    }
    EXPECT_GT(made, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, RecordedFormat,
    ::testing::ValuesIn(std::vector<FormatCase>{
        // 24 and 32 bits, extensible unless asked otherwise, with a fact chunk.
        {"Integer24Extensible", Sox({"-b", "24"})},
        {"Integer24Plain", Sox({"-t", "wavpcm", "-b", "24"})},
        {"Integer32", Sox({"-b", "32"})},
        {"Float32", Sox({"-e", "floating-point", "-b", "32"})},
        {"Float64", Sox({"-e", "floating-point", "-b", "64"})},
        // Four channels, the first two the source's.
        {"FourChannels", Sox({}, {"remix", "1", "2", "1", "2"})},
        {"ALaw", SoxDecoded({"-e", "a-law"})},
        {"MuLaw", SoxDecoded({"-e", "u-law"})},
        {"Integer12", Built([](WavBuilder file) { return file.Format(2, 12); })},
        {"BextAndJunkBeforeFmt", Built([](WavBuilder file) {
             return file.ChunkBeforeFmt("bext", Bytes(602, 'b')).ChunkBeforeFmt("JUNK", Bytes(27));
         })},
        {"ImaAdpcm", Sox({"-e", "ima-adpcm"}),
         "compressed or unknown format IMA ADPCM (0x0011) at byte 20", 0x11},
        {"MsAdpcm", Sox({"-e", "ms-adpcm"}),
         "compressed or unknown format MS ADPCM (0x0002) at byte 20", 0x02},
    }),
    CaseName);

// ---- a disk that reports an error --------------------------------------------------

namespace {

struct ReadErrorCase : NamedCase {
    std::uint64_t failFrom; // the first byte the disk cannot read
    const char* shown;      // how the renderer writes that byte
};

class ReadError : public ::testing::TestWithParam<ReadErrorCase> {};

// Loads path with the strided load over an earlier file, by threads, with or without a
// LoadProgress, and expects a read error at failFrom and the record as it was.
void ExpectReadErrorLeavesTheRecord(const std::string& earlier, const std::string& path,
                                    std::uint64_t failFrom, SampleThreads threads,
                                    bool withProgress) {
    SCOPED_TRACE(std::string(threads == SampleThreads::One ? "one thread" : "two threads") +
                 (withProgress ? ", with progress" : ""));
    WaveRecord record;
    ASSERT_EQ(LoadWaveFileStrided(record, earlier, kWaveformColumns).status, LoadStatus::Loaded);
    const RecordSnapshot before = TakeSnapshot(record);
    LoadProgress progress;
    const LoadOutcome outcome =
        withProgress ? LoadWaveFileStrided(record, path, kWaveformColumns, threads, progress)
                     : LoadWaveFileStrided(record, path, kWaveformColumns, threads);
    EXPECT_EQ(outcome.status, LoadStatus::ReadError);
    EXPECT_EQ(outcome.errorNumber, EIO);
    EXPECT_EQ(outcome.offset, failFrom);
    EXPECT_EQ(DescribeChange(record, before), "");
}

} // namespace

// 4 MiB of 16-bit stereo samples on a disk that fails with EIO from a byte on: the loads
// that draw (the viewer's and the renderer's, by one thread and by two) reject the file at
// that byte, the lowest one when two threads meet errors, and change nothing; the
// renderer says so and writes nothing; the full load keeps its data up to that byte, as
// for a file cut there.
TEST_P(ReadError, RejectsTheFileAtTheFailedByte) {
    const ReadErrorCase& c = GetParam();
    TemporaryFolder folder;
    std::vector<std::int16_t> samples(std::size_t{2} << 20);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(i % 2 == 0 ? i % 20000 : -(i % 7000));
    }
    const WavBuilder sound = WavBuilder().Format(2, 16).Samples16(samples);
    const std::string earlier = WriteFile(folder, "earlier.wav", KnownStereoFile());
    const SlowFile failing(sound.WriteTo(folder, "sound.wav"), 1 << 30, 0,
                           SlowFile::Stall::UntilKilled, c.failFrom);
    if (!failing.Problem().empty()) {
        GTEST_SKIP() << "no failing file can be made here: " << failing.Problem();
    }
    for (const SampleThreads threads : {SampleThreads::One, SampleThreads::Two}) {
        for (const bool withProgress : {false, true}) {
            ExpectReadErrorLeavesTheRecord(earlier, failing.Path(), c.failFrom, threads,
                                           withProgress);
        }
    }

    const ToolRun run = Render({failing.Path(), folder.File("out.png")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "voq006-render: cannot read " + failing.Path() + " at byte " + c.shown +
                           ": Input/output error\n");
    EXPECT_FALSE(std::filesystem::exists(folder.File("out.png")));

    WaveRecord full;
    ASSERT_EQ(LoadWaveFile(full, failing.Path()), 0);
    WaveRecord cut;
    ASSERT_EQ(
        LoadWaveFile(cut, WavBuilder(sound).TruncateTo(c.failFrom).WriteTo(folder, "cut.wav")), 0);
    EXPECT_EQ(std::vector<std::int16_t>(full.left.begin(), full.left.end()),
              std::vector<std::int16_t>(cut.left.begin(), cut.left.end()));
    EXPECT_EQ(std::vector<std::int16_t>(full.right.begin(), full.right.end()),
              std::vector<std::int16_t>(cut.right.begin(), cut.right.end()));
}

INSTANTIATE_TEST_SUITE_P(Disk, ReadError,
                         ::testing::ValuesIn(std::vector<ReadErrorCase>{
                             {"FromTheFirstSample", 44, "44"},
                             // Mid-frame, in the first thread's half and in the second's.
                             {"InTheFirstHalf", 44 + (1 << 20) + 6, "1,048,626"},
                             {"InTheSecondHalf", 44 + (3 << 20) + 2, "3,145,774"},
                         }),
                         CaseName);
