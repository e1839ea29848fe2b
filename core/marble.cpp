#include "marble.h"

#include "board.h"

namespace {
constexpr int kLayoutDepth = 4; // a star point is four rows deep
}

void PlaceBall(TZellhopBall& marble, TZellhopPos& hole) {
    if (marble.pos == &hole)
        return;
    if (marble.pos)
        marble.pos->ball = nullptr;
    marble.prevPos = marble.pos;
    marble.pos = &hole;
    hole.ball = &marble;
}

void MarbleList::CreateBalls(TZellhopPos* h, int colour, int depth, int& counter,
                             const Created& created) {
    if (!h || h->ball || depth >= kLayoutDepth)
        return;
    TZellhopBall& marble = Add(colour, counter++, *h);
    if (created)
        created(marble);
    CreateBalls(h->neighbour[Mod6(colour + 3)], colour, depth + 1, counter, created);
    CreateBalls(h->neighbour[Mod6(colour + 4)], colour, depth + 1, counter, created);
}

void MarbleList::CreateColour(TZellhopPos* tip, int colour, const Created& created) {
    int counter = 0;
    CreateBalls(tip, colour, 0, counter, created);
}

TZellhopBall& MarbleList::Add(int colour, int number, TZellhopPos& hole) {
    auto marble = std::make_unique<TZellhopBall>();
    marble->colour = colour;
    marble->number = number;
    PlaceBall(*marble, hole);
    items_.push_back(std::move(marble));
    return *items_.back();
}

TZellhopBall* MarbleList::FindBall(int colour, int number) const {
    for (const auto& m : items_)
        if (m->colour == colour && m->number == number)
            return m.get();
    return nullptr;
}

void MarbleList::RemoveAll() {
    for (const auto& m : items_)
        if (m->pos)
            m->pos->ball = nullptr;
    items_.clear();
}
