#include "board_layout.h"

#include <gtest/gtest.h>

namespace {

struct LayoutCase {
    int clientWidth, clientHeight, statusBarHeight;
    PictureRect expected;
    const char* what;
};

TEST(BoardLayout, FillsTheHeightAboveTheStatusBarAtThirtyThirtyFirstsCentredRightOfTheStrip) {
    const LayoutCase cases[] = {
        {624, 549, 19, {112, 0, 512, 530}, "the initial client area"},
        {1000, 700, 19, {242, 0, 659, 681}, "wider: centred right of the strip of 143"},
        {1900, 1000, 19, {579, 0, 949, 981}, "much wider: centred right of the strip of 207"},
        {800, 700, 19, {141, 0, 659, 681}, "less room than the strip: flush right"},
        {624, 600, 19, {62, 0, 562, 581}, "taller, still room at the left"},
        {624, 663, 19, {1, 0, 623, 644}, "as tall as the width allows"},
        {624, 1000, 19, {1, 0, 623, 644}, "taller than the width allows: fitted"},
        {640, 19, 19, {320, 0, 0, 0}, "no room above the status bar"},
        {640, 10, 19, {320, 0, 0, 0}, "a status bar taller than the client area"},
    };
    for (const LayoutCase& c : cases) {
        const PictureRect r = BoardRectFor(c.clientWidth, c.clientHeight, c.statusBarHeight);
        EXPECT_EQ(r.left, c.expected.left) << c.what;
        EXPECT_EQ(r.top, c.expected.top) << c.what;
        EXPECT_EQ(r.width, c.expected.width) << c.what;
        EXPECT_EQ(r.height, c.expected.height) << c.what;
    }
}

} // namespace
