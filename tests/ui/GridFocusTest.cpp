#include "ui/GridFocus.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

TEST(GridFocusTest, MovesAcrossRowsAndSectionsAndStaysInside) {
    using enum GridFocus::Move;
    // Three columns; sections of 5 (rows 0-2, 3-4), 1 (row 5) and 4 (rows 6-8, 9).
    const std::vector<int> sections = {5, 1, 4};
    struct Case {
        int from;
        GridFocus::Move move;
        int pageRows, to;
    };
    const Case cases[] = {
        {-1, Down, 1, 0},    {10, Up, 1, 0},    {0, Left, 1, 0},   {2, Right, 1, 3}, {9, Right, 1, 9},
        {2, Down, 1, 4},     {4, Down, 1, 5},   {5, Down, 1, 6},   {5, Up, 1, 3},    {8, Up, 1, 5},
        {9, Up, 1, 6},       {8, Down, 1, 9},   {9, Down, 1, 9},   {1, Up, 1, 1},    {1, PageDown, 2, 5},
        {2, PageDown, 9, 9}, {8, PageUp, 2, 4}, {8, PageUp, 0, 5}, {4, Home, 1, 0},  {4, End, 1, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.from << " by " << static_cast<int>(c.move));
        EXPECT_EQ(GridFocus::move(sections, 3, c.from, c.move, c.pageRows), c.to);
    }
    EXPECT_EQ(GridFocus::move({}, 3, 0, Down, 1), -1);
    EXPECT_EQ(GridFocus::move({0, 2}, 0, 0, Down, 1), 1) << "an empty section and no columns";
}

} // namespace
} // namespace drovane
