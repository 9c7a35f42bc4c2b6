#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "tests/support/CaseName.h"
#include "tests/support/RecordingSurface.h"

namespace {

// The drawing tests trust the recording surface to catch misuse; these cases show that it
// does, one breach each.
struct MisuseCase : NamedCase {
    std::function<void(RecordingSurface&)> draw;
};

const MisuseCase kMisuseCases[] = {
    {"LineToWithoutMoveTo", [](RecordingSurface& s) { s.LineTo(1, 1); }},
    {"TwoLineTosAfterOneMoveTo",
     [](RecordingSurface& s) {
         s.MoveTo(0, 0);
         s.LineTo(1, 1);
         s.LineTo(2, 2);
     }},
    {"MoveToWithoutLineTo",
     [](RecordingSurface& s) {
         s.MoveTo(0, 0);
         s.MoveTo(1, 1);
         s.LineTo(2, 2);
     }},
    {"MoveToLeftWaitingAtTheEnd", [](RecordingSurface& s) { s.MoveTo(0, 0); }},
    {"PenSelectedBetweenMoveToAndLineTo",
     [](RecordingSurface& s) {
         const PenHandle pen = s.CreatePen(PenStyle::Solid, 1, 0);
         s.MoveTo(0, 0);
         const PenHandle previous = s.SelectPen(pen);
         s.LineTo(1, 1);
         s.SelectPen(previous);
         s.DeletePen(pen);
     }},
    {"SelectedPenDeleted",
     [](RecordingSurface& s) {
         const PenHandle pen = s.CreatePen(PenStyle::Solid, 1, 0);
         s.SelectPen(pen);
         s.DeletePen(pen);
     }},
    {"PenDeletedTwice",
     [](RecordingSurface& s) {
         const PenHandle pen = s.CreatePen(PenStyle::Solid, 1, 0);
         s.DeletePen(pen);
         s.DeletePen(pen);
     }},
    {"DeletedPenSelected",
     [](RecordingSurface& s) {
         const PenHandle pen = s.CreatePen(PenStyle::Solid, 1, 0);
         s.DeletePen(pen);
         s.SelectPen(pen);
         s.SelectPen(RecordingSurface::kDefaultPen);
     }},
    {"GuessedHandleSelected",
     [](RecordingSurface& s) {
         s.CreatePen(PenStyle::Solid, 1, 0);
         s.SelectPen(1);
     }},
    {"PenReplacedByAnotherThanItsPredecessor",
     [](RecordingSurface& s) {
         const PenHandle first = s.CreatePen(PenStyle::Solid, 1, 0);
         const PenHandle second = s.CreatePen(PenStyle::Dotted, 1, 0);
         s.SelectPen(first);
         s.SelectPen(second);
         s.SelectPen(RecordingSurface::kDefaultPen); // skips first, which second replaced
         s.DeletePen(second);
         s.DeletePen(first);
     }},
};

class RecordingSurfaceMisuse : public testing::TestWithParam<MisuseCase> {};

TEST_P(RecordingSurfaceMisuse, IsReported) {
    RecordingSurface surface;
    GetParam().draw(surface);
    EXPECT_FALSE(surface.Violations().empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, RecordingSurfaceMisuse, testing::ValuesIn(kMisuseCases), CaseName);

TEST(RecordingSurface, AcceptsNestedPensRestoredInOrderAndRecordsWhatWasDrawn) {
    RecordingSurface surface;
    const PenHandle dotted = surface.CreatePen(PenStyle::Dotted, 1, 0x00000000);
    const PenHandle blue = surface.CreatePen(PenStyle::Solid, 1, 0x00FF0000);
    const PenHandle beforeDotted = surface.SelectPen(dotted);
    surface.MoveTo(0, 0);
    surface.LineTo(10, 0);
    const PenHandle beforeBlue = surface.SelectPen(blue);
    surface.MoveTo(5, 5);
    surface.LineTo(6, 7);
    surface.SelectPen(beforeBlue);
    surface.SelectPen(beforeDotted);
    surface.DeletePen(blue);
    surface.DeletePen(dotted);
    surface.SetTextColour(0x000000FF);
    surface.TextOut(3, 4, "右");

    EXPECT_EQ(surface.Violations(), std::vector<std::string>{});
    EXPECT_EQ(surface.LivePens(), 0u);
    EXPECT_EQ(surface.SelectedPen(), RecordingSurface::kDefaultPen);
    EXPECT_EQ(beforeDotted, RecordingSurface::kDefaultPen);
    EXPECT_EQ(beforeBlue, dotted);
    // Handles no routine could guess: not 0, not 1, 2, 3 ..., and all different.
    EXPECT_GT(dotted, 0x100u);
    EXPECT_NE(blue, dotted + 1);
    ASSERT_EQ(surface.Lines().size(), 2u);
    EXPECT_EQ(surface.LinesWith(PenStyle::Dotted, 0x00000000).size(), 1u);
    const RecordingSurface::Line blueLine = surface.LinesWith(PenStyle::Solid, 0x00FF0000).at(0);
    const RecordingSurface::Line expectedBlue{5, 5, 6, 7, blue, {PenStyle::Solid, 1, 0x00FF0000}};
    EXPECT_EQ(blueLine, expectedBlue);
    const std::vector<RecordingSurface::Text> texts = {{3, 4, "右", 0x000000FF}};
    EXPECT_EQ(surface.Texts(), texts);
}

} // namespace
