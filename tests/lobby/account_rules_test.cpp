#include "account_rules.h"

#include <gtest/gtest.h>

namespace {

TEST(AccountRules, UserNamesAreOneToSixteenCharactersTheGameCanSend) {
    const struct {
        const char* name;
        bool usable;
    } cases[] = {
        {"bob", true},
        {"x", true},
        {"abcdefghijklmnop", true},
        {"o'b\";--<i>", true},
        {"x'OR'1'='1", true},
        {"", false},
        {"abcdefghijklmnopq", false},
        {"a b", false},
        {"a&b", false},
        {"a#b", false},
        {"a%41", false},
        {"a\\b", false},
        {"tab\t", false},
        {"caf\xc3\xa9", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(!account_rules::UserNameProblem(c.name), c.usable) << '"' << c.name << '"';
}

TEST(AccountRules, PasswordsAreSixToSixteenCharactersTheGameCanSend) {
    const struct {
        const char* password;
        bool usable;
    } cases[] = {
        {"123456", true},     {"abcdefghijklmnop", true}, {"'OR'1'='1", true},
        {"a+b=c;d", true},    {"12345", false},           {"abcdefghijklmnopq", false},
        {"pass word", false}, {"pass&word", false},       {"pass%20word", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(!account_rules::PasswordProblem(c.password), c.usable)
            << '"' << c.password << '"';
}

} // namespace
