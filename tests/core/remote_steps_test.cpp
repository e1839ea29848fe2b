// What remote players sent ahead of their turn: kept per sender in order,
// taken in arrival order across senders, and bounded against a sender who
// floods.
#include "remote_steps.h"

#include <gtest/gtest.h>

namespace {

RemoteStep Move(PlayerId sender, int number) {
    return {sender, RemoteStep::kMove, number, 0, 0};
}
RemoteStep EndTurn(PlayerId sender) {
    return {sender, RemoteStep::kEndTurn, 0, 0, 0};
}
RemoteStep Leave(PlayerId sender) {
    return {sender, RemoteStep::kLeave, 0, 0, 1};
}

TEST(RemoteSteps, TakesTheEarliestReadyFrontInArrivalOrder) {
    RemoteSteps steps;
    steps.Push(Move(2, 20));
    steps.Push(Move(1, 10));
    steps.Push(Move(2, 21));
    steps.Push(Move(1, 11));
    const auto anyone = [](const RemoteStep&) { return true; };
    const auto onlyOne = [](const RemoteStep& s) { return s.sender == 1; };
    EXPECT_EQ(steps.TakeReady(onlyOne)->number, 10);
    EXPECT_EQ(steps.TakeReady(anyone)->number, 20);
    EXPECT_EQ(steps.TakeReady(anyone)->number, 21); // arrived before 11
    EXPECT_EQ(steps.TakeReady(anyone)->number, 11);
    EXPECT_FALSE(steps.TakeReady(anyone));
    EXPECT_TRUE(steps.Empty());
}

// A flood of out-of-turn moves and ends of turn from one sender: only so
// much is kept, the other senders are not hurt, and the flooder's leave
// still gets through.
TEST(RemoteSteps, KeepsAFewTurnsPerSenderAndAlwaysHisLeave) {
    const struct {
        const char* what;
        bool endsTurns; // each move followed by an end of turn
        std::size_t kept;
    } cases[] = {
        {"ends of turn", true, 2 * RemoteSteps::kMaxTurnsPerSender},
        {"hops of one turn", false, RemoteSteps::kMaxPerSender},
    };
    for (const auto& c : cases) {
        RemoteSteps steps;
        std::size_t accepted = 0;
        for (int i = 0; i < 100000; ++i) {
            accepted += steps.Push(Move(1, i));
            if (c.endsTurns)
                accepted += steps.Push(EndTurn(1));
        }
        EXPECT_EQ(accepted, c.kept) << c.what;
        EXPECT_TRUE(steps.Push(Move(2, 7))) << c.what;
        EXPECT_TRUE(steps.Push(Leave(1))) << c.what;
        EXPECT_FALSE(steps.Push(Leave(1))) << c.what << ": one leave is enough";
        EXPECT_FALSE(steps.Push(Move(1, 0))) << c.what << ": nothing after his leave";

        std::size_t taken = 0;
        RemoteStep last;
        while (const auto step = steps.TakeReady([](const RemoteStep&) { return true; })) {
            ++taken;
            last = *step;
        }
        EXPECT_EQ(taken, c.kept + 2) << c.what;
        EXPECT_EQ(last.kind, RemoteStep::kLeave) << c.what;
        // Taken out, the line has room again.
        EXPECT_TRUE(steps.Push(Move(1, 1))) << c.what;
    }
}

} // namespace
