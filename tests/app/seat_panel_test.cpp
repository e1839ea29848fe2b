// The seat panel's line of who watches the game: under the last seat, kept
// there when the pins change size, gone when nobody watches.
#include "picture_widget.h"
#include "seat_panel.h"

#include <QLabel>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

TEST(SeatPanelWatchers, TheWatchersLineStandsUnderTheSeatsWhileSomebodyWatches) {
    QWidget client;
    SeatPanel panel(client);
    std::array<Seat, kColours> seats{};
    for (int colour = 0; colour < kColours; ++colour)
        seats[colour] = {colour, colour == 0 ? skHuman : colour == 3 ? skRemote : skNone};
    panel.Build(seats, [](int colour) -> std::optional<QString> {
        return colour == 3 ? std::optional<QString>("Ann") : std::nullopt;
    });
    EXPECT_FALSE(panel.WatchersLabel());

    panel.SetWatchers({"Zoe", "Max"});
    QLabel* line = panel.WatchersLabel();
    ASSERT_TRUE(line);
    EXPECT_EQ(line->text(), "Watching: Zoe, Max");
    EXPECT_GT(line->y(), panel.NameLabel(3)->y());
    EXPECT_EQ(line->x(), panel.Indicator(3)->x());

    panel.Place(); // the pins were drawn anew: the line keeps its place below
    EXPECT_GT(panel.WatchersLabel()->y(), panel.NameLabel(3)->y());

    panel.SetWatchers({});
    EXPECT_FALSE(panel.WatchersLabel());
}

} // namespace
