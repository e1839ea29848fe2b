// The ICE probe as a program, outside any lab (no root needed): it gathers
// on this machine's own addresses under Qt's GLib event loop, and refuses
// an event loop that would never drive its agent.
#include "lab_process.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::milliseconds;

TEST(IceProbe, GathersUnderQtsGLibLoopAndRefusesAnyOther) {
    struct Case {
        std::vector<std::string> environment;
        std::string firstWords;
        std::optional<int> status; // once its input ends
    };
    const Case cases[] = {
        {{}, "gathered ", 0},
        {{"QT_NO_GLIB=1"}, "failed 0 ICE needs Qt's GLib event loop (is QT_NO_GLIB set?)", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firstWords);
        TLabProcess probe("", {ZELLHOP_ICE_PROBE, "--role", "controlling"}, "", c.environment);
        const auto line = probe.ReadLine(milliseconds(5000));
        ASSERT_TRUE(line);
        EXPECT_EQ(line->rfind(c.firstWords, 0), 0u) << *line;
        probe.CloseInput();
        EXPECT_EQ(probe.Wait(milliseconds(5000)), c.status);
    }
}

} // namespace
