#include "text_to_int.h"

#include <gtest/gtest.h>

namespace {

TEST(TextToInt, ReadsNumbersAsTheGameAlwaysHas) {
    struct {
        const char* text;
        std::optional<int32_t> value;
    } const cases[] = {
        {"1000", 1000},
        {"  42", 42},
        {"-5", -5},
        {"+7", 7},
        {"0x3E8", 1000},
        {"0X3e8", 1000},
        {"$3E8", 1000},
        {"-$10", -16},
        {"$FFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", {}},
        {"$100000000", {}},
        {"", {}},
        {"   ", {}},
        {"12\n", {}},
        {"12\r", {}},
        {"12 ", {}},
        {"1a", {}},
        {"0x", {}},
        {"$", {}},
        {"-", {}},
        {"\t1", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TryStrToInt(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(StrToIntDef("nope", 1000), 1000);
}

} // namespace
