// The load through the reader program: its messages rebuild the record of the strided load
// in this process, a stream that is malformed, cut short or followed by a reader that dies
// is a failed reader, and a cancelled reader leaves nothing behind, whatever the disk does.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "display/WaveformPlot.h"
#include "platform/Confinement.h"
#include "tests/slowfs/SlowFile.h"
#include "tests/support/CaseName.h"
#include "tests/support/KnownWaveFiles.h"
#include "tests/support/ProcessStatus.h"
#include "tests/support/RecordInvariants.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WavBuilder.h"
#include "wave/ReaderMessageReader.h"
#include "wave/ReaderMessages.h"
#include "wave/ReaderProcess.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

using namespace reader_messages;

namespace {

constexpr std::uint32_t kColumns = kWaveformColumns;

// Empty when a load's outcome and record (rebuilt from a reader's answer) are what the
// strided load in this process gave, else the first difference.
std::string DescribeDifference(const LoadOutcome& outcome, const WaveRecord& record,
                               const LoadOutcome& expected, const WaveRecord& expectedRecord) {
    if (outcome.status != expected.status || outcome.errorNumber != expected.errorNumber ||
        outcome.offset != expected.offset || outcome.formatCode != expected.formatCode) {
        return std::string("outcome \"") + DescribeLoadStatus(outcome.status) + "\" (" +
               std::to_string(outcome.errorNumber) + ", " + std::to_string(outcome.offset) +
               "), not \"" + DescribeLoadStatus(expected.status) + "\" (" +
               std::to_string(expected.errorNumber) + ", " + std::to_string(expected.offset) + ")";
    }
    if (expected.status != LoadStatus::Loaded) {
        return {};
    }
    if (record.plotBits != expectedRecord.plotBits || record.loaded != expectedRecord.loaded) {
        return "plotBits or loaded differ";
    }
    return DescribeStridedDifference(record, expectedRecord, kColumns);
}

// The stream a reader sends for the file at path: its greeting, a progress message and the
// end, encoded from the strided load in this process as the reader runs it.
struct Answer {
    LoadOutcome outcome;
    WaveRecord record; // as the viewer's strided load gives it
    WaveRecord sent;   // as the reader's gives it, the kept frames at their columns
    MessageBytes stream;
};

MessageBytes Join(std::initializer_list<MessageBytes> parts) {
    MessageBytes joined;
    for (const MessageBytes& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

Answer AnswerFor(const std::string& path) {
    Answer answer;
    answer.outcome = LoadWaveFileStrided(answer.record, path, kColumns);
    LoadProgress progress;
    LoadWaveFileStrided(answer.sent, open(path.c_str(), O_RDONLY | O_CLOEXEC), path, kColumns,
                        SampleThreads::Automatic, progress, KeptFramePlace::Column);
    answer.stream = Join({EncodeGreeting(), EncodeProgress(10, 20),
                          EncodeEnd(answer.outcome, answer.sent, kColumns, PathOpened::AsGiven)});
    return answer;
}

// Feeds stream to messages in pieces of piece bytes, as a pipe might deliver it.
void Feed(ReaderMessageReader& messages, const MessageBytes& stream, std::size_t piece) {
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        messages.Take(stream.data() + at, std::min(piece, stream.size() - at));
    }
}

struct FileCase : NamedCase {
    std::function<std::string(const TemporaryFolder&)> make; // writes the file, returns its path
};

std::vector<std::int16_t> Ramp(std::size_t count) {
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<std::int16_t>(i * 37 % 20000 - 10000);
    }
    return samples;
}

const FileCase kFileCases[] = {
    {"StereoOfManyColumns",
     [](const TemporaryFolder& f) {
         return WavBuilder().Samples16(Ramp(20000)).WriteTo(f, "a.wav");
     }},
    {"MonoOfFewerFramesThanColumns",
     [](const TemporaryFolder& f) {
         return WavBuilder().Format(1, 16).Samples16(Ramp(300)).WriteTo(f, "a.wav");
     }},
    {"NoFrames", [](const TemporaryFolder& f) { return WavBuilder().WriteTo(f, "a.wav"); }},
    {"ClaimOfFourGigaFrames",
     [](const TemporaryFolder& f) {
         return WavBuilder()
             .Format(2, 8)
             .BlockAlign(1)
             .Data(Bytes(156, 0x90))
             .DataSize(~0U)
             .WriteTo(f, "a.wav");
     }},
    {"NotRiffWave", [](const TemporaryFolder& f) { return WriteFile(f, "a.wav", Bytes(64, 'x')); }},
    {"NoDataChunk",
     [](const TemporaryFolder& f) { return WavBuilder().WithoutDataChunk().WriteTo(f, "a.wav"); }},
    {"Missing", [](const TemporaryFolder& f) { return f.File("missing.wav"); }},
    {"Folder",
     [](const TemporaryFolder& f) {
         std::filesystem::create_directory(f.File("folder.wav"));
         return f.File("folder.wav");
     }},
    {"Fifo",
     [](const TemporaryFolder& f) {
         mkfifo(f.File("fifo.wav").c_str(), 0600);
         return f.File("fifo.wav");
     }},
};

// Fed a byte at a time, the stream gives the record it gives whole (ReaderProcess feeds it as
// the pipe delivers it); cut short anywhere, it is a failed reader.
TEST(ReaderMessageStream, TakenInAnyPiecesOrCutAnywhere) {
    TemporaryFolder folder;
    const Answer answer = AnswerFor(kFileCases[0].make(folder));
    ReaderMessageReader byBytes(kColumns);
    Feed(byBytes, answer.stream, 1);
    ASSERT_TRUE(byBytes.Complete());
    EXPECT_EQ(byBytes.BytesRead(), 10u);
    EXPECT_EQ(byBytes.BytesToRead(), 20u);
    byBytes.Record().path = answer.record.path;
    EXPECT_EQ(
        DescribeDifference(byBytes.Outcome(), byBytes.Record(), answer.outcome, answer.record), "");
    for (std::size_t length = 0; length < answer.stream.size(); ++length) {
        ReaderMessageReader messages(kColumns);
        Feed(messages, MessageBytes(answer.stream.begin(), answer.stream.begin() + length), 4096);
        ASSERT_FALSE(messages.Complete()) << length;
        ASSERT_EQ(messages.Outcome().status, LoadStatus::ReaderFailed) << length;
    }
}

// A well-formed answer of a loaded stereo file, changed one way: the outcome or record
// before it is encoded, or the bytes of the greeting and end message after. Each is
// malformed.
struct Breach : NamedCase {
    void (*changeAnswer)(LoadOutcome&, WaveRecord&);
    void (*changeBytes)(MessageBytes&);
};

// Where byte at of the end message lies in the greeting and end message.
constexpr std::size_t End(std::size_t at) {
    return kGreetingBytes + at;
}

// Where the kept frames start in the greeting and end message.
std::size_t KeptFrames() {
    return End(kMessageHeaderBytes + LoadedFixedBytes());
}

const Breach kBreaches[] = {
    {"ForeignVersion", nullptr, [](MessageBytes& s) { s[4] = kVersion + 1; }},
    {"UnknownType", nullptr, [](MessageBytes& s) { s[End(0)] = 9; }},
    {"LengthOfFourGigabytes", nullptr,
     [](MessageBytes& s) {
         std::fill(s.begin() + End(4), s.begin() + End(8), 0xFF);
         s.resize(End(8));
     }},
    {"ProgressOfWrongLength", nullptr,
     [](MessageBytes& s) {
         MessageBytes progress = EncodeProgress(1, 2);
         progress[4] = 15;
         s.insert(s.begin() + End(0), progress.begin(), progress.end() - 1);
     }},
    {"KeptFrameOfAnotherColumn", nullptr,
     [](MessageBytes& s) { s[KeptFrames() + kKeptFrameBytes] += 1; }},
    {"OneKeptFrameTooMany", nullptr,
     [](MessageBytes& s) {
         s[End(4)] += kKeptFrameBytes;
         s[KeptFrames() - 4] += 1;
         s.insert(s.end(), kKeptFrameBytes, 0);
     }},
    {"BytesAfterTheEnd", nullptr, [](MessageBytes& s) { s.push_back(0); }},
    {"DefaultExtensionAddedUnasked", nullptr,
     [](MessageBytes& s) { s[End(kMessageHeaderBytes)] = 1; }},
    {"SampleAbovePeak", [](LoadOutcome&, WaveRecord& r) { r.left[0] = 30000; }, nullptr},
    {"MonoWithRightSamples",
     [](LoadOutcome&, WaveRecord& r) {
         r.channels = 1;
         r.right[0] = 1;
     },
     nullptr},
    {"FrameCountAgainstDataSize", [](LoadOutcome&, WaveRecord& r) { r.dataSize += 4; }, nullptr},
    {"PlotBitsNoPlotKnows", [](LoadOutcome&, WaveRecord& r) { r.plotBits = 12; }, nullptr},
    {"NegativePeak", [](LoadOutcome&, WaveRecord& r) { r.peakRight = -1; }, nullptr},
    {"NotRiff", [](LoadOutcome&, WaveRecord& r) { r.riffId = 0x34364652; }, nullptr},
    {"StatusCancelled", [](LoadOutcome& o, WaveRecord&) { o = {LoadStatus::Cancelled}; }, nullptr},
    {"StatusReaderFailed", [](LoadOutcome& o, WaveRecord&) { o = {LoadStatus::ReaderFailed}; },
     nullptr},
    {"StatusUnknown", [](LoadOutcome& o, WaveRecord&) { o = {static_cast<LoadStatus>(77)}; },
     nullptr},
    {"NegativeErrorNumber",
     [](LoadOutcome& o, WaveRecord&) {
         o = {LoadStatus::CannotOpen, -2};
     },
     nullptr},
    {"FormatCodeOfAnotherStatus",
     [](LoadOutcome& o, WaveRecord&) {
         o = {LoadStatus::NotRiffWave, 0, 0, 2};
     },
     nullptr},
};

class ReaderMessagesBreach : public ::testing::TestWithParam<Breach> {};

TEST_P(ReaderMessagesBreach, MakesAFailedReader) {
    TemporaryFolder folder;
    Answer answer = AnswerFor(kFileCases[0].make(folder));
    ASSERT_EQ(answer.outcome.status, LoadStatus::Loaded);
    const Breach& breach = GetParam();
    if (breach.changeAnswer != nullptr) {
        breach.changeAnswer(answer.outcome, answer.sent);
    }
    MessageBytes stream = Join(
        {EncodeGreeting(), EncodeEnd(answer.outcome, answer.sent, kColumns, PathOpened::AsGiven)});
    if (breach.changeBytes != nullptr) {
        breach.changeBytes(stream);
    }
    ReaderMessageReader messages(kColumns);
    Feed(messages, stream, 4096);
    EXPECT_FALSE(messages.Complete());
    EXPECT_EQ(messages.Outcome().status, LoadStatus::ReaderFailed);
}

INSTANTIATE_TEST_SUITE_P(Breaches, ReaderMessagesBreach, ::testing::ValuesIn(kBreaches), CaseName);

// A load through program, waited for.
struct Finished {
    LoadOutcome outcome;
    WaveRecord record;
    std::string path; // the path the load opened
    bool inProcess{};
    int endings{};
};

Finished LoadThrough(const std::string& path, const std::string& program = VOQ_READER,
                     const std::string& defaultExtension = {}) {
    Finished finished;
    std::promise<void> ended;
    std::atomic<int> endings{0};
    {
        ReaderProcess load(
            path, kColumns,
            [&] {
                if (++endings == 1) {
                    ended.set_value();
                }
            },
            program, defaultExtension);
        EXPECT_EQ(ended.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
        EXPECT_TRUE(load.Ended());
        finished.outcome = load.Outcome();
        if (finished.outcome.status == LoadStatus::Loaded) {
            EXPECT_EQ(load.PercentRead(), 100) << path;
        }
        finished.record = std::move(load.Record());
        finished.path = load.Path();
        finished.inProcess = load.InProcess();
    }
    finished.endings = endings;
    return finished;
}

void ExpectSameAsInProcess(const std::string& path, const std::string& program = VOQ_READER) {
    WaveRecord expected;
    const LoadOutcome outcome = LoadWaveFileStrided(expected, path, kColumns);
    const Finished finished = LoadThrough(path, program);
    EXPECT_EQ(DescribeDifference(finished.outcome, finished.record, outcome, expected), "") << path;
    EXPECT_EQ(finished.endings, 1) << path;
}

// Every file shape of the table above, the fuzzer's seeds and the files in the repository.
TEST(ReaderProcess, LoadsEveryFileAsTheLoadInThisProcess) {
    TemporaryFolder seeds;
    const std::vector<std::string> files = KnownWaveFiles(seeds);
    ASSERT_GT(files.size(), 30u);
    for (const FileCase& c : kFileCases) {
        TemporaryFolder folder;
        SCOPED_TRACE(c.name);
        ExpectSameAsInProcess(c.make(folder));
    }
    for (const std::string& file : files) {
        ExpectSameAsInProcess(file);
    }
}

TEST(ReaderProcess, AMissingReaderProgramLoadsInThisProcess) {
    TemporaryFolder folder;
    const std::string path = kFileCases[0].make(folder);
    ExpectSameAsInProcess(path, folder.File("no-reader"));
    EXPECT_TRUE(LoadThrough(path, folder.File("no-reader")).inProcess);
    EXPECT_FALSE(LoadThrough(path).inProcess);
}

// The Open dialog's default extension is added where the file is read, by the reader and by
// the load in this process alike: to a name without one that names no file, never to a name
// that names a file or has an extension. The load says which path it opened, also when the
// file there is rejected.
TEST(ReaderProcess, AddsTheDefaultExtensionWhereTheFileIsRead) {
    TemporaryFolder folder;
    for (const char* name : {"fresh.NULL", "README", "README.NULL", "old.txt.NULL"}) {
        WavBuilder().Samples16(Ramp(2000)).WriteTo(folder, name);
    }
    const struct {
        const char* typed;
        const char* opened;
        bool loaded;
    } cases[] = {{"fresh", "fresh.NULL", true},
                 {"README", "README", true},
                 {"old.txt", "old.txt", false},
                 {"gone", "gone.NULL", false}};
    for (const std::string& program : {std::string(VOQ_READER), folder.File("no-reader")}) {
        for (const auto& c : cases) {
            const Finished finished = LoadThrough(folder.File(c.typed), program, "NULL");
            EXPECT_EQ(finished.path, folder.File(c.opened)) << c.typed << " through " << program;
            EXPECT_EQ(finished.outcome.status,
                      c.loaded ? LoadStatus::Loaded : LoadStatus::CannotOpen)
                << c.typed << " through " << program;
            EXPECT_EQ(finished.record.path, c.loaded ? folder.File(c.opened) : "")
                << c.typed << " through " << program;
        }
    }
}

// Fake readers, each a shell script that writes the bytes of answer to the descriptor it is
// given and then does what a broken reader does.
TEST(ReaderProcess, AReaderThatMisbehavesIsAFailedReader) {
    TemporaryFolder folder;
    const Answer answer = AnswerFor(kFileCases[0].make(folder));
    WriteFile(folder, "answer", answer.stream);
    WriteFile(folder, "garbage", Bytes(5000, 'x'));
    const MessageBytes cut(answer.stream.begin(), answer.stream.end() - 1);
    WriteFile(folder, "cut", cut);
    const struct {
        const char* name;
        std::string script;
    } cases[] = {
        {"garbage", "cat garbage >&$1"},
        {"a whole answer, then death by a signal", "cat answer >&$1; kill -9 $$"},
        {"a whole answer, then exit status 1", "cat answer >&$1; exit 1"},
        {"an answer cut short", "cat cut >&$1"},
        {"no answer", "exit 0"},
    };
    for (const auto& c : cases) {
        const std::string text =
            "#!/bin/sh\ncd '" + folder.Path().string() + "' || exit 9\n" + c.script + "\n";
        const std::string program = WriteFile(folder, "reader", Bytes(text.begin(), text.end()));
        chmod(program.c_str(), 0700);
        const Finished finished = LoadThrough(folder.File("answer"), program);
        EXPECT_EQ(finished.outcome.status, LoadStatus::ReaderFailed) << c.name;
        EXPECT_EQ(finished.record.buffersAllocated, 0) << c.name;
        EXPECT_EQ(finished.endings, 1) << c.name;
    }
    ASSERT_EQ(LoadThrough(folder.File("answer"), VOQ_READER).outcome.status,
              LoadStatus::NotRiffWave)
        << "the real reader takes the same path";
}

// The real reader, caught in a read from a disk that stopped answering: it runs confined,
// and a cancel leaves this process with the threads and descriptors it had before, at once,
// whether the disk lets the killed reader end or keeps it. A reader kept is reaped by the
// next load once the disk lets it go.
TEST(ReaderProcess, ACancelledReaderOnAStalledDiskLeavesNothing) {
    TemporaryFolder folder;
    const std::string source =
        WavBuilder().Samples16(Ramp(2u << 20)).WriteTo(folder, "stalled.wav");
    const std::string small = kFileCases[0].make(folder);
    for (const auto stall : {SlowFile::Stall::UntilKilled, SlowFile::Stall::EvenWhenKilled}) {
        const bool kept = stall == SlowFile::Stall::EvenWhenKilled;
        SCOPED_TRACE(kept ? "a disk that keeps killed readers" : "a disk that lets them go");
        auto slow = std::make_unique<SlowFile>(source, 20 << 20, 1 << 20, stall);
        if (!slow->Problem().empty()) {
            GTEST_SKIP() << slow->Problem();
        }
        const int threads = OwnThreads();
        const int descriptors = OpenDescriptors();
        auto load = std::make_unique<ReaderProcess>(
            slow->Path(), kColumns, [] {}, VOQ_READER);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (slow->ReadsServed().bytes < (512u << 10) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // into the stalled read
        const std::vector<std::string> readers = ChildrenNamed(getpid(), "voq006-reader");
        ASSERT_EQ(readers.size(), 1u);
        EXPECT_EQ(StatusNumber("NoNewPrivs", readers[0]), 1);
        EXPECT_EQ(StatusNumber("Seccomp", readers[0]), kSeccompInThisBuild ? 2 : 0);
        EXPECT_FALSE(load->Ended());

        const auto cancelled = std::chrono::steady_clock::now();
        load.reset();
        EXPECT_LT(std::chrono::steady_clock::now() - cancelled, std::chrono::milliseconds(500));
        EXPECT_EQ(OwnThreads(), threads);
        EXPECT_EQ(OpenDescriptors(), descriptors);
        EXPECT_EQ(ProcessState(readers[0]), kept ? "D" : "") << "the killed reader";
        slow.reset();
        bool reaped = false;
        for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
             !reaped && std::chrono::steady_clock::now() < until;) {
            LoadThrough(small);
            reaped = ChildrenNamed(getpid(), "voq006-reader").empty();
        }
        EXPECT_TRUE(reaped) << "a reader was left unreaped";
    }
}

} // namespace
