// The fault seam: its settings as text, and one seed giving one sequence
// of decisions.
#include "fault_seam.h"
#include "net_test_support.h"

#include <gtest/gtest.h>

namespace {

TEST(FaultSeam, ReadsItsSettingsFromText) {
    const auto all =
        TFaultSettings::FromText("loss=0.1,duplicate=0.05,reorder=0.2,late=30,delay=5,seed=9");
    ASSERT_TRUE(all);
    EXPECT_EQ(all->loss, 0.1);
    EXPECT_EQ(all->duplicate, 0.05);
    EXPECT_EQ(all->reorder, 0.2);
    EXPECT_EQ(all->lateMs, 30);
    EXPECT_EQ(all->delayMs, 5);
    EXPECT_EQ(all->seed, 9u);
    EXPECT_TRUE(all->Active());
    const auto none = TFaultSettings::FromText("");
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->Active());
    for (const char* bad : {"loss=1.5", "loss=-0.1", "loss", "noise=0.1", "loss=0.1,", "seed=x"})
        EXPECT_FALSE(TFaultSettings::FromText(bad)) << bad;
}

// Which of n datagrams went straight through.
std::string Pattern(uint32_t seed, int n) {
    TFaultSettings settings;
    settings.loss = 0.1;
    settings.seed = seed;
    TFaultSeam seam(settings);
    std::string pattern;
    for (int i = 0; i < n; ++i) {
        bool passed = false;
        seam.Pass("x", [&](const std::string&) { passed = true; });
        pattern += passed ? '.' : 'x';
    }
    return pattern;
}

TEST(FaultSeam, OneSeedGivesOneSequenceOfDecisions) {
    constexpr int kDatagrams = 2000;
    const std::string first = Pattern(7, kDatagrams);
    EXPECT_EQ(Pattern(7, kDatagrams), first);
    EXPECT_NE(Pattern(8, kDatagrams), first);
    const auto lost = std::count(first.begin(), first.end(), 'x');
    EXPECT_GT(lost, kDatagrams * 8 / 100);
    EXPECT_LT(lost, kDatagrams * 12 / 100);
}

TEST(FaultSeam, HeldAndRepeatedDatagramsComeLaterAndHeldOnesAreDroppedWithTheSeam) {
    TFaultSettings settings;
    settings.duplicate = 1;
    settings.lateMs = 20;
    std::vector<std::string> delivered;
    {
        TFaultSeam seam(settings);
        seam.Pass("a", [&](const std::string& b) { delivered.push_back(b); });
        EXPECT_EQ(delivered, std::vector<std::string>{"a"}); // the first copy at once
        ASSERT_TRUE(WaitUntil([&] { return delivered.size() == 2; }, 500));
        settings.duplicate = 0;
        settings.reorder = 1;
    }
    {
        TFaultSeam seam(settings);
        seam.Pass("b", [&](const std::string& b) { delivered.push_back(b); });
        EXPECT_EQ(delivered.size(), 2u); // held back
    }
    RunEventsFor(50);
    EXPECT_EQ(delivered, (std::vector<std::string>{"a", "a"}));
}

} // namespace
