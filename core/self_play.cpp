#include "self_play.h"

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

SelfPlay::SelfPlay(const SeatsTakingPart& seats, MoveChooser choose) {
    for (int colour = 0; colour < kColours; ++colour)
        match_.SetSeat(colour, seats[colour] ? skComputer : skNone);
    TimeSearches(std::move(choose));
    match_.NewGame();
}

SelfPlay::SelfPlay(std::string_view positionText) {
    TimeSearches(ChooseComputerMove);
    match_.StartFromPosition(positionText);
}

void SelfPlay::TimeSearches(MoveChooser choose) {
    match_.SetMoveChooser([this, choose = std::move(choose)](const MarbleList& marbles,
                                                             const HomeHoles& homeHoles, int seat) {
        const auto start = std::chrono::steady_clock::now();
        ComputerChoice choice = choose(marbles, homeHoles, seat);
        lastSearchSeconds_ =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return choice;
    });
}

PlayedTurn SelfPlay::PlayTurn() {
    lastSearchSeconds_ = 0;
    match_.NextTurn(1);
    PlayedTurn played;
    if (!match_.record().empty())
        static_cast<TurnRecord&>(played) = match_.record().back();
    played.searchSeconds = lastSearchSeconds_;
    return played;
}

int SelfPlay::turnNumber() const {
    if (winner() >= 0)
        return match_.record().back().turn;
    return match_.Upcoming().turnNumber;
}

int SelfPlay::currentSeat() const {
    if (winner() >= 0)
        return winner();
    return match_.Upcoming().seat;
}
