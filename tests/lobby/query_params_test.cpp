#include "query_params.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

struct ParseCase {
    const char* query;
    PlusSign plus;
    const char* key;
    const char* expected; // nullptr: the key is absent
};

TEST(QueryParams, ReadsValuesAsTheGameAndBrowsersSendThem) {
    const ParseCase cases[] = {
        {"username=bob&password=a=b=c", PlusSign::Literal, "password", "a=b=c"},
        {"password=1+2", PlusSign::Literal, "password", "1+2"},
        {"password=1+2", PlusSign::Space, "password", "1 2"},
        {"gamename=Joes%20game%201&players=100300", PlusSign::Literal, "gamename", "Joes game 1"},
        {"x=%41%62%2b", PlusSign::Literal, "x", "Ab+"},
        {"x=%zz%4", PlusSign::Literal, "x", "%zz%4"},
        {"x=100%", PlusSign::Literal, "x", "100%"},
        {"x=1&x=2", PlusSign::Literal, "x", "1"},
        {"&&x&y=", PlusSign::Literal, "x", ""},
        {"&&x&y=", PlusSign::Literal, "y", ""},
        {"k%3Dv=w", PlusSign::Literal, "k=v", "w"},
        {"name='%3B--\"<>", PlusSign::Literal, "name", "';--\"<>"},
        {"xy=1", PlusSign::Literal, "x", nullptr},
        {"", PlusSign::Literal, "x", nullptr},
    };
    for (const ParseCase& c : cases) {
        const QueryParams params = QueryParams::Parse(c.query, c.plus);
        const std::string* value = params.Find(c.key);
        if (c.expected == nullptr) {
            EXPECT_EQ(value, nullptr) << c.query;
        } else if (value == nullptr) {
            ADD_FAILURE() << c.query << ": " << c.key << " not found";
        } else {
            EXPECT_EQ(*value, c.expected) << c.query;
        }
    }
}

TEST(QueryParams, DecodesAnEscapedLineEndAndNulByte) {
    const QueryParams params = QueryParams::Parse("x=a%0Ab%00", PlusSign::Literal);
    const std::string* value = params.Find("x");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(*value, std::string("a\nb\0", 4));
}

TEST(ParsePositiveNumber, AcceptsOnlyPlainDecimalFromOneToInt32Max) {
    const struct {
        const char* text;
        std::optional<std::int32_t> expected;
    } cases[] = {
        {"1", 1},
        {"12", 12},
        {"2147483647", std::numeric_limits<std::int32_t>::max()},
        {"0000000005", 5},
        {"2147483648", std::nullopt},
        {"99999999999", std::nullopt},
        {"0", std::nullopt},
        {"", std::nullopt},
        {"-1", std::nullopt},
        {"+1", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"1\r", std::nullopt},
        {"0x10", std::nullopt},
        {"$10", std::nullopt},
        {"1 OR 1=1", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParsePositiveNumber(c.text), c.expected) << '"' << c.text << '"';
}

} // namespace
