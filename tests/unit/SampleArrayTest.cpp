#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "wave/WaveRecord.h"

namespace {

TEST(AllocateSampleBuffers, CountZeroGivesTwoEmptyArraysAndSetsTheFlag) {
    WaveRecord record;
    ASSERT_TRUE(AllocateSampleBuffers(record, 0));
    EXPECT_TRUE(record.left.empty());
    EXPECT_TRUE(record.right.empty());
    EXPECT_EQ(record.buffersAllocated, 1);
    EXPECT_EQ(record.frameCount, 0u);
}

TEST(AllocateSampleBuffers, ReplacesPreviousArraysWithZeroFilledOnesAndKeepsTheFlag) {
    WaveRecord record;
    record.frameCount = 77;
    ASSERT_TRUE(AllocateSampleBuffers(record, 1000));
    std::fill(record.left.begin(), record.left.end(), std::int16_t{5});
    record.right[999] = -3;
    ASSERT_TRUE(AllocateSampleBuffers(record, 10));
    ASSERT_EQ(record.left.size(), 10u);
    ASSERT_EQ(record.right.size(), 10u);
    EXPECT_TRUE(std::all_of(record.left.begin(), record.left.end(), [](auto v) { return v == 0; }));
    EXPECT_TRUE(
        std::all_of(record.right.begin(), record.right.end(), [](auto v) { return v == 0; }));
    EXPECT_EQ(record.buffersAllocated, 1);
    EXPECT_EQ(record.frameCount, 77u) << "the frame count belongs to the reader";
}

#if !defined(__SANITIZE_ADDRESS__)
// Caps the address space near what the process uses, so that two arrays of 2^32 - 1
// elements cannot be mapped, and exits with 0 if the refusal leaves both arrays empty
// and the flag as it was.
[[noreturn]] void AllocateUnderAnAddressSpaceCap(WaveRecord& record) {
    const rlimit limit{rlim_t{1} << 32, rlim_t{1} << 32};
    setrlimit(RLIMIT_AS, &limit);
    const bool refused = !AllocateSampleBuffers(record, UINT32_MAX);
    std::_Exit(
        refused && record.left.empty() && record.right.empty() && record.buffersAllocated == 1 ? 0
                                                                                               : 1);
}

TEST(AllocateSampleBuffers, ARefusalLeavesNoArraysAndKeepsTheFlag) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    WaveRecord record;
    ASSERT_TRUE(AllocateSampleBuffers(record, 10));
    EXPECT_EXIT(AllocateUnderAnAddressSpaceCap(record), ::testing::ExitedWithCode(0), "");
}
#endif

TEST(SampleArray, CloneIsADeepCopyAndMoveLeavesTheSourceEmpty) {
    auto array = SampleArray::Allocate(3u << 20); // large enough for the huge-page path
    ASSERT_TRUE(array);
    array->PrepareForWriting(array->size());
    (*array)[0] = 1;
    (*array)[array->size() - 1] = -1;
    SampleArray copy = array->Clone();
    (*array)[0] = 9;
    EXPECT_EQ(copy[0], 1);
    EXPECT_EQ(copy[copy.size() - 1], -1);
    SampleArray moved = std::move(copy);
    EXPECT_TRUE(copy.empty()); // NOLINT(bugprone-use-after-move): a moved-from array is empty
    EXPECT_EQ(moved.size(), 3u << 20);
}

TEST(SampleArray, AHugeClaimCostsNothingUntilWritten) {
    WaveRecord record;
    ASSERT_TRUE(AllocateSampleBuffers(record, UINT32_MAX));
    EXPECT_EQ(record.left.size(), std::size_t{UINT32_MAX});
    record.left.PrepareForWriting(100);
    const std::size_t step = UINT32_MAX / 840;
    int sum = 0;
    for (std::size_t column = 0; column < 840; ++column) {
        sum += record.left[column * step] + record.right[column * step];
    }
    EXPECT_EQ(sum, 0);
}

} // namespace
