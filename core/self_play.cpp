#include "self_play.h"

#include "colours.h"
#include "position_file.h"
#include "win.h"

#include <chrono>
#include <stdexcept>

namespace {
constexpr char kComputerSeat = 'C';
constexpr std::string_view kSeatChars = "C-"; // a computer seat, no seat
} // namespace

SeatsTakingPart ParseSeats(std::string_view kinds) {
    if (kinds.size() != kColours || kinds.find_first_not_of(kSeatChars) != std::string_view::npos)
        throw std::invalid_argument("seats must be six characters, C for a computer seat and - "
                                    "for none, in colour order");
    SeatsTakingPart seats{};
    bool any = false;
    for (int colour = 0; colour < kColours; ++colour) {
        seats[colour] = kinds[colour] == kComputerSeat;
        any = any || seats[colour];
    }
    if (!any)
        throw std::invalid_argument("at least one seat must be C");
    return seats;
}

std::string MoveLine(const PlayedTurn& played) {
    std::string line = std::to_string(played.turn);
    line += ' ';
    line += ColourWord(played.colour);
    if (played.number < 0)
        return line + " pass";
    line += ' ';
    line += std::to_string(played.number);
    for (const LatticePoint& p : played.holes) {
        line += ' ';
        line += HoleText(p);
    }
    return line;
}

SelfPlay::SelfPlay(const SeatsTakingPart& seats, MoveChooser choose)
    : seats_(seats), choose_(std::move(choose)) {
    state_.homeHoles = board_.homeHoles();
    for (int colour = 0; colour < kColours; ++colour)
        if (seats_[colour])
            marbles_.CreateColour(board_.homeHole(colour), colour);
    state_.currentSeat = kBeforeFirstTurn;
    state_.turnNumber = 0;
    NextSeat();
}

SelfPlay::SelfPlay(std::string_view positionText) {
    state_.homeHoles = board_.homeHoles();
    state_.currentSeat = ReadPosition(positionText, board_, marbles_);
    state_.turnNumber = 1;
    for (const auto& m : marbles_)
        seats_[m->colour] = true;
}

void SelfPlay::NextSeat() {
    do {
        if (++state_.currentSeat >= kColours) {
            state_.currentSeat = 0;
            ++state_.turnNumber;
        }
    } while (!seats_[state_.currentSeat]);
}

PlayedTurn SelfPlay::PlayTurn() {
    PlayedTurn played;
    played.turn = state_.turnNumber;
    played.colour = state_.currentSeat;
    const auto start = std::chrono::steady_clock::now();
    const ComputerChoice choice = choose_(marbles_, state_.homeHoles, state_.currentSeat);
    played.searchSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (choice.marble) {
        played.number = choice.marble->number;
        // The first placement is onto the marble's own hole and moves nothing.
        for (TZellhopPos* h : choice.path) {
            PlaceBall(*choice.marble, *h);
            played.holes.push_back(h->at);
        }
        if (const TZellhopBall* w = FindWinner(state_.homeHoles, marbles_))
            winner_ = w->colour;
    }
    if (winner_ < 0)
        NextSeat();
    return played;
}
