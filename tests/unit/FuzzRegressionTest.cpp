// The files of fuzz/regressions (the hardest shapes met, and inputs that once broke the
// reader under the fuzzer), loaded again and checked the way the fuzzer checks them; and
// the checks themselves, which must notice a broken record.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/CaseName.h"
#include "tests/support/RecordInvariants.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WavBuilder.h"
#include "wave/WaveFileReader.h"

namespace {

std::vector<std::filesystem::path> RegressionFiles() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(VOQ_FUZZ_REGRESSIONS)) {
        if (entry.is_regular_file() && entry.path().extension() == ".wav") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string FileCaseName(const ::testing::TestParamInfo<std::filesystem::path>& info) {
    std::string name = info.param.stem().string();
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

// A record holding the earlier file, as the fuzzer has it before each input.
class LoadedRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_earlier = WriteFile(m_folder, "earlier.wav", EarlierFileBytes());
        ASSERT_EQ(LoadWaveFile(m_record, m_earlier), 0);
        m_record.loaded = 1;
    }

    TemporaryFolder m_folder;
    std::string m_earlier;
    WaveRecord m_record;
};

class FuzzRegression : public LoadedRecordTest,
                       public ::testing::WithParamInterface<std::filesystem::path> {};

TEST_P(FuzzRegression, LoadsAsTheReferenceDecoderSaysAndKeepsTheRecordWhole) {
    const std::string path = GetParam().string();
    EXPECT_EQ(CheckLoad(m_record, path, ReadFile(path)), "");
}

// An empty folder leaves the suite uninstantiated, which GoogleTest reports as a failure.
INSTANTIATE_TEST_SUITE_P(Regressions, FuzzRegression, ::testing::ValuesIn(RegressionFiles()),
                         FileCaseName);

// A fault the checks must report: what a faulty reader could do to a record.
struct Damage : NamedCase {
    std::function<void(WaveRecord&)> apply;
};

class ChecksNotice : public LoadedRecordTest, public ::testing::WithParamInterface<Damage> {};

// A rejection must leave everything as it was.
TEST_P(ChecksNotice, AChangeAfterARejection) {
    const RecordSnapshot before = TakeSnapshot(m_record);
    ASSERT_EQ(DescribeChange(m_record, before), "");
    GetParam().apply(m_record);
    EXPECT_NE(DescribeChange(m_record, before), "");
}

INSTANTIATE_TEST_SUITE_P(Rejection, ChecksNotice,
                         ::testing::ValuesIn(std::vector<Damage>{
                             {"HeaderField", [](WaveRecord& r) { r.sampleRate += 1; }},
                             {"PeakZeroed", [](WaveRecord& r) { r.peak = 0; }},
                             {"PathCleared", [](WaveRecord& r) { r.path.clear(); }},
                             {"LoadedFlag", [](WaveRecord& r) { r.loaded = 0; }},
                             {"SampleChanged",
                              [](WaveRecord& r) { r.right[r.right.size() - 1] += 1; }},
                             {"ArraysReplacedBySameContent",
                              [](WaveRecord& r) {
                                  r.left = r.left.Clone();
                                  r.right = r.right.Clone();
                              }},
                             {"ArraysReleased", [](WaveRecord& r) { AllocateSampleBuffers(r, 0); }},
                         }),
                         CaseName);

class InvariantCheckNotices : public LoadedRecordTest,
                              public ::testing::WithParamInterface<Damage> {};

// A success must leave a record that holds together.
TEST_P(InvariantCheckNotices, ABrokenRecordAfterALoad) {
    ASSERT_EQ(DescribeBrokenInvariant(m_record, m_earlier), "");
    GetParam().apply(m_record);
    EXPECT_NE(DescribeBrokenInvariant(m_record, m_earlier), "");
}

INSTANTIATE_TEST_SUITE_P(
    Success, InvariantCheckNotices,
    ::testing::ValuesIn(std::vector<Damage>{
        {"FrameCountAboveArrays", [](WaveRecord& r) { r.frameCount += 1; }},
        {"PeakBelowALeftSample",
         [](WaveRecord& r) {
             r.right[2] = 0; // the earlier file's 32767; its loudest left sample is 5000
             r.peak = 4999;
         }},
        {"PeakBelowARightSample", [](WaveRecord& r) { r.peak = 5000; }},
        {"NegativePeak", [](WaveRecord& r) { r.peak = -1; }},
        {"PathNotSet", [](WaveRecord& r) { r.path = "elsewhere.wav"; }},
    }),
    CaseName);

} // namespace
