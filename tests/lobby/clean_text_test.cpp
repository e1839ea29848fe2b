#include "clean_text.h"

#include <gtest/gtest.h>

namespace {

TEST(CleanText, KeepsValidTextAndRefusesControlsBadUtf8AndLineReordering) {
    const struct {
        std::string text;
        bool clean;
    } cases[] = {
        {"", true},
        {"Joes game 1", true},
        {"Grüße, 東京 ★ 🎲", true},
        {std::string("a\0b", 3), false},
        {"two\nlines", false},
        {"cr\r", false},
        {"tab\t", false},
        {"del\x7f", false},
        {"c1 \xc2\x85", false},          // NEXT LINE
        {"rtl \xe2\x80\xae", false},     // RIGHT-TO-LEFT OVERRIDE
        {"isolate \xe2\x81\xa6", false}, // LEFT-TO-RIGHT ISOLATE
        {"line \xe2\x80\xa8", false},    // LINE SEPARATOR
        {"bom \xef\xbb\xbf", false},
        {"\xff", false},
        {"\xc3", false},             // cut short
        {"\xc3\x28", false},         // bad continuation
        {"\xc0\xaf", false},         // overlong "/"
        {"\xe0\x80\xaf", false},     // overlong "/"
        {"\xed\xa0\x80", false},     // surrogate
        {"\xf4\x90\x80\x80", false}, // beyond U+10FFFF
        {"\xf4\x8f\xbf\xbd", true},  // U+10FFFD
    };
    for (const auto& c : cases)
        EXPECT_EQ(clean_text::IsClean(c.text), c.clean) << clean_text::ForLog(c.text);
}

TEST(CleanText, LogTextIsOnePrintableLineThatShowsEveryByte) {
    const struct {
        std::string text;
        std::string logged;
    } cases[] = {
        {"/tavlo/getgames.php", "/tavlo/getgames.php"},
        {"/x\n127.0.0.9 GET /forged 200", "/x\\x0a127.0.0.9 GET /forged 200"},
        {std::string("nul\0", 4), "nul\\x00"},
        {"back\\x0a", "back\\\\x0a"},
        {"\xc3\xa9\r\x1b[2J", "\\xc3\\xa9\\x0d\\x1b[2J"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(clean_text::ForLog(c.text), c.logged);
}

} // namespace
