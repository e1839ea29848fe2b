#include "plain_text.h"

#include <gtest/gtest.h>

namespace {

TEST(PlainText, AHostileNameBecomesOneLineOfVisibleText) {
    const struct {
        const char* what;
        std::string bytes;
        std::string shown;
    } cases[] = {
        // One line a case: the literals are cut only where a hex digit follows.
        // clang-format off
        {"plain", "Friday game", "Friday game"},
        {"accents kept", "Caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac", "Caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac"},
        {"HTML is text", "<b>bold</b><img src=x>", "<b>bold</b><img src=x>"},
        {"line breaks", "one\r\ntwo\nthree", "one  two three"},
        {"other controls", std::string("a\0b\x07" "c\x1b[31md\x7f", 12), "a b c [31md"},
        {"C1 controls", "a\xc2\x85" "b\xc2\x9b" "c", "a b c"},
        {"line and paragraph separators", "a\xe2\x80\xa8" "b\xe2\x80\xa9" "c", "a b c"},
        {"right-to-left override", "abc\xe2\x80\xae" "exe.fdp", "abcexe.fdp"},
        {"direction marks and isolates",
         "\xe2\x80\x8f" "a\xe2\x81\xa6" "b\xe2\x81\xa9" "c\xd8\x9c", "abc"},
        {"zero-width and byte order mark", "a\xe2\x80\x8b" "b\xef\xbb\xbf" "c\xe2\x81\xa0", "abc"},
        {"tag characters", "a\xf3\xa0\x80\x81" "b", "ab"},
        {"stacked marks", "Z\xcc\x81\xcc\x82\xcc\x83\xcc\x84\xcc\x85" "a",
         "Z\xcc\x81\xcc\x82\xcc\x83" "a"},
        {"broken UTF-8", "a\xff" "b\xc3" "c", "a\xef\xbf\xbd" "b\xef\xbf\xbd" "c"},
        {"cut at the end", "ab\xe6\x97", "ab\xef\xbf\xbd\xef\xbf\xbd"},
        {"overlong slash", "a\xc0\xaf" "b", "a\xef\xbf\xbd" "b"},
        {"surrogate", "a\xed\xa0\x80" "b", "a\xef\xbf\xbd" "b"},
        {"beyond U+10FFFF", "a\xf4\x90\x80\x80" "b", "a\xef\xbf\xbd" "b"},
        {"noncharacter", "a\xef\xbf\xbf" "b", "a\xef\xbf\xbd" "b"},
        {"blanks at the ends", "  \t mid \n", "mid"},
        {"nothing visible", "\xe2\x80\xae\xe2\x80\x8b", ""},
        // clang-format on
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlainText(c.bytes), c.shown) << c.what;
}

TEST(PlainText, AnyBytesGiveValidUtf8WithoutControls) {
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    for (const std::string& bytes :
         {all, all + all.substr(128), std::string(all.rbegin(), all.rend())}) {
        const std::string shown = PlainText(bytes);
        for (unsigned char c : shown)
            EXPECT_TRUE(c >= 0x20 && c != 0x7f) << static_cast<int>(c);
        // Re-reading changes nothing: it is already plain.
        EXPECT_EQ(PlainText(shown), shown);
    }
}

} // namespace
