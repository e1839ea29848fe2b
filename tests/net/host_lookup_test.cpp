// A host name look-up answers from the event loop, never before its
// constructor has returned, and never once cancelled.
#include "host_lookup.h"
#include "net_test_support.h"
#include "socket_error.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <optional>

namespace {

TEST(HostLookup, AnswersFromTheEventLoop) {
    const struct {
        const char* name;
        bool found;
        const char* address;
        int error;
    } cases[] = {
        {"0x7f.0.0.1", true, "127.0.0.1", 0},
        {"127.1", true, "127.0.0.1", 0},
        {"", false, "0.0.0.0", kWsaHostNotFound},
    };
    for (const auto& c : cases) {
        std::optional<THostLookup::Answer> answer;
        THostLookup lookup(c.name, [&](const THostLookup::Answer& a) { answer = a; });
        EXPECT_FALSE(answer) << c.name;
        EXPECT_TRUE(lookup.Running()) << c.name;
        ASSERT_TRUE(WaitUntil([&] { return answer.has_value(); })) << c.name;
        EXPECT_FALSE(lookup.Running()) << c.name;
        EXPECT_EQ(answer->found, c.found) << c.name;
        in_addr address{};
        address.s_addr = answer->address;
        EXPECT_STREQ(inet_ntoa(address), c.address) << c.name;
        EXPECT_EQ(answer->error, c.error) << c.name;
    }
}

TEST(HostLookup, NeverAnswersOnceCancelledOrGone) {
    int answers = 0;
    THostLookup cancelled("0x7f.0.0.1", [&](const THostLookup::Answer&) { ++answers; });
    cancelled.Cancel();
    EXPECT_FALSE(cancelled.Running());
    auto gone =
        std::make_unique<THostLookup>("0x7f.0.0.1", [&](const THostLookup::Answer&) { ++answers; });
    gone.reset();
    // One that ends itself from its answer, as an owner that drops what it
    // waited for does.
    std::unique_ptr<THostLookup> ending;
    ending = std::make_unique<THostLookup>("0x7f.0.0.1", [&](const THostLookup::Answer&) {
        ++answers;
        ending.reset();
    });
    ASSERT_TRUE(WaitUntil([&] { return ending == nullptr; }));
    RunEventsFor(kQuietSpell);
    EXPECT_EQ(answers, 1);
}

} // namespace
