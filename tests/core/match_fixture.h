// The game model driven as its tests drive it: a listener that writes down
// what the game tells its view, and a fixture that starts games, clicks
// marbles and targets, and reads the record and the turn.
#pragma once

#include "colours.h"
#include "match.h"
#include "match_listener.h"
#include "match_runner.h"
#include "position_file.h"

#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

constexpr int kBlue = 0;
constexpr int kRed = 1;
constexpr int kOrange = 3;
constexpr int kGreen = 4;

inline std::string Word(int colour) {
    return std::string(ColourWord(colour));
}

// Writes down what the game tells its view; counts the waits its driver
// makes and can act in them, as a window's events would.
struct Recorder : MatchListener {
    std::vector<std::string> events;
    std::function<void(int seat)> onTurnBeginning;
    std::function<void()> onWait;
    int waits = 0;

    void TurnEnded(int seat) override { events.push_back("ended " + Word(seat)); }
    void TurnBeginning(int seat) override {
        events.push_back("turn " + Word(seat));
        if (onTurnBeginning)
            onTurnBeginning(seat);
    }
    void ComputerMoveStarting(const TZellhopBall& marble) override {
        events.push_back("computer moves " + std::to_string(marble.number));
    }
    void Waited() {
        ++waits;
        if (onWait)
            onWait();
    }
    void SendMove(int number, int direction) override {
        events.push_back("send move " + std::to_string(number) + " " + std::to_string(direction));
    }
    void SendEndTurn() override { events.push_back("send end of turn"); }
    void HumanHopped(int praiseIndex) override {
        events.push_back("praise " + std::to_string(praiseIndex));
    }
    void Won(int colour) override { events.push_back("won " + Word(colour)); }
    void GameOver() override { events.push_back("game over"); }
    void SeatHandedOver(int colour) override { events.push_back("handed over " + Word(colour)); }
    void PlayerGone(PlayerId player, int reason) override {
        events.push_back("gone " + std::to_string(player) + " " + std::to_string(reason));
    }
};

class MatchTest : public ::testing::Test {
  public:
    void Start(const SeatKinds& kinds, const std::array<PlayerId, kColours>& players = {}) {
        for (int colour = 0; colour < kColours; ++colour)
            match.SetSeat(colour, kinds[colour], players[colour]);
        match.NewGame();
        match.NextTurn();
        Drive();
    }
    // Plays the computer's turns until a human or remote player has the
    // turn (at most `computerTurns` of them), as a window would at once.
    void Drive(int computerTurns = std::numeric_limits<int>::max()) {
        MatchRunner runner(match);
        runner.onWait = [this] { view.Waited(); };
        runner.Run(computerTurns);
    }
    TZellhopBall& Marble(int colour, int number) {
        TZellhopBall* marble = match.FindBall(colour, number);
        EXPECT_TRUE(marble) << Word(colour) << " " << number;
        return *marble;
    }
    LatticePoint At(int colour, int number) { return Marble(colour, number).pos->at; }
    // The marble hops to the hole: a click on it, then on the hole's target.
    // The computer seats that follow play at once.
    void Hop(int colour, int number, LatticePoint to) {
        match.ClickMarble(Marble(colour, number));
        ClickTargetOn(to);
        Drive();
    }
    void ClickTargetOn(LatticePoint to) {
        const std::vector<Target>& targets = match.ShownTargets();
        for (const Target& target : targets)
            if (target.hole->at == to) {
                match.ClickTarget(*target.hole);
                return;
            }
        ADD_FAILURE() << "no target on " << HoleText(to);
    }
    std::vector<std::string> Record() const {
        std::vector<std::string> lines;
        for (const TurnRecord& turn : match.record())
            lines.push_back(MoveLine(turn));
        return lines;
    }
    std::string Turn() const {
        const GameState& s = match.state();
        return std::to_string(s.turnNumber) + " " + Word(s.currentSeat) + " phase " +
               std::to_string(s.phase);
    }

    Recorder view;
    Match match{&view};
};

using Lines = std::vector<std::string>;
using Events = std::vector<std::string>;
