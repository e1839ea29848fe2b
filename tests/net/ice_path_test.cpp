// Two ICE paths in one program, meeting over this machine's own addresses
// (host candidates, no routers: the router lab's tests cover those): the
// order of events, datagrams both ways, refusals, and an end without
// events after Close, also from inside a handler.
#include "ice_description.h"
#include "ice_path.h"
#include "net_test_support.h"

#include <gtest/gtest.h>

namespace {

constexpr int kGatherMs = 5000;
constexpr int kPathMs = 5000;

// One end: its path and everything it reported.
struct End {
    explicit End(TIceRole role, std::chrono::milliseconds deadline = std::chrono::seconds(10))
        : path(TIceSettings{role, std::nullopt, {}, false, deadline}) {
        path.OnGathered = [this](const std::string& d) { description = d; };
        path.OnReady = [this](TIcePathKind k) {
            events.push_back(std::string("ready ") + IcePathKindName(k));
        };
        path.OnDatagram = [this](std::string_view d) { received.emplace_back(d); };
        path.OnFailed = [this](const std::string& why) { events.push_back("failed " + why); };
    }
    TIcePath path;
    std::string description;
    std::vector<std::string> events;
    std::vector<std::string> received;
};

void Gather(End& end) {
    end.path.Start();
    ASSERT_TRUE(WaitUntil([&] { return !end.description.empty(); }, kGatherMs));
}

// Gathers on both ends and hands each the other's description.
void Meet(End& a, End& b) {
    Gather(a);
    Gather(b);
    a.path.SetRemote(b.description);
    b.path.SetRemote(a.description);
    ASSERT_TRUE(WaitUntil([&] { return a.path.Ready() && b.path.Ready(); }, kPathMs));
}

void WaitForClosings() {
    EXPECT_TRUE(WaitUntil([] { return TIcePath::ClosingCount() == 0; }, kPathMs));
}

TEST(IcePath, TwoEndsMeetAndCarryDatagramsBothWays) {
    End a(TIceRole::Controlling), b(TIceRole::Controlled);
    Gather(a);
    EXPECT_NO_THROW(ParseIceDescription(a.description));
    EXPECT_FALSE(a.path.Send("early")) << "nothing goes before the path is ready";
    Gather(b);
    a.path.SetRemote(b.description);
    EXPECT_TRUE(a.path.Send("kept")) << "kept until the path is ready";
    b.path.SetRemote(a.description);
    ASSERT_TRUE(WaitUntil([&] { return a.path.Ready() && b.path.Ready(); }, kPathMs));
    ASSERT_TRUE(WaitUntil([&] { return b.received.size() == 1; }, kPathMs));
    EXPECT_EQ(b.received, std::vector<std::string>{"kept"});
    b.received.clear();
    EXPECT_EQ(a.events, std::vector<std::string>{"ready direct"});
    EXPECT_EQ(b.events, std::vector<std::string>{"ready direct"});
    EXPECT_NE(a.path.SelectedPair().find("host"), std::string::npos) << a.path.SelectedPair();

    const std::vector<std::string> datagrams = {std::string(1, '\0'), std::string(40, 'm'),
                                                std::string(kMaxDatagramBytes, 'x')};
    for (const std::string& d : datagrams)
        EXPECT_TRUE(a.path.Send(d));
    EXPECT_FALSE(a.path.Send(std::string(kMaxDatagramBytes + 1, 'x'))) << "longer than any message";
    EXPECT_TRUE(b.path.Send("back"));
    ASSERT_TRUE(WaitUntil([&] { return b.received.size() == datagrams.size(); }, kPathMs));
    ASSERT_TRUE(WaitUntil([&] { return a.received.size() == 1; }, kPathMs));
    EXPECT_EQ(b.received, datagrams);
    EXPECT_EQ(a.received, std::vector<std::string>{"back"});
    EXPECT_EQ(a.path.Counts().sent, datagrams.size() + 1);
    EXPECT_EQ(b.path.Counts().received, datagrams.size() + 1);
}

TEST(IcePath, RefusesCallsOutOfTurn) {
    End a(TIceRole::Controlling);
    EXPECT_THROW(a.path.SetRemote("ice1 Xb3F Kq9mZ2v8Rk1s0dPw4tYhNc h,1,5,192.0.2.1,9"),
                 TIcePathError)
        << "before Start";
    Gather(a);
    EXPECT_THROW(a.path.Start(), TIcePathError);
    EXPECT_THROW(a.path.SetRemote("ice1 nonsense"), TIceDescriptionError);
    a.path.SetRemote(a.description);
    EXPECT_THROW(a.path.SetRemote(a.description), TIcePathError) << "twice";
}

TEST(IcePath, FailsOnceWhenNobodyAnswersByTheDeadline) {
    End a(TIceRole::Controlling, std::chrono::milliseconds(1500));
    Gather(a);
    // A peer that gathered and vanished: its port answers nothing.
    End gone(TIceRole::Controlled);
    Gather(gone);
    const std::string description = gone.description;
    gone.path.Close();
    a.path.SetRemote(description);
    ASSERT_TRUE(WaitUntil([&] { return !a.events.empty(); }, 4000));
    RunEventsFor(300);
    ASSERT_EQ(a.events.size(), 1u);
    EXPECT_EQ(a.events[0].rfind("failed ", 0), 0u) << a.events[0];
    EXPECT_FALSE(a.path.Send("late"));
    WaitForClosings();
}

TEST(IcePath, NoEventAfterCloseFromInsideAHandler) {
    End a(TIceRole::Controlling), b(TIceRole::Controlled);
    Meet(a, b);
    b.path.OnDatagram = [&](std::string_view d) {
        b.received.emplace_back(d);
        b.path.Close();
    };
    a.path.Send("one");
    a.path.Send("two");
    RunEventsFor(300);
    EXPECT_EQ(b.received, std::vector<std::string>{"one"});
    EXPECT_FALSE(b.path.Ready());
    EXPECT_FALSE(b.path.Send("after close"));
    WaitForClosings();
}

TEST(IcePath, AHandlerMayDestroyItsPath) {
    End a(TIceRole::Controlling);
    auto b = std::make_unique<End>(TIceRole::Controlled);
    int readyEvents = 0;
    b->path.OnReady = [&](TIcePathKind) {
        ++readyEvents;
        b.reset();
    };
    Gather(a);
    Gather(*b);
    a.path.SetRemote(b->description);
    b->path.SetRemote(a.description);
    ASSERT_TRUE(WaitUntil([&] { return !b; }, kPathMs));
    EXPECT_EQ(readyEvents, 1);
    WaitForClosings();
}

TEST(IcePath, AnErrorInAHandlerReachesTheEventLoop) {
    End a(TIceRole::Controlling), b(TIceRole::Controlled);
    b.path.OnReady = [](TIcePathKind) { throw std::runtime_error("handler failed"); };
    EscapedErrors().clear();
    Meet(a, b);
    ASSERT_TRUE(WaitUntil([] { return !EscapedErrors().empty(); }, kPathMs));
    EXPECT_EQ(EscapedErrors(), std::vector<std::string>{"handler failed"});
    EXPECT_TRUE(a.path.Send("still carried"));
    EXPECT_TRUE(WaitUntil([&] { return b.received.size() == 1; }, kPathMs));
    EscapedErrors().clear();
}

} // namespace
